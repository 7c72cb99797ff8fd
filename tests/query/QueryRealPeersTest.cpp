// The query client against real peers run by openbsd-inetd on 127.0.0.1: its
// own daytime and time services, in.fingerd, and a whois responder script.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <sys/stat.h>

#include "FakeClockSetter.h"
#include "InetdPeer.h"
#include "QueryHarness.h"

namespace vn {
namespace {

using test::InetdPeer;
using test::QueryHarness;
using Lines = std::vector<std::string>;

// A whois server in a few lines of shell: the query comes back in its answer.
const char* kWhoisScript =
    "#!/bin/sh\n"
    "IFS= read -r q\n"
    "q=$(printf '%s' \"$q\" | tr -d '\\r')\n"
    "printf 'Domain Name: %s\\r\\nRegistrar: Varnelo Test Registry\\r\\n' \"$q\"\n";

class RealPeers : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        inetd_ = new InetdPeer;
        auto script = inetd_->folder() / "whois.sh";
        std::ofstream(script) << kWhoisScript;
        chmod(script.c_str(), 0755);
        inetd_->internal("daytime")
            .internal("time")
            .program("finger", {"/usr/sbin/in.fingerd", "in.fingerd"}, "nobody")
            .program("whois", {"/bin/sh", "sh", script.string()}, "nobody");
        inetd_->start();
    }
    static void TearDownTestSuite() {
        delete inetd_;
        inetd_ = nullptr;
    }
    void SetUp() override {
        if (inetd_->namespaceUnavailable()) GTEST_SKIP() << "no mount namespace for inetd here: " << inetd_->error();
        ASSERT_TRUE(inetd_->ready()) << inetd_->error();
    }
    static uint16_t port(const char* tag) { return inetd_->port(tag); }
    static InetdPeer* inetd_;
};

InetdPeer* RealPeers::inetd_ = nullptr;

const Lines kStatuses{kStatusCreatingSocket, kStatusConnecting, kStatusConnected, kStatusNotConnected};

TEST_F(RealPeers, DaytimeShowsTheDate) {
    QueryHarness h(QueryKind::DayTime);
    QueryResult r = h.run({"127.0.0.1", "", port("daytime")});
    EXPECT_EQ(r.outcome, Outcome::Done);
    std::string text = h.rec.replyBytes();
    // "Thu Dec 10 15:03:22 2026\r\n"
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    EXPECT_NE(text.find(std::to_string(tm.tm_year + 1900)), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_EQ(h.rec.statuses(), kStatuses);
    EXPECT_EQ(h.rec.beeps(), 1);
    EXPECT_TRUE(h.rec.messages().empty());
    EXPECT_EQ(h.history.entries(), Lines{"127.0.0.1"});
}

// The name "localhost" goes through the real look-up.
TEST_F(RealPeers, TimeByNameShownAndSynchronised) {
    QueryHarness h(QueryKind::Time);
    test::FakeClockSetter clock;
    h.engine.setClockSetter(&clock);
    QueryResult r = h.run({"localhost", "", port("time"), true});
    ASSERT_EQ(r.outcome, Outcome::Done) << r.error;
    ASSERT_TRUE(r.time);
    // The server is this machine: its time is ours, give or take a second.
    auto now = std::chrono::system_clock::now();
    std::int64_t ours = std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
    EXPECT_LE(std::abs(r.time->unixSeconds - ours), 2);
    EXPECT_EQ(r.time->bias, systemZoneBias(static_cast<std::time_t>(ours)));
    ASSERT_EQ(clock.calls().size(), 1u);
    EXPECT_LE(std::chrono::abs(clock.calls()[0] - now), std::chrono::seconds(2));
    EXPECT_EQ(h.rec.messages(), Lines{kClockSynchronised});
    EXPECT_EQ(h.rec.statuses(), (Lines{kStatusCreatingSocket, kStatusLookingForHost, kStatusConnecting,
                                       kStatusConnected, kStatusNotConnected}));
    EXPECT_EQ(h.history.entries(), Lines{"localhost"});
}

TEST_F(RealPeers, FingerAUserAndTheListOfUsers) {
    QueryHarness h(QueryKind::Finger);
    QueryResult r = h.run({"127.0.0.1", "root", port("finger")});
    EXPECT_EQ(r.outcome, Outcome::Done);
    EXPECT_NE(h.rec.replyBytes().find("Login: root"), std::string::npos) << h.rec.replyBytes();
    EXPECT_EQ(h.rec.statuses(), kStatuses);

    QueryHarness list(QueryKind::Finger);
    r = list.run({"127.0.0.1", "", port("finger")});
    EXPECT_EQ(r.outcome, Outcome::Done);
    EXPECT_FALSE(list.rec.replyBytes().empty());
    EXPECT_EQ(list.rec.replyBytes().find("Login: root"), std::string::npos);
}

TEST_F(RealPeers, WhoisSendsTheCommandLineWhole) {
    const std::string longName = std::string(3000, 'x') + ".example";
    for (const std::string& query : {std::string("example.com"), longName}) {
        QueryHarness h(QueryKind::Whois);
        QueryResult r = h.run({"127.0.0.1", query, port("whois")});
        EXPECT_EQ(r.outcome, Outcome::Done);
        EXPECT_EQ(h.rec.replyBytes(), "Domain Name: " + query + "\r\nRegistrar: Varnelo Test Registry\r\n");
        EXPECT_EQ(h.rec.beeps(), 1);
    }
}

} // namespace
} // namespace vn
