#pragma once
// Host-name look-up that the user can abort: getaddrinfo runs on a helper
// thread while the caller waits through its EventWait; an abandoned look-up
// finishes in the background and its answer is dropped.
#include <functional>
#include <string>
#include <vector>

#include "platform/EventWait.h"

namespace vn {

struct LookupResult {
    enum Status { Found, NotFound, Cancelled, TimedOut, Failed } status = Failed;
    std::string dotted; // the first address when Found (IPv4 unless IPv6 was asked for too)
    int error = 0;      // getaddrinfo's code when NotFound
    // Every address of the name, IPv6 and IPv4, in the system's order of
    // preference (connect tries them in turn); empty means {dotted}.
    std::vector<std::string> addresses = {};

    std::vector<std::string> all() const {
        if (!addresses.empty()) return addresses;
        return dotted.empty() ? std::vector<std::string>{} : std::vector<std::string>{dotted};
    }
};

// The blocking look-up that runs on the helper thread; tests install a
// scripted one (nullptr restores getaddrinfo).
// A scripted one that sets `addresses` gets IPv6 ones filtered out for an
// IPv4 look-up.
using LookupFunction = std::function<LookupResult(const std::string& host)>;
void setLookupFunction(LookupFunction f);

// Which addresses a look-up returns: IPv4 only (ICMP, the query tools), or
// IPv6 and IPv4 (FTP).
enum class LookupFamily { IPv4, Any };

LookupResult lookupHost(EventWait& wait, const std::string& host, EventWait::Deadline deadline,
                        LookupFamily family = LookupFamily::IPv4);

} // namespace vn
