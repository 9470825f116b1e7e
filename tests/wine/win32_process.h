#pragma once
// Programs of the build started by a Windows test under Wine: their paths, their command
// lines, and the process, ended if it still runs when the test is done with it.

#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/wide_text.h"
#include "serial/native_handle.h"

// For GoogleTest programs that open or list COM ports.
#define REQUIRE_PORT_HOST()                                                        \
    if (!wine_host::Available())                                                   \
    GTEST_SKIP() << "needs wine-port-host: without it a COM port here could be a " \
                    "real device"

namespace wine_host {

// A path of the build on drive Z:, as Wine shows the Unix root.
inline std::wstring WindowsPath(const std::string& unixPath)
{
    std::wstring path = wide_text::Widen(unixPath);
    if (!path.empty() && path[0] == L'/')
        path = L"Z:" + path;
    for (wchar_t& c : path) {
        if (c == L'/')
            c = L'\\';
    }
    return path;
}

// One argument quoted the way CommandLineToArgvW reads it back.
inline std::wstring Quoted(const std::wstring& arg)
{
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L'"';
}

class Process {
public:
    // Starts the program (a Unix path of the build) with the arguments (UTF-8). With
    // captureOutput its standard output comes to ReadOutput and ReadLine, else it shares
    // the test's; with captureErrors its standard error comes to ReadErrors.
    Process(const std::string& program, const std::vector<std::string>& args, bool captureOutput = false,
            bool captureErrors = false)
    {
        const std::wstring exe = WindowsPath(program);
        std::wstring commandLine = Quoted(exe);
        for (const std::string& arg : args)
            commandLine += L" " + Quoted(wide_text::Widen(arg));
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        serial::OwnedHandle writeOut;  // the child's ends, closed here once it has them
        serial::OwnedHandle writeErrors;
        const bool capture = captureOutput || captureErrors;
        if (capture) {
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
            startup.hStdOutput = captureOutput ? OpenPipe(m_output, writeOut) : ::GetStdHandle(STD_OUTPUT_HANDLE);
            startup.hStdError = captureErrors ? OpenPipe(m_errors, writeErrors) : ::GetStdHandle(STD_ERROR_HANDLE);
        }
        PROCESS_INFORMATION process{};
        if (::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, capture, 0, nullptr, nullptr, &startup,
                             &process)) {
            m_process = serial::OwnedHandle(process.hProcess);
            const serial::OwnedHandle thread(process.hThread);
            m_id = process.dwProcessId;
        }
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process()
    {
        m_output.reset();
        m_errors.reset();
        if (m_process.valid() && ::WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT)
            ::TerminateProcess(m_process.get(), 1);
    }

    bool Started() const { return m_process.valid(); }
    // The read end of its standard output (captureOutput), for a reader of its own.
    HANDLE OutputHandle() const { return m_output.get(); }
    DWORD Id() const { return m_id; }

    // Its standard output, until it closes it.
    std::string ReadOutput() { return std::exchange(m_pending, {}) + ReadAll(m_output.get()); }
    // Its standard error, until it closes it.
    std::string ReadErrors() { return ReadAll(m_errors.get()); }

    // The next line of its standard output, without its line break, once it came within
    // timeoutMs; nullopt when none came or the output closed first.
    std::optional<std::string> ReadLine(DWORD timeoutMs)
    {
        const ULONGLONG end = ::GetTickCount64() + timeoutMs;
        for (;;) {
            if (const auto newline = m_pending.find('\n'); newline != std::string::npos) {
                std::string line = m_pending.substr(0, newline);
                m_pending.erase(0, newline + 1);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                return line;
            }
            DWORD waiting = 0;
            if (!m_output.valid() || !::PeekNamedPipe(m_output.get(), nullptr, 0, nullptr, &waiting, nullptr))
                return std::nullopt;
            if (waiting > 0) {
                char buffer[4096];
                DWORD got = 0;
                if (!::ReadFile(m_output.get(), buffer, std::min<DWORD>(waiting, sizeof buffer), &got, nullptr))
                    return std::nullopt;
                m_pending.append(buffer, got);
            } else if (::GetTickCount64() >= end) {
                return std::nullopt;
            } else {
                ::Sleep(20);
            }
        }
    }

    // Ends it if it still runs, and waits until it has: its program file is then free.
    void End(DWORD timeoutMs) const
    {
        if (m_process.valid() && ::TerminateProcess(m_process.get(), 1))
            ::WaitForSingleObject(m_process.get(), timeoutMs);
    }

    // The exit code once it ended within timeoutMs; STILL_ACTIVE if it did not.
    DWORD WaitForExit(DWORD timeoutMs) const
    {
        DWORD code = STILL_ACTIVE;
        if (::WaitForSingleObject(m_process.get(), timeoutMs) == WAIT_OBJECT_0)
            ::GetExitCodeProcess(m_process.get(), &code);
        return code;
    }

private:
    // A pipe whose reading end stays here and whose writing end the child inherits.
    static HANDLE OpenPipe(serial::OwnedHandle& readEnd, serial::OwnedHandle& writeEnd)
    {
        SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        HANDLE read = nullptr;
        HANDLE write = nullptr;
        if (!::CreatePipe(&read, &write, &inherit, 0))
            return nullptr;
        readEnd = serial::OwnedHandle(read);
        writeEnd = serial::OwnedHandle(write);
        ::SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
        return write;
    }

    static std::string ReadAll(HANDLE pipe)
    {
        std::string out;
        char buffer[4096];
        DWORD got = 0;
        while (pipe != nullptr && ::ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0)
            out.append(buffer, got);
        return out;
    }

    serial::OwnedHandle m_process;
    DWORD m_id = 0;
    serial::OwnedHandle m_output;
    serial::OwnedHandle m_errors;
    std::string m_pending;  // output read ahead of a line's end
};

}  // namespace wine_host
