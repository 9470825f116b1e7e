// A virtual display's named pipe as a sender's line: no line to set up or put back;
// written, and read only to learn when the display ends. The display never writes, so a
// read kept waiting on the pipe ends only when the display closes its end: the panel
// learns at once that a display was ended, as a hang-up on POSIX tells it, not at its next
// write.
#include "serial/line_win32.h"

#include <utility>

namespace serial::win32 {

namespace {

// A display leaves its pipe busy between two clients until its window's loop has seen the
// first one go, which on a loaded machine takes a while: a script's second display-send
// right after the first must not be told the port is in use. One wait that long for the
// pipe to listen again before it counts as held by another program.
constexpr DWORD kPipeBusyWaitMs = 2000;
// A display reads its pipe at its own pace, at least that of the slowest rate it offers
// (its default): a write that has not gone through in that time has stalled.
constexpr std::uint32_t kPipeRate = 2400;

class PipeLine final : public Line {
public:
    PipeLine(OwnedHandle pipe, OwnedHandle ended) noexcept : m_pipe(std::move(pipe)), m_ended(std::move(ended)) {}
    ~PipeLine() override { Close(); }
    PipeLine(const PipeLine&) = delete;
    PipeLine& operator=(const PipeLine&) = delete;

    // One write, ended by the write time-out at the display's pace. Nothing to purge or
    // drain: the display takes the bytes as they come.
    std::uint32_t Write(const std::uint8_t* data, std::uint32_t count, std::stop_token stop) override
    {
        const auto waitMs = static_cast<DWORD>(WriteTimeout(kPipeRate, count).count());
        return WriteOverlapped(m_pipe.get(), data, count, stop, waitMs);
    }

    // Set when the read kept on the pipe ends.
    NativeHandle EventHandle() const noexcept override { return m_ended.get(); }

    bool HungUp() override
    {
        if (m_reading) {
            DWORD got = 0;
            if (::GetOverlappedResult(m_pipe.get(), &m_read, &got, FALSE)) {
                // A byte from the display after all: not ours to read. Wait on.
                m_reading = false;
                WaitForEnd();
            } else if (::GetLastError() != ERROR_IO_INCOMPLETE) {
                m_reading = false;
                m_endedWith = ::GetLastError();
            }
        }
        return m_endedWith != 0;
    }

    bool Close() override
    {
        if (!m_pipe.valid())
            return false;
        // The read's memory goes with this line: it must have ended first.
        DWORD got = 0;
        if (m_reading && ::CancelIoEx(m_pipe.get(), &m_read))
            ::GetOverlappedResult(m_pipe.get(), &m_read, &got, TRUE);
        m_reading = false;
        return m_pipe.reset();
    }

    // Keeps a read waiting on the pipe, which ends when the display closes its end.
    void WaitForEnd()
    {
        m_read = OVERLAPPED{};
        m_read.hEvent = m_ended.get();
        if (::ReadFile(m_pipe.get(), &m_byte, 1, nullptr, &m_read) || ::GetLastError() == ERROR_IO_PENDING) {
            m_reading = true;
            return;
        }
        // Ended already: the event tells it all the same.
        m_endedWith = ::GetLastError();
        ::SetEvent(m_ended.get());
    }

private:
    OwnedHandle m_pipe;
    OwnedHandle m_ended;  // of m_read; manual reset
    OVERLAPPED m_read{};
    std::uint8_t m_byte = 0;
    bool m_reading = false;  // the read is under way
    DWORD m_endedWith = 0;   // how the pipe ended; 0 while it has not
};

}  // namespace

// The display may learn who we are, but not act as us.
std::unique_ptr<Line> OpenPipeLine(const std::string& path, OpenFailure* failure)
{
    constexpr DWORD kAccess = GENERIC_READ | GENERIC_WRITE;
    constexpr DWORD kFlags = FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
    HANDLE handle = ::CreateFileA(path.c_str(), kAccess, 0, nullptr, OPEN_EXISTING, kFlags, nullptr);
    if (handle == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_PIPE_BUSY
        && ::WaitNamedPipeA(path.c_str(), kPipeBusyWaitMs))
        handle = ::CreateFileA(path.c_str(), kAccess, 0, nullptr, OPEN_EXISTING, kFlags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *failure = FailureOf(::GetLastError(), OpenStep::OpenPipe);
        return nullptr;
    }
    OwnedHandle pipe(handle);
    OwnedHandle ended(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ended.valid()) {
        *failure = FailureOf(::GetLastError(), OpenStep::OpenPipe);
        return nullptr;
    }
    auto line = std::make_unique<PipeLine>(std::move(pipe), std::move(ended));
    line->WaitForEnd();
    *failure = {};
    return line;
}

}  // namespace serial::win32
