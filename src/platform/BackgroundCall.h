#pragma once
// A blocking library call (a name look-up) run on a thread of its own while
// the caller waits through its EventWait, so Abort and time-outs end the wait
// at once. An abandoned call finishes in the background and its answer is
// dropped.
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/EventWait.h"

namespace vn {

// Done with `result` set, or how the wait ended instead (Failed when no
// thread could be started).
template <class R, class Call>
Outcome callInBackground(EventWait& wait, EventWait::Deadline deadline, Call call, R& result) {
    struct Pending {
        int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        std::mutex mutex;
        R result{};
        ~Pending() {
            if (fd >= 0) ::close(fd);
        }
    };
    auto pending = std::make_shared<Pending>();
    if (pending->fd < 0) return Outcome::Failed;
    try {
        std::thread([pending, call = std::move(call)]() mutable {
            R r = call();
            {
                std::lock_guard lock(pending->mutex);
                pending->result = std::move(r);
            }
            std::uint64_t one = 1;
            [[maybe_unused]] auto n = ::write(pending->fd, &one, sizeof one);
        }).detach();
    } catch (...) {
        return Outcome::Failed;
    }
    const Outcome o = wait.wait(pending->fd, FD_READ, deadline);
    if (o == Outcome::Done) {
        std::lock_guard lock(pending->mutex);
        result = pending->result;
    }
    return o;
}

} // namespace vn
