#include "platform/Resolver.h"

#include "platform/BackgroundCall.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdint>
#include <mutex>
#include <netdb.h>

namespace vn {

namespace {

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
    LookupFunction f;
    {
        std::lock_guard lock(g_lookupMutex);
        f = g_lookup;
    }
    auto call = [host, f, family] {
        LookupResult r = f ? f(host) : systemLookup(host, family);
        if (f && family == LookupFamily::IPv4 && !r.addresses.empty()) {
            std::erase_if(r.addresses, [](const std::string& a) { return a.find(':') != std::string::npos; });
            r.dotted = r.addresses.empty() ? std::string() : r.addresses.front();
            if (r.addresses.empty() && r.status == LookupResult::Found) r.status = LookupResult::NotFound;
        }
        return r;
    };
    LookupResult r;
    switch (callInBackground(wait, deadline, std::move(call), r)) {
    case Outcome::Done: return r;
    case Outcome::Aborted: r.status = LookupResult::Cancelled; return r;
    case Outcome::TimedOut: r.status = LookupResult::TimedOut; return r;
    default: return {};
    }
}

} // namespace vn
