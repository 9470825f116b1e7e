// The display's code page on POSIX systems: GBK, converted with the C library's iconv.

#include "protocol/code_page.h"

#include <iconv.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace protocol {

namespace {

constexpr char kReplacement = '?';

// Owns one iconv conversion descriptor.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (valid())
            iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts one whole character; false when the target cannot hold it.
    bool ConvertOne(std::string_view in, std::string* out)
    {
        if (!valid())
            return false;
        char buffer[16];
        char* inPtr = const_cast<char*>(in.data());  // iconv does not write its input
        std::size_t inLeft = in.size();
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)
            || inLeft != 0) {
            return false;
        }
        out->append(buffer, static_cast<std::size_t>(outPtr - buffer));
        return true;
    }

private:
    iconv_t m_cd;
};

bool IsContinuation(unsigned char b)
{
    return (b & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 character at the start of s, or 0 when it is malformed;
// *skip is then the length of the malformed part (at least 1), which becomes one '?'.
std::size_t Utf8CharLength(std::string_view s, std::size_t* skip)
{
    const auto b0 = static_cast<unsigned char>(s[0]);
    std::size_t len;
    unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
    if (b0 < 0x80) {
        return 1;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        if (b0 == 0xE0)
            lo = 0xA0;  // overlong
        else if (b0 == 0xED)
            hi = 0x9F;  // surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        if (b0 == 0xF0)
            lo = 0x90;  // overlong
        else if (b0 == 0xF4)
            hi = 0x8F;  // beyond U+10FFFF
    } else {
        *skip = 1;
        return 0;
    }
    std::size_t i = 1;
    for (; i < len && i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        const bool ok = i == 1 ? (b >= lo && b <= hi) : IsContinuation(b);
        if (!ok)
            break;
    }
    if (i == len)
        return len;
    *skip = i;  // the lead byte and the continuation bytes that belonged to it
    return 0;
}

}  // namespace

bool CanConvert(const char* to, const char* from, std::string* why)
{
    const iconv_t cd = iconv_open(to, from);
    if (cd != reinterpret_cast<iconv_t>(-1)) {
        iconv_close(cd);
        return true;
    }
    if (why)
        *why = std::string("cannot convert from ") + from + " to " + to + ": " + std::strerror(errno);
    return false;
}

bool CodePageAvailable(std::string* why)
{
    static std::string reason;
    static const bool available = CanConvert("GBK", "UTF-8", &reason);
    if (!available && why)
        *why = reason;
    return available;
}

std::string ToDisplayCodePage(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    Converter toGbk("GBK", "UTF-8");
    std::size_t i = 0;
    while (i < utf8.size()) {
        std::size_t skip = 0;
        const std::size_t len = Utf8CharLength(utf8.substr(i), &skip);
        if (len == 0) {
            out.push_back(kReplacement);
            i += skip;
            continue;
        }
        if (len == 1)
            out.push_back(utf8[i]);
        else if (!toGbk.ConvertOne(utf8.substr(i, len), &out))
            out.push_back(kReplacement);
        i += len;
    }
    return out;
}

bool IsDBCSLeadByte(std::uint8_t byte)
{
    return byte >= 0x81 && byte <= 0xFE;
}

}  // namespace protocol
