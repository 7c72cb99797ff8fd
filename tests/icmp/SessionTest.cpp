#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "common/IniFile.h"
#include "icmp/PingSession.h"
#include "icmp/PingSettings.h"
#include "icmp/TraceSession.h"

namespace vn::icmp {
namespace {

EchoReply echo(std::uint32_t ms, int ttl = 64, const char* from = "127.0.0.1") {
    EchoReply r;
    r.status = EchoStatus::Echo;
    r.roundTripMs = ms;
    r.ttl = static_cast<std::uint8_t>(ttl);
    r.source = from;
    r.bytesReceived = 72;
    return r;
}

EchoReply timeOut() { return EchoReply{}; }

EchoReply answer(EchoStatus s, const char* from, int ttl = 64, std::uint32_t ms = 3) {
    EchoReply r = echo(ms, ttl, from);
    r.status = s;
    return r;
}

PingSettings settings(bool doOnly, int only, bool doLast, int last) {
    PingSettings s;
    s.doOnly = doOnly;
    s.only = only;
    s.doLast = doLast;
    s.last = last;
    return s;
}

std::vector<std::string> numbers(const PingSession& s) {
    std::vector<std::string> out;
    for (const auto& r : s.rows()) out.push_back(r.number);
    return out;
}

// ------------------------------------------------------------------ rounding

TEST(RoundHalfEven, HalvesGoToTheEvenNumber) {
    const std::pair<double, long long> cases[] = {{0.5, 0},   {1.5, 2},   {2.5, 2},  {3.5, 4},   {15.5, 16},
                                                  {12.5, 12}, {2.49, 2},  {2.51, 3}, {0.0, 0},   {7.0, 7},
                                                  {99.5, 100}, {100.5, 100}};
    for (auto [v, want] : cases) EXPECT_EQ(roundHalfEven(v), want) << v;
}

// ------------------------------------------------------------------ Ping

TEST(PingSession, StartResetsEverything) {
    PingSession s;
    EXPECT_EQ(s.statusText(), "Not Pinging");
    s.start(PingSettings{});
    s.onReply(echo(10));
    const auto first = s.generation();
    s.start(PingSettings{});
    EXPECT_EQ(s.generation(), first + 1);
    EXPECT_TRUE(s.running());
    EXPECT_EQ(s.statusText(), "Pinging");
    EXPECT_TRUE(s.rows().empty());
    EXPECT_EQ(s.count(), 0u);
    EXPECT_EQ(s.averageLabel(), "Average Time : 0ms");
    EXPECT_EQ(s.lostLabel(), "Lost Packets: 0");
    EXPECT_EQ(s.totalLabel(), "Total Packets: 0");
    EXPECT_EQ(s.gaugeMaximum(), 0u);
    EXPECT_EQ(s.gaugeProgress(), 0u);
    EXPECT_EQ(s.firstDelayMs(), 1000);
    EXPECT_EQ(s.intervalMs(), 1000);
}

TEST(PingSession, EchoAndTimeOutRows) {
    PingSession s;
    s.start(PingSettings{});
    s.onReply(echo(10, 64, "127.0.0.1"));
    s.onReply(timeOut());
    ASSERT_EQ(s.rows().size(), 2u);
    EXPECT_EQ(s.rows()[0], (ResultRow{"1", "64", "10 ms", "127.0.0.1", "Echo", {}}));
    // A TimeOut row: "0" in the Time column, "0.0.0.0" as host.
    EXPECT_EQ(s.rows()[1], (ResultRow{"2", "0", "0", "0.0.0.0", "TimeOut", {}}));
}

TEST(PingSession, OtherStatusesShowAPlainNumber) {
    PingSession s;
    s.start(PingSettings{});
    s.onReply(answer(EchoStatus::Unreachable, "10.0.0.1", 63, 4));
    s.onReply(answer(EchoStatus::TtlExceeded, "10.0.0.2", 62, 5));
    EXPECT_EQ(s.rows()[0], (ResultRow{"1", "63", "4", "10.0.0.1", "Unreachable", {}}));
    EXPECT_EQ(s.rows()[1], (ResultRow{"2", "62", "5", "10.0.0.2", "TTL Exceeded", {}}));
    EXPECT_EQ(s.lostLabel(), "Lost Packets: 2");
}

TEST(PingSession, AverageLostAndTotal) {
    PingSession s;
    s.start(PingSettings{});
    s.onReply(echo(10));
    s.onReply(echo(21));
    EXPECT_EQ(s.averageLabel(), "Average Time : 16 ms");  // 15.5, half to even
    EXPECT_EQ(s.lostLabel(), "Lost Packets: 0");
    s.onReply(timeOut());  // counts with 0 ms
    EXPECT_EQ(s.averageLabel(), "Average Time : 10 ms");
    EXPECT_EQ(s.lostLabel(), "Lost Packets: 1");
    EXPECT_EQ(s.totalLabel(), "Total Packets: 3");
    EXPECT_EQ(s.gaugeMaximum(), 3u);
    EXPECT_EQ(s.gaugeProgress(), 2u);
}

TEST(PingSession, AverageRoundsHalfToEvenNotUp) {
    PingSession s;
    s.start(PingSettings{});
    s.onReply(echo(10));
    s.onReply(echo(15));
    EXPECT_EQ(s.averageLabel(), "Average Time : 12 ms");  // 12.5
    s.onReply(echo(14));
    s.onReply(echo(11));
    EXPECT_EQ(s.averageLabel(), "Average Time : 12 ms");  // 12.5 again
}

TEST(PingSession, DoOnlyStopsAtTheSixthReplyAndDropsIt) {
    PingSession s;
    s.start(settings(true, 5, false, 5));
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(s.onReply(echo(1)).stopped);
    ReplyEffect fx = s.onReply(echo(1));
    EXPECT_TRUE(fx.stopped);
    EXPECT_FALSE(fx.added);
    EXPECT_FALSE(s.running());
    EXPECT_EQ(s.rows().size(), 5u);
    EXPECT_EQ(s.totalLabel(), "Total Packets: 5");
    EXPECT_EQ(s.statusText(), "Not Pinging");
    // Nothing more is taken after the stop.
    EXPECT_FALSE(s.onReply(echo(1)).added);
    EXPECT_EQ(s.count(), 5u);
}

TEST(PingSession, DoLastKeepsTheLastRowsAndTheNumbering) {
    PingSession s;
    s.start(settings(false, 5, true, 3));
    for (int i = 0; i < 6; ++i) s.onReply(echo(1));
    EXPECT_EQ(numbers(s), (std::vector<std::string>{"4", "5", "6"}));
}

TEST(PingSession, DoLastBelowOnlyKeepsRunning) {
    PingSession s;
    s.start(settings(true, 5, true, 3));
    for (int i = 0; i < 20; ++i) EXPECT_FALSE(s.onReply(echo(1)).stopped);
    EXPECT_TRUE(s.running());
    EXPECT_EQ(s.rows().size(), 3u);
    EXPECT_EQ(s.count(), 20u);
}

TEST(PingSession, DoLastOfZeroNeverTouchesAnEmptyList) {
    PingSession s;
    s.start(settings(false, 5, true, 0));
    auto fx = s.onReply(echo(1));
    EXPECT_FALSE(fx.removedOldest);
    fx = s.onReply(echo(1));
    EXPECT_TRUE(fx.removedOldest);
    EXPECT_EQ(numbers(s), (std::vector<std::string>{"2"}));
}

TEST(PingSession, ClearKeepsTheNumberingAndStatistics) {
    PingSession s;
    s.start(PingSettings{});
    s.onReply(echo(1));
    s.onReply(echo(1));
    s.clear();
    EXPECT_TRUE(s.rows().empty());
    EXPECT_EQ(s.totalLabel(), "Total Packets: 2");
    s.onReply(echo(1));
    EXPECT_EQ(numbers(s), (std::vector<std::string>{"3"}));
}

TEST(PingSession, CopyJoinsTheChosenRowsWithOneCarriageReturn) {
    PingSession s;
    s.start(PingSettings{});
    s.onReply(echo(10, 64, "127.0.0.1"));
    s.onReply(timeOut());
    s.onReply(echo(3, 63, "10.0.0.9"));
    auto text = s.copyText({2, 0});
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "Number: 1  TTL: 64  Time: 10 ms  Host: 127.0.0.1\r"
                     "Number: 3  TTL: 63  Time: 3 ms  Host: 10.0.0.9");
    EXPECT_EQ(s.copyText({}), std::nullopt);
    EXPECT_EQ(s.copyText({7}), std::nullopt);
}

TEST(PingSession, StopKeepsTheLabelsAndResetsTheAverage) {
    PingSession s;
    s.start(PingSettings{});
    s.onReply(echo(8));
    s.stop();
    EXPECT_FALSE(s.running());
    EXPECT_EQ(s.statusText(), "Not Pinging");
    EXPECT_EQ(s.average(), 0.0);
    EXPECT_EQ(s.averageLabel(), "Average Time : 8 ms");
}

TEST(PingSession, AnErrorStopsTheSessionBeforeItIsShown) {
    PingSession s;
    s.start(PingSettings{});
    std::string box = s.onError("Socket Error # 101\r\nNetwork is unreachable");
    EXPECT_EQ(box, "Socket Error # 101\r\nNetwork is unreachable");
    EXPECT_FALSE(s.running());
    EXPECT_TRUE(s.rows().empty());
}

TEST(PingSession, PrintReport) {
    PingSession s;
    PrintReport empty = s.printReport();
    EXPECT_EQ(empty.statistics[1], "Lost Packets: 0 [0 %]");  // no division by zero
    s.start(PingSettings{});
    s.onReply(echo(10));
    s.onReply(echo(21));
    s.onReply(timeOut());
    PrintReport r = s.printReport();
    EXPECT_EQ(r.title, "Varnelo FTP - Ping");
    EXPECT_EQ(r.heading, "Varnelo FTP - Ping :   Ping Results");
    ASSERT_EQ(r.rows.size(), 3u);
    EXPECT_EQ(r.rows[2], "Number: 3  TTL: 0  Time: 0  Host: 0.0.0.0");
    EXPECT_EQ(r.statistics, (std::vector<std::string>{"Average Time : 10 ms", "Lost Packets: 1 [33 %]",
                                                      "Total Packets: 3", "OK Packets : 2 [67 %]"}));
}

// ------------------------------------------------------------------ Traceroute

std::vector<std::string> statuses(const TraceSession& t) {
    std::vector<std::string> out;
    for (const auto& r : t.rows()) out.push_back(r.status);
    return out;
}

TEST(TraceSession, ThreeHopsAwayEndsWithEcho) {
    TraceSession t;
    ASSERT_TRUE(t.start(255, PingSettings{}));
    EXPECT_EQ(t.statusText(), "Tracing");
    EXPECT_EQ(t.nextProbe(), 1);
    t.onReply(answer(EchoStatus::TtlExceeded, "10.0.1.1", 64));
    EXPECT_EQ(t.nextProbe(), 2);
    t.onReply(answer(EchoStatus::TtlExceeded, "10.0.2.1", 63));
    EXPECT_EQ(t.nextProbe(), 3);
    auto fx = t.onReply(echo(7, 62, "10.0.3.2"));
    EXPECT_TRUE(fx.stopped);
    EXPECT_FALSE(t.running());
    EXPECT_EQ(statuses(t), (std::vector<std::string>{"Tracing...", "Tracing...", "Echo"}));
    EXPECT_EQ(t.rows()[0], (ResultRow{"1", "64", "0", "10.0.1.1", "Tracing...", {}}));
    // The TTL column is the answer's, the Time a plain number.
    EXPECT_EQ(t.rows()[2], (ResultRow{"3", "62", "7", "10.0.3.2", "Echo", {}}));
    EXPECT_EQ(t.nextProbe(), std::nullopt);
    EXPECT_EQ(t.statusText(), "");
    EXPECT_EQ(t.probeTtl(), 1);
}

TEST(TraceSession, TheLastProbeReadsTtlExceededAndStops) {
    TraceSession t;
    ASSERT_TRUE(t.start(4, PingSettings{}));
    std::vector<int> probes;
    while (auto p = t.nextProbe()) {
        probes.push_back(*p);
        t.onReply(answer(EchoStatus::TtlExceeded, "10.0.1.1"));
    }
    EXPECT_EQ(probes, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(statuses(t), (std::vector<std::string>{"Tracing...", "Tracing...", "TTL Exceeded"}));
    EXPECT_FALSE(t.running());
}

TEST(TraceSession, ALimitOfOneSendsNothingAndStopsAtOnce) {
    for (int limit : {1, 0, -5}) {
        TraceSession t;
        EXPECT_FALSE(t.start(limit, PingSettings{})) << limit;
        EXPECT_FALSE(t.running());
        EXPECT_EQ(t.nextProbe(), std::nullopt);
    }
    TraceSession two;
    ASSERT_TRUE(two.start(2, PingSettings{}));
    EXPECT_EQ(two.nextProbe(), 1);
    two.onReply(answer(EchoStatus::TtlExceeded, "10.0.1.1"));
    EXPECT_EQ(statuses(two), (std::vector<std::string>{"TTL Exceeded"}));
    EXPECT_FALSE(two.running());
}

TEST(TraceSession, ASilentHopGivesATimeOutRowAndTheTraceGoesOn) {
    TraceSession t;
    ASSERT_TRUE(t.start(255, PingSettings{}));
    EXPECT_FALSE(t.onReply(timeOut()).stopped);
    EXPECT_TRUE(t.running());
    EXPECT_EQ(t.nextProbe(), 2);
    t.onReply(echo(1, 63, "10.0.2.2"));
    EXPECT_EQ(statuses(t), (std::vector<std::string>{"TimeOut", "Echo"}));
    EXPECT_EQ(t.rows()[0], (ResultRow{"1", "0", "0", "0.0.0.0", "TimeOut", {}}));
    // Silence at the last probe ends it.
    TraceSession last;
    ASSERT_TRUE(last.start(2, PingSettings{}));
    EXPECT_TRUE(last.onReply(timeOut()).stopped);
}

TEST(TraceSession, UnreachableAndErrorEndTheTrace) {
    for (EchoStatus st : {EchoStatus::Unreachable, EchoStatus::Error}) {
        TraceSession t;
        ASSERT_TRUE(t.start(30, PingSettings{}));
        EXPECT_TRUE(t.onReply(answer(st, "10.0.1.1", 64, 9)).stopped);
        EXPECT_EQ(t.rows()[0].status, statusText(st));
        EXPECT_EQ(t.rows()[0].time, "0");
    }
}

TEST(TraceSession, StatusTextByHowItStarted) {
    TraceSession t;
    t.start(30, PingSettings{}, TraceSession::StartedFrom::SiteManager);
    EXPECT_EQ(t.statusText(), "Tracing Route");
    const auto first = t.generation();
    t.start(30, PingSettings{}, TraceSession::StartedFrom::History);
    EXPECT_EQ(t.statusText(), "Pinging");
    EXPECT_EQ(t.generation(), first + 1);
    t.onError("x");
    EXPECT_EQ(t.statusText(), "");
    EXPECT_FALSE(t.running());
}

TEST(TraceSession, DoOnlyAndDoLastActOnTheList) {
    TraceSession t;
    ASSERT_TRUE(t.start(30, settings(true, 2, false, 5)));
    t.onReply(answer(EchoStatus::TtlExceeded, "10.0.1.1"));
    t.onReply(answer(EchoStatus::TtlExceeded, "10.0.2.1"));
    EXPECT_TRUE(t.onReply(answer(EchoStatus::TtlExceeded, "10.0.3.1")).stopped);
    EXPECT_EQ(t.rows().size(), 2u);

    TraceSession l;
    ASSERT_TRUE(l.start(30, settings(false, 5, true, 2)));
    for (int i = 0; i < 4; ++i) l.onReply(answer(EchoStatus::TtlExceeded, "10.0.1.1"));
    ASSERT_EQ(l.rows().size(), 2u);
    EXPECT_EQ(l.rows()[0].number, "3");
}

TEST(TraceSession, NamesAreAddedEachTimeAndCopyUsesTheAddress) {
    TraceSession t;
    t.start(30, PingSettings{});
    t.onReply(answer(EchoStatus::TtlExceeded, "10.0.1.1", 64));
    t.onReply(echo(2, 63, "10.0.2.2"));
    EXPECT_TRUE(t.appendName(0, "r.example"));
    EXPECT_TRUE(t.appendName(0, "r.example"));
    EXPECT_FALSE(t.appendName(5, "nowhere"));
    EXPECT_EQ(t.rows()[0].names, (std::vector<std::string>{"r.example", "r.example"}));
    EXPECT_EQ(*t.copyText({0, 1}), "Number: 1  TTL: 64  Time: 0  Host: 10.0.1.1\r"
                                   "Number: 2  TTL: 63  Time: 2  Host: 10.0.2.2");
    PrintReport r = t.printReport();
    EXPECT_EQ(r.title, "Varnelo FTP - Traceroute");
    EXPECT_EQ(r.heading, "Varnelo FTP - Traceroute :   Traceroute Results");
    EXPECT_EQ(r.rows.size(), 2u);
    EXPECT_TRUE(r.statistics.empty());
}

// ------------------------------------------------------------------ settings

class PingSettingsTest : public ::testing::Test {
protected:
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                ("vn-icmp-ini-" + std::to_string(::getpid()) + "-" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
    void SetUp() override { std::filesystem::create_directories(dir); }
    void TearDown() override { std::filesystem::remove_all(dir); }
};

TEST_F(PingSettingsTest, DefaultsAndOnlyOneSwitchesOn) {
    IniFile ini(dir / "varnelo.ini");
    PingSettings d = readPingSettings(ini);
    EXPECT_EQ(d.ttl, 255);
    EXPECT_EQ(d.timeout, 5000);
    EXPECT_FALSE(d.doOnly);
    EXPECT_EQ(d.only, 5);
    EXPECT_FALSE(d.doLast);
    EXPECT_EQ(d.last, 5);
    EXPECT_EQ(d.interval, 1000);
    EXPECT_FALSE(d.disableThinking);
    ini.writeInt("PING", "doonly", 2);
    ini.writeInt("Ping", "DoLast", 1);
    PingSettings r = readPingSettings(ini);
    EXPECT_FALSE(r.doOnly);
    EXPECT_TRUE(r.doLast);
}

TEST_F(PingSettingsTest, WrittenAndReadBack) {
    IniFile ini(dir / "varnelo.ini");
    PingSettings s{64, 800, true, 9, true, 3, 250, true};
    ASSERT_TRUE(writePingSettings(ini, s));
    PingSettings r = readPingSettings(ini);
    EXPECT_EQ(r.ttl, 64);
    EXPECT_EQ(r.timeout, 800);
    EXPECT_TRUE(r.doOnly);
    EXPECT_EQ(r.only, 9);
    EXPECT_TRUE(r.doLast);
    EXPECT_EQ(r.last, 3);
    EXPECT_EQ(r.interval, 250);
    EXPECT_TRUE(r.disableThinking);
    EXPECT_EQ(ini.readString("Ping", "DoOnly"), "1");
    EXPECT_FALSE(readTraceDisableThinking(ini));
    ASSERT_TRUE(writeTraceDisableThinking(ini, true));
    EXPECT_TRUE(readTraceDisableThinking(ini));
    EXPECT_EQ(ini.readString("Traceroute", "DisableThinking"), "1");
}

TEST(BoxRules, TtlAndTimeout) {
    const std::pair<long long, int> ttl[] = {{0, 255}, {-1, 255}, {1, 1}, {128, 128}, {255, 255}, {256, 255}, {999, 255}};
    for (auto [in, out] : ttl) EXPECT_EQ(ttlBoxRule(in), out) << in;
    const std::pair<long long, int> tmo[] = {{0, 5000}, {-20, 5000}, {1, 1}, {250, 250}};
    for (auto [in, out] : tmo) EXPECT_EQ(timeoutBoxRule(in), out) << in;
}

} // namespace
} // namespace vn::icmp
