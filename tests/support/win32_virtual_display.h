#pragma once
// Windows tests of virtual ports: a folder of the test's own, and the server end of a
// display's named pipe that the test reads the sent bytes from.

#include <windows.h>

#include <string>

#include "common/owned_win32.h"
#include "common/wide_text.h"
#include "serial/native_handle.h"

namespace testing_support {

// A folder of the test's own under the temporary folder, removed with what it holds.
class Win32TempFolder {
public:
    Win32TempFolder()
    {
        wchar_t temp[MAX_PATH + 1] = {};
        if (::GetTempPathW(MAX_PATH, temp) == 0)
            return;
        static unsigned count = 0;
        std::wstring path = std::wstring(temp) + L"display-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-"
                            + std::to_wstring(count++);
        if (::CreateDirectoryW(path.c_str(), nullptr))
            m_path = wide_text::Narrow(path);
    }
    ~Win32TempFolder()
    {
        if (m_path.empty())
            return;
        RemoveAll(wide_text::Widen(m_path));
    }
    Win32TempFolder(const Win32TempFolder&) = delete;
    Win32TempFolder& operator=(const Win32TempFolder&) = delete;

    // Empty when the folder could not be made.
    const std::string& path() const { return m_path; }

private:
    static void RemoveAll(const std::wstring& dir)
    {
        WIN32_FIND_DATAW found{};
        // The search ends before its folder goes.
        if (const common::OwnedSearch search(::FindFirstFileW((dir + L"\\*").c_str(), &found)); search.valid()) {
            do {
                const std::wstring name = found.cFileName;
                if (name == L"." || name == L"..")
                    continue;
                const std::wstring path = dir + L"\\" + name;
                if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
                    RemoveAll(path);
                else
                    ::DeleteFileW(path.c_str());
            } while (::FindNextFileW(search.get(), &found));
        }
        ::RemoveDirectoryW(dir.c_str());
    }

    std::string m_path;
};

// The server end of a display's pipe: one instance, inbound, as a display listens.
class PipeServer {
public:
    explicit PipeServer(const std::string& path) : m_pipe(Create(path)) {}
    bool valid() const { return m_pipe.valid(); }
    HANDLE get() const { return m_pipe.get(); }

    // Waits (bounded) for a client; true once one is connected.
    bool Accept(DWORD waitMs = 5000)
    {
        OVERLAPPED ov{};
        const serial::OwnedHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        ov.hEvent = event.get();
        if (::ConnectNamedPipe(m_pipe.get(), &ov))
            return true;
        const DWORD error = ::GetLastError();
        if (error == ERROR_PIPE_CONNECTED)
            return true;
        if (error != ERROR_IO_PENDING)
            return false;
        if (::WaitForSingleObject(event.get(), waitMs) != WAIT_OBJECT_0) {
            ::CancelIoEx(m_pipe.get(), &ov);
            DWORD ignored = 0;
            ::GetOverlappedResult(m_pipe.get(), &ov, &ignored, TRUE);
            return false;
        }
        DWORD ignored = 0;
        return ::GetOverlappedResult(m_pipe.get(), &ov, &ignored, FALSE) != FALSE;
    }

    // What arrives until count bytes came, the client left, or waitMs passed.
    std::string Read(std::size_t count, DWORD waitMs = 5000)
    {
        std::string got;
        const ULONGLONG end = ::GetTickCount64() + waitMs;
        while (got.size() < count && ::GetTickCount64() < end) {
            DWORD available = 0;
            if (!::PeekNamedPipe(m_pipe.get(), nullptr, 0, nullptr, &available, nullptr))
                break;
            if (available == 0) {
                ::Sleep(5);
                continue;
            }
            std::string chunk(available, '\0');
            OVERLAPPED ov{};
            const serial::OwnedHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
            ov.hEvent = event.get();
            DWORD read = 0;
            if (!::ReadFile(m_pipe.get(), chunk.data(), available, nullptr, &ov)
                && ::GetLastError() != ERROR_IO_PENDING)
                break;
            if (!::GetOverlappedResult(m_pipe.get(), &ov, &read, TRUE))
                break;
            got.append(chunk.data(), read);
        }
        return got;
    }

    // Lets the client go and waits for the next, as a display does.
    void Disconnect() { ::DisconnectNamedPipe(m_pipe.get()); }
    void Close() { m_pipe.reset(); }

private:
    static HANDLE Create(const std::string& path)
    {
        HANDLE pipe = ::CreateNamedPipeA(
            path.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE | FILE_FLAG_OVERLAPPED,
            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0, 4096, 0, nullptr);
        return pipe == INVALID_HANDLE_VALUE ? nullptr : pipe;
    }

    serial::OwnedHandle m_pipe;
};

// A file as a killed display leaves it: the text, and no lock.
inline bool WriteUnlockedPortFile(const std::string& folder, const std::string& name, const std::string& text)
{
    HANDLE opened = ::CreateFileW(wide_text::Widen(folder + "\\" + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        return false;
    const serial::OwnedHandle file(opened);
    DWORD written = 0;
    const bool ok = ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != FALSE;
    return ok && written == text.size();
}

}  // namespace testing_support
