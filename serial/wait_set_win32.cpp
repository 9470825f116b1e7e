// The wait set on Windows: one manual-reset event that a thread-pool wait on each member
// sets. Each wait fires once; Rearm clears the event and waits again, so a member still
// signalled (its socket event not yet reset by a read that found nothing) sets it again
// at once, as a readable descriptor stays readable.
#include "serial/wait_set.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "common/wide_text.h"

namespace serial {

namespace {

void CALLBACK Signalled(void* event, BOOLEAN)
{
    ::SetEvent(static_cast<HANDLE>(event));
}

}  // namespace

struct WaitSet::Held {
    struct Member {
        NativeHandle handle;
        HANDLE wait;
    };
    OwnedHandle event;
    std::vector<Member> members;

    bool Wait(Member* member)
    {
        if (::RegisterWaitForSingleObject(&member->wait, member->handle, Signalled, event.get(), INFINITE,
                                          WT_EXECUTEONLYONCE))
            return true;
        member->wait = nullptr;
        return false;
    }
    // Returns once the callback, if it runs, has ended.
    static void Unwait(Member& member)
    {
        if (member.wait != nullptr)
            ::UnregisterWaitEx(member.wait, INVALID_HANDLE_VALUE);
        member.wait = nullptr;
    }

    ~Held()
    {
        for (Member& member : members)
            Unwait(member);
    }
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
    OwnedHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    WaitSet set;
    if (!event.valid()) {
        *error = "cannot make a wait set: " + wide_text::SystemMessage(::GetLastError());
        return set;
    }
    set.m_held.reset(new Held{std::move(event), {}});
    return set;
}

bool WaitSet::Valid() const noexcept
{
    return m_held && m_held->event.valid();
}

bool WaitSet::Add(NativeHandle member, std::string* error)
{
    Held::Member entry{member, nullptr};
    if (Valid() && m_held->Wait(&entry)) {
        m_held->members.push_back(entry);
        return true;
    }
    *error = "cannot wait on a socket: " + wide_text::SystemMessage(Valid() ? ::GetLastError() : ERROR_INVALID_HANDLE);
    return false;
}

void WaitSet::Remove(NativeHandle member) noexcept
{
    if (!Valid())
        return;
    auto& members = m_held->members;
    const auto at =
        std::find_if(members.begin(), members.end(), [&](const Held::Member& m) { return m.handle == member; });
    if (at == members.end())
        return;
    Held::Unwait(*at);
    members.erase(at);
}

NativeHandle WaitSet::Handle() const noexcept
{
    return Valid() ? m_held->event.get() : kNoHandle;
}

void WaitSet::Rearm() noexcept
{
    if (!Valid())
        return;
    ::ResetEvent(m_held->event.get());
    for (Held::Member& member : m_held->members) {
        Held::Unwait(member);
        if (!m_held->Wait(&member))
            ::SetEvent(m_held->event.get());  // looked at again at the next turn rather than never
    }
}

}  // namespace serial
