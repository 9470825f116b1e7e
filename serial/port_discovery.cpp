#include "serial/port_discovery.h"

#include <algorithm>
#include <cctype>

#include "serial/port_name.h"

namespace serial {

namespace {

bool IsDigit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            std::size_t aEnd = i;
            while (aEnd < a.size() && IsDigit(a[aEnd]))
                ++aEnd;
            std::size_t bEnd = j;
            while (bEnd < b.size() && IsDigit(b[bEnd]))
                ++bEnd;
            // By value, however long: leading zeros dropped, then the shorter run is less.
            while (i + 1 < aEnd && a[i] == '0')
                ++i;
            while (j + 1 < bEnd && b[j] == '0')
                ++j;
            if (aEnd - i != bEnd - j)
                return aEnd - i < bEnd - j;
            const int order = a.compare(i, aEnd - i, b, j, bEnd - j);
            if (order != 0)
                return order < 0;
            i = aEnd;
            j = bEnd;
            continue;
        }
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[j]);
        if (ca != cb)
            return ca < cb;
        ++i;
        ++j;
    }
    if ((i < a.size()) != (j < b.size()))
        return j < b.size();
    // Equal by value ("ttyS01", "ttyS1"): plain order keeps the ordering strict.
    return a < b;
}

std::vector<std::string> MergePorts(std::vector<std::string> listed, const std::vector<std::string>& probed)
{
    for (const std::string& port : probed) {
        if (std::find(listed.begin(), listed.end(), port) != listed.end())
            continue;
        // Among the COM ports only: the virtual ports listed before them stay first.
        const auto coms = std::find_if(listed.begin(), listed.end(),
                                       [](const std::string& entry) { return !ComPortEntry(entry).empty(); });
        const auto after =
            std::find_if(coms, listed.end(), [&port](const std::string& entry) { return NaturalLess(port, entry); });
        listed.insert(after, port);
    }
    return listed;
}

}  // namespace serial
