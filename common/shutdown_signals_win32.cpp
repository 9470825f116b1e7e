#include "common/shutdown_signals.h"

#include <windows.h>

#include <atomic>

#include "common/handle_notifier.h"
#include "common/wide_text.h"

namespace common {

namespace {

// The console closing, a log-off or a shutdown ends the process once the handler returns;
// this long the handler waits for the program to have ended the ordinary way.
constexpr DWORD kCloseGraceMs = 4000;

}  // namespace

struct ShutdownSignals::Platform {
    serial::OwnedHandle thread;     // its synchronous writes are cancelled by a request
    serial::OwnedHandle requested;  // set by a request, reset once the loop has taken it
    serial::OwnedHandle ended;      // set once the object goes
    std::atomic<bool> asked{false};
    std::atomic<DWORD> event{0};
    std::unique_ptr<HandleNotifier> notifier;  // goes before the event it watches
};

namespace {

std::atomic<ShutdownSignals::Platform*> g_platform{nullptr};

// Runs on a thread of its own, which the system starts for each event.
BOOL WINAPI OnConsoleEvent(DWORD event)
{
    ShutdownSignals::Platform* platform = g_platform.load();
    if (platform == nullptr)
        return FALSE;
    platform->event = event;
    ::SetEvent(platform->requested.get());
    // A write that waits for a reader who stopped reading ends at once.
    if (!platform->asked.exchange(true))
        ::CancelSynchronousIo(platform->thread.get());
    // On these the process ends as soon as the handler returns: not before the program has
    // ended the ordinary way.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        ::WaitForSingleObject(platform->ended.get(), kCloseGraceMs);
    return TRUE;
}

}  // namespace

ShutdownSignals::ShutdownSignals(QObject* parent) : QObject(parent)
{
    auto platform = std::make_unique<Platform>();
    HANDLE thread = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &thread, 0, FALSE,
                           DUPLICATE_SAME_ACCESS)) {
        m_error = "cannot hold the main thread: " + wide_text::SystemMessage(::GetLastError());
        return;
    }
    platform->thread = serial::OwnedHandle(thread);
    platform->requested = serial::OwnedHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    platform->ended = serial::OwnedHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!platform->requested.valid() || !platform->ended.valid()) {
        m_error = "cannot make an event: " + wide_text::SystemMessage(::GetLastError());
        return;
    }
    Platform* const held = platform.get();
    platform->notifier = std::make_unique<HandleNotifier>(held->requested.get(), [this, held] {
        ::ResetEvent(held->requested.get());
        emit Received(static_cast<int>(held->event.load()));
    });
    g_platform = held;
    if (!::SetConsoleCtrlHandler(OnConsoleEvent, TRUE)) {
        g_platform = nullptr;
        m_error = "cannot take Ctrl+C: " + wide_text::SystemMessage(::GetLastError());
        return;
    }
    m_platform = std::move(platform);
}

ShutdownSignals::~ShutdownSignals()
{
    if (!m_platform)
        return;
    ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    // What was made after this object is gone by now: a closing console may end the process.
    ::SetEvent(m_platform->ended.get());
    g_platform = nullptr;
}

serial::NativeHandle ShutdownSignals::WaitHandle() const noexcept
{
    return m_platform ? m_platform->requested.get() : serial::kNoHandle;
}

}  // namespace common
