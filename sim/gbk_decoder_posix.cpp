#include "sim/gbk_decoder.h"

#include <iconv.h>

namespace sim {

namespace {
const iconv_t kNone = reinterpret_cast<iconv_t>(-1);
}

GbkDecoder::GbkDecoder()
{
    const iconv_t cd = iconv_open("UTF-8", "GBK");
    m_state = cd == kNone ? nullptr : cd;
}

GbkDecoder::~GbkDecoder()
{
    if (m_state)
        iconv_close(static_cast<iconv_t>(m_state));
}

bool GbkDecoder::Usable() const noexcept
{
    return m_state != nullptr;
}

QString GbkDecoder::Pair(char lead, char trail) const
{
    if (!m_state)
        return {};
    char in[2] = {lead, trail};
    char out[8];
    char* inPtr = in;
    std::size_t inLeft = 2;
    char* outPtr = out;
    std::size_t outLeft = sizeof out;
    const iconv_t cd = static_cast<iconv_t>(m_state);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0)
        return {};
    return QString::fromUtf8(out, outPtr - out);
}

}  // namespace sim
