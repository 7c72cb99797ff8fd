// Live exchanges: loopback with the raw back-end (root), loopback with the
// datagram back-end as nobody in a private namespace, and traces across a
// router the test builds out of namespaces.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <fcntl.h>
#include <future>
#include <netdb.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "DatagramBuilder.h"
#include "Netns.h"
#include "icmp/IcmpClient.h"
#include "icmp/NameLookup.h"
#include "icmp/SessionRunner.h"
#include "platform/Resolver.h"

namespace vn::icmp {
namespace {

using namespace std::chrono_literals;
using test::ChildSetup;
using test::RoutedNet;

bool rawAllowed() {
    int err = 0;
    return IcmpChannel::open(BackendChoice::Raw, err).valid();
}

#define SKIP_WITHOUT_RAW() \
    if (!rawAllowed()) GTEST_SKIP() << "this run may not open raw ICMP sockets (needs root or CAP_NET_RAW)"

#define SKIP_WITHOUT_NAMESPACES()                                            \
    if (auto why = test::namespacesUnavailable()) GTEST_SKIP() << *why

PingSettings fast(bool doOnly, int only, bool doLast, int last) {
    PingSettings s;
    s.doOnly = doOnly;
    s.only = only;
    s.doLast = doLast;
    s.last = last;
    s.interval = 0;
    return s;
}

std::string rowText(const ResultRow& r) {
    std::string out = r.number + "|" + r.ttl + "|" + r.time + "|" + r.host + "|" + r.status;
    for (const auto& n : r.names) out += "|" + n;
    return out;
}

// One line per row, then the labels; what the child hands back to the parent.
std::string describe(const PingSession& s, const RunResult& run, const IcmpClient& c) {
    std::ostringstream out;
    out << "backend=" << (c.lastBackend() ? backendName(*c.lastBackend()) : "none") << "\n";
    out << "outcome=" << vn::describe(run.outcome) << "\nerror=" << run.error << "\n";
    for (const auto& r : s.rows()) out << "row=" << rowText(r) << "\n";
    out << s.averageLabel().substr(0, 15) << "\n" << s.lostLabel() << "\n" << s.totalLabel() << "\n";
    out << "gauge=" << s.gaugeProgress() << "/" << s.gaugeMaximum() << "\n";
    out << "running=" << s.running() << "\n";
    return out.str();
}

std::vector<std::string> lines(const std::string& text, const std::string& prefix) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        if (l.rfind(prefix, 0) == 0) out.push_back(l.substr(prefix.size()));
    return out;
}

// Row "n|ttl|time|host|status" split.
std::vector<std::string> fields(const std::string& row) {
    std::vector<std::string> out;
    std::istringstream in(row);
    for (std::string f; std::getline(in, f, '|');) out.push_back(f);
    return out;
}

// ------------------------------------------------------------------ loopback, raw

TEST(RawLoopback, PingRowsStatisticsAndCopy) {
    SKIP_WITHOUT_RAW();
    IcmpClient c;
    c.setBackendChoice(BackendChoice::Raw);
    c.setHost("127.0.0.1");
    c.setTimeout(2000);
    c.setTtl(200);
    EventWait wait;
    wait.beginOperation();
    PingSession s;
    s.start(fast(true, 3, false, 5));
    int calls = 0;
    RunResult run = runPing(s, c, wait, [&](const EchoReply&, const ReplyEffect&) { ++calls; }, 0);
    EXPECT_EQ(run.outcome, Outcome::Done) << run.error;
    EXPECT_EQ(c.lastBackend(), Backend::Raw);
    ASSERT_EQ(s.rows().size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const ResultRow& r = s.rows()[i];
        EXPECT_EQ(r.number, std::to_string(i + 1));
        EXPECT_EQ(r.host, "127.0.0.1");
        EXPECT_EQ(r.status, "Echo");
        // The reply's TTL, not the 200 of our own request, which the raw socket sees first.
        EXPECT_EQ(r.ttl, "64");
        EXPECT_EQ(r.time.substr(r.time.size() - 3), " ms") << r.time;
    }
    EXPECT_EQ(calls, 4);  // three rows, then the reply DoOnly drops
    EXPECT_FALSE(s.running());
    EXPECT_EQ(s.totalLabel(), "Total Packets: 3");
    EXPECT_EQ(s.lostLabel(), "Lost Packets: 0");
    EXPECT_EQ(s.gaugeProgress(), 3u);
    auto copy = s.copyText({0, 2});
    ASSERT_TRUE(copy);
    EXPECT_EQ(*copy, copyLine(s.rows()[0]) + "\r" + copyLine(s.rows()[2]));
    EXPECT_EQ(copy->find('\n'), std::string::npos);
}

TEST(RawLoopback, DoLastKeepsCountingUntilAborted) {
    SKIP_WITHOUT_RAW();
    IcmpClient c;
    c.setBackendChoice(BackendChoice::Raw);
    c.setHost("127.0.0.1");
    c.setTimeout(2000);
    EventWait wait;
    wait.beginOperation();
    PingSession s;
    s.start(fast(true, 3, true, 2));  // Last below Only: runs until stopped
    int replies = 0;
    RunResult run = runPing(s, c, wait, [&](const EchoReply&, const ReplyEffect&) {
        if (++replies == 5) wait.abort();
    }, 0);
    EXPECT_EQ(run.outcome, Outcome::Aborted);
    EXPECT_FALSE(s.running());
    ASSERT_EQ(s.rows().size(), 2u);
    EXPECT_EQ(s.rows()[0].number, "4");
    EXPECT_EQ(s.rows()[1].number, "5");
    EXPECT_EQ(s.totalLabel(), "Total Packets: 5");
}

TEST(RawLoopback, LocalhostInAnyCaseAndTheSequenceWraps) {
    SKIP_WITHOUT_RAW();
    IcmpClient c;
    c.setBackendChoice(BackendChoice::Raw);
    c.setHost("LocalHost");
    c.setTimeout(2000);
    c.setSequence(65535);
    EventWait wait;
    wait.beginOperation();
    ExchangeResult r = c.exchange(wait);
    ASSERT_EQ(r.outcome, Outcome::Done) << r.error;
    EXPECT_EQ(r.reply.status, EchoStatus::Echo);
    EXPECT_EQ(r.reply.source, "127.0.0.1");
    EXPECT_EQ(r.reply.sequence, 65535);
    EXPECT_GE(r.reply.bytesReceived, 72);
    EXPECT_EQ(c.sequence(), 0);
    r = c.exchange(wait);
    ASSERT_EQ(r.outcome, Outcome::Done) << r.error;
    EXPECT_EQ(r.reply.status, EchoStatus::Echo);
    EXPECT_EQ(r.reply.sequence, 0);
}

TEST(RawLoopback, OurOwnRequestIsNotTakenForTheAnswer) {
    SKIP_WITHOUT_NAMESPACES();
    // This machine ignoring pings: the only echo message on the socket is our own request.
    ChildSetup setup;
    setup.dropToNobody = false;
    test::ChildResult child = test::runInChild(setup, [] {
        int fd = ::open("/proc/sys/net/ipv4/icmp_echo_ignore_all", O_WRONLY | O_CLOEXEC);
        if (fd < 0 || ::write(fd, "1", 1) != 1) return std::string("cannot set icmp_echo_ignore_all");
        ::close(fd);
        IcmpClient c;
        c.setBackendChoice(BackendChoice::Raw);
        c.setHost("127.0.0.1");
        c.setTimeout(300);
        EventWait wait;
        wait.beginOperation();
        ExchangeResult r = c.exchange(wait);
        return std::string(statusText(r.reply.status)) + " from " + r.reply.source;
    });
    ASSERT_TRUE(child.ran) << child.failure;
    EXPECT_EQ(child.output, "TimeOut from 0.0.0.0");
}

TEST(RawLoopback, TwoClientsAtOnceEachGetTheirOwnReplies) {
    SKIP_WITHOUT_RAW();
    // Two windows of one process: both start at sequence 0 and see each other's traffic.
    auto pingMany = [] {
        IcmpClient c;
        c.setBackendChoice(BackendChoice::Raw);
        c.setHost("127.0.0.1");
        c.setTimeout(2000);
        EventWait wait;
        wait.beginOperation();
        int echoes = 0;
        for (int i = 0; i < 20; ++i) {
            ExchangeResult r = c.exchange(wait);
            if (r.outcome == Outcome::Done && r.reply.status == EchoStatus::Echo && r.reply.sequence == i) ++echoes;
        }
        return echoes;
    };
    auto other = std::async(std::launch::async, pingMany);
    EXPECT_EQ(pingMany(), 20);
    EXPECT_EQ(other.get(), 20);
}

// ------------------------------------------------------------------ names

class ScriptedLookup : public ::testing::Test {
protected:
    void TearDown() override { setLookupFunction(nullptr); }
};

TEST_F(ScriptedLookup, AHostThatDoesNotResolveFailsWithoutSendingAnything) {
    int asked = 0;
    setLookupFunction([&](const std::string& host) {
        ++asked;
        EXPECT_EQ(host, "no-such-host.invalid");
        LookupResult r;
        r.status = LookupResult::NotFound;
        r.error = EAI_NONAME;
        return r;
    });
    IcmpClient c;
    c.setHost("no-such-host.invalid");
    c.setTimeout(1000);
    EventWait wait;
    wait.beginOperation();
    PingSession s;
    s.start(fast(false, 5, false, 5));
    RunResult run = runPing(s, c, wait, nullptr, 0);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(run.outcome, Outcome::Failed);
    EXPECT_EQ(run.error, std::string("Socket Error # ") + std::to_string(EAI_NONAME) + "\r\n" + gai_strerror(EAI_NONAME));
    // No socket was ever opened, no sequence number used, no row added, and the
    // session is over before the message is shown.
    EXPECT_EQ(c.lastBackend(), std::nullopt);
    EXPECT_EQ(c.sequence(), 0);
    EXPECT_TRUE(s.rows().empty());
    EXPECT_FALSE(s.running());
}

TEST_F(ScriptedLookup, AbortEndsAPendingLookupAtOnce) {
    auto release = std::make_shared<std::promise<void>>();
    std::shared_future<void> released = release->get_future().share();
    setLookupFunction([released](const std::string&) {
        released.wait();
        return LookupResult{};
    });
    IcmpClient c;
    c.setHost("slow.invalid");
    c.setTimeout(30000);
    EventWait wait;
    wait.beginOperation();
    auto started = std::chrono::steady_clock::now();
    auto result = std::async(std::launch::async, [&] { return c.exchange(wait); });
    wait.abort();
    ASSERT_EQ(result.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(result.get().outcome, Outcome::Aborted);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    EXPECT_EQ(c.lastBackend(), std::nullopt);
    release->set_value();
}

// ------------------------------------------------------------------ unprivileged

TEST(DatagramLoopback, NobodyPingsThroughThePingSocket) {
    SKIP_WITHOUT_NAMESPACES();
    test::ChildResult child = test::runInChild(ChildSetup{}, [] {
        IcmpClient c;
        c.setHost("127.0.0.1");
        c.setTimeout(2000);
        EventWait wait;
        wait.beginOperation();
        PingSession s;
        s.start(fast(true, 3, false, 5));
        RunResult run = runPing(s, c, wait, nullptr, 0);
        std::string out = describe(s, run, c);
        // DoLast in a second session on the same client.
        PingSession last;
        last.start(fast(true, 3, true, 2));
        int n = 0;
        RunResult run2 = runPing(last, c, wait, [&](const EchoReply&, const ReplyEffect&) {
            if (++n == 4) wait.abort();
        }, 0);
        for (const auto& r : last.rows()) out += "last=" + rowText(r) + "\n";
        out += "lastoutcome=" + std::string(vn::describe(run2.outcome)) + "\n";
        out += "copy=" + s.copyText({0, 1}).value_or("none") + "\n";
        return out;
    });
    ASSERT_TRUE(child.ran) << child.failure;
    const std::string& out = child.output;
    EXPECT_EQ(lines(out, "backend="), std::vector<std::string>{"datagram"}) << out;
    EXPECT_EQ(lines(out, "outcome="), std::vector<std::string>{"done"}) << out;
    auto rows = lines(out, "row=");
    ASSERT_EQ(rows.size(), 3u) << out;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        auto f = fields(rows[i]);
        ASSERT_EQ(f.size(), 5u) << rows[i];
        EXPECT_EQ(f[0], std::to_string(i + 1));
        EXPECT_EQ(f[1], "64") << "the reply's own TTL, from the ancillary data";
        EXPECT_EQ(f[3], "127.0.0.1");
        EXPECT_EQ(f[4], "Echo");
    }
    EXPECT_NE(out.find("Total Packets: 3\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Lost Packets: 0\n"), std::string::npos) << out;
    EXPECT_NE(out.find("gauge=3/3\n"), std::string::npos) << out;
    auto last = lines(out, "last=");
    ASSERT_EQ(last.size(), 2u) << out;
    EXPECT_EQ(fields(last[0])[0], "3");
    EXPECT_EQ(fields(last[1])[0], "4");
    EXPECT_EQ(lines(out, "lastoutcome="), std::vector<std::string>{"aborted"});
    auto copy = out.substr(out.find("copy=") + 5);
    EXPECT_EQ(copy.rfind("Number: 1  TTL: 64  Time: ", 0), 0u) << copy;
    EXPECT_NE(copy.find(" ms  Host: 127.0.0.1\rNumber: 2  TTL: 64  Time: "), std::string::npos) << copy;
}

TEST(DatagramLoopback, NeitherSocketAllowedNamesTheAdministratorsFix) {
    SKIP_WITHOUT_NAMESPACES();
    ChildSetup setup;
    setup.widenPingGroupRange = false;  // a fresh namespace's "1 0": nobody may
    test::ChildResult child = test::runInChild(setup, [] {
        IcmpClient c;
        c.setHost("127.0.0.1");
        c.setTimeout(1000);
        EventWait wait;
        wait.beginOperation();
        ExchangeResult r = c.exchange(wait);
        return std::string(vn::describe(r.outcome)) + "\n" + r.error;
    });
    ASSERT_TRUE(child.ran) << child.failure;
    EXPECT_EQ(child.output.rfind("failed\nCannot allocate socket.\r\n", 0), 0u) << child.output;
    EXPECT_NE(child.output.find("sysctl -w net.ipv4.ping_group_range=\"0 2147483647\""), std::string::npos)
        << child.output;
}

// ------------------------------------------------------------------ routed namespaces

// Runs a trace from A with the given back-end: raw on a thread of this
// process that joined A, datagram in a child that joined A as nobody.
std::string traceFromA(const RoutedNet& net, Backend backend, const std::string& target, int timeoutMs,
                       int ttlLimit) {
    auto body = [=] {
        IcmpClient c;
        c.setBackendChoice(backend == Backend::Raw ? BackendChoice::Raw : BackendChoice::Auto);
        c.setHost(target);
        c.setTimeout(timeoutMs);
        EventWait wait;
        wait.beginOperation();
        TraceSession t;
        t.start(ttlLimit, PingSettings{});
        RunResult run = runTrace(t, c, wait, nullptr, 0, 0);
        std::string out = "backend=" + std::string(c.lastBackend() ? backendName(*c.lastBackend()) : "none") + "\n";
        out += "outcome=" + std::string(vn::describe(run.outcome)) + "\nerror=" + run.error + "\n";
        for (const auto& r : t.rows()) out += "row=" + rowText(r) + "\n";
        out += "running=" + std::to_string(t.running()) + "\n";
        return out;
    };
    if (backend == Backend::Raw) {
        std::string out;
        test::runInNetns(net.a.name(), [&] { out = body(); });
        return out;
    }
    ChildSetup setup;
    setup.netns = net.a.name();
    test::ChildResult child = test::runInChild(setup, body);
    return child.ran ? child.output : "child failed: " + child.failure;
}

class RoutedTrace : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        if (auto why = test::namespacesUnavailable()) GTEST_SKIP() << *why;
        net = std::make_unique<RoutedNet>();
        if (net->error()) GTEST_SKIP() << "the A - R - B namespaces cannot be built here: " << *net->error();
    }
    std::unique_ptr<RoutedNet> net;
};

TEST_P(RoutedTrace, HopOneIsTheRouterAndTheTargetAnswersEcho) {
    std::string out = traceFromA(*net, GetParam(), RoutedNet::kB, 2000, 30);
    EXPECT_EQ(lines(out, "backend="), std::vector<std::string>{backendName(GetParam())}) << out;
    EXPECT_EQ(lines(out, "outcome="), std::vector<std::string>{"done"}) << out;
    auto rows = lines(out, "row=");
    ASSERT_EQ(rows.size(), 2u) << out;
    // The router's own datagram (TTL 64), then the target's reply one hop away (63).
    EXPECT_EQ(rows[0], "1|64|0|10.77.1.1|Tracing...");
    auto f = fields(rows[1]);
    ASSERT_EQ(f.size(), 5u);
    EXPECT_EQ(f[0], "2");
    EXPECT_EQ(f[1], "63");
    EXPECT_EQ(f[3], RoutedNet::kB);
    EXPECT_EQ(f[4], "Echo");
    EXPECT_EQ(lines(out, "running="), std::vector<std::string>{"0"});
}

TEST_P(RoutedTrace, AMaximumBelowTheTargetEndsWithTtlExceeded) {
    std::string out = traceFromA(*net, GetParam(), RoutedNet::kB, 2000, 2);
    EXPECT_EQ(lines(out, "row="), std::vector<std::string>{"1|64|0|10.77.1.1|TTL Exceeded"}) << out;
    EXPECT_EQ(lines(out, "running="), std::vector<std::string>{"0"});
}

TEST_P(RoutedTrace, AnUnreachableRouteGivesUnreachable) {
    ASSERT_FALSE(test::shell("ip -n " + net->r.name() + " route add unreachable 10.77.2.2/32"));
    std::string out = traceFromA(*net, GetParam(), RoutedNet::kB, 2000, 30);
    EXPECT_EQ(lines(out, "row="), std::vector<std::string>{"1|64|0|10.77.1.1|Unreachable"}) << out;
    EXPECT_EQ(lines(out, "outcome="), std::vector<std::string>{"done"}) << out;
}

TEST_P(RoutedTrace, ARouterThatKeepsItsTimeExceededGivesTimeOutAndTheTraceGoesOn) {
    if (auto e = net->r.exec("nft add table ip vnicmp"))
        GTEST_SKIP() << "nftables cannot filter in the router namespace: " << *e;
    ASSERT_FALSE(net->r.exec("nft 'add chain ip vnicmp out { type filter hook output priority 0 ; }'"));
    ASSERT_FALSE(net->r.exec("nft add rule ip vnicmp out icmp type time-exceeded drop"));
    auto started = std::chrono::steady_clock::now();
    std::string out = traceFromA(*net, GetParam(), RoutedNet::kB, 400, 30);
    auto rows = lines(out, "row=");
    ASSERT_EQ(rows.size(), 2u) << out;
    EXPECT_EQ(rows[0], "1|0|0|0.0.0.0|TimeOut");
    EXPECT_EQ(fields(rows[1])[4], "Echo");
    EXPECT_EQ(fields(rows[1])[3], RoutedNet::kB);
    // The silent hop waited out its time-out.
    EXPECT_GE(std::chrono::steady_clock::now() - started, 400ms);
}

INSTANTIATE_TEST_SUITE_P(Backends, RoutedTrace, ::testing::Values(Backend::Raw, Backend::Datagram),
                         [](const auto& info) { return std::string(backendName(info.param)); });

class RoutedPing : public RoutedTrace {};

TEST_P(RoutedPing, ASilentTargetTimesOutAndAbortEndsTheWaitAtOnce) {
    ASSERT_FALSE(net->b.exec("sysctl -qw net.ipv4.icmp_echo_ignore_all=1"));
    auto body = [] {
        IcmpClient c;
        c.setHost(RoutedNet::kB);
        c.setTimeout(300);
        EventWait wait;
        wait.beginOperation();
        auto t0 = std::chrono::steady_clock::now();
        ExchangeResult r = c.exchange(wait);
        auto waited = std::chrono::steady_clock::now() - t0;
        std::string out = "status=" + std::string(statusText(r.reply.status)) + "\nsource=" + r.reply.source +
                          "\nrtt=" + std::to_string(r.reply.roundTripMs) + "\nttl=" + std::to_string(r.reply.ttl) +
                          "\nbytes=" + std::to_string(r.reply.bytesReceived) + "\nseq=" +
                          std::to_string(r.reply.sequence) + "\nwaited=" + std::to_string(waited >= 300ms) + "\n";
        // A long wait, aborted from another thread.
        c.setTimeout(30000);
        t0 = std::chrono::steady_clock::now();
        auto pending = std::async(std::launch::async, [&] { return c.exchange(wait); });
        wait.abort();
        ExchangeResult a = pending.get();
        out += "aborted=" + std::string(vn::describe(a.outcome)) + "\nquick=" +
               std::to_string(std::chrono::steady_clock::now() - t0 < 10s) + "\n";
        return out;
    };
    std::string out;
    if (GetParam() == Backend::Raw) {
        test::runInNetns(net->a.name(), [&] { out = body(); });
    } else {
        ChildSetup setup;
        setup.netns = net->a.name();
        auto child = test::runInChild(setup, body);
        ASSERT_TRUE(child.ran) << child.failure;
        out = child.output;
    }
    EXPECT_EQ(out, "status=TimeOut\nsource=0.0.0.0\nrtt=0\nttl=0\nbytes=0\nseq=1\nwaited=1\n"
                   "aborted=aborted\nquick=1\n");
}

INSTANTIATE_TEST_SUITE_P(Backends, RoutedPing, ::testing::Values(Backend::Raw, Backend::Datagram),
                         [](const auto& info) { return std::string(backendName(info.param)); });

// Someone else's ICMP on the raw socket: a peer in B that sees our request
// answers first with a late reply, a reply for another identifier and a
// time-exceeded quoting another request, then with the right reply.
TEST_F(RoutedTrace, RawSocketSkipsWhatIsNotOurs) {
    if (!rawAllowed()) GTEST_SKIP() << "this run may not open raw ICMP sockets";
    ASSERT_FALSE(net->b.exec("sysctl -qw net.ipv4.icmp_echo_ignore_all=1"));
    std::promise<void> ready;
    auto forger = std::async(std::launch::async, [&] {
        std::string result = "no request seen";
        test::runInNetns(net->b.name(), [&] {
            int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
            ready.set_value();
            if (fd < 0) return;
            char buf[1024];
            for (;;) {
                pollfd p{fd, POLLIN, 0};
                if (::poll(&p, 1, 5000) != 1) break;
                long n = ::recv(fd, buf, sizeof buf, 0);
                if (n < 20 + 8) continue;
                std::size_t h = 4u * (buf[0] & 0x0F);
                std::string req(buf + h, static_cast<std::size_t>(n) - h);
                if (req[0] != 8) continue;
                sockaddr_in to{};
                to.sin_family = AF_INET;
                inet_pton(AF_INET, RoutedNet::kA, &to.sin_addr);
                auto send = [&](std::string m) {
                    m[2] = m[3] = 0;
                    std::uint16_t sum = internetChecksum(m);
                    std::memcpy(m.data() + 2, &sum, 2);
                    ::sendto(fd, m.data(), m.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
                };
                std::string reply = req;
                reply[0] = 0;
                std::string late = reply;
                late[6] = static_cast<char>(late[6] - 1);
                send(late);
                std::string otherId = reply;
                otherId[4] = static_cast<char>(otherId[4] + 1);
                send(otherId);
                std::string quoted = test::ipv4(RoutedNet::kA, RoutedNet::kB, 1, otherId.substr(0, 8));
                quoted[20] = 8;
                send(test::errorMessage(11, 0, quoted));
                send(reply);
                result = "answered";
                break;
            }
            ::close(fd);
        });
        return result;
    });
    ready.get_future().wait();
    std::string out;
    test::runInNetns(net->a.name(), [&] {
        IcmpClient c;
        c.setBackendChoice(BackendChoice::Raw);
        c.setHost(RoutedNet::kB);
        c.setTimeout(3000);
        EventWait wait;
        wait.beginOperation();
        ExchangeResult r = c.exchange(wait);
        out = std::string(statusText(r.reply.status)) + " from " + r.reply.source + ", skipped " +
              std::to_string(c.lastSkipped());
    });
    EXPECT_EQ(forger.get(), "answered");
    EXPECT_EQ(out, "Echo from 10.77.2.2, skipped 3");
}

} // namespace
} // namespace vn::icmp

namespace vn::icmp {
namespace {

// An Unreachable answer is timed on our clock: a small number, never what the
// quoted header's bytes would make of it.
TEST_P(RoutedPing, AnUnreachableAnswerIsTimedOnTheMonotonicClock) {
    ASSERT_FALSE(test::shell("ip -n " + net->r.name() + " route add unreachable 10.77.2.2/32"));
    auto body = [] {
        IcmpClient c;
        c.setHost(RoutedNet::kB);
        c.setTimeout(2000);
        EventWait wait;
        wait.beginOperation();
        PingSession s;
        PingSettings st;
        st.doOnly = true;
        st.only = 1;
        s.start(st);
        std::uint32_t us = 0;
        runPing(s, c, wait, [&](const EchoReply& r, const ReplyEffect&) { us = std::max(us, r.roundTripUs); }, 0);
        std::string out;
        for (const auto& r : s.rows()) out += rowText(r) + "\n";
        out += "fast=" + std::to_string(us > 0 && us < 1000000) + "\n";
        return out;
    };
    std::string out;
    if (GetParam() == Backend::Raw) {
        test::runInNetns(net->a.name(), [&] { out = body(); });
    } else {
        ChildSetup setup;
        setup.netns = net->a.name();
        auto child = test::runInChild(setup, body);
        ASSERT_TRUE(child.ran) << child.failure;
        out = child.output;
    }
    // Row: 1, R's TTL, a time below a second as a plain number, R, Unreachable.
    auto f = fields(out.substr(0, out.find('\n')));
    ASSERT_EQ(f.size(), 5u) << out;
    EXPECT_EQ(f[1], "64");
    EXPECT_LT(std::stoul(f[2]), 1000u) << out;
    EXPECT_EQ(f[3], "10.77.1.1");
    EXPECT_EQ(f[4], "Unreachable");
    EXPECT_NE(out.find("fast=1"), std::string::npos) << out;
}

// ------------------------------------------------------------------ reverse names

class ScriptedReverse : public ::testing::Test {
protected:
    void TearDown() override { setReverseFunction(nullptr); }
};

TEST_F(ScriptedReverse, FoundNoNameAndAbort) {
    setReverseFunction([](const std::string& dotted) {
        if (dotted == "10.77.1.1") return NameResult{NameResult::Found, "router.lab", 0};
        return NameResult{NameResult::NoName, {}, EAI_NONAME};
    });
    EventWait wait;
    wait.beginOperation();
    auto deadline = EventWait::Clock::now() + 5s;
    NameResult found = lookupName(wait, "10.77.1.1", deadline);
    EXPECT_EQ(found.status, NameResult::Found);
    EXPECT_EQ(found.name, "router.lab");
    EXPECT_EQ(lookupName(wait, "10.77.9.9", deadline).status, NameResult::NoName);

    auto release = std::make_shared<std::promise<void>>();
    std::shared_future<void> released = release->get_future().share();
    setReverseFunction([released](const std::string&) {
        released.wait();
        return NameResult{NameResult::Found, "late", 0};
    });
    auto pending = std::async(std::launch::async, [&] { return lookupName(wait, "10.77.1.1", EventWait::Clock::now() + 30s); });
    wait.abort();
    ASSERT_EQ(pending.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(pending.get().status, NameResult::Cancelled);
    release->set_value();
}

TEST(Reverse, LoopbackHasItsNameFromTheHostsFile) {
    EventWait wait;
    wait.beginOperation();
    NameResult r = lookupName(wait, "127.0.0.1", EventWait::Clock::now() + 10s);
    ASSERT_EQ(r.status, NameResult::Found);
    EXPECT_EQ(r.name, "localhost");
}

} // namespace
} // namespace vn::icmp
