#pragma once
// Programs of the build started by a Windows test under Wine: their paths, their command
// lines, and the process, ended if it still runs when the test is done with it.

#include <windows.h>

#include <string>
#include <vector>

#include "common/wide_text.h"

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
    // captureOutput its standard output comes to ReadOutput, else it shares the test's;
    // with captureErrors too, its standard error comes there as well.
    Process(const std::string& program, const std::vector<std::string>& args, bool captureOutput = false,
            bool captureErrors = false)
    {
        const std::wstring exe = WindowsPath(program);
        std::wstring commandLine = Quoted(exe);
        for (const std::string& arg : args)
            commandLine += L" " + Quoted(wide_text::Widen(arg));
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        HANDLE writeOut = nullptr;
        if (captureOutput) {
            SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
            if (!::CreatePipe(&m_output, &writeOut, &inherit, 0))
                return;
            ::SetHandleInformation(m_output, HANDLE_FLAG_INHERIT, 0);
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
            startup.hStdOutput = writeOut;
            startup.hStdError = captureErrors ? writeOut : ::GetStdHandle(STD_ERROR_HANDLE);
        }
        if (::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, captureOutput, 0, nullptr,
                             nullptr, &startup, &m_process))
            ::CloseHandle(m_process.hThread);
        if (writeOut != nullptr)
            ::CloseHandle(writeOut);
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process()
    {
        if (m_output != nullptr)
            ::CloseHandle(m_output);
        if (m_process.hProcess == nullptr)
            return;
        if (::WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT)
            ::TerminateProcess(m_process.hProcess, 1);
        ::CloseHandle(m_process.hProcess);
    }

    bool Started() const { return m_process.hProcess != nullptr; }
    // The read end of its standard output (captureOutput), for a reader of its own.
    HANDLE OutputHandle() const { return m_output; }
    DWORD Id() const { return m_process.dwProcessId; }

    // Its standard output, until it closes it.
    std::string ReadOutput()
    {
        std::string out;
        char buffer[4096];
        DWORD got = 0;
        while (m_output != nullptr && ::ReadFile(m_output, buffer, sizeof buffer, &got, nullptr) && got > 0)
            out.append(buffer, got);
        return out;
    }

    // Ends it if it still runs, and waits until it has: its program file is then free.
    void End(DWORD timeoutMs) const
    {
        if (m_process.hProcess != nullptr && ::TerminateProcess(m_process.hProcess, 1))
            ::WaitForSingleObject(m_process.hProcess, timeoutMs);
    }

    // The exit code once it ended within timeoutMs; STILL_ACTIVE if it did not.
    DWORD WaitForExit(DWORD timeoutMs) const
    {
        DWORD code = STILL_ACTIVE;
        if (::WaitForSingleObject(m_process.hProcess, timeoutMs) == WAIT_OBJECT_0)
            ::GetExitCodeProcess(m_process.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION m_process{};
    HANDLE m_output = nullptr;
};

}  // namespace wine_host
