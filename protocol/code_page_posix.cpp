// The display's code page on POSIX systems: GBK, converted with the C library's iconv.

#include "protocol/code_page.h"

#include <iconv.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

#include "common/text.h"

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
        if (iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0) {
            return false;
        }
        out->append(buffer, static_cast<std::size_t>(outPtr - buffer));
        return true;
    }

private:
    iconv_t m_cd;
};

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
        // A malformed part, the lead byte and what belonged to it, becomes one '?'.
        const common::Utf8Char character = common::Utf8CharAt(utf8, i);
        const std::size_t len = character.length;
        if (!character.valid) {
            out.push_back(kReplacement);
            i += len;
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
