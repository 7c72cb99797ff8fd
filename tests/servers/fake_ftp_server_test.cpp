#include "FakeFtpServer.h"
#include "RawFtpClient.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;
using vn::test::FakeFtpServer;
using vn::test::RawFtpClient;

namespace {

using Clock = std::chrono::steady_clock;

// Connects and walks through the login preset.
bool logIn(RawFtpClient& c, FakeFtpServer& server) {
    return c.connect(server.port()) && c.readReply().rfind("220", 0) == 0 &&
           c.command("USER a").rfind("331", 0) == 0 && c.command("PASS b").rfind("230", 0) == 0;
}

long long msSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

TEST(FakeFtpServer, PausedReplyArrivesInTwoSegments) {
    FakeFtpServer server;
    server.send("220 Fake").pause(300ms).send(" FTP ready\r\n");
    RawFtpClient c;
    ASSERT_TRUE(c.connect(server.port()));
    EXPECT_EQ(c.recvOnce(2s), "220 Fake");
    EXPECT_EQ(c.recvOnce(2s), " FTP ready\r\n");
}

TEST(FakeFtpServer, ExpectSkipsAndRecordsOtherLines) {
    FakeFtpServer server;
    server.send("220 hi\r\n").reply("USER", "331 Need password.\r\n");
    RawFtpClient c;
    ASSERT_TRUE(c.connect(server.port()));
    EXPECT_EQ(c.readReply(), "220 hi\r\n");
    // A bare LF ends a line too; "user" in lower case is not "USER".
    ASSERT_TRUE(c.sendRaw("NOOP\r\nuser bob\nUSER bob\r\n"));
    EXPECT_EQ(c.readReply(), "331 Need password.\r\n");
    ASSERT_TRUE(server.waitForCommand("USER", 2s));
    EXPECT_EQ(server.commands(), (std::vector<std::string>{"NOOP", "user bob", "USER bob"}));
}

TEST(FakeFtpServer, EveryConnectionRunsTheScriptFromItsStart) {
    FakeFtpServer server;
    server.send("220 hi\r\n").reply("USER", "331 more\r\n");
    RawFtpClient a, b;
    ASSERT_TRUE(a.connect(server.port()));
    ASSERT_TRUE(b.connect(server.port()));
    EXPECT_EQ(a.readReply(), "220 hi\r\n");
    EXPECT_EQ(b.readReply(), "220 hi\r\n");
    EXPECT_EQ(b.command("USER b"), "331 more\r\n");
    EXPECT_EQ(a.command("USER a"), "331 more\r\n");
    EXPECT_EQ(server.connections(), 2);
}

TEST(FakeFtpServer, SilenceRecordsButNeverAnswers) {
    auto server = FakeFtpServer::loginScript();
    server->silence();
    RawFtpClient c;
    ASSERT_TRUE(logIn(c, *server));
    ASSERT_TRUE(c.sendLine("PWD"));
    EXPECT_TRUE(server->waitForCommand("PWD", 2s));
    EXPECT_EQ(c.recvOnce(300ms), "");
    auto t = Clock::now();
    server->stop();  // a silent peer must not hold the stop up
    EXPECT_LT(msSince(t), 1000);
    EXPECT_TRUE(c.closedByPeer(1s));
}

TEST(FakeFtpServer, CloseConnectionClosesAtThatPoint) {
    FakeFtpServer server;
    server.send("220 hi\r\n").reply("USER", "331 more\r\n").closeConnection().send("never sent\r\n");
    RawFtpClient c;
    ASSERT_TRUE(c.connect(server.port()));
    c.readReply();
    EXPECT_EQ(c.command("USER x"), "331 more\r\n");
    EXPECT_TRUE(c.closedByPeer(2s));
}

struct Exchange {
    const char* command;
    const char* answer;
};

TEST(FakeFtpServer, LoginPresetAndResponderTable) {
    auto server = FakeFtpServer::loginScript("220 Custom greeting\r\n");
    server->on("PWD", "257 \"/home\" overridden.\r\n").on("FEAT", "211 No features.\r\n");
    RawFtpClient c;
    ASSERT_TRUE(c.connect(server->port()));
    EXPECT_EQ(c.readReply(), "220 Custom greeting\r\n");
    const Exchange cases[] = {
        {"USER anonymous", "331 Password required.\r\n"},
        {"PASS a@b", "230 Logged in.\r\n"},
        {"PWD", "257 \"/home\" overridden.\r\n"},  // same prefix replaces the preset
        {"NOOP", "200 NOOP ok.\r\n"},
        {"REST 0", "350 Restarting at 0.\r\n"},
        {"REST 100", "502 Command not implemented.\r\n"},
        {"TYPE I", "200 Type set.\r\n"},
        {"SYST", "215 UNIX Type: L8\r\n"},
        {"FEAT", "211 No features.\r\n"},
        {"XYZZY", "502 Command not implemented.\r\n"},
        {"QUIT", "221 Goodbye.\r\n"},
    };
    for (const auto& x : cases) EXPECT_EQ(c.command(x.command), x.answer) << x.command;
    EXPECT_TRUE(c.closedByPeer(2s));
}

TEST(FakeFtpServer, OnCloseAnswersThenCloses) {
    auto server = FakeFtpServer::loginScript();
    server->onClose("CWD", "421 Service not available.\r\n");
    RawFtpClient c;
    ASSERT_TRUE(logIn(c, *server));
    EXPECT_EQ(c.command("CWD /x"), "421 Service not available.\r\n");
    EXPECT_TRUE(c.closedByPeer(2s));
}

TEST(FakeFtpServer, PassiveListing) {
    const std::string listing = "-rw-r--r-- 1 ftp ftp 5 Jan 01 2020 a.txt\r\n";
    auto server = FakeFtpServer::loginScript();
    server->dataPassive().onList(listing);
    RawFtpClient c;
    ASSERT_TRUE(logIn(c, *server));
    EXPECT_EQ(c.command("LIST"), "425 Use PORT or PASV first.\r\n");
    std::string pasv = c.command("PASV");
    ASSERT_EQ(pasv.rfind("227 Entering Passive Mode (127,0,0,1,", 0), 0u) << pasv;
    int data = RawFtpClient::connectPassive(pasv);
    ASSERT_GE(data, 0);
    EXPECT_EQ(c.command("LIST"), "150 Here comes the listing.\r\n");
    EXPECT_EQ(RawFtpClient::readAll(data), listing);
    EXPECT_EQ(c.readReply(), "226 Done.\r\n");
}

TEST(FakeFtpServer, PassiveServesBytesAtOnce) {
    auto server = FakeFtpServer::loginScript();
    server->dataPassive("payload bytes");
    RawFtpClient c;
    ASSERT_TRUE(logIn(c, *server));
    int data = RawFtpClient::connectPassive(c.command("PASV"));
    ASSERT_GE(data, 0);
    EXPECT_EQ(RawFtpClient::readAll(data), "payload bytes");
}

TEST(FakeFtpServer, ActiveListing) {
    auto server = FakeFtpServer::loginScript();
    server->dataActive().onList("x\r\n", "150 Opening.\r\n", "226 Closing.\r\n");
    int l = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(bind(l, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(l, 1), 0);
    getsockname(l, reinterpret_cast<sockaddr*>(&a), &len);
    unsigned p = ntohs(a.sin_port);

    RawFtpClient c;
    ASSERT_TRUE(logIn(c, *server));
    EXPECT_EQ(c.command("PORT 10,0,0,1,4,1"), "500 Illegal PORT command.\r\n");  // loopback only
    EXPECT_EQ(c.command("PORT 127,0,0,1," + std::to_string(p / 256) + "," + std::to_string(p % 256)),
              "200 PORT command successful.\r\n");
    EXPECT_EQ(c.command("LIST"), "150 Opening.\r\n");
    pollfd pf{l, POLLIN, 0};
    ASSERT_EQ(poll(&pf, 1, 5000), 1);
    int data = accept(l, nullptr, nullptr);
    close(l);
    EXPECT_EQ(RawFtpClient::readAll(data), "x\r\n");
    EXPECT_EQ(c.readReply(), "226 Closing.\r\n");
}

TEST(FakeFtpServer, UploadIsReceived) {
    auto server = FakeFtpServer::loginScript();
    server->dataPassive().onUpload();
    RawFtpClient c;
    ASSERT_TRUE(logIn(c, *server));
    int data = RawFtpClient::connectPassive(c.command("PASV"));
    ASSERT_GE(data, 0);
    EXPECT_EQ(c.command("STOR f.bin"), "150 Ok to send data.\r\n");
    const std::string body("up\0loaded", 9);
    ASSERT_EQ(::send(data, body.data(), body.size(), MSG_NOSIGNAL), 9);
    close(data);
    EXPECT_EQ(c.readReply(), "226 Transfer complete.\r\n");
    EXPECT_EQ(server->uploads(), std::vector<std::string>{body});
}

TEST(FakeFtpServer, StopDoesNotWaitForPeers) {
    auto t = Clock::now();
    RawFtpClient a, b;  // outlive the server: only stop() may end its threads
    {
        FakeFtpServer server;
        server.send("220 hi\r\n").expect("NEVER").pause(60s);
        ASSERT_TRUE(a.connect(server.port()));
        ASSERT_TRUE(b.connect(server.port()));
        ASSERT_TRUE(server.waitForConnections(2, 2s));
        b.readReply();
        b.sendLine("NEVER");  // b now sits in the long pause, a in the expect
        ASSERT_TRUE(server.waitForCommand("NEVER", 2s));
    }
    EXPECT_LT(msSince(t), 1500);
}

TEST(FakeFtpServer, RefusingPortRefuses) {
    uint16_t port = FakeFtpServer::refusingPort();
    ASSERT_NE(port, 0);
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), -1);
    EXPECT_EQ(errno, ECONNREFUSED);
    close(fd);
}

TEST(HangingConnectTarget, ConnectStaysPending) {
    vn::test::HangingConnectTarget target;
    if (!target.hangs()) GTEST_SKIP() << "this kernel completes or refuses connects to a full accept queue";
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    inet_pton(AF_INET, target.host(), &a.sin_addr);
    a.sin_port = htons(target.port());
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), -1);
    ASSERT_EQ(errno, EINPROGRESS);
    pollfd p{fd, POLLOUT, 0};
    EXPECT_EQ(poll(&p, 1, 2100), 0) << "connect finished, revents " << p.revents;
    close(fd);
}

} // namespace
