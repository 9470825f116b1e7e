#pragma once
// Pseudo-terminals as the panel's ports, and a virtual-port folder of the test's own where
// they are published as virtual displays publish theirs.

#include <QTemporaryDir>
#include <filesystem>
#include <map>

#include <fcntl.h>
#include <unistd.h>

#include "serial/native_handle.h"
#include "serial/port_discovery.h"
#include "serial/port_name.h"
#include "serial/serial_port.h"
#include "serial/virtual_port_posix.h"
#include "tests/support/panel_harness.h"
#include "tests/support/pty_pair.h"

namespace harness {

using PtyPair = testing_support::PtyPair<QByteArray>;

// A virtual-port folder of the test's own, where the test publishes pseudo-terminals as
// virtual displays do, and a machine without any other serial port.
class VirtualFolder {
public:
    // The runtime folder moves into the test's own, so that a port name such as "sim0"
    // can only mean a port published here. Without the virtual-port folder when the test
    // says so: the first Publish makes it, as the first virtual display does.
    explicit VirtualFolder(bool portFolderMade = true) : m_oldRuntime(qgetenv("XDG_RUNTIME_DIR"))
    {
        qputenv("XDG_RUNTIME_DIR", m_root.path().toLocal8Bit());
        m_roots.virtualDir = serial::DefaultVirtualPortDir();
        m_roots.sysClassTty = (m_root.path() + QStringLiteral("/sys")).toStdString();
        m_roots.devDir = (m_root.path() + QStringLiteral("/dev")).toStdString();
        for (const std::string& dir : {m_roots.sysClassTty, m_roots.devDir})
            std::filesystem::create_directories(dir);
        if (portFolderMade)
            MakePortFolder();
    }
    VirtualFolder(const VirtualFolder&) = delete;
    VirtualFolder& operator=(const VirtualFolder&) = delete;

    // A display publishes the device under the name: it takes the name's lock, then
    // links the device (replacing whatever stood there).
    void Publish(const std::string& name, const std::string& device)
    {
        if (!std::filesystem::exists(m_roots.virtualDir))
            MakePortFolder();
        Unpublish(name);
        serial::OwnedHandle lock(
            ::open(serial::VirtualPortLockPath(m_roots.virtualDir, name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
        if (!lock.valid() || !serial::LockVirtualPort(lock.get()))
            qFatal("cannot lock the virtual port %s", name.c_str());
        m_locks[name] = std::move(lock);
        std::filesystem::create_symlink(device, m_roots.virtualDir + "/" + name);
    }
    // The display ends: its link goes, and its lock with it.
    void Unpublish(const std::string& name)
    {
        std::filesystem::remove(m_roots.virtualDir + "/" + name);
        m_locks.erase(name);
    }
    ~VirtualFolder()
    {
        m_locks.clear();
        qputenv("XDG_RUNTIME_DIR", m_oldRuntime);
    }

    // The runtime folder, parent of the virtual-port folder's own parent.
    std::string Runtime() const { return m_root.path().toStdString(); }
    const std::string& PortFolder() const { return m_roots.virtualDir; }

    // The panel lists this machine's ports and follows the folder.
    panel::PanelServices Services() const
    {
        panel::PanelServices services;
        services.listPorts = [roots = m_roots] { return serial::DiscoverPorts(roots); };
        services.watchFolders = std::vector<std::string>{m_roots.virtualDir};
        return services;
    }

private:
    void MakePortFolder()
    {
        std::filesystem::create_directories(m_roots.virtualDir);
        std::filesystem::permissions(std::filesystem::path(m_roots.virtualDir).parent_path(),
                                     std::filesystem::perms::owner_all);
        std::filesystem::permissions(m_roots.virtualDir, std::filesystem::perms::owner_all);
    }

    std::map<std::string, serial::OwnedHandle> m_locks;  // name: its display's lock
    QByteArray m_oldRuntime;
    QTemporaryDir m_root;
    serial::DiscoveryRoots m_roots;
};

// The panel on a single pseudo-terminal, opened; the line goes after the panel.
struct LineHolder {
    PtyPair line;
};
struct PanelOnLine : LineHolder, Panel {
    PanelOnLine() : Panel(MakePanel({line.path()})) {}
};

inline bool PortIsFree(const std::string& path)
{
    serial::CSerialPort probe;
    return probe.Open(path, 2400);
}

}  // namespace harness
