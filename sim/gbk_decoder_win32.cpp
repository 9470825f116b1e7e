#include "sim/gbk_decoder.h"

#include <windows.h>

namespace sim {

namespace {
constexpr UINT kGbk = 936;
}

GbkDecoder::GbkDecoder() = default;
GbkDecoder::~GbkDecoder() = default;

bool GbkDecoder::Usable() const noexcept
{
    return ::IsValidCodePage(kGbk) != 0;
}

QString GbkDecoder::Pair(char lead, char trail) const
{
    const char in[2] = {lead, trail};
    wchar_t out[4];
    // Refused rather than replaced: a pair GBK does not know becomes U+FFFD per byte, as
    // on POSIX.
    const int n = ::MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, in, 2, out, 4);
    if (n <= 0)
        return {};
    return QString::fromWCharArray(out, n);
}

}  // namespace sim
