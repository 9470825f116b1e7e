#include "sim/port_link.h"

namespace sim {

// The folder's rules, the lock and the taking over of a name a killed display left are
// the serial library's, which the panel and the sender read the folder with.
bool PortLink::Publish(const std::string& folder, const std::string& target, std::string* error,
                       std::string_view base)
{
    return m_publication.Publish(folder, target, error, base);
}

void PortLink::Remove() noexcept
{
    m_publication.Remove();
}

}  // namespace sim
