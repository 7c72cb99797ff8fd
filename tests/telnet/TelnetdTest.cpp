// The session against a real inetutils-telnetd on 127.0.0.1, started by the
// test through socat with a script in place of login: connect, the
// negotiation as the server sees it (the 80 x 24 size reaches the pty), the
// automatic login, typed input echoed by the server, Logout and the server
// closing.
#include <gtest/gtest.h>

#include "SessionTestUtil.h"
#include "TelnetdLauncher.h"
#include "TestHome.h"

using namespace vn::telnet;
using namespace vn::telnet::test;
using vn::Outcome;

namespace {

// The login program: asks login and password, shows what it got and the
// terminal size, then echoes lines until "quit".
const char* kScript = R"SH(#!/bin/sh
printf 'login: '
read user
printf 'Password: '
stty -echo
read pw
stty echo
echo
echo "USER=$user PW=$pw"
echo "SIZE=$(stty size)"
while read line; do
  echo "GOT:$line"
  [ "$line" = quit ] && exit 0
done
)SH";

class TelnetdTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!telnetdAvailable())
            GTEST_SKIP() << "telnetd or socat missing (scripts/install-deps.sh installs them)";
        ASSERT_TRUE(server_.start(vn::test::scratchDir("telnetd"), kScript));
    }
    Telnetd server_;
};

void type(TelnetSession& s, const std::string& text) {
    for (char c : text) s.typeCharacter(std::string(1, c));
}

TEST_F(TelnetdTest, AutomaticLoginSizeEchoAndTheServerClosing) {
    SessionRig rig;
    rig.start(TelnetConnectRequest{"127.0.0.1", server_.port(), true, "alice", "wonder"});
    ASSERT_TRUE(rig.waitScreenShows("USER=alice PW=wonder")) << rig.screenText();
    // The size answered to DO NAWS reached the pty.
    ASSERT_TRUE(rig.waitScreenShows("SIZE=24 80")) << rig.screenText();
    type(rig.session, "hello there\r");
    // The server echoes what was typed (the pty), then the script answers.
    ASSERT_TRUE(rig.waitScreenShows("GOT:hello there")) << rig.screenText();
    std::string screen = rig.screenText();
    EXPECT_LT(screen.find("hello there"), screen.find("GOT:hello there"));
    type(rig.session, "quit\r");
    auto end = rig.finish();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->outcome, Outcome::PeerClosed);
    EXPECT_EQ(end->message, "The connection with the Host has been closed.");
    EXPECT_EQ(rig.sink.lastStatus(), "Not Connected.");
    EXPECT_EQ(rig.sink.connectedHosts(), std::vector<std::string>{"127.0.0.1"});
}

TEST_F(TelnetdTest, LoginTypedByHandThenLogout) {
    SessionRig rig;
    rig.start("127.0.0.1", server_.port());
    ASSERT_TRUE(rig.waitScreenShows("login:")) << rig.screenText();
    type(rig.session, "bob\r");
    ASSERT_TRUE(rig.waitScreenShows("Password:")) << rig.screenText();
    type(rig.session, "pw\r");
    ASSERT_TRUE(rig.waitScreenShows("USER=bob PW=pw")) << rig.screenText();
    rig.session.logout();
    auto end = rig.finish();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->outcome, Outcome::Done);
    EXPECT_EQ(rig.sink.lastStatus(), "Not Connected...");
    // The window is ready for a new connection.
    rig.start("127.0.0.1", server_.port());
    ASSERT_TRUE(rig.waitConnected());
    ASSERT_TRUE(rig.waitScreenShows("login:")) << rig.screenText();
    EXPECT_EQ(rig.screenText().find("USER=bob"), std::string::npos);
}

} // namespace
