// The wait set on POSIX: an epoll descriptor, level-triggered, readable while a member is.
#include "serial/wait_set.h"

#include <sys/epoll.h>

#include <cerrno>
#include <cstring>

namespace serial {

struct WaitSet::Held {
    OwnedHandle epoll;
};

void WaitSet::HeldDeleter::operator()(Held* held) const noexcept
{
    delete held;
}

WaitSet::WaitSet() noexcept = default;
WaitSet::~WaitSet() = default;
WaitSet::WaitSet(WaitSet&& other) noexcept = default;
WaitSet& WaitSet::operator=(WaitSet&& other) noexcept = default;

WaitSet WaitSet::Make(std::string* error)
{
    OwnedHandle epoll(::epoll_create1(EPOLL_CLOEXEC));
    WaitSet set;
    if (!epoll.valid()) {
        *error = std::string("cannot make a wait set: ") + std::strerror(errno);
        return set;
    }
    set.m_held.reset(new Held{std::move(epoll)});
    return set;
}

bool WaitSet::Valid() const noexcept
{
    return m_held && m_held->epoll.valid();
}

bool WaitSet::Add(NativeHandle member, std::string* error)
{
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = member;
    if (Valid() && ::epoll_ctl(m_held->epoll.get(), EPOLL_CTL_ADD, member, &event) == 0)
        return true;
    *error = std::string("cannot wait on a socket: ") + std::strerror(Valid() ? errno : EBADF);
    return false;
}

void WaitSet::Remove(NativeHandle member) noexcept
{
    if (Valid())
        ::epoll_ctl(m_held->epoll.get(), EPOLL_CTL_DEL, member, nullptr);
}

NativeHandle WaitSet::Handle() const noexcept
{
    return Valid() ? m_held->epoll.get() : kNoHandle;
}

void WaitSet::Rearm() noexcept
{
}

}  // namespace serial
