#pragma once
// Host-name look-up that the user can abort: getaddrinfo runs on a helper
// thread while the caller waits through its EventWait; an abandoned look-up
// finishes in the background and its answer is dropped.
#include <functional>
#include <string>

#include "platform/EventWait.h"

namespace vn {

struct LookupResult {
    enum Status { Found, NotFound, Cancelled, TimedOut, Failed } status = Failed;
    std::string dotted; // first IPv4 address when Found
    int error = 0;      // getaddrinfo's code when NotFound
};

// The blocking look-up that runs on the helper thread; tests install a
// scripted one (nullptr restores getaddrinfo).
using LookupFunction = std::function<LookupResult(const std::string& host)>;
void setLookupFunction(LookupFunction f);

LookupResult lookupHost(EventWait& wait, const std::string& host, EventWait::Deadline deadline);

} // namespace vn
