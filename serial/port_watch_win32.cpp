#include "serial/port_watch.h"

namespace serial {

// Windows tells a window of new devices (WM_DEVICECHANGE), not a descriptor; the panel
// probes the COM ports again once a second instead.
PortWatch::PortWatch(std::vector<std::string> dirs)
    : m_dirs(std::move(dirs))
{
}

int PortWatch::EventDescriptor() const
{
    return -1;
}

void PortWatch::Arm() {}

bool PortWatch::TakeEvents()
{
    return false;
}

std::vector<std::string> PortWatch::MachineFolders()
{
    return {};
}

}  // namespace serial
