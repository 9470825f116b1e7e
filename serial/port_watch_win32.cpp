#include "serial/port_watch.h"

#include <windows.h>

#include <algorithm>

#include "common/wide_text.h"
#include "serial/serial_comm_win32.h"

namespace serial {

namespace {

// A key created or deleted, a value added, changed or removed.
constexpr DWORD kChanges = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;

std::wstring ParentOf(const std::wstring& path)
{
    const auto slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// Asks Windows to set the event at the next change of the key; the notice goes with the
// key's handle, which is kept open until the next Arm.
void Notify(win32::OwnedKey key, bool subtree, DWORD filter, HANDLE event, std::vector<std::shared_ptr<void>>& watched)
{
    if (::RegNotifyChangeKeyValue(key.get(), subtree ? TRUE : FALSE, filter, event, TRUE) != ERROR_SUCCESS)
        return;
    watched.emplace_back(static_cast<void*>(key.release()), [](void* held) { ::RegCloseKey(static_cast<HKEY>(held)); });
}

}  // namespace

PortWatch::PortWatch(std::vector<std::string> dirs)
    : m_dirs(std::move(dirs))
{
    if (m_dirs.empty())
        return;
    // Manual reset: it stays set until TakeEvents has seen it.
    m_events = OwnedHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    Arm();
}

int PortWatch::EventDescriptor() const
{
    return -1;
}

NativeHandle PortWatch::EventHandle() const
{
    return m_events.get();
}

void PortWatch::Arm()
{
    if (!m_events.valid())
        return;
    // A notice is given once: the parents are opened and asked again after every event.
    // One notice for each parent, below which the key's creation, its removal and its
    // values all count: a second notice still pending would be ended by closing its key,
    // which Windows tells as one more change.
    std::vector<std::shared_ptr<void>> watched;
    std::vector<std::wstring> parents;
    for (const std::string& dir : m_dirs) {
        for (std::wstring parent = ParentOf(wide_text::Widen(dir)); !parent.empty(); parent = ParentOf(parent)) {
            win32::OwnedKey above = win32::OpenMachineKey(parent, KEY_NOTIFY);
            if (!above.valid())
                continue;
            if (std::find(parents.begin(), parents.end(), parent) == parents.end()) {
                Notify(std::move(above), true, kChanges, m_events.get(), watched);
                parents.push_back(parent);
            }
            break;
        }
    }
    m_keys = std::move(watched);
}

bool PortWatch::TakeEvents()
{
    if (!m_events.valid() || ::WaitForSingleObject(m_events.get(), 0) != WAIT_OBJECT_0)
        return false;
    ::ResetEvent(m_events.get());
    Arm();
    return true;
}

std::vector<std::string> PortWatch::MachineFolders()
{
    return {wide_text::Narrow(win32::kSerialCommKey)};
}

}  // namespace serial
