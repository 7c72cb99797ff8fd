// The query client against scripted peers: what it sends, how it shows what
// arrives, its status texts, beeps and message boxes, Abort at every wait,
// and the hosts it must refuse.
#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>

#include "QueryHarness.h"
#include "RealFtpServers.h"
#include "ScriptedPeer.h"
#include "platform/Resolver.h"

namespace vn {
namespace {

using test::QueryHarness;
using test::ScriptedPeer;
using Lines = std::vector<std::string>;

const Lines kDirectStatuses{kStatusCreatingSocket, kStatusConnecting, kStatusConnected, kStatusNotConnected};

// Installs a scripted name look-up for the test and removes it afterwards.
struct ScopedLookup {
    explicit ScopedLookup(LookupFunction f) { setLookupFunction(std::move(f)); }
    ~ScopedLookup() { setLookupFunction(nullptr); }
};

// A connection the peer's queue still holds: the peer has not accepted it.
bool connectionWaiting(const ScriptedPeer& peer) { return peer.accepted() > 0; }

TEST(QueryExchange, FingerSendsTheLineAndShowsEachPieceAsItArrives) {
    QueryHarness h(QueryKind::Finger);
    ScriptedPeer peer([&](ScriptedPeer::Conn& c) {
        ASSERT_EQ(c.readLine(), "root\r\n");
        c.send("Login: root\r\n");
        // The second piece only after the first has been shown.
        ASSERT_TRUE(h.rec.waitFor("piece"));
        c.send("Directory: /root\r\nShell: /bin/sh");
    });
    QueryResult r = h.run({"127.0.0.1", "root", peer.port()});
    EXPECT_EQ(r.outcome, Outcome::Done);
    EXPECT_TRUE(r.connected);
    EXPECT_EQ(h.rec.pieces(), (Lines{"Login: root\r\n", "Directory: /root\r\nShell: /bin/sh"}));
    EXPECT_EQ(r.received, 45u);
    EXPECT_EQ(h.rec.statuses(), kDirectStatuses);
    EXPECT_EQ(h.rec.beeps(), 1);
    EXPECT_TRUE(h.rec.messages().empty());
    EXPECT_EQ(h.history.entries(), Lines{"127.0.0.1"});
}

// Finger and Whois send the query line; Daytime sends nothing at all.
TEST(QueryExchange, WhatEachToolSends) {
    struct Case {
        QueryKind kind;
        std::string query;
        std::string sent;
    };
    const std::string longQuery(5000, 'q');
    const Case cases[] = {
        {QueryKind::Finger, "", "\r\n"},
        {QueryKind::Finger, "alice", "alice\r\n"},
        {QueryKind::Whois, "example.com", "example.com\r\n"},
        // Far longer than one send buffer's worth of the old line buffer: sent whole.
        {QueryKind::Whois, longQuery, longQuery + "\r\n"},
        {QueryKind::DayTime, "ignored", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(queryProfile(c.kind).section) + " " + std::to_string(c.query.size()));
        QueryHarness h(c.kind);
        ScriptedPeer peer([&](ScriptedPeer::Conn& conn) {
            if (!c.sent.empty()) conn.readLine();
            conn.send("answer\r\n");
        });
        QueryResult r = h.run({"127.0.0.1", c.query, peer.port()});
        EXPECT_EQ(r.outcome, Outcome::Done);
        peer.stop();
        EXPECT_EQ(peer.received(), c.sent);
        EXPECT_EQ(h.rec.replyBytes(), "answer\r\n");
    }
}

// Replies are taken by byte count: zero bytes, and replies far longer than
// one receive, arrive whole.
TEST(QueryExchange, ZeroBytesAndLongRepliesArriveWhole) {
    std::string reply;
    for (int i = 0; i < 5000; ++i) reply.push_back(static_cast<char>(i % 7 == 0 ? 0 : 'a' + i % 26));
    reply.insert(0, std::string("\0\0head", 6));
    QueryHarness h(QueryKind::DayTime);
    ScriptedPeer peer([&](ScriptedPeer::Conn& c) { c.send(reply); });
    QueryResult r = h.run({"127.0.0.1", "", peer.port()});
    EXPECT_EQ(r.outcome, Outcome::Done);
    EXPECT_EQ(h.rec.replyBytes(), reply);
    EXPECT_EQ(r.received, reply.size());
    for (const auto& p : h.rec.pieces()) EXPECT_LE(p.size(), 1024u);
}

TEST(QueryExchange, APeerThatAcceptsAndClosesLeavesTheOutputAlone) {
    for (QueryKind kind : {QueryKind::DayTime, QueryKind::Finger}) {
        QueryHarness h(kind);
        ScriptedPeer peer([&](ScriptedPeer::Conn& c) {
            // Finger's line is read first, so the close is a clean one.
            if (kind == QueryKind::Finger) c.readLine();
        });
        QueryResult r = h.run({"127.0.0.1", "x", peer.port()});
        EXPECT_EQ(r.outcome, Outcome::Done);
        EXPECT_TRUE(h.rec.pieces().empty());
        EXPECT_EQ(h.rec.statuses().back(), kStatusNotConnected);
        EXPECT_EQ(h.rec.beeps(), 1);
        EXPECT_TRUE(h.rec.messages().empty());
    }
}

TEST(QueryExchange, AResetKeepsWhatArrivedAndSaysSo) {
    struct Case {
        QueryKind kind;
        std::string message;
    };
    const Case cases[] = {
        {QueryKind::Whois, "ERROR 104 while reading."},
        {QueryKind::DayTime, "ERROR 104 while reading.. Service not available."},
    };
    for (const auto& c : cases) {
        QueryHarness h(c.kind);
        ScriptedPeer peer([&](ScriptedPeer::Conn& conn) {
            if (c.kind == QueryKind::Whois) conn.readLine();
            conn.send("partial answer");
            ASSERT_TRUE(h.rec.waitFor("piece"));
            conn.reset();
        });
        QueryResult r = h.run({"127.0.0.1", "q", peer.port()});
        EXPECT_EQ(r.outcome, Outcome::Failed);
        EXPECT_EQ(h.rec.replyBytes(), "partial answer");
        EXPECT_EQ(h.rec.messages(), Lines{c.message});
        EXPECT_EQ(r.error, c.message);
        EXPECT_EQ(h.rec.statuses().back(), kStatusNotConnected);
        EXPECT_EQ(h.rec.beeps(), 1);
    }
}

// A silent server keeps the query until Abort, which ends it at once and
// keeps what arrived; one beep.
TEST(QueryAbort, ASilentServerEndsAtAbortKeepingWhatArrived) {
    QueryHarness h(QueryKind::Finger);
    ScriptedPeer peer([&](ScriptedPeer::Conn& c) {
        c.readLine();
        c.send("first line\r\n");
        c.silence();
    });
    auto f = h.start({"127.0.0.1", "bob", peer.port()});
    ASSERT_TRUE(h.rec.waitFor("piece"));
    h.engine.abort();
    ASSERT_TRUE(QueryHarness::ended(f));
    QueryResult r = f.get();
    EXPECT_EQ(r.outcome, Outcome::Aborted);
    EXPECT_EQ(h.rec.pieces(), Lines{"first line\r\n"});
    EXPECT_EQ(h.rec.statuses(), kDirectStatuses);
    EXPECT_EQ(h.rec.beeps(), 1);
    EXPECT_TRUE(h.rec.messages().empty());
}

// Abort during the look-up or the connect ends quietly, with two beeps.
TEST(QueryAbort, DuringTheLookUp) {
    // The abandoned look-up ends after this test: its gate must outlive it.
    struct Gate {
        std::mutex m;
        std::condition_variable cv;
        bool open = false;
    };
    auto gate = std::make_shared<Gate>();
    ScopedLookup lookup([gate](const std::string&) {
        std::unique_lock lock(gate->m);
        gate->cv.wait(lock, [&] { return gate->open; });
        return LookupResult{LookupResult::Found, "127.0.0.1", 0};
    });
    QueryHarness h(QueryKind::Whois);
    auto f = h.start({"whois.example", "q", test::pickFreePort()});
    ASSERT_TRUE(h.rec.waitFor("status", kStatusLookingForHost));
    h.engine.abort();
    ASSERT_TRUE(QueryHarness::ended(f));
    {
        std::lock_guard lock(gate->m);
        gate->open = true;
    }
    gate->cv.notify_all();
    QueryResult r = f.get();
    EXPECT_EQ(r.outcome, Outcome::Aborted);
    EXPECT_FALSE(r.connected);
    EXPECT_EQ(h.rec.statuses(),
              (Lines{kStatusCreatingSocket, kStatusLookingForHost, kStatusNotConnected, kStatusNotConnected}));
    EXPECT_EQ(h.rec.beeps(), 2);
    EXPECT_TRUE(h.rec.messages().empty());
    EXPECT_TRUE(h.history.entries().empty());
}

TEST(QueryAbort, DuringTheConnect) {
    test::FullListener full;
    ASSERT_TRUE(full.ready());
    QueryHarness h(QueryKind::DayTime);
    auto f = h.start({"127.0.0.1", "", full.port()});
    ASSERT_TRUE(h.rec.waitFor("status", kStatusConnecting));
    h.engine.abort();
    ASSERT_TRUE(QueryHarness::ended(f));
    QueryResult r = f.get();
    EXPECT_EQ(r.outcome, Outcome::Aborted);
    EXPECT_EQ(h.rec.statuses(),
              (Lines{kStatusCreatingSocket, kStatusConnecting, kStatusNotConnected, kStatusNotConnected}));
    EXPECT_EQ(h.rec.beeps(), 2);
    EXPECT_TRUE(h.rec.messages().empty());
    EXPECT_TRUE(h.history.entries().empty());
}

// An Abort that came before the query's own begin() is not carried into it.
TEST(QueryAbort, AnOldAbortDoesNotReachTheNextQuery) {
    QueryHarness h(QueryKind::DayTime);
    h.engine.abort();
    ScriptedPeer peer([&](ScriptedPeer::Conn& c) { c.send("Thu Dec 10 12:00:00 2026\r\n"); });
    QueryResult r = h.run({"127.0.0.1", "", peer.port()});
    EXPECT_EQ(r.outcome, Outcome::Done);
    EXPECT_EQ(h.rec.replyBytes(), "Thu Dec 10 12:00:00 2026\r\n");
}

// A name is looked up ("Looking for the host..."); the host goes into the
// history as typed once it is connected.
TEST(QueryHosts, ANameIsLookedUpAndRememberedAsTyped) {
    std::vector<std::string> asked;
    ScopedLookup lookup([&](const std::string& host) {
        asked.push_back(host);
        return LookupResult{LookupResult::Found, "127.0.0.1", 0};
    });
    QueryHarness h(QueryKind::Whois);
    ScriptedPeer peer([&](ScriptedPeer::Conn& c) {
        c.readLine();
        c.send("ok\r\n");
    });
    QueryResult r = h.run({"Whois.Example", "x", peer.port()});
    EXPECT_EQ(r.outcome, Outcome::Done);
    EXPECT_EQ(asked, Lines{"Whois.Example"});
    EXPECT_EQ(h.rec.statuses(), (Lines{kStatusCreatingSocket, kStatusLookingForHost, kStatusConnecting,
                                       kStatusConnected, kStatusNotConnected}));
    EXPECT_EQ(h.history.entries(), Lines{"Whois.Example"});
}

// A name that does not resolve, and a host that starts with a digit but is
// no address, connect nowhere: not to 0.0.0.0 (this machine), not to
// 255.255.255.255. The connect error is reported and two beeps sound.
TEST(QueryHosts, NoAddressConnectsNowhere) {
    int lookups = 0;
    ScopedLookup lookup([&](const std::string&) {
        ++lookups;
        return LookupResult{LookupResult::NotFound, "", -2};
    });
    struct Case {
        std::string host;
        bool looksUp;
    };
    const Case cases[] = {{"no-such-host.invalid", true}, {"3com.example", false}, {"1.2.3", false},
                          {"256.1.1.1", false},           {"12345", false},        {"127.0.0.1.5", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host);
        lookups = 0;
        QueryHarness h(QueryKind::Finger);
        // Were 0.0.0.0 used, the connection would land here.
        ScriptedPeer peer([](ScriptedPeer::Conn&) {});
        QueryResult r = h.run({c.host, "root", peer.port()});
        EXPECT_EQ(r.outcome, Outcome::Failed);
        EXPECT_FALSE(r.connected);
        EXPECT_EQ(lookups, c.looksUp ? 1 : 0);
        EXPECT_EQ(h.rec.messages(), Lines{"ERROR 99 while connecting [CONNECT]."});
        Lines expected{kStatusCreatingSocket};
        if (c.looksUp) expected.push_back(kStatusLookingForHost);
        expected.insert(expected.end(), {kStatusNotConnected, kStatusNotConnected});
        EXPECT_EQ(h.rec.statuses(), expected);
        EXPECT_EQ(h.rec.beeps(), 2);
        peer.stop();
        EXPECT_FALSE(connectionWaiting(peer));
        EXPECT_EQ(peer.received(), "");
        EXPECT_TRUE(h.history.entries().empty());
    }
}

// An empty host is refused before anything happens.
TEST(QueryHosts, AnEmptyHostIsRefused) {
    for (const char* host : {"", " ", "\t "}) {
        QueryHarness h(QueryKind::Finger);
        EXPECT_FALSE(QueryEngine::hostAcceptable(host));
        QueryResult r = h.run({host, "root", 79});
        EXPECT_TRUE(r.refused);
        EXPECT_EQ(r.outcome, Outcome::Failed);
        EXPECT_TRUE(h.rec.statuses().empty());
        EXPECT_EQ(h.rec.beeps(), 0);
        EXPECT_TRUE(h.rec.messages().empty());
    }
    EXPECT_TRUE(QueryEngine::hostAcceptable("a"));
}

// A refused connect: the event's error in each tool's words.
TEST(QueryHosts, ARefusedConnectInEachToolsWords) {
    struct Case {
        QueryKind kind;
        std::string message;
    };
    const Case cases[] = {
        {QueryKind::Finger, "ERROR 111 while connecting [CONNECT]."},
        {QueryKind::Whois, "ERROR 111 while connecting [CONNECT]."},
        {QueryKind::DayTime, "ERROR 111 while connecting [CONNECT].. Service not available."},
        {QueryKind::Time, "ERROR 111 while connecting [CONNECT].. Service not available."},
    };
    for (const auto& c : cases) {
        QueryHarness h(c.kind);
        QueryResult r = h.run({"127.0.0.1", "", test::pickFreePort()});
        EXPECT_EQ(r.outcome, Outcome::Failed);
        EXPECT_EQ(h.rec.messages(), Lines{c.message});
        EXPECT_EQ(h.rec.statuses(),
                  (Lines{kStatusCreatingSocket, kStatusConnecting, kStatusNotConnected, kStatusNotConnected}));
        EXPECT_EQ(h.rec.beeps(), 2);
        EXPECT_TRUE(h.history.entries().empty());
    }
}

TEST(QueryReplyLines, APieceStartsANewLineAndItsBreaksStartFurtherOnes) {
    struct Case {
        std::string piece;
        Lines lines;
    };
    const Case cases[] = {
        {"one", {"one"}},
        {"one\r\n", {"one"}},
        {"one\r\ntwo", {"one", "two"}},
        {"one\ntwo\rthree\r\n\r\nfour", {"one", "two", "three", "", "four"}},
        {"\r\n", {""}},
        {std::string("a\0b", 3), {std::string("a\0b", 3)}},
    };
    for (const auto& c : cases) EXPECT_EQ(replyLines(c.piece), c.lines) << c.piece;
}

} // namespace
} // namespace vn
