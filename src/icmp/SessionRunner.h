#pragma once
// Runs a started Ping or Traceroute session to its end on the calling thread
// (a window's worker, a test, the benchmark): waits for each tick through the
// EventWait (Abort ends the wait at once), runs one exchange, hands the record
// to the session and calls `changed` after each reply. A window that keeps its
// session on the UI thread drives it tick by tick instead (one exchange per
// tick on its worker) and does not need these.
#include <functional>
#include <string>

#include "icmp/IcmpClient.h"
#include "icmp/PingSession.h"
#include "icmp/TraceSession.h"
#include "platform/EventWait.h"
#include "platform/Outcome.h"

namespace vn::icmp {

struct RunResult {
    // Done: the session stopped by itself; Aborted: Abort; Failed: an exchange
    // failed, the session is stopped and `error` holds the message box text.
    Outcome outcome = Outcome::Done;
    std::string error;
};

using ReplyCallback = std::function<void(const EchoReply& reply, const ReplyEffect& effect)>;

// Ping: the first request firstDelayMs after the call (the window's 1000 ms),
// each further one the session's interval after the start of the previous
// one, or at once when the exchange took longer.
RunResult runPing(PingSession& session, IcmpClient& client, EventWait& wait, const ReplyCallback& changed,
                  int firstDelayMs = PingSession::kFirstTickMs);

// Traceroute: one probe per tick of tickMs, the client's TTL set to the probe's.
RunResult runTrace(TraceSession& session, IcmpClient& client, EventWait& wait, const ReplyCallback& changed,
                   int firstDelayMs = TraceSession::kTickMs, int tickMs = TraceSession::kTickMs);

} // namespace vn::icmp
