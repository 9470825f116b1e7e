#include "sim/main_platform.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "common/wide_text.h"

namespace sim {

namespace {

bool Leads(DWORD stdHandle)
{
    const HANDLE h = ::GetStdHandle(stdHandle);
    return h != nullptr && h != INVALID_HANDLE_VALUE && ::GetFileType(h) != FILE_TYPE_UNKNOWN;
}

}  // namespace

std::string_view OwnLineUsage()
{
    return R"(By default it listens on a named pipe of its own, which only you may open, one program
at a time, and publishes it in the virtual-port folder
(%LOCALAPPDATA%\Vandry\display-test\ports) as sim0 (sim1, sim2... while those are taken),
where the test panel and display-send list it first; the name goes when the display ends.
The first line printed names it:
  listening on sim0 (\\.\pipe\vandry-display-test-...)
A pipe has no line settings: the window cannot show the sender's. Options that name a
serial port take COM3 and the like.
)";
}

bool HasDisplay()
{
    return true;
}

void UseParentConsole()
{
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE), err = ::GetStdHandle(STD_ERROR_HANDLE);
    const bool outLeads = Leads(STD_OUTPUT_HANDLE), errLeads = Leads(STD_ERROR_HANDLE);
    // Attached even when the output is redirected, so that Ctrl+C in that console reaches
    // the display; started from the Start menu there is no console to attach to.
    if (!::AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    // A redirected output stays where it leads; what led nowhere goes to the console, for
    // the C library's streams (std::cout) and for WriteFile both.
    const struct {
        DWORD id;
        FILE* stream;
        bool leads;
        HANDLE before;
    } streams[] = {{STD_OUTPUT_HANDLE, stdout, outLeads, out}, {STD_ERROR_HANDLE, stderr, errLeads, err}};
    for (const auto& s : streams) {
        if (s.leads) {
            ::SetStdHandle(s.id, s.before);
            continue;
        }
        if (std::freopen("CONOUT$", "w", s.stream))
            ::SetStdHandle(s.id, reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(s.stream))));
    }
}

void ShowStartFailure(const std::string& message)
{
    // Not when a console shows the line already.
    if (::GetConsoleWindow() != nullptr)
        return;
    ::MessageBoxW(nullptr, wide_text::Widen(message).c_str(), L"Vandry Virtual Customer Display", MB_OK | MB_ICONERROR);
}

void IgnoreBrokenPipe()
{
}

struct Output::Impl {
    HANDLE out = nullptr;
};

Output::Output(const common::ShutdownSignals&) : m_impl(std::make_unique<Impl>())
{
    m_impl->out = ::GetStdHandle(STD_OUTPUT_HANDLE);
}

Output::~Output() = default;

// A write waits while a pipe's reader does not read; a request to end cancels it
// (common::ShutdownSignals).
bool Output::Write(std::string_view text, std::string* failure) const
{
    failure->clear();
    if (m_impl->out == nullptr || m_impl->out == INVALID_HANDLE_VALUE) {
        *failure = wide_text::SystemMessage(ERROR_INVALID_HANDLE);
        return false;
    }
    while (!text.empty()) {
        DWORD written = 0;
        if (!::WriteFile(m_impl->out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
            const DWORD error = ::GetLastError();
            // Nobody reads any more, or the display was asked to end meanwhile.
            if (error != ERROR_NO_DATA && error != ERROR_BROKEN_PIPE && error != ERROR_OPERATION_ABORTED)
                *failure = wide_text::SystemMessage(error);
            return false;
        }
        text.remove_prefix(written);
    }
    return true;
}

}  // namespace sim
