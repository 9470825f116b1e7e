#pragma once
// A call that can be neither bounded nor stopped, a name lookup (getaddrinfo), run on a
// thread of its own and waited for until a deadline or a stop request. Nobody waits for
// that thread: once the caller has given up, it frees what it finds by itself when it
// ends. The same on every platform; the socket files give it the call and the freeing.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stop_token>
#include <system_error>
#include <thread>
#include <utility>

namespace serial {

enum class LookupEnd {
    Done,      // *out holds what the call returned
    TimedOut,  // the deadline passed first
    Stopped,   // a stop was requested first
    NoThread,  // no thread could be started for it
};

// Runs lookup() (which returns a Result) on a thread of its own; drop(Result&) frees a
// result that came too late for anybody to take.
template <typename Result, typename Lookup, typename Drop>
LookupEnd RunBounded(Lookup lookup, Drop drop, std::chrono::steady_clock::time_point deadline,
                     const std::stop_token& stop, Result* out)
{
    struct Shared {
        std::mutex mutex;
        std::condition_variable_any done;
        bool finished = false;
        bool abandoned = false;
        Result result{};
    };
    const auto shared = std::make_shared<Shared>();
    try {
        std::thread([shared, lookup = std::move(lookup), drop = std::move(drop)]() mutable {
            Result result = lookup();
            const std::lock_guard lock(shared->mutex);
            if (shared->abandoned) {
                drop(result);
                return;
            }
            shared->result = std::move(result);
            shared->finished = true;
            shared->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return LookupEnd::NoThread;
    }
    std::unique_lock lock(shared->mutex);
    shared->done.wait_until(lock, stop, deadline, [&] { return shared->finished; });
    if (!shared->finished) {
        shared->abandoned = true;
        return stop.stop_requested() ? LookupEnd::Stopped : LookupEnd::TimedOut;
    }
    *out = std::move(shared->result);
    return LookupEnd::Done;
}

}  // namespace serial
