#pragma once
// Reverse look-up of a hop's address (Traceroute's "Get Host Name"), run on a
// helper thread while the caller waits through its EventWait, so Abort ends it.
#include <functional>
#include <string>

#include "platform/EventWait.h"

namespace vn::icmp {

struct NameResult {
    enum Status { Found, NoName, Cancelled, TimedOut, Failed } status = Failed;
    std::string name;  // the official name when Found
    int error = 0;     // getnameinfo's code when NoName
};

// The blocking look-up; tests install a scripted one (nullptr restores getnameinfo).
using ReverseFunction = std::function<NameResult(const std::string& dotted)>;
void setReverseFunction(ReverseFunction f);

NameResult lookupName(EventWait& wait, const std::string& dotted, EventWait::Deadline deadline);

} // namespace vn::icmp
