#include "RawFtpClient.h"
#include "RealFtpServers.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;
using vn::test::RawFtpClient;
using vn::test::RealServerOptions;

namespace {

using Clock = std::chrono::steady_clock;

bool processGone(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    return !stat;  // reaped, not merely a zombie
}

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }
// 150, or 125 when the data connection was already open (pyftpdlib).
bool isPreliminary(const std::string& reply) { return startsWith(reply, "150") || startsWith(reply, "125"); }

template <typename Server>
class RealFtpServerTest : public ::testing::Test {};

using ServerTypes = ::testing::Types<vn::test::Vsftpd, vn::test::PyFtpd>;
class ServerNames {
public:
    template <typename T>
    static std::string GetName(int) {
        return std::is_same_v<T, vn::test::Vsftpd> ? "Vsftpd" : "PyFtpd";
    }
};
TYPED_TEST_SUITE(RealFtpServerTest, ServerTypes, ServerNames);

TYPED_TEST(RealFtpServerTest, StartsQuicklyAndGreetsWithTheBanner) {
    auto t = Clock::now();
    TypeParam server(RealServerOptions{.banner = "Known banner 42"});
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count(), 2000);
    ASSERT_TRUE(server.ready()) << server.error();
    RawFtpClient c;
    ASSERT_TRUE(c.connect(server.port()));
    EXPECT_EQ(c.readReply(), "220 Known banner 42\r\n");
}

TYPED_TEST(RealFtpServerTest, MultiLineBanner) {
    TypeParam server(RealServerOptions{.banner = "Line one\nLine two"});
    ASSERT_TRUE(server.ready()) << server.error();
    RawFtpClient c;
    ASSERT_TRUE(c.connect(server.port()));
    std::string greeting = c.readReply();
    EXPECT_TRUE(startsWith(greeting, "220-Line one\r\n")) << greeting;
    EXPECT_NE(greeting.find("Line two"), std::string::npos) << greeting;
}

TYPED_TEST(RealFtpServerTest, AnonymousLoginListsAndUploads) {
    TypeParam server;
    ASSERT_TRUE(server.ready()) << server.error();
    std::ofstream(server.root() / "hello.txt") << "hello\n";

    RawFtpClient c;
    ASSERT_TRUE(c.connect(server.port()));
    c.readReply();
    EXPECT_TRUE(startsWith(c.command("USER anonymous"), "331"));
    EXPECT_TRUE(startsWith(c.command("PASS guest@example.com"), "230"));
    EXPECT_TRUE(startsWith(c.command("PWD"), "257 \"/\""));
    EXPECT_TRUE(startsWith(c.command("TYPE I"), "200"));

    int data = RawFtpClient::connectPassive(c.command("PASV"));
    ASSERT_GE(data, 0);
    EXPECT_TRUE(isPreliminary(c.command("NLST")));
    std::string names = RawFtpClient::readAll(data);
    EXPECT_TRUE(startsWith(c.readReply(), "226"));
    EXPECT_NE(names.find("hello.txt"), std::string::npos) << names;
    EXPECT_NE(names.find("upload"), std::string::npos) << names;

    data = RawFtpClient::connectPassive(c.command("PASV"));
    ASSERT_GE(data, 0);
    EXPECT_TRUE(isPreliminary(c.command("STOR /upload/sent.bin")));
    ASSERT_EQ(::send(data, "12345", 5, MSG_NOSIGNAL), 5);
    close(data);
    EXPECT_TRUE(startsWith(c.readReply(), "226"));
    std::ifstream sent(server.uploadDir() / "sent.bin");
    std::string body((std::istreambuf_iterator<char>(sent)), {});
    EXPECT_EQ(body, "12345");
}

TYPED_TEST(RealFtpServerTest, LocalUserNeedsTheRightPassword) {
    TypeParam server;
    ASSERT_TRUE(server.ready()) << server.error();
    if (!server.localUserAvailable()) GTEST_SKIP() << "no local user without root";
    struct Case {
        std::string password;
        const char* reply;
    } cases[] = {{server.localPassword(), "230"}, {"wrong-password", "530"}};
    for (const auto& x : cases) {
        RawFtpClient c;
        ASSERT_TRUE(c.connect(server.port()));
        c.readReply();
        EXPECT_TRUE(startsWith(c.command("USER " + server.localUser()), "331"));
        std::string r = c.command("PASS " + x.password);
        EXPECT_TRUE(startsWith(r, x.reply)) << x.password << " -> " << r;
    }
}

TYPED_TEST(RealFtpServerTest, IdleSessionTimesOut) {
    TypeParam server(RealServerOptions{.idleSessionTimeoutSeconds = 1});
    ASSERT_TRUE(server.ready()) << server.error();
    RawFtpClient c;
    ASSERT_TRUE(c.connect(server.port()));
    c.readReply();
    c.command("USER anonymous");
    c.command("PASS a@b");
    EXPECT_TRUE(startsWith(c.readReply(5s), "421"));
    EXPECT_TRUE(c.closedByPeer(3s));
}

TYPED_TEST(RealFtpServerTest, NoProcessOutlivesTheServer) {
    std::vector<pid_t> pids;
    RawFtpClient c;  // still logged in when the server goes
    {
        TypeParam server;
        ASSERT_TRUE(server.ready()) << server.error();
        ASSERT_TRUE(c.connect(server.port()));
        c.readReply();
        c.command("USER anonymous");
        ASSERT_TRUE(startsWith(c.command("PASS a@b"), "230"));
        pids = server.processes();
        ASSERT_FALSE(pids.empty());
    }
    for (pid_t p : pids) EXPECT_TRUE(processGone(p)) << "pid " << p;
    EXPECT_TRUE(c.closedByPeer(2s));
}

TEST(RealFtpServers, VsftpdRunsSessionsInChildProcesses) {
    vn::test::Vsftpd server;
    ASSERT_TRUE(server.ready()) << server.error();
    RawFtpClient c;
    ASSERT_TRUE(c.connect(server.port()));
    c.readReply();
    c.command("USER anonymous");
    ASSERT_TRUE(startsWith(c.command("PASS a@b"), "230"));
    // The kill in stop() has to reach these too.
    EXPECT_GE(server.processes().size(), 2u);
}

} // namespace
