#include "cli/platform.h"

#include <windows.h>
#include <shellapi.h>

#include <streambuf>

#include "common/owned_win32.h"
#include "common/text.h"
#include "common/wide_text.h"

namespace cli {

namespace {

// UTF-8 bytes on their way to a standard handle, passed on whole lines at a time (and at
// every flush). A console gets them as UTF-16 through WriteConsoleW: given the bytes, it
// would read them in its own code page (the OEM one, 936 or 437) and garble the text.
class StdHandleBuf : public std::streambuf {
public:
    explicit StdHandleBuf(DWORD which) : m_which(which) {}
    StdHandleBuf(const StdHandleBuf&) = delete;
    StdHandleBuf& operator=(const StdHandleBuf&) = delete;
    ~StdHandleBuf() override { sync(); }

protected:
    int_type overflow(int_type c) override
    {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        m_pending += traits_type::to_char_type(c);
        if (c == '\n')
            sync();
        return c;
    }

    std::streamsize xsputn(const char* text, std::streamsize count) override
    {
        m_pending.append(text, static_cast<std::size_t>(count));
        if (m_pending.find('\n') != std::string::npos)
            sync();
        return count;
    }

    int sync() override
    {
        // A character cut in two waits for its other bytes.
        const std::size_t whole = WholeCharacters(m_pending);
        if (whole == 0)
            return 0;
        // Lines end in CR LF, as in any text a Windows program writes.
        std::string text;
        for (std::size_t i = 0; i < whole; ++i) {
            if (m_pending[i] == '\n')
                text += '\r';
            text += m_pending[i];
        }
        m_pending.erase(0, whole);
        const HANDLE handle = ::GetStdHandle(m_which);
        DWORD mode = 0;
        DWORD done = 0;
        if (::GetConsoleMode(handle, &mode)) {
            const std::wstring wide = wide_text::Widen(text);
            return ::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &done, nullptr) ? 0 : -1;
        }
        return ::WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &done, nullptr) ? 0 : -1;
    }

private:
    // The length of text without an unfinished UTF-8 sequence at its end.
    static std::size_t WholeCharacters(const std::string& text)
    {
        // The last character begins at most three bytes before the end, at a byte that
        // continues none.
        for (std::size_t back = 1; back <= 4 && back <= text.size(); ++back) {
            const std::size_t start = text.size() - back;
            const auto b = static_cast<unsigned char>(text[start]);
            if (b >= 0x80 && b <= 0xBF)
                continue;
            return common::Utf8CharAt(text, start).cut ? start : text.size();
        }
        return text.size();
    }

    DWORD m_which;
    std::string m_pending;
};

}  // namespace

std::ostream& Out()
{
    static StdHandleBuf buffer(STD_OUTPUT_HANDLE);
    static std::ostream stream(&buffer);
    return stream;
}

std::ostream& Err()
{
    static StdHandleBuf buffer(STD_ERROR_HANDLE);
    static std::ostream stream(&buffer);
    return stream;
}

std::vector<std::string> Utf8Arguments(int, char**)
{
    // argv holds the ANSI code page, which loses what it cannot hold before we see it;
    // the wide command line keeps every character.
    std::vector<std::string> args;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    const common::OwnedLocalMemory held(wide);
    if (!wide)
        return args;
    for (int i = 1; i < count; ++i)
        args.push_back(wide_text::Narrow(wide[i]));
    return args;
}

// Windows has no group to join for a COM port; "access denied" means another program.
std::string PermissionHint(const std::string&)
{
    return {};
}

// A console is no COM port: a name that opens as \\.\COMn cannot reach one.
bool IsOwnTerminal(const std::string&)
{
    return false;
}

// Ctrl+C ends a console program at once; nothing is held back here.
int RunHoldingSignals(const std::function<void(std::stop_token)>& work)
{
    work(std::stop_token());
    return 0;
}

std::string SignalName(int signalNumber)
{
    return "signal " + std::to_string(signalNumber);
}

}  // namespace cli
