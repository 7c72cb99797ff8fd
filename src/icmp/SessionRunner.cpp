#include "icmp/SessionRunner.h"

#include <chrono>

namespace vn::icmp {

namespace {

using Clock = EventWait::Clock;


template <typename Session, typename BeforeExchange>
RunResult run(Session& session, IcmpClient& client, EventWait& wait, const ReplyCallback& changed,
              int firstDelayMs, int tickMs, BeforeExchange before) {
    RunResult result;
    Clock::time_point tick = Clock::now() + std::chrono::milliseconds(firstDelayMs < 0 ? 0 : firstDelayMs);
    while (session.running()) {
        if (!wait.pauseUntil(tick)) {
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
