#include "icmp/IcmpClient.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <netdb.h>
#include <strings.h>
#include <unistd.h>

#include "platform/Resolver.h"
#include "platform/Socket.h"

namespace vn::icmp {

namespace {

std::atomic<unsigned> g_nextClient{0};

using Clock = std::chrono::steady_clock;

} // namespace

std::uint32_t tickCount() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    auto ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms & 0xFFFFFFFFu);
}

std::optional<std::uint32_t> literalAddress(const std::string& host) {
    in_addr a{};
    if (::strcasecmp(host.c_str(), "localhost") == 0) {
        inet_pton(AF_INET, "127.0.0.1", &a);
        return a.s_addr;
    }
    if (!isDottedIPv4(host)) return std::nullopt;
    inet_pton(AF_INET, host.c_str(), &a);
    return a.s_addr;
}

std::string socketErrorText(int n, const std::string& description) {
    return "Socket Error # " + std::to_string(n) + "\r\n" + description;
}

IcmpClient::IcmpClient()
    : identifier_(static_cast<std::uint16_t>((static_cast<unsigned>(::getpid()) + g_nextClient++) & 0xFFFF)) {}

ExchangeResult IcmpClient::exchange(EventWait& wait) {
    ExchangeResult res;
    lastSkipped_ = 0;
    auto failed = [&](std::string text) {
        res.outcome = Outcome::Failed;
        res.error = std::move(text);
        return res;
    };
    auto aborted = [&] {
        res.outcome = Outcome::Aborted;
        return res;
    };
    const auto start = Clock::now();
    const EventWait::Deadline deadline = start + std::chrono::milliseconds(timeoutMs_);

    // The address first: an unknown host fails before anything is built or sent.
    std::uint32_t target = 0;
    if (auto lit = literalAddress(host_)) {
        target = *lit;
    } else {
        LookupResult r = lookupHost(wait, host_, deadline);
        if (r.status == LookupResult::Cancelled) return aborted();
        if (r.status == LookupResult::TimedOut) return failed(socketErrorText(ETIMEDOUT, std::strerror(ETIMEDOUT)));
        if (r.status != LookupResult::Found) {
            if (r.status == LookupResult::NotFound)
                return failed(socketErrorText(r.error, r.error ? ::gai_strerror(r.error) : ""));
            return failed(socketErrorText(EAGAIN, std::strerror(EAGAIN)));
        }
        in_addr a{};
        inet_pton(AF_INET, r.dotted.c_str(), &a);
        target = a.s_addr;
    }

    int err = 0;
    IcmpChannel ch = IcmpChannel::open(choice_, err);
    if (!ch.valid()) return failed(cannotAllocateText(err));
    lastBackend_ = ch.backend();
    if (int e = ch.setTtl(ttl_)) return failed(socketErrorText(e, std::strerror(e)));

    const std::uint16_t id = ch.kernelIdentifier().value_or(identifier_);
    const std::uint16_t seq = sequence_++;
    const std::string request = buildEchoRequest(id, seq, tickCount());
    const EchoExpectation expect{id, seq, target};

    // Timed from the send, on the monotonic clock: nothing in an answer is trusted for it.
    Clock::time_point sent = Clock::now();
    for (;;) {
        long n = ch.sendTo(request, target);
        if (n >= 0) {
            if (static_cast<std::size_t>(n) < request.size()) return failed("Not all bytes sent.");
            break;
        }
        int e = errno;
        if (e == EMSGSIZE) return failed("Package Size Too Big.");
        if (e == EINTR) continue;
        if (e != EAGAIN && e != EWOULDBLOCK && e != ENOBUFS) return failed(socketErrorText(e, std::strerror(e)));
        Outcome o = wait.wait(ch.fd(), FD_WRITE, deadline);
        if (o == Outcome::Aborted) return aborted();
        if (o == Outcome::Failed) return failed(socketErrorText(EIO, std::strerror(EIO)));
        if (o == Outcome::TimedOut) break;  // never sent: reads as a time-out below
        sent = Clock::now();
    }

    for (;;) {
        Outcome o = wait.wait(ch.fd(), FD_READ, deadline);
        if (o == Outcome::Aborted) return aborted();
        if (o == Outcome::TimedOut) break;
        if (o == Outcome::Failed) return failed(socketErrorText(EIO, std::strerror(EIO)));
        // Drain what is there: ours may sit behind others' messages (but a
        // flood of them does not hold the exchange past its time-out).
        while (EventWait::Clock::now() < *deadline) {
            std::string datagram;
            int rerr = 0;
            auto got = ch.receive(datagram, rerr);
            if (got == IcmpChannel::Received::Nothing) break;
            if (got == IcmpChannel::Received::Failed) return failed(socketErrorText(rerr, std::strerror(rerr)));
            const auto arrived = Clock::now();
            Classification c = classifyDatagram(datagram, expect);
            if (c.verdict == Verdict::Skip) {
                ++lastSkipped_;
                continue;
            }
            if (c.verdict == Verdict::Error) return failed(c.error);
            auto us = std::chrono::duration_cast<std::chrono::microseconds>(arrived - sent).count();
            if (us < 0) us = 0;
            c.reply.roundTripUs = static_cast<std::uint32_t>(us);
            c.reply.roundTripMs = static_cast<std::uint32_t>(us / 1000);
            res.outcome = Outcome::Done;
            res.reply = c.reply;
            lastReply_ = res.reply;
            return res;
        }
    }

    // Nothing of ours within the time-out.
    res.outcome = Outcome::Done;
    res.reply = EchoReply{};
    res.reply.sequence = sequence_;
    res.reply.status = EchoStatus::TimeOut;
    lastReply_ = res.reply;
    return res;
}

} // namespace vn::icmp
