// The session against a scripted server on 127.0.0.1: the negotiation on the
// wire byte for byte (one received byte per block, so every command is cut),
// zero bytes, the user's input, paste under a server that reads slowly,
// Logout, the server closing, the automatic login, hosts that do not resolve,
// and Abort/Logout during a look-up that hangs.
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <condition_variable>
#include <mutex>

#include "FakeTelnetServer.h"
#include "SessionTestUtil.h"
#include "platform/Resolver.h"

using namespace vn::telnet;
using namespace vn::telnet::test;
using vn::Outcome;

namespace {

std::string b(std::initializer_list<int> v) {
    std::string s;
    for (int x : v) s += static_cast<char>(x);
    return s;
}

const std::string kNawsSize = b({255, 250, 31, 0, 80, 0, 24, 255, 240});

TEST(TelnetSession, NegotiationOnTheWireByteForByte) {
    FakeTelnetServer server;
    SessionRig rig;
    rig.session.setBlockSize(1); // every byte its own block: every command is cut
    rig.start("127.0.0.1", server.port());
    ASSERT_TRUE(server.accept());
    ASSERT_TRUE(rig.waitConnected());
    EXPECT_EQ(rig.sink.connectedHosts(), std::vector<std::string>{"127.0.0.1"});

    // Nothing is sent at connect: the first bytes the server reads answer it.
    ASSERT_TRUE(server.send(b({255, 253, 31})));
    EXPECT_EQ(server.read(12), b({255, 251, 31}) + kNawsSize);
    ASSERT_TRUE(server.send(b({255, 253, 24, 255, 250, 24, 1, 255, 240})));
    EXPECT_EQ(server.read(14), b({255, 252, 24, 255, 250, 24, 0}) + "VT100" + b({255, 240}));
    // Unknown options; WONT and DONT unanswered; IAC IAC is a character;
    // a subnegotiation without end is cut off by the next command.
    ASSERT_TRUE(server.send(b({255, 253, 39, 255, 252, 1, 255, 254, 1, 255, 251, 3}) + "a" + b({255, 255}) + "b" +
                            b({255, 250, 24, 1}) + std::string(2000, 'z') + b({255, 251, 1}) + "end"));
    EXPECT_EQ(server.read(9), b({255, 252, 39, 255, 253, 3, 255, 253, 1}));
    ASSERT_TRUE(rig.waitScreenShows("a\xC3\xBF" "bend"));
    server.closeClient();
    auto end = rig.finish();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->outcome, Outcome::PeerClosed);
}

TEST(TelnetSession, ZeroBytesAreDataAndBlocksAreTakenByTheirLength) {
    FakeTelnetServer server;
    SessionRig rig;
    rig.start("127.0.0.1", server.port());
    ASSERT_TRUE(server.accept());
    std::string text(1500, 'w');
    ASSERT_TRUE(server.send(std::string("A\0\0B", 4) + text.substr(0, 70) + "\r\n" + "last line"));
    ASSERT_TRUE(rig.waitScreenShows("last line"));
    EXPECT_EQ(rig.row(1), "AB" + text.substr(0, 70));
}

TEST(TelnetSession, TypedInputKeysAndEraseLine) {
    FakeTelnetServer server;
    SessionRig rig;
    rig.start("127.0.0.1", server.port());
    ASSERT_TRUE(server.accept());
    ASSERT_TRUE(rig.waitConnected());
    rig.session.typeCharacter("l");
    rig.session.typeCharacter("\xC3\xA9");
    rig.session.typeCharacter("\xFF");
    rig.session.typeCharacter("\r");
    rig.session.typeCharacter("\t"); // Tab comes as a key, not twice
    rig.session.pressKey(TelnetKey::Tab);
    rig.session.pressKey(TelnetKey::PageUp);
    rig.session.pressKey(TelnetKey::Home);
    rig.session.pressKey(TelnetKey::Up);
    rig.session.pressKey(TelnetKey::CtrlExecute);
    rig.session.eraseLine();
    std::string expected = "l\xC3\xA9" + b({255, 255}) + "\r\n\t\x1b[5~\x1b[1~\x1b[A" + b({255, 244, 255, 248});
    EXPECT_EQ(server.read(expected.size()), expected);
    // Without local echo nothing was drawn.
    EXPECT_EQ(rig.row(1), "");
}

TEST(TelnetSession, BackspaceAtColumnOneBeepsAndSendsNothing) {
    FakeTelnetServer server;
    SessionRig rig;
    rig.start("127.0.0.1", server.port());
    ASSERT_TRUE(server.accept());
    ASSERT_TRUE(rig.waitConnected());
    rig.session.typeCharacter("\b");
    EXPECT_EQ(rig.sink.beeps.load(), 1);
    rig.session.typeCharacter("z");
    EXPECT_EQ(server.read(1), "z");
}

TEST(TelnetSession, LocalEchoDrawsTypedCharacters) {
    FakeTelnetServer server;
    SessionRig rig;
    rig.session.setLocalEcho(true);
    rig.start("127.0.0.1", server.port());
    ASSERT_TRUE(server.accept());
    ASSERT_TRUE(rig.waitConnected());
    rig.session.typeCharacter("q");
    rig.session.typeCharacter("\xC3\xA9");
    EXPECT_EQ(rig.row(1), "q\xC3\xA9");
    EXPECT_EQ(rig.session.screen()->cursor(), (CursorPos{1, 3}));
    rig.session.typeCharacter("\b");
    EXPECT_EQ(rig.session.screen()->cursor(), (CursorPos{1, 2}));
    EXPECT_EQ(server.read(4), "q\xC3\xA9\b");
    // The server's echo draws it again.
    ASSERT_TRUE(server.send("Q"));
    ASSERT_TRUE(rig.waitScreenShows("qQ"));
}

TEST(TelnetSession, APasteReachesASlowServerWhole) {
    FakeTelnetServer server(64 << 10);
    SessionRig rig;
    rig.start("127.0.0.1", server.port());
    ASSERT_TRUE(server.accept());
    ASSERT_TRUE(rig.waitConnected());
    std::string text;
    for (int i = 0; text.size() < (8u << 20); ++i) text += "line " + std::to_string(i) + " \xFF\n";
    rig.session.paste(text);
    // Far more than the socket takes at once: most of it waits in the queue.
    EXPECT_GT(rig.session.queuedBytes(), 0u);
    std::string got = server.read(encodeData(text).size(), std::chrono::seconds(30));
    EXPECT_EQ(got.size(), encodeData(text).size());
    EXPECT_TRUE(got == encodeData(text));
    // The paste was drawn at the cursor, which stayed.
    EXPECT_EQ(rig.session.screen()->cursor(), (CursorPos{1, 1}));
}

TEST(TelnetSession, LogoutSendsWhatWasTypedThenLogoutAndCloses) {
    FakeTelnetServer server;
    SessionRig rig;
    rig.start("127.0.0.1", server.port());
    ASSERT_TRUE(server.accept());
    ASSERT_TRUE(rig.waitConnected());
    rig.session.typeCharacter("x");
    rig.session.logout();
    EXPECT_EQ(server.readToEnd(), "xlogout\r\n");
    auto end = rig.finish();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->outcome, Outcome::Done);
    EXPECT_TRUE(end->message.empty());
    EXPECT_EQ(rig.sink.lastStatus(), "Not Connected...");
    EXPECT_FALSE(rig.session.connected());
    // Typing afterwards goes nowhere, silently.
    rig.session.typeCharacter("y");
    EXPECT_EQ(rig.session.queuedBytes(), 0u);
}

TEST(TelnetSession, TheServerClosing) {
    FakeTelnetServer server;
    SessionRig rig;
    rig.session.setClearScreen(true);
    rig.start("127.0.0.1", server.port());
    ASSERT_TRUE(server.accept());
    ASSERT_TRUE(server.send("bye\r\n\x1b[H"));
    ASSERT_TRUE(rig.waitScreenShows("bye"));
    server.closeClient();
    auto end = rig.finish();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->outcome, Outcome::PeerClosed);
    EXPECT_EQ(end->message, "The connection with the Host has been closed.");
    EXPECT_TRUE(end->wasConnected);
    EXPECT_EQ(rig.sink.lastStatus(), "Not Connected.");
    EXPECT_GE(rig.sink.beeps.load(), 1);
    // "ClearScreen": erased from the cursor, here row 1, column 1.
    EXPECT_EQ(rig.row(1), "");
}

TEST(TelnetSession, ConnectionRefused) {
    std::uint16_t port;
    {
        FakeTelnetServer gone;
        port = gone.port();
    }
    SessionRig rig;
    rig.start("127.0.0.1", port);
    auto end = rig.finish();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->outcome, Outcome::Failed);
    EXPECT_EQ(end->message, "The connection with the Host has been closed.");
    EXPECT_EQ(rig.sink.lastStatus(), "Not Connected...");
    EXPECT_TRUE(rig.sink.connectedHosts().empty());
}

TEST(TelnetSession, AutomaticLoginAfterEachOutput) {
    FakeTelnetServer server;
    SessionRig rig;
    TelnetConnectRequest r{"127.0.0.1", server.port(), true, "admin", "s\xFFret"};
    rig.start(r);
    ASSERT_TRUE(server.accept());
    ASSERT_TRUE(rig.waitConnected());
    // Negotiation alone shows nothing: no login yet.
    ASSERT_TRUE(server.send(b({255, 253, 1})));
    EXPECT_EQ(server.read(3), b({255, 251, 1}));
    ASSERT_TRUE(server.send("login: "));
    EXPECT_EQ(server.read(7), "admin\r\n");
    ASSERT_TRUE(server.send("Password: "));
    EXPECT_EQ(server.read(8), "s" + b({255, 255}) + "ret\r\n");
    // Once both are sent, more output sends nothing more.
    ASSERT_TRUE(server.send("$ "));
    rig.session.typeCharacter("!");
    EXPECT_EQ(server.read(1), "!");
}

TEST(TelnetSession, TheAutomaticLoginEndsWithTheConnection) {
    FakeTelnetServer server;
    SessionRig rig;
    rig.start(TelnetConnectRequest{"127.0.0.1", server.port(), true, "admin", "secret"});
    ASSERT_TRUE(server.accept());
    ASSERT_TRUE(rig.waitConnected());
    server.closeClient(); // closed before any output
    auto first = rig.finish();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->outcome, Outcome::PeerClosed);

    // The next connection, without a login, never sends the old one.
    rig.start("127.0.0.1", server.port());
    ASSERT_TRUE(server.accept());
    ASSERT_TRUE(rig.waitConnected());
    ASSERT_TRUE(server.send("login: "));
    ASSERT_TRUE(rig.waitScreenShows("login:"));
    rig.session.typeCharacter("u");
    EXPECT_EQ(server.read(1), "u");
}

// Look-ups answered by the test. The state is shared with the look-up
// threads, which may outlive the test when it abandons them.
class ScriptedLookup {
public:
    struct State {
        std::mutex m;
        std::condition_variable cv;
        std::vector<std::string> calls;
        bool release = false;
    };
    explicit ScriptedLookup(std::function<vn::LookupResult(State&)> f) {
        auto st = state_;
        vn::setLookupFunction([st, f](const std::string& host) {
            {
                std::lock_guard lock(st->m);
                st->calls.push_back(host);
            }
            st->cv.notify_all();
            return f(*st);
        });
    }
    ~ScriptedLookup() {
        {
            std::lock_guard lock(state_->m);
            state_->release = true;
        }
        state_->cv.notify_all();
        vn::setLookupFunction(nullptr);
    }
    std::size_t calls() {
        std::lock_guard lock(state_->m);
        return state_->calls.size();
    }
    bool waitCalls(std::size_t n) {
        std::unique_lock lock(state_->m);
        return state_->cv.wait_for(lock, std::chrono::seconds(10), [&] { return state_->calls.size() >= n; });
    }

private:
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

TEST(TelnetSession, AHostThatDoesNotResolveConnectsNowhere) {
    ScriptedLookup lookup([](ScriptedLookup::State&) {
        vn::LookupResult r;
        r.status = vn::LookupResult::NotFound;
        r.error = -2;
        return r;
    });
    FakeTelnetServer server; // where an address 0.0.0.0 would end up
    struct Case {
        const char* host;
        bool lookedUp;
    };
    for (Case c : {Case{"no-such-host.invalid", true}, Case{"3com.example", false}, Case{"1.2.3", false},
                   Case{"127.0.0.1.5", false}, Case{"", false}}) {
        SCOPED_TRACE(c.host);
        SessionRig rig;
        auto before = lookup.calls();
        rig.start(c.host, server.port());
        auto end = rig.finish();
        ASSERT_TRUE(end);
        EXPECT_EQ(end->outcome, Outcome::Failed);
        EXPECT_EQ(end->message, "The connection with the Host has been closed.");
        EXPECT_FALSE(end->wasConnected);
        EXPECT_EQ(lookup.calls() - before, c.lookedUp ? 1u : 0u);
        EXPECT_TRUE(rig.sink.connectedHosts().empty());
        EXPECT_FALSE(server.connectionPending());
    }
}

TEST(TelnetSession, AbortAndLogoutEndAHangingLookUpAtOnce) {
    ScriptedLookup lookup([](ScriptedLookup::State& st) {
        std::unique_lock lock(st.m);
        st.cv.wait(lock, [&] { return st.release; });
        return vn::LookupResult{};
    });
    for (bool viaLogout : {false, true}) {
        SCOPED_TRACE(viaLogout ? "logout" : "abort");
        SessionRig rig;
        auto before = lookup.calls();
        rig.start("hangs.example", 23);
        ASSERT_TRUE(lookup.waitCalls(before + 1));
        if (viaLogout) rig.session.logout();
        else rig.session.abort();
        auto end = rig.finish(std::chrono::seconds(2));
        ASSERT_TRUE(end);
        EXPECT_EQ(end->outcome, viaLogout ? Outcome::Done : Outcome::Aborted);
        EXPECT_TRUE(end->message.empty());
        if (viaLogout) {
            EXPECT_EQ(rig.sink.lastStatus(), "Not Connected...");
        }
    }
}

TEST(TelnetSession, AbortEndsAConnection) {
    FakeTelnetServer server;
    SessionRig rig;
    rig.start("127.0.0.1", server.port());
    ASSERT_TRUE(server.accept());
    ASSERT_TRUE(rig.waitConnected());
    rig.session.abort();
    auto end = rig.finish(std::chrono::seconds(2));
    ASSERT_TRUE(end);
    EXPECT_EQ(end->outcome, Outcome::Aborted);
    EXPECT_EQ(server.readToEnd(), "");
}

TEST(TelnetSession, AfterShutdownNoRunConnects) {
    FakeTelnetServer server;
    SessionRig rig;
    rig.session.shutdown(); // the window closed before its worker started the connect
    rig.start("127.0.0.1", server.port());
    auto end = rig.finish(std::chrono::seconds(2));
    ASSERT_TRUE(end);
    EXPECT_EQ(end->outcome, Outcome::Aborted);
    EXPECT_FALSE(server.connectionPending());
}

TEST(TelnetSession, EachConnectStartsWithAFreshScreen) {
    FakeTelnetServer server;
    SessionRig rig;
    rig.start("127.0.0.1", server.port());
    ASSERT_TRUE(server.accept());
    ASSERT_TRUE(server.send("\x1b[5;10r\x1b[7mold\x1b[20;20H" + b({255})));
    ASSERT_TRUE(rig.waitScreenShows("old"));
    server.closeClient();
    ASSERT_TRUE(rig.finish());

    rig.start("127.0.0.1", server.port());
    ASSERT_TRUE(server.accept());
    ASSERT_TRUE(rig.waitConnected());
    ASSERT_TRUE(server.send(b({253, 1})));   // would complete the old cut command
    ASSERT_TRUE(server.send("new"));
    ASSERT_TRUE(rig.waitScreenShows("new"));
    auto s = rig.session.screen();
    EXPECT_EQ(s->rowText(1).substr(0, 6), "\xC3\xBD\x01new"); // 253 and 1 are plain bytes now
    EXPECT_EQ(s->cell(1, 3).attrs, 0);
    EXPECT_EQ(s->regionTop(), 1);
    EXPECT_EQ(s->regionBottom(), 24);
}

} // namespace
