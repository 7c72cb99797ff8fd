// The session against a real inetutils-telnetd on 127.0.0.1, started by the
// test through socat with a script in place of login: connect, the
// negotiation as the server sees it (the 80 x 24 size reaches the pty), the
// automatic login, typed input echoed by the server, Logout and the server
// closing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <filesystem>
#include <fstream>

#include "SessionTestUtil.h"
#include "TestHome.h"

using namespace vn::telnet;
using namespace vn::telnet::test;
using vn::Outcome;
namespace fs = std::filesystem;

namespace {

const char* kTelnetd = "/usr/sbin/telnetd";
const char* kSocat = "/usr/bin/socat";

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

std::uint16_t freePort() {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

// socat listening on 127.0.0.1, running telnetd for each connection. It runs
// in a process group of its own, which is ended with it.
class Telnetd {
public:
    bool start(const fs::path& dir) {
        fs::path script = dir / "login.sh";
        std::ofstream(script) << kScript;
        fs::permissions(script, fs::perms::owner_all);
        for (int attempt = 0; attempt < 5; ++attempt) {
            port_ = freePort();
            if (launch(script)) return true;
            stop();
        }
        return false;
    }
    std::uint16_t port() const { return port_; }
    void stop() {
        if (pid_ > 0) {
            ::kill(-pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        if (err_ >= 0) ::close(err_);
        err_ = -1;
    }
    ~Telnetd() { stop(); }

private:
    // Waits for socat's "listening on" line (at most a few seconds).
    bool launch(const fs::path& script) {
        int p[2];
        if (::pipe2(p, O_CLOEXEC) != 0) return false;
        std::string listen = "TCP-LISTEN:" + std::to_string(port_) + ",bind=127.0.0.1,reuseaddr,fork";
        std::string exec = "EXEC:" + std::string(kTelnetd) + " -h -E " + script.string();
        pid_t pid = ::fork();
        if (pid == 0) {
            ::setpgid(0, 0);
            ::dup2(p[1], 2);
            ::execl(kSocat, kSocat, "-d", "-d", listen.c_str(), exec.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(p[1]);
        pid_ = pid;
        err_ = p[0];
        std::string seen;
        for (;;) {
            pollfd pfd{err_, POLLIN, 0};
            if (::poll(&pfd, 1, 5000) != 1) return false;
            char buf[512];
            long n = ::read(err_, buf, sizeof buf);
            if (n <= 0) return false;
            seen.append(buf, static_cast<std::size_t>(n));
            if (seen.find("listening on") != std::string::npos) return true;
        }
    }

    pid_t pid_ = -1;
    int err_ = -1;
    std::uint16_t port_ = 0;
};

class TelnetdTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::access(kTelnetd, X_OK) != 0 || ::access(kSocat, X_OK) != 0)
            GTEST_SKIP() << "telnetd or socat missing (scripts/install-deps.sh installs them)";
        ASSERT_TRUE(server_.start(vn::test::scratchDir("telnetd")));
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
