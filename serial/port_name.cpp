#include "serial/port_name.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>

#include "common/text.h"

namespace serial {

namespace {

constexpr int kFirstComPort = 1;
// The numbers Windows gives out to COM ports: its name database holds 256.
constexpr int kLastComPort = 256;

bool AllDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
}

std::string Join(std::string_view dir, std::string_view name)
{
    std::string path(dir);
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
    return path;
}

std::string HexByte(unsigned int b)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[(b >> 4) & 0xF], kDigits[b & 0xF]};
}

}  // namespace

std::string Quoted(std::string_view text)
{
    std::string quoted = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        const common::Utf8Char character = common::Utf8CharAt(text, i);
        const std::size_t length = character.length;
        if (!character.valid) {
            quoted += "\\x" + HexByte(b);
            ++i;
            continue;
        }
        if (length == 1) {
            switch (b) {
            case '"': quoted += "\\\""; break;
            case '\\': quoted += "\\\\"; break;
            case '\n': quoted += "\\n"; break;
            case '\r': quoted += "\\r"; break;
            case '\t': quoted += "\\t"; break;
            default:
                if (b < 0x20 || b == 0x7F)
                    quoted += "\\x" + HexByte(b);
                else
                    quoted += static_cast<char>(b);
            }
        } else if (b == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            // U+0080 to U+009F: some terminals take U+009B as the start of a sequence.
            quoted += "\\u00" + HexByte(static_cast<unsigned char>(text[i + 1]));
        } else {
            quoted.append(text.substr(i, length));
        }
        i += length;
    }
    return quoted + '"';
}

int ComPortNumber(std::string_view entry)
{
    if (entry.size() <= 3)
        return 0;
    // A number out of range is held to the nearest end, never overflowed.
    const std::string rest(entry.substr(3));
    const long value = std::strtol(rest.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}

std::string WindowsDevicePath(std::string_view entry)
{
    // Only "COM" and decimal digits: a typed "COM1x" must not open COM1.
    if (!common::StartsWithIgnoringCase(entry, "COM") || !AllDigits(entry.substr(3)))
        return {};
    const int number = ComPortNumber(entry);
    if (number < kFirstComPort || number > kLastComPort)
        return {};
    return "\\\\.\\COM" + std::to_string(number);
}

std::string ComPortEntry(std::string_view name)
{
    if (WindowsDevicePath(name).empty())
        return {};
    return "COM" + std::to_string(ComPortNumber(name));
}

std::string PosixDevicePath(std::string_view entry, std::string_view devDir, std::string_view virtualDir)
{
    // A NUL would cut the path short where the OS reads it.
    if (entry.empty() || entry.find('\0') != std::string_view::npos)
        return {};
    if (entry.front() == '/')
        return std::string(entry);
    if (entry == "." || entry == ".." || entry.find('/') != std::string_view::npos)
        return {};
    // "tty" alone would be the caller's own terminal, so that name is left to the
    // virtual ports.
    if (entry.size() > 3 && entry.substr(0, 3) == "tty")
        return devDir.empty() ? std::string() : Join(devDir, entry);
    return virtualDir.empty() ? std::string() : Join(virtualDir, entry);
}

}  // namespace serial
