#include "icmp/SessionRunner.h"

#include <cerrno>
#include <chrono>
#include <poll.h>

namespace vn::icmp {

namespace {

using Clock = EventWait::Clock;

// Waits until `when`; false when the operation was aborted. Only the cancel
// token's descriptor is watched (nothing else can wake it), and directly: a
// tick coming due is no time-out for the window's log.
bool waitForTick(EventWait& wait, Clock::time_point when) {
    CancelTokenPtr token = wait.token();
    for (;;) {
        if (token->cancelled()) return false;
        auto left = std::chrono::ceil<std::chrono::milliseconds>(when - Clock::now()).count();
        if (left <= 0) return true;
        pollfd p{token->wakeFd(), POLLIN, 0};
        int n = ::poll(&p, 1, left > 60000 ? 60000 : static_cast<int>(left));
        if (n < 0 && errno != EINTR) return !token->cancelled();
    }
}

template <typename Session, typename BeforeExchange>
RunResult run(Session& session, IcmpClient& client, EventWait& wait, const ReplyCallback& changed,
              int firstDelayMs, int tickMs, BeforeExchange before) {
    RunResult result;
    Clock::time_point tick = Clock::now() + std::chrono::milliseconds(firstDelayMs < 0 ? 0 : firstDelayMs);
    while (session.running()) {
        if (!waitForTick(wait, tick)) {
            session.stop();
            result.outcome = Outcome::Aborted;
            return result;
        }
        if (!before()) break;
        tick += std::chrono::milliseconds(tickMs < 0 ? 0 : tickMs);
        ExchangeResult ex = client.exchange(wait);
        if (ex.outcome == Outcome::Aborted) {
            session.stop();
            result.outcome = Outcome::Aborted;
            return result;
        }
        if (ex.outcome != Outcome::Done) {
            result.error = session.onError(ex.error);
            result.outcome = Outcome::Failed;
            return result;
        }
        ReplyEffect fx = session.onReply(ex.reply);
        if (changed) changed(ex.reply, fx);
        if (Clock::now() > tick) tick = Clock::now();
    }
    return result;
}

} // namespace

RunResult runPing(PingSession& session, IcmpClient& client, EventWait& wait, const ReplyCallback& changed,
                  int firstDelayMs) {
    return run(session, client, wait, changed, firstDelayMs, session.intervalMs(), [] { return true; });
}

RunResult runTrace(TraceSession& session, IcmpClient& client, EventWait& wait, const ReplyCallback& changed,
                   int firstDelayMs, int tickMs) {
    return run(session, client, wait, changed, firstDelayMs, tickMs, [&] {
        auto ttl = session.nextProbe();
        if (!ttl) {
            session.stop();
            return false;
        }
        client.setTtl(*ttl);
        return true;
    });
}

} // namespace vn::icmp
