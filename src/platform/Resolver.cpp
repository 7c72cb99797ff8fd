#include "platform/Resolver.h"

#include <arpa/inet.h>
#include <cstdint>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace vn {

namespace {

struct Pending {
    int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    std::mutex mutex;
    LookupResult result;
    ~Pending() {
        if (fd >= 0) ::close(fd);
    }
};

LookupResult systemLookup(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    LookupResult r;
    int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &res);
    if (rc == 0 && res) {
        char buf[INET_ADDRSTRLEN] = {};
        auto* sa = reinterpret_cast<sockaddr_in*>(res->ai_addr);
        inet_ntop(AF_INET, &sa->sin_addr, buf, sizeof buf);
        r.status = LookupResult::Found;
        r.dotted = buf;
    } else {
        r.status = LookupResult::NotFound;
        r.error = rc;
    }
    if (res) ::freeaddrinfo(res);
    return r;
}

std::mutex g_lookupMutex;
LookupFunction g_lookup;

} // namespace

void setLookupFunction(LookupFunction f) {
    std::lock_guard lock(g_lookupMutex);
    g_lookup = std::move(f);
}

LookupResult lookupHost(EventWait& wait, const std::string& host, EventWait::Deadline deadline) {
    auto pending = std::make_shared<Pending>();
    if (pending->fd < 0) return {};
    try {
        LookupFunction f;
        {
            std::lock_guard lock(g_lookupMutex);
            f = g_lookup;
        }
        std::thread([pending, host, f] {
            LookupResult r = f ? f(host) : systemLookup(host);
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
    int w = wait.waitUntil(pending->fd, FD_READ, deadline);
    if (w == 1) {
        std::lock_guard lock(pending->mutex);
        return pending->result;
    }
    LookupResult r;
    r.status = wait.timedOut() ? LookupResult::TimedOut : w == 0 ? LookupResult::Cancelled : LookupResult::Failed;
    return r;
}

} // namespace vn
