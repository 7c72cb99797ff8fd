#pragma once
// The worker side of a Ping or Traceroute session. The session (rows,
// statistics, when to stop) stays on the UI thread; the worker runs one long
// operation: wait for the tick, run one exchange, hand the result to the
// window, then wait for the window's answer (go on with this TTL, or stop)
// before the next tick. So no probe leaves after the session has ended, and
// the window is busy exactly while a session runs. Abort (Stop, or the window
// closing) ends any of these waits at once.
#include <functional>
#include <optional>

#include "icmp/IcmpClient.h"
#include "platform/EventWait.h"
#include "platform/Outcome.h"

namespace vn::icmp {

// The window's answer after each result; any thread.
class ProbeGate {
public:
    ProbeGate();
    ~ProbeGate();
    ProbeGate(const ProbeGate&) = delete;
    ProbeGate& operator=(const ProbeGate&) = delete;

    // Go on: the next probe carries this TTL (1..255).
    void next(int ttl);
    // The session is over.
    void finish();
    // Worker: the window's answer; nullopt when it finished the session or
    // the operation was aborted.
    std::optional<int> take(EventWait& wait);
    // Forgets an answer a previous session left behind.
    void drain();

private:
    void put(unsigned char value);
    int fds_[2] = {-1, -1};
};

struct LoopPlan {
    int firstTtl = 255;
    int firstDelayMs = 1000;  // from the start to the first request
    int intervalMs = 1000;    // from the start of one request to the next, or at once when it took longer
};

// Runs the session's exchanges until the window finishes it (Done), Abort
// (Aborted) or an exchange fails (Failed, after its result was delivered).
// deliver() runs on the worker and must hand the result over to the UI thread.
Outcome runEchoLoop(IcmpClient& client, EventWait& wait, ProbeGate& gate, const LoopPlan& plan,
                    const std::function<void(const ExchangeResult&)>& deliver);

} // namespace vn::icmp
