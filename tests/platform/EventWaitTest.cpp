// The socket event wait and the cancellable look-up.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/EventWait.h"
#include "platform/Resolver.h"
#include "platform/Socket.h"
#include "platform/TaskThread.h"

namespace vn {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Wait : ::testing::Test {
    EventWait wait;
    std::vector<std::string> logged;
    int a = -1, b = -1;
    void SetUp() override {
        wait.setLogger([this](const std::string& l) { logged.push_back(l); });
        int sv[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, sv), 0);
        a = sv[0];
        b = sv[1];
    }
    void TearDown() override {
        if (a >= 0) ::close(a);
        if (b >= 0) ::close(b);
    }
};

TEST_F(Wait, ResultsOfTheWait) {
    EXPECT_EQ(wait.EsperaWSA(-1, FD_READ), -1);
    EXPECT_EQ(wait.EsperaWSA(a, 0), -1);
    ASSERT_EQ(::write(b, "x", 1), 1);
    EXPECT_EQ(wait.EsperaWSA(a, FD_READ), 1);
    EXPECT_EQ(wait.arrived(), FD_READ);
    EXPECT_EQ(wait.EsperaWSA(a, FD_WRITE | FD_CLOSE), 1);
    EXPECT_EQ(wait.arrived(), FD_WRITE);
    EXPECT_FALSE(wait.waiting());
}

// Time-outs are durations: a read time-out below one second is kept as given.
TEST_F(Wait, TimeoutsAreDurations) {
    wait.setTimeouts({Timeouts::Duration(5000), Timeouts::Duration(5000), Timeouts::Duration(150)});
    EXPECT_EQ(wait.timeouts().rx, 150ms);
    const auto t0 = Clock::now();
    EXPECT_EQ(wait.wait(a, FD_READ), Outcome::TimedOut);
    const auto took = Clock::now() - t0;
    EXPECT_GE(took, 150ms);
    EXPECT_LT(took, 1s);
    // Whole seconds as the settings hold them; zero is no time-out.
    wait.setTimeouts({120, 0, 7});
    EXPECT_EQ(wait.timeouts().cx, 120s);
    EXPECT_EQ(wait.deadlineFor(FD_WRITE), std::nullopt);
    EXPECT_EQ(wait.timeouts().rx, 7s);
}

// The outcome form: each way a wait can end is told apart.
TEST_F(Wait, OutcomesAreToldApart) {
    wait.setTimeouts({5, 5, 1});
    EXPECT_EQ(wait.wait(-1, FD_READ), Outcome::Failed);
    ASSERT_EQ(::write(b, "x", 1), 1);
    EXPECT_EQ(wait.wait(a, FD_READ), Outcome::Done);
    char c;
    ASSERT_EQ(::read(a, &c, 1), 1);
    EXPECT_EQ(wait.wait(a, FD_READ, EventWait::Clock::now() + 50ms), Outcome::TimedOut);
    EXPECT_TRUE(wait.timedOut());
    // A time-out does not cancel the operation: its caller decides.
    EXPECT_FALSE(wait.cancelled());
    wait.abort();
    EXPECT_EQ(wait.wait(a, FD_WRITE), Outcome::Aborted);
    ::shutdown(b, SHUT_WR);
    wait.beginOperation();
    EXPECT_EQ(wait.wait(a, FD_CLOSE), Outcome::PeerClosed);
}

// An Abort that lands on an operation is never drained away by the next one
// starting: each operation holds its own token.
TEST_F(Wait, AnAbortStaysWithItsOperation) {
    CancelTokenPtr first = wait.beginOperation();
    wait.abort();
    CancelTokenPtr second = wait.beginOperation();
    EXPECT_TRUE(first->cancelled());
    EXPECT_FALSE(second->cancelled());
    EXPECT_FALSE(wait.cancelled());
    second->cancel();
    EXPECT_TRUE(wait.cancelled());
    EXPECT_EQ(wait.wait(a, FD_READ), Outcome::Aborted);
}

TEST_F(Wait, PeerClosingIsReportedWithTheWrite) {
    ::close(b);
    b = -1;
    ASSERT_EQ(wait.EsperaWSA(a, FD_WRITE | FD_CLOSE), 1);
    EXPECT_TRUE(wait.arrived() & FD_CLOSE);
}

TEST_F(Wait, TimeOutRaisesBothFlagsAndLogs) {
    wait.setTimeouts({5, 5, 1});
    auto t0 = Clock::now();
    EXPECT_EQ(wait.EsperaWSA(a, FD_READ), 0);
    EXPECT_GE(Clock::now() - t0, 900ms);
    EXPECT_TRUE(wait.timedOut());
    EXPECT_TRUE(wait.cancelled());
    EXPECT_EQ(logged, std::vector<std::string>{">ERROR: Timeout"});
    // The cancel flag stays up until the next user operation lowers it.
    EXPECT_EQ(wait.EsperaWSA(a, FD_READ), 0);
    wait.lowerCancel();
    EXPECT_FALSE(wait.cancelled());
    EXPECT_FALSE(wait.timedOut());
}

TEST_F(Wait, AbortFromAnotherThreadWakesItAtOnce) {
    wait.setTimeouts({0, 0, 0}); // no time-out at all
    std::thread t([this] {
        std::this_thread::sleep_for(100ms);
        wait.abort();
    });
    auto t0 = Clock::now();
    EXPECT_EQ(wait.EsperaWSA(a, FD_READ), 0);
    t.join();
    EXPECT_LT(Clock::now() - t0, 400ms);
    EXPECT_TRUE(wait.cancelled());
    EXPECT_FALSE(wait.timedOut());
    EXPECT_TRUE(logged.empty());
    // An Abort before the next operation starts is forgotten by it.
    wait.lowerCancel();
    ASSERT_EQ(::write(b, "x", 1), 1);
    EXPECT_EQ(wait.EsperaWSA(a, FD_READ), 1);
}

// A pause between probes ends at its time without a log line, or at Abort
// long before it.
TEST_F(Wait, APauseEndsAtItsTimeOrAtAbort) {
    auto t0 = Clock::now();
    EXPECT_TRUE(wait.pauseUntil(t0 + 150ms));
    EXPECT_GE(Clock::now() - t0, 150ms);
    EXPECT_TRUE(wait.pauseUntil(t0)); // already due
    std::thread t([this] {
        std::this_thread::sleep_for(100ms);
        wait.abort();
    });
    t0 = Clock::now();
    EXPECT_FALSE(wait.pauseUntil(t0 + 60s));
    t.join();
    EXPECT_LT(Clock::now() - t0, 5s);
    EXPECT_FALSE(wait.pauseUntil(Clock::now() + 60s)); // the aborted operation stays aborted
    EXPECT_FALSE(wait.timedOut());
    EXPECT_TRUE(logged.empty());
}

TEST_F(Wait, RefusedConnectCarriesItsError) {
    int err = 0;
    Socket listener = Socket::tcp(err);
    ASSERT_EQ(listener.listenOn("127.0.0.1", 0), 0);
    uint16_t port = listener.localAddress()->port;
    listener.close();
    Socket s = Socket::tcp(err);
    int rc = s.connectStart("127.0.0.1", port);
    if (rc == 0) {
        ASSERT_EQ(wait.EsperaWSA(s.fd(), FD_CONNECT), 1);
        EXPECT_EQ(wait.socketError(), ECONNREFUSED);
        EXPECT_EQ(logged, std::vector<std::string>{std::to_string(ECONNREFUSED)});
    } else {
        EXPECT_EQ(rc, ECONNREFUSED);
    }
}

TEST_F(Wait, ConnectAndAddresses) {
    int err = 0;
    Socket listener = Socket::tcp(err);
    ASSERT_EQ(listener.listenOn("127.0.0.1", 0), 0);
    uint16_t port = listener.localAddress()->port;
    Socket s = Socket::tcp(err);
    ASSERT_EQ(s.connectStart("127.0.0.1", port), 0);
    ASSERT_EQ(wait.EsperaWSA(s.fd(), FD_CONNECT), 1);
    EXPECT_EQ(wait.socketError(), 0);
    EXPECT_EQ(s.peerAddress()->port, port);
    EXPECT_EQ(s.localAddress()->address, "127.0.0.1");
    ASSERT_EQ(wait.EsperaWSA(listener.fd(), FD_ACCEPT), 1);
    Endpoint peer;
    Socket in = listener.acceptOne(&peer, err);
    EXPECT_TRUE(in.valid());
    EXPECT_EQ(peer.port, s.localAddress()->port);
}

TEST(DottedAddress, OnlyLiteralAddressesCount) {
    struct Case {
        const char* text;
        bool dotted;
    } cases[] = {{"127.0.0.1", true}, {"10.0.0.1", true},      {"3com.example", false}, {"1.2.3", false},
                 {"", false},         {"256.1.1.1", false},    {"1.2.3.4 ", false},     {"ftp.example.org", false},
                 {"0.0.0.0", true},   {"01.2.3.4", false}};
    for (const auto& c : cases) EXPECT_EQ(isDottedIPv4(c.text), c.dotted) << c.text;
}

TEST(Lookup, FindsNamesAndDropsAbandonedAnswers) {
    EventWait wait;
    LookupResult r = lookupHost(wait, "localhost", std::nullopt);
    EXPECT_EQ(r.status, LookupResult::Found);
    EXPECT_EQ(r.dotted, "127.0.0.1");

    setLookupFunction([](const std::string&) {
        std::this_thread::sleep_for(1500ms);
        return LookupResult{LookupResult::Found, "127.0.0.1", 0};
    });
    auto t0 = Clock::now();
    r = lookupHost(wait, "slow.example", Clock::now() + 200ms);
    EXPECT_EQ(r.status, LookupResult::TimedOut);
    EXPECT_LT(Clock::now() - t0, 800ms);
    setLookupFunction(nullptr);
}

TEST(Worker, RunsTasksInOrderAndStops) {
    std::vector<int> order;
    {
        TaskThread t;
        for (int i = 0; i < 5; ++i) t.post([&order, i] { order.push_back(i); });
        t.stop();
        EXPECT_TRUE(t.idle());
    }
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
}

} // namespace
} // namespace vn
