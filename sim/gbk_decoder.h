#pragma once
// The characters of the display's code page (GBK), for the log: iconv on POSIX, code page
// 936 of Windows. One file per platform implements it.

#include <QString>

namespace sim {

class GbkDecoder {
public:
    GbkDecoder();
    ~GbkDecoder();
    GbkDecoder(const GbkDecoder&) = delete;
    GbkDecoder& operator=(const GbkDecoder&) = delete;

    // False where the system has no GBK: every byte above 7F is then unknown.
    bool Usable() const noexcept;
    // The character of a lead byte and its trail byte; empty when they make none.
    QString Pair(char lead, char trail) const;

private:
    void* m_state = nullptr;  // POSIX: the iconv descriptor
};

}  // namespace sim
