// The Time protocol: the value's eras, local time and zone texts, the
// exchange's four bytes, and setting the clock through an injected setter.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>

#include "FakeClockSetter.h"
#include "QueryHarness.h"
#include "ScriptedPeer.h"

namespace vn {
namespace {

using test::FakeClockSetter;
using test::QueryHarness;
using test::ScriptedPeer;
using Lines = std::vector<std::string>;

std::string bytesOf(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

LocalDateTime at(std::int64_t y, int mo, int d, int h, int mi, int s) { return {y, mo, d, h, mi, s}; }

// ---------------------------------------------------------------- the value

// Values below 2^31 belong to the era after 2036-02-07 06:28:16 UTC.
TEST(TimeValue, ErasAndEdges) {
    struct Case {
        std::uint32_t value;
        std::int64_t unix;
        LocalDateTime utc;
    };
    const Case cases[] = {
        {2208988800u, 0, at(1970, 1, 1, 0, 0, 0)},
        {0xFFFFFFFFu, 2085978495, at(2036, 2, 7, 6, 28, 15)},
        {0u, 2085978496, at(2036, 2, 7, 6, 28, 16)},
        {0x80000000u, -61505152, at(1968, 1, 20, 3, 14, 8)},
        {0x7FFFFFFFu, 4233462143, at(2104, 2, 26, 9, 42, 23)},
        {3974400000u, 1765411200, at(2025, 12, 11, 0, 0, 0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(rfc868ToUnix(c.value), c.unix);
        EXPECT_EQ(localFromUnix(c.unix, 0), c.utc);
        const std::string b = bytesOf(c.value);
        EXPECT_EQ(rfc868FromBytes(reinterpret_cast<const unsigned char*>(b.data())), c.value);
    }
}

TEST(TimeValue, LocalTimeAndZoneText) {
    struct Case {
        std::uint32_t value;
        ZoneBias bias;
        LocalDateTime local;
        std::string zone;
    };
    const std::uint32_t justAfterMidnight = 2208988800u + 86400 + 30; // 1970-01-02 00:00:30 GMT
    const Case cases[] = {
        // One hour east: 01:00:00 of the same day.
        {2208988800u, {-60, -60}, at(1970, 1, 1, 1, 0, 0), " (GMT+1)"},
        // Five hours west: the previous day's evening.
        {justAfterMidnight, {300, 300}, at(1970, 1, 1, 19, 0, 30), " (GMT-5)"},
        // Daylight saving time: the time includes it, the hours stay standard.
        {2208988800u, {-120, -60}, at(1970, 1, 1, 2, 0, 0), " (GMT+1)"},
        {2208988800u, {0, 0}, at(1970, 1, 1, 0, 0, 0), " (GMT0)"},
        // Half-hour zones show their whole hours only.
        {2208988800u, {-330, -330}, at(1970, 1, 1, 5, 30, 0), " (GMT+5)"},
        {2208988800u, {210, 210}, at(1969, 12, 31, 20, 30, 0), " (GMT-3)"},
        // The next era, far east: the date rolls forward.
        {0u, {-1080, -1080}, at(2036, 2, 8, 0, 28, 16), " (GMT+18)"},
    };
    for (const auto& c : cases) {
        TimeReading r = readingFor(c.value, c.bias);
        EXPECT_EQ(r.local, c.local) << c.value;
        EXPECT_EQ(r.zoneText, c.zone) << c.value;
        EXPECT_EQ(r.text(), shortDateLongTime(c.local) + c.zone);
    }
    // The process runs in the C locale here: its short date and long time.
    EXPECT_EQ(readingFor(2208988800u, {-60, -60}).text(), "01/01/70 01:00:00 (GMT+1)");
}

TEST(TimeValue, LocalClockTakesItsSignFromTheStandardBias) {
    EXPECT_EQ(localClockText(0, {0, 0}), "01/01/70 00:00:00 (GMT0)");
    // In daylight saving time the clock shows the current time and the standard hours.
    EXPECT_EQ(localClockText(0, {-120, -60}), "01/01/70 02:00:00 (GMT+1)");
    EXPECT_EQ(localClockText(0, {240, 300}), "12/31/69 20:00:00 (GMT-5)");
}

// The zone as the C library sees it, for a few TZ values.
TEST(TimeValue, SystemZoneBias) {
    const char* old = std::getenv("TZ");
    std::string saved = old ? old : "";
    struct Case {
        const char* tz;
        std::time_t when;
        ZoneBias bias;
    };
    const std::time_t january = 1768478400; // 2026-01-15 12:00 UTC
    const std::time_t july = 1783512000;    // 2026-07-08 12:00 UTC
    const Case cases[] = {
        {"UTC", july, {0, 0}},
        {"Europe/Berlin", january, {-60, -60}},
        {"Europe/Berlin", july, {-120, -60}},
        {"America/New_York", july, {240, 300}},
        {"Asia/Kolkata", july, {-330, -330}},
        {"Australia/Sydney", january, {-660, -600}},
    };
    for (const auto& c : cases) {
        setenv("TZ", c.tz, 1);
        tzset();
        EXPECT_EQ(systemZoneBias(c.when), c.bias) << c.tz;
    }
    if (old) setenv("TZ", saved.c_str(), 1);
    else unsetenv("TZ");
    tzset();
}

// ---------------------------------------------------------------- the exchange

struct TimeHarness : QueryHarness {
    explicit TimeHarness(int setterAnswer = 0) : QueryHarness(QueryKind::Time), clock(setterAnswer) {
        engine.setClockSetter(&clock);
        engine.setZoneSource([](std::time_t) { return ZoneBias{-60, -60}; });
    }
    FakeClockSetter clock;
};

TEST(TimeExchange, TheEdgeValuesShownAndSet) {
    const std::uint32_t values[] = {0u, 0xFFFFFFFFu, 2208988800u};
    for (std::uint32_t v : values) {
        SCOPED_TRACE(v);
        TimeHarness h;
        ScriptedPeer peer([&](ScriptedPeer::Conn& c) { c.send(bytesOf(v)); });
        QueryResult r = h.run({"127.0.0.1", "", peer.port(), true});
        EXPECT_EQ(r.outcome, Outcome::Done);
        ASSERT_TRUE(r.time);
        EXPECT_EQ(r.time->value, v);
        EXPECT_EQ(r.time->unixSeconds, rfc868ToUnix(v));
        EXPECT_EQ(r.time->zoneText, " (GMT+1)");
        ASSERT_EQ(h.rec.times().size(), 1u);
        EXPECT_EQ(h.rec.times()[0].local, localFromUnix(rfc868ToUnix(v), -60));
        // The clock gets the server's instant plus the moments spent since it arrived.
        auto calls = h.clock.calls();
        ASSERT_EQ(calls.size(), 1u);
        auto offset = calls[0] - std::chrono::system_clock::time_point(std::chrono::seconds(rfc868ToUnix(v)));
        EXPECT_GE(offset, std::chrono::system_clock::duration::zero());
        EXPECT_LT(offset, std::chrono::seconds(5));
        EXPECT_TRUE(r.clockSet);
        EXPECT_EQ(h.rec.messages(), Lines{kClockSynchronised});
        EXPECT_EQ(h.rec.beeps(), 2); // the clock's, then the end of the query
        EXPECT_EQ(h.rec.statuses(), (Lines{kStatusCreatingSocket, kStatusConnecting, kStatusConnected,
                                           kStatusNotConnected}));
    }
}

TEST(TimeExchange, WithoutSynchronisingTheClockIsLeftAlone) {
    TimeHarness h;
    ScriptedPeer peer([&](ScriptedPeer::Conn& c) { c.send(bytesOf(2208988800u)); });
    QueryResult r = h.run({"127.0.0.1", "", peer.port(), false});
    EXPECT_EQ(r.outcome, Outcome::Done);
    EXPECT_TRUE(h.clock.calls().empty());
    EXPECT_TRUE(h.rec.messages().empty());
    EXPECT_EQ(h.rec.beeps(), 1);
    EXPECT_EQ(h.history.entries(), Lines{"127.0.0.1"});
}

// Eight bytes (as one inetd sends), or four in separate pieces: the first four count.
TEST(TimeExchange, TheFirstFourBytesCount) {
    const std::uint32_t v = 3974400000u;
    struct Case {
        const char* name;
        std::function<void(ScriptedPeer::Conn&)> script;
    };
    const Case cases[] = {
        {"eight bytes", [&](ScriptedPeer::Conn& c) { c.send(bytesOf(v) + bytesOf(0)); }},
        {"byte by byte",
         [&](ScriptedPeer::Conn& c) {
             for (char b : bytesOf(v)) c.send(std::string(1, b));
         }},
    };
    for (const auto& c : cases) {
        TimeHarness h;
        ScriptedPeer peer(c.script);
        QueryResult r = h.run({"127.0.0.1", "", peer.port(), true});
        ASSERT_TRUE(r.time) << c.name;
        EXPECT_EQ(r.time->value, v) << c.name;
        EXPECT_EQ(r.time->unixSeconds, 1765411200) << c.name;
    }
}

// A value cut short is no time: nothing is shown and the clock is untouched.
TEST(TimeExchange, AShortValueIsAnErrorThatNeverSetsTheClock) {
    for (int n : {0, 1, 2, 3}) {
        SCOPED_TRACE(n);
        TimeHarness h;
        ScriptedPeer peer([&](ScriptedPeer::Conn& c) { c.send(bytesOf(0xDEADBEEF).substr(0, n)); });
        QueryResult r = h.run({"127.0.0.1", "", peer.port(), true});
        EXPECT_EQ(r.outcome, Outcome::Failed);
        EXPECT_FALSE(r.time);
        EXPECT_TRUE(h.rec.times().empty());
        EXPECT_TRUE(h.clock.calls().empty());
        const std::string message = "ERROR: only " + std::to_string(n) +
                                    " of the 4 bytes of the time arrived while reading. Service not available.";
        EXPECT_EQ(h.rec.messages(), Lines{message});
        EXPECT_EQ(h.rec.beeps(), 1);
    }
}

// A server that stalls in the middle of its value keeps the query until
// Abort; the clock is untouched.
TEST(TimeExchange, AStallEndsAtAbort) {
    TimeHarness h;
    ScriptedPeer peer([&](ScriptedPeer::Conn& c) {
        c.send(bytesOf(2208988800u).substr(0, 2));
        c.silence();
    });
    auto f = h.start({"127.0.0.1", "", peer.port(), true});
    ASSERT_TRUE(h.rec.waitFor("status", kStatusConnected));
    h.engine.abort();
    ASSERT_TRUE(QueryHarness::ended(f));
    QueryResult r = f.get();
    EXPECT_EQ(r.outcome, Outcome::Aborted);
    EXPECT_FALSE(r.time);
    EXPECT_TRUE(h.clock.calls().empty());
    EXPECT_TRUE(h.rec.messages().empty());
    EXPECT_EQ(h.rec.beeps(), 1);
}

// A reset before the value arrives is a socket error, in the Time window's
// words. The peer resets at once, so the reset often reaches the client with
// the connect itself; repeated so both orders are seen.
TEST(TimeExchange, AResetBeforeTheValue) {
    for (int i = 0; i < 20; ++i) {
        TimeHarness h;
        ScriptedPeer peer([&](ScriptedPeer::Conn& c) {
            c.send(bytesOf(2208988800u).substr(0, 1));
            c.reset();
        });
        QueryResult r = h.run({"127.0.0.1", "", peer.port(), true});
        EXPECT_EQ(r.outcome, Outcome::Failed);
        EXPECT_TRUE(r.connected);
        EXPECT_TRUE(h.clock.calls().empty());
        EXPECT_EQ(h.rec.messages(), Lines{"ERROR 104 while reading.. Service not available."});
        EXPECT_EQ(h.rec.beeps(), 1);
    }
}

// The system refusing the new time: "Error setting system time...", no
// success beep, and the time is still shown.
TEST(TimeExchange, AClockThatWillNotBeSet) {
    TimeHarness h(EPERM);
    ScriptedPeer peer([&](ScriptedPeer::Conn& c) { c.send(bytesOf(2208988800u)); });
    QueryResult r = h.run({"127.0.0.1", "", peer.port(), true});
    EXPECT_EQ(r.outcome, Outcome::Done);
    EXPECT_FALSE(r.clockSet);
    EXPECT_EQ(r.clockError, EPERM);
    EXPECT_EQ(h.clock.calls().size(), 1u);
    EXPECT_EQ(h.rec.messages(), Lines{kClockNotSet});
    EXPECT_EQ(h.rec.times().size(), 1u);
    EXPECT_EQ(h.rec.beeps(), 1);

    // No setter at all is the same refusal.
    QueryHarness bare(QueryKind::Time);
    ScriptedPeer peer2([&](ScriptedPeer::Conn& c) { c.send(bytesOf(2208988800u)); });
    QueryResult r2 = bare.run({"127.0.0.1", "", peer2.port(), true});
    EXPECT_FALSE(r2.clockSet);
    EXPECT_EQ(bare.rec.messages(), Lines{kClockNotSet});
}

// The value is read and shown before the peer closes; a peer that keeps the
// connection open after its value holds the query until Abort, but the time
// shown (and set) stands.
TEST(TimeExchange, APeerThatStaysOpenAfterItsValue) {
    TimeHarness h;
    ScriptedPeer peer([&](ScriptedPeer::Conn& c) {
        c.send(bytesOf(2208988800u));
        c.silence();
    });
    auto f = h.start({"127.0.0.1", "", peer.port(), true});
    ASSERT_TRUE(h.rec.waitFor("message", kClockSynchronised));
    h.engine.abort();
    ASSERT_TRUE(QueryHarness::ended(f));
    QueryResult r = f.get();
    EXPECT_EQ(r.outcome, Outcome::Done);
    EXPECT_TRUE(r.time);
    EXPECT_EQ(h.clock.calls().size(), 1u);
}

} // namespace
} // namespace vn
