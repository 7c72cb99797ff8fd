#include "icmp/NameLookup.h"

#include <arpa/inet.h>
#include <cstdint>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace vn::icmp {

namespace {

struct Pending {
    int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    std::mutex mutex;
    NameResult result;
    ~Pending() {
        if (fd >= 0) ::close(fd);
    }
};

NameResult systemReverse(const std::string& dotted) {
    NameResult r;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    if (inet_pton(AF_INET, dotted.c_str(), &sa.sin_addr) != 1) {
        r.status = NameResult::NoName;
        r.error = EAI_NONAME;
        return r;
    }
    char host[NI_MAXHOST] = {};
    int rc = ::getnameinfo(reinterpret_cast<sockaddr*>(&sa), sizeof sa, host, sizeof host, nullptr, 0, NI_NAMEREQD);
    if (rc == 0) {
        r.status = NameResult::Found;
        r.name = host;
    } else {
        r.status = NameResult::NoName;
        r.error = rc;
    }
    return r;
}

std::mutex g_mutex;
ReverseFunction g_reverse;

} // namespace

void setReverseFunction(ReverseFunction f) {
    std::lock_guard lock(g_mutex);
    g_reverse = std::move(f);
}

NameResult lookupName(EventWait& wait, const std::string& dotted, EventWait::Deadline deadline) {
    auto pending = std::make_shared<Pending>();
    if (pending->fd < 0) return {};
    ReverseFunction f;
    {
        std::lock_guard lock(g_mutex);
        f = g_reverse;
    }
    try {
        // An abandoned look-up finishes in the background; its answer is dropped.
        std::thread([pending, dotted, f] {
            NameResult r = f ? f(dotted) : systemReverse(dotted);
            {
                std::lock_guard lock(pending->mutex);
                pending->result = r;
            }
            std::uint64_t one = 1;
            [[maybe_unused]] auto n = ::write(pending->fd, &one, sizeof one);
        }).detach();
    } catch (...) {
        return {};
    }
    switch (wait.wait(pending->fd, FD_READ, deadline)) {
    case Outcome::Done: {
        std::lock_guard lock(pending->mutex);
        return pending->result;
    }
    case Outcome::Aborted: return {NameResult::Cancelled, {}, 0};
    case Outcome::TimedOut: return {NameResult::TimedOut, {}, 0};
    default: return {};
    }
}

} // namespace vn::icmp
