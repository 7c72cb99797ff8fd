#include "icmp/ui/EchoLoop.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace vn::icmp {

namespace {

using Clock = EventWait::Clock;


constexpr unsigned char kFinish = 0;

} // namespace

ProbeGate::ProbeGate() {
    if (::pipe2(fds_, O_NONBLOCK | O_CLOEXEC) != 0) fds_[0] = fds_[1] = -1;
}

ProbeGate::~ProbeGate() {
    if (fds_[0] >= 0) ::close(fds_[0]);
    if (fds_[1] >= 0) ::close(fds_[1]);
}

void ProbeGate::put(unsigned char value) {
    while (::write(fds_[1], &value, 1) < 0 && errno == EINTR) {
    }
}

void ProbeGate::next(int ttl) { put(static_cast<unsigned char>(ttl < 1 || ttl > 255 ? 255 : ttl)); }

void ProbeGate::finish() { put(kFinish); }

void ProbeGate::drain() {
    unsigned char buf[64];
    while (::read(fds_[0], buf, sizeof buf) > 0) {
    }
}

std::optional<int> ProbeGate::take(EventWait& wait) {
    for (;;) {
        unsigned char v = 0;
        ssize_t n = ::read(fds_[0], &v, 1);
        if (n == 1) return v == kFinish ? std::nullopt : std::optional<int>(v);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (n < 0 && errno != EAGAIN)) return std::nullopt;
        if (wait.wait(fds_[0], FD_READ, std::nullopt) != Outcome::Done) return std::nullopt;
    }
}

Outcome runEchoLoop(IcmpClient& client, EventWait& wait, ProbeGate& gate, const LoopPlan& plan,
                    const std::function<void(const ExchangeResult&)>& deliver) {
    const auto interval = std::chrono::milliseconds(plan.intervalMs < 0 ? 0 : plan.intervalMs);
    Clock::time_point tick = Clock::now() + std::chrono::milliseconds(plan.firstDelayMs < 0 ? 0 : plan.firstDelayMs);
    int ttl = plan.firstTtl;
    for (;;) {
        if (!wait.pauseUntil(tick)) return Outcome::Aborted;
        client.setTtl(ttl);
        ExchangeResult ex = client.exchange(wait);
        if (ex.outcome == Outcome::Aborted || wait.cancelled()) return Outcome::Aborted;
        deliver(ex);
        if (ex.outcome != Outcome::Done) return Outcome::Failed;
        tick += interval;
        std::optional<int> next = gate.take(wait);
        if (!next) return wait.cancelled() ? Outcome::Aborted : Outcome::Done;
        ttl = *next;
        if (Clock::now() > tick) tick = Clock::now();
    }
}

} // namespace vn::icmp
