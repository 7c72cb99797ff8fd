#include "platform/Resolver.h"

#include <algorithm>
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

LookupResult systemLookup(const std::string& host, LookupFamily family) {
    addrinfo hints{};
    hints.ai_family = family == LookupFamily::Any ? AF_UNSPEC : AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    LookupResult r;
    int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &res);
    if (rc == 0 && res) {
        for (addrinfo* a = res; a; a = a->ai_next) {
            char buf[INET6_ADDRSTRLEN] = {};
            const char* text = nullptr;
            if (a->ai_family == AF_INET)
                text = inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr, buf, sizeof buf);
            else if (a->ai_family == AF_INET6)
                text = inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(a->ai_addr)->sin6_addr, buf, sizeof buf);
            if (!text) continue;
            if (std::find(r.addresses.begin(), r.addresses.end(), text) == r.addresses.end())
                r.addresses.emplace_back(text);
        }
    }
    if (!r.addresses.empty()) {
        r.status = LookupResult::Found;
        r.dotted = r.addresses.front();
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

LookupResult lookupHost(EventWait& wait, const std::string& host, EventWait::Deadline deadline, LookupFamily family) {
    auto pending = std::make_shared<Pending>();
    if (pending->fd < 0) return {};
    try {
        LookupFunction f;
        {
            std::lock_guard lock(g_lookupMutex);
            f = g_lookup;
        }
        std::thread([pending, host, f, family] {
            LookupResult r = f ? f(host) : systemLookup(host, family);
            if (f && family == LookupFamily::IPv4 && !r.addresses.empty()) {
                std::erase_if(r.addresses, [](const std::string& a) { return a.find(':') != std::string::npos; });
                r.dotted = r.addresses.empty() ? std::string() : r.addresses.front();
                if (r.addresses.empty() && r.status == LookupResult::Found) r.status = LookupResult::NotFound;
            }
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
