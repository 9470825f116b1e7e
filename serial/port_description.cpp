#include "serial/port_description.h"

namespace serial {

std::string DescribePort(const std::string& entry)
{
    return DescribePort(entry, DiscoveryRoots{});
}

std::string OneColumn(const std::string& text)
{
    std::string out;
    bool space = false;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || c == ' ') {
            space = !out.empty();
            continue;
        }
        if (space)
            out += ' ';
        space = false;
        out += c;
    }
    return out;
}

}  // namespace serial
