#include "icmp/NameLookup.h"

#include "platform/BackgroundCall.h"

#include <arpa/inet.h>
#include <cstdint>
#include <mutex>
#include <netdb.h>

namespace vn::icmp {

namespace {

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
    ReverseFunction f;
    {
        std::lock_guard lock(g_mutex);
        f = g_reverse;
    }
    NameResult r;
    switch (callInBackground(wait, deadline, [dotted, f] { return f ? f(dotted) : systemReverse(dotted); }, r)) {
    case Outcome::Done: return r;
    case Outcome::Aborted: return {NameResult::Cancelled, {}, 0};
    case Outcome::TimedOut: return {NameResult::TimedOut, {}, 0};
    default: return {};
    }
}

} // namespace vn::icmp
