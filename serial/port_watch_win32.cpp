#include "serial/port_watch.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cstddef>

#include "common/wide_text.h"
#include "serial/port_name.h"
#include "serial/serial_comm_win32.h"

namespace serial {

namespace {

// A key created or deleted, a value added, changed or removed.
constexpr DWORD kChanges = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
// In the folder itself: a file made, removed or renamed, or written (a display's text).
constexpr DWORD kFolderChanges = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE;
// In a folder above it, only folders made, removed or renamed: %LOCALAPPDATA% can be busy.
constexpr DWORD kAboveChanges = FILE_NOTIFY_CHANGE_DIR_NAME;
constexpr wchar_t kRegistryRoot[] = L"HARDWARE\\";

std::wstring ParentOf(const std::wstring& path)
{
    const auto slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool IsRegistryKey(const std::string& dir)
{
    const std::wstring wide = wide_text::Widen(dir);
    const std::wstring_view root(kRegistryRoot);
    return wide.size() >= root.size()
           && ::CompareStringOrdinal(wide.data(), static_cast<int>(root.size()), root.data(),
                                     static_cast<int>(root.size()), TRUE)
                  == CSTR_EQUAL;
}

// Asks Windows to set the event at the next change of the key; the notice goes with the
// key's handle, which is kept open until the next Arm.
void Notify(win32::OwnedKey key, bool subtree, DWORD filter, HANDLE event, std::vector<win32::OwnedKey>& watched)
{
    if (::RegNotifyChangeKeyValue(key.get(), subtree ? TRUE : FALSE, filter, event, TRUE) != ERROR_SUCCESS)
        return;
    watched.push_back(std::move(key));
}

bool IsFolder(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// One read of a folder's changes, under way until it completes or is ended.
class ChangeRead {
public:
    ChangeRead() = default;
    ChangeRead(const ChangeRead&) = delete;
    ChangeRead& operator=(const ChangeRead&) = delete;
    ~ChangeRead() { End(); }

    // Starts reading the changes of folder, which sets event when any comes.
    bool Start(const std::wstring& folder, DWORD filter, HANDLE event)
    {
        End();
        HANDLE dir =
            ::CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
        if (dir == INVALID_HANDLE_VALUE)
            return false;
        OwnedHandle opened(dir);
        m_overlapped = {};
        m_overlapped.hEvent = event;
        if (!::ReadDirectoryChangesW(dir, m_buffer.data(), static_cast<DWORD>(m_buffer.size()), FALSE, filter, nullptr,
                                     &m_overlapped, nullptr))
            return false;
        m_dir = std::move(opened);
        return true;
    }

    bool Pending() const { return m_dir.valid(); }
    bool Completed() const { return m_dir.valid() && HasOverlappedIoCompleted(&m_overlapped); }

    // Once completed: whether any change named `name` (any name when empty); true too
    // when Windows lost count of the changes.
    bool Take(const std::wstring& name)
    {
        DWORD bytes = 0;
        const bool ok = ::GetOverlappedResult(m_dir.get(), &m_overlapped, &bytes, FALSE) != FALSE;
        m_dir.reset();
        if (!ok || bytes == 0 || name.empty())
            return true;
        for (std::size_t at = 0; at + sizeof(FILE_NOTIFY_INFORMATION) <= bytes;) {
            const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(m_buffer.data() + at);
            const int length = static_cast<int>(info->FileNameLength / sizeof(wchar_t));
            if (::CompareStringOrdinal(info->FileName, length, name.data(), static_cast<int>(name.size()), TRUE)
                == CSTR_EQUAL)
                return true;
            if (info->NextEntryOffset == 0)
                break;
            at += info->NextEntryOffset;
        }
        return false;
    }

    // Ends a read under way and waits until Windows let go of it.
    void End()
    {
        if (!m_dir.valid())
            return;
        DWORD bytes = 0;
        if (!HasOverlappedIoCompleted(&m_overlapped) && ::CancelIoEx(m_dir.get(), &m_overlapped))
            ::GetOverlappedResult(m_dir.get(), &m_overlapped, &bytes, TRUE);
        m_dir.reset();
    }

private:
    OwnedHandle m_dir;
    OVERLAPPED m_overlapped{};
    alignas(DWORD) std::array<unsigned char, 4096> m_buffer{};
};

}  // namespace

struct PortWatch::WatchedKeys {
    std::vector<win32::OwnedKey> keys;
};

// A folder of the disk: its own changes while it exists, and above it the nearest folder
// that exists, for the news of the next folder on the way (the folder made, or removed
// with everything below it). Both reads set the folder's one event.
struct PortWatch::FolderWatch {
    std::wstring folder;
    OwnedHandle event;
    ChangeRead inside;
    ChangeRead above;
    std::wstring aboveDir;  // the folder above that is watched
    std::wstring next;      // the name that concerns us there

    void Arm()
    {
        inside.End();
        above.End();
        aboveDir.clear();
        if (IsFolder(folder))
            inside.Start(folder, kFolderChanges, event.get());
        std::wstring child = folder;
        for (std::wstring parent = ParentOf(folder); !parent.empty(); child = parent, parent = ParentOf(parent)) {
            // "C:" stands for the drive's current folder; its root is "C:\".
            const std::wstring dir = parent.size() == 2 && parent[1] == L':' ? parent + L'\\' : parent;
            if (IsFolder(dir)) {
                aboveDir = dir;
                next = child.substr(parent.size() + 1);
                above.Start(dir, kAboveChanges, event.get());
                break;
            }
        }
    }

    // Whether anything that concerns the folder came since the last call.
    bool Take()
    {
        if (::WaitForSingleObject(event.get(), 0) != WAIT_OBJECT_0)
            return false;
        // Cleared first: a change that comes while we look sets it again.
        ::ResetEvent(event.get());
        bool news = false;
        bool rearm = false;
        const bool wasInside = inside.Pending();
        const std::wstring wasAbove = aboveDir;
        if (inside.Completed()) {
            news = inside.Take({});
            rearm = true;
        }
        if (above.Completed()) {
            news = above.Take(next) || news;
            rearm = true;
        }
        if (rearm || (!inside.Pending() && IsFolder(folder)))
            Arm();
        // What changed before the reads began again shows in where they look now.
        return news || inside.Pending() != wasInside || aboveDir != wasAbove;
    }
};

PortWatch::PortWatch(std::vector<std::string> dirs) : m_dirs(std::move(dirs))
{
    std::vector<std::string> keys;
    for (const std::string& dir : m_dirs) {
        if (IsRegistryKey(dir)) {
            keys.push_back(dir);
            continue;
        }
        if (dir.empty())
            continue;
        auto watch = std::make_shared<FolderWatch>();
        watch->folder = wide_text::Widen(dir);
        while (watch->folder.size() > 3 && (watch->folder.back() == L'\\' || watch->folder.back() == L'/'))
            watch->folder.pop_back();
        // Manual reset, as the registry's.
        watch->event = OwnedHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!watch->event.valid())
            continue;
        watch->Arm();
        m_folders.push_back(std::move(watch));
    }
    m_dirs = std::move(keys);
    if (m_dirs.empty())
        return;
    // Manual reset: it stays set until TakeEvents has seen it.
    m_events = OwnedHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    Arm();
}

NativeHandle PortWatch::EventHandle() const
{
    const std::vector<NativeHandle> handles = EventHandles();
    return handles.empty() ? kNoHandle : handles.front();
}

std::vector<NativeHandle> PortWatch::EventHandles() const
{
    std::vector<NativeHandle> handles;
    if (m_events.valid())
        handles.push_back(m_events.get());
    for (const auto& folder : m_folders)
        handles.push_back(folder->event.get());
    return handles;
}

void PortWatch::Arm()
{
    if (!m_events.valid())
        return;
    // A notice is given once: the parents are opened and asked again after every event.
    // One notice for each parent, below which the key's creation, its removal and its
    // values all count: a second notice still pending would be ended by closing its key,
    // which Windows tells as one more change.
    auto watched = std::make_shared<WatchedKeys>();
    std::vector<std::wstring> parents;
    for (const std::string& dir : m_dirs) {
        for (std::wstring parent = ParentOf(wide_text::Widen(dir)); !parent.empty(); parent = ParentOf(parent)) {
            win32::OwnedKey above = win32::OpenMachineKey(parent, KEY_NOTIFY);
            if (!above.valid())
                continue;
            if (std::find(parents.begin(), parents.end(), parent) == parents.end()) {
                Notify(std::move(above), true, kChanges, m_events.get(), watched->keys);
                parents.push_back(parent);
            }
            break;
        }
    }
    m_keys = std::move(watched);
}

bool PortWatch::TakeEvents()
{
    bool news = false;
    for (const auto& folder : m_folders)
        news = folder->Take() || news;
    if (m_events.valid() && ::WaitForSingleObject(m_events.get(), 0) == WAIT_OBJECT_0) {
        ::ResetEvent(m_events.get());
        Arm();
        news = true;
    }
    return news;
}

std::vector<std::string> PortWatch::MachineFolders()
{
    std::vector<std::string> folders{wide_text::Narrow(win32::kSerialCommKey)};
    if (std::string virtualDir = DefaultVirtualPortDir(); !virtualDir.empty())
        folders.push_back(std::move(virtualDir));
    return folders;
}

}  // namespace serial
