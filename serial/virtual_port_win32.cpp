#include "serial/virtual_port_win32.h"

#include "serial/virtual_port.h"

#include <windows.h>
#include <aclapi.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <memory>
#include <vector>

#include "common/owned_win32.h"
#include "common/text.h"
#include "common/wide_text.h"
#include "serial/port_discovery.h"

namespace serial::win32 {

namespace {

// The display's lock covers one byte far beyond any text the file holds, so that while it
// is held anyone may still read the text.
constexpr DWORD kLockOffsetHigh = 1u << 8;  // 2^40
constexpr DWORD kLockLength = 1;
// A file longer than this names no pipe of ours; it is not read.
constexpr DWORD kMaxText = 512;
constexpr std::size_t kMaxPipeId = 80;
constexpr std::size_t kMaxNameLength = 32;
// Whoever looks at a name holds its lock for a moment; a display starting meanwhile tries
// the name again before it takes the next one.
constexpr int kLockTries = 3;
constexpr DWORD kLockRetryMs = 20;
constexpr char kNotRunning[] = "its virtual display is not running";
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool Refuse(std::string* reason, std::string text)
{
    if (reason != nullptr)
        *reason = std::move(text);
    return false;
}

std::string Refused(std::string* reason, std::string text)
{
    Refuse(reason, std::move(text));
    return {};
}

bool IsAsciiAlnum(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The folder without separators at its end ("C:\x\" is "C:\x"; "C:\" stays).
std::string Trimmed(std::string folder)
{
    while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/'))
        folder.pop_back();
    return folder;
}

// "C:\a\b" gives "C:\a"; "C:\a" gives "C:\"; a root gives itself.
std::string ParentOf(const std::string& dir)
{
    const auto slash = dir.find_last_of("\\/");
    if (slash == std::string::npos)
        return dir;
    if (slash == 2 && dir.size() > 3 && dir[1] == ':')
        return dir.substr(0, 3);
    return slash == 0 ? dir : dir.substr(0, slash);
}

std::string Join(const std::string& folder, const std::string& name)
{
    return Trimmed(folder) + "\\" + name;
}

// A drive's folder (C:\...) or a share's (\\server\share\...): nothing relative to a
// current folder that another program's could change.
bool IsAbsolute(const std::string& dir)
{
    const bool drive = dir.size() >= 3 && std::isalpha(static_cast<unsigned char>(dir[0])) != 0 && dir[1] == ':'
                       && (dir[2] == '\\' || dir[2] == '/');
    return drive || (dir.size() > 2 && dir[0] == '\\' && dir[1] == '\\');
}

// Whether the owner is this process's user, or the Administrators group where that is the
// token's default owner: an elevated administrator's new folders belong to the group.
// (Wine gives every file of the Unix user the user's own SID.)
bool IsOurs(PSID owner)
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    const OwnedHandle held(token);
    for (const TOKEN_INFORMATION_CLASS kind : {TokenUser, TokenOwner}) {
        DWORD size = 0;
        ::GetTokenInformation(token, kind, nullptr, 0, &size);
        if (size == 0)
            continue;
        std::vector<unsigned char> buffer(size);
        if (!::GetTokenInformation(token, kind, buffer.data(), size, &size))
            continue;
        // TOKEN_USER and TOKEN_OWNER both begin with the SID's pointer.
        const PSID sid = kind == TokenUser ? reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid
                                           : reinterpret_cast<TOKEN_OWNER*>(buffer.data())->Owner;
        if (kind == TokenOwner && !::IsWellKnownSid(sid, WinBuiltinAdministratorsSid))
            continue;
        if (::IsValidSid(sid) && ::EqualSid(sid, owner))
            return true;
    }
    return false;
}

bool OwnFolder(const std::string& dir, std::string* reason)
{
    const std::wstring wide = wide_text::Widen(dir);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return Refuse(reason, dir + ": no such folder");
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return Refuse(reason, dir + ": not a folder");
    // A link or a junction could lead anywhere, a folder of another user's included.
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return Refuse(reason, dir + ": a link, not a folder");
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(wide.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                nullptr, &descriptor)
        != ERROR_SUCCESS)
        return Refuse(reason, dir + ": its owner cannot be read");
    const common::OwnedLocalMemory held(descriptor);
    if (owner == nullptr || !IsOurs(owner))
        return Refuse(reason, dir + ": the folder belongs to another user");
    return true;
}

// Opens a published file without following a link, for reading and for its lock.
OwnedHandle OpenPortFile(const std::string& path, DWORD access, DWORD disposition, DWORD* error)
{
    HANDLE file = ::CreateFileW(wide_text::Widen(path).c_str(), access, kShareAll, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = ::GetLastError();
        return {};
    }
    OwnedHandle owned(file);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info)
        || (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        *error = ERROR_ACCESS_DENIED;
        return {};
    }
    return owned;
}

OVERLAPPED LockRange()
{
    OVERLAPPED range{};
    range.Offset = 0;
    range.OffsetHigh = kLockOffsetHigh;
    return range;
}

// Whether a display holds the file's lock. Looking takes a shared lock for a moment:
// success means nobody holds it, and it is given up at once.
bool HeldByDisplay(HANDLE file)
{
    OVERLAPPED range = LockRange();
    if (::LockFileEx(file, LOCKFILE_FAIL_IMMEDIATELY, 0, kLockLength, 0, &range)) {
        OVERLAPPED again = LockRange();
        ::UnlockFileEx(file, 0, kLockLength, 0, &again);
        return false;
    }
    return ::GetLastError() == ERROR_LOCK_VIOLATION;
}

// The pipe that a published file names, while a display holds it.
std::string ReadPort(const std::string& folder, const std::string& name, std::string* reason)
{
    const std::string path = Join(folder, name);
    DWORD error = 0;
    const OwnedHandle file = OpenPortFile(path, GENERIC_READ, OPEN_EXISTING, &error);
    if (!file.valid())
        return Refused(reason, kNotRunning);
    char text[kMaxText + 1] = {};
    DWORD got = 0;
    if (!::ReadFile(file.get(), text, sizeof(text), &got, nullptr) || got > kMaxText)
        return Refused(reason, path + ": does not name a virtual display's pipe");
    if (!HeldByDisplay(file.get()))
        return Refused(reason, kNotRunning);
    std::string pipe(text, got);
    while (!pipe.empty() && (pipe.back() == '\n' || pipe.back() == '\r'))
        pipe.pop_back();
    if (!IsVirtualPipePath(pipe))
        return Refused(reason, path + ": does not name a virtual display's pipe");
    return pipe;
}

bool WriteText(HANDLE file, const std::string& text)
{
    LARGE_INTEGER start{};
    DWORD written = 0;
    return ::SetFilePointerEx(file, start, nullptr, FILE_BEGIN) && ::SetEndOfFile(file)
           && ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)
           && written == text.size();
}

}  // namespace

std::string NewVirtualPipePath()
{
    static std::atomic<unsigned> count{0};
    return std::string(kVirtualPipePrefix) + std::to_string(::GetCurrentProcessId()) + "-"
           + std::to_string(count.fetch_add(1)) + "-" + std::to_string(::GetTickCount64());
}

bool IsVirtualPipePath(std::string_view path)
{
    if (path.size() <= kVirtualPipePrefix.size() || path.size() > kVirtualPipePrefix.size() + kMaxPipeId
        || path.substr(0, kVirtualPipePrefix.size()) != kVirtualPipePrefix)
        return false;
    const std::string_view id = path.substr(kVirtualPipePrefix.size());
    return std::all_of(id.begin(), id.end(), [](char c) { return IsAsciiAlnum(c) || c == '-'; });
}

bool IsVirtualPortName(std::string_view name)
{
    if (name.empty() || name.size() > kMaxNameLength || !std::all_of(name.begin(), name.end(), IsAsciiAlnum))
        return false;
    // The names Windows keeps for its devices in every folder: a file "NUL" or "COM3" in
    // the folder would open the device itself.
    for (const std::string_view device : {"CON", "PRN", "AUX", "NUL"}) {
        if (common::EqualsIgnoringCase(name, device))
            return false;
    }
    for (const std::string_view device : {"COM", "LPT"}) {
        if (name.size() > 3 && common::EqualsIgnoringCase(name.substr(0, 3), device)
            && std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
    }
    return true;
}

bool VirtualFolderTrusted(const std::string& folder, std::string* reason)
{
    const std::string dir = Trimmed(folder);
    if (!IsAbsolute(dir))
        return Refuse(reason, "no folder for virtual ports (\"" + folder + "\")");
    const std::string parent = ParentOf(dir);
    return OwnFolder(dir, reason) && (parent == dir || parent.size() <= 3 || OwnFolder(parent, reason));
}

std::vector<std::string> LiveVirtualPorts(const std::string& folder)
{
    std::vector<std::string> ports;
    if (!VirtualFolderTrusted(folder))
        return ports;
    WIN32_FIND_DATAW found{};
    const common::OwnedSearch search(::FindFirstFileW(wide_text::Widen(Join(folder, "*")).c_str(), &found));
    if (!search.valid())
        return ports;
    do {
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
            continue;
        const std::string name = wide_text::Narrow(found.cFileName);
        if (IsVirtualPortName(name) && !ReadPort(folder, name, nullptr).empty())
            ports.push_back(name);
    } while (::FindNextFileW(search.get(), &found));
    std::sort(ports.begin(), ports.end(), NaturalLess);
    return ports;
}

std::string VirtualPortPipe(const std::string& folder, const std::string& name, std::string* reason)
{
    if (!IsVirtualPortName(name))
        return Refused(reason, "not a virtual port's name");
    if (!VirtualFolderTrusted(folder, reason))
        return {};
    return ReadPort(folder, name, reason);
}

}  // namespace serial::win32

namespace serial {

bool VirtualPortPublication::Publish(const std::string& folder, const std::string& line, std::string* error,
                                     std::string_view base)
{
    using namespace win32;
    Remove();
    if (!IsVirtualPipePath(line))
        return Refuse(error, "not a virtual display's pipe: " + line);
    const std::string dir = Trimmed(folder);
    if (!IsAbsolute(dir))
        return Refuse(error, "no folder for virtual ports (\"" + folder + "\")");
    // Every missing folder on the way, from the top down.
    std::vector<std::string> missing;
    for (std::string at = dir; ::GetFileAttributesW(wide_text::Widen(at).c_str()) == INVALID_FILE_ATTRIBUTES;) {
        missing.push_back(at);
        const std::string up = ParentOf(at);
        if (up == at)
            break;
        at = up;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (!::CreateDirectoryW(wide_text::Widen(*it).c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
            return Refuse(error, *it + ": the folder cannot be created");
    }
    if (!VirtualFolderTrusted(dir, error))
        return false;

    for (int n = 0; n < kMaxNames; ++n) {
        const std::string name = std::string(base) + std::to_string(n);
        if (!IsVirtualPortName(name))
            return Refuse(error, "not a virtual port's name: " + name);
        const std::string path = Join(dir, name);
        for (int attempt = 0; attempt < kLockTries; ++attempt) {
            if (attempt > 0)
                ::Sleep(kLockRetryMs);
            DWORD openError = 0;
            OwnedHandle file = OpenPortFile(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, &openError);
            // Access denied: the file of a display that is just giving its name up.
            if (!file.valid())
                continue;
            OVERLAPPED range = LockRange();
            if (!::LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, kLockLength, 0,
                              &range))
                continue;
            if (!WriteText(file.get(), line))
                return Refuse(error, path + ": the file cannot be written");
            m_held = {std::move(file), name, path, path, line};
            return true;
        }
    }
    return Refuse(error, "every virtual port's name is taken in " + dir);
}

void VirtualPortPublication::Remove() noexcept
{
    if (!m_held.lock.valid())
        return;
    // Deleted while still locked, so that nobody finds the name free with our text in it.
    ::DeleteFileW(wide_text::Widen(m_held.path).c_str());
    m_held = {};
}

}  // namespace serial
