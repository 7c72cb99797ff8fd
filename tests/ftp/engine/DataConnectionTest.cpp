// Data connections and listings against the scripted fake server.
#include "EngineFixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace vn::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kListing =
    "total 12\r\n"
    "drwxr-xr-x   2 ftp ftp 4096 Jan  5 10:00 pub\r\n"
    "-rw-r--r--   1 ftp ftp 1234 Mar  1  2001 my file.txt\r\n"
    "lrwxrwxrwx   1 ftp ftp    7 Jan  1 10:00 my-link -> target\r\n";

std::vector<std::string> names(const std::vector<ListingEntry>& entries) {
    std::vector<std::string> out;
    for (const auto& e : entries) out.push_back(e.name);
    return out;
}

struct Listing : EngineFixture {
    std::unique_ptr<FakeFtpServer> server = std::make_unique<FakeFtpServer>();
    SessionId connect(bool passive) {
        ConnectParams p = params(server->port());
        p.passive = passive;
        auto id = engine.ConnectarAServidor(p);
        EXPECT_TRUE(id);
        sink.lines.clear();
        return id.value_or(0);
    }
};

TEST(PasvReply, PortIsReadFromTheParentheses) {
    struct Case {
        const char* reply;
        int port;
    } cases[] = {
        {"227 Entering Passive Mode (127,0,0,1,4,1).", 1025},
        {"227 Entering Passive Mode (10,9,8,7,195,80)", 50000}, // its address is never used
        {"227 ok (1,2,3,4,0,21) and (5,6,7,8,0,22)", 21},
        {"227 (127,0,0,1,4,1)", 1025},
        {"227 Entering Passive Mode (127,0,0,1,300,1).", -1}, // p1 out of range
        {"227 Entering Passive Mode (127,0,0,1,4,256).", -1}, // p2 out of range
        {"227 Entering Passive Mode (127,0,0,1,0,0).", -1},   // port 0
        {"227 Entering Passive Mode 127,0,0,1,4,1", -1},
        {"227 Entering Passive Mode (127,0,0,1,4).", -1},
        {"227 Entering Passive Mode (127,0,0,1,4,x).", -1},
        {"227 Entering Passive Mode (127,0,0,1,-4,1).", -1},
        {"227 Entering Passive Mode (127,0,0,1,4,1", -1},
        {"", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(pasvPortFromReply(c.reply), c.port) << c.reply;
}

TEST_F(Listing, PassiveListingLogsAndParses) {
    server->login().dataPassive().onList(kListing).on("CWD", "250 Ok.\r\n");
    SessionId id = connect(true);
    auto entries = engine.fesLIST(id, "/", true);
    ASSERT_TRUE(entries);
    EXPECT_EQ(names(*entries), (std::vector<std::string>{"pub", "my file.txt", "my-link"}));
    auto log = sink.log();
    ASSERT_GE(log.size(), 9u);
    EXPECT_EQ(log[0], ">PASV");
    EXPECT_EQ(log[1].rfind("--->227 Entering Passive Mode (127,0,0,1,", 0), 0u);
    std::vector<std::string> rest(log.begin() + 2, log.end());
    EXPECT_EQ(rest, (std::vector<std::string>{">Connecting Data socket to 127.0.0.1", ">Socket connected.",
                                              ">TYPE A", "--->200 Type set.", ">LIST /",
                                              "--->150 Here comes the listing.", "--->226 Done.", ">CWD /",
                                              "--->250 Ok."}));
    EXPECT_FALSE(engine.listingBusy());
}

TEST_F(Listing, ActiveListingAnnouncesTheControlAddress) {
    server->login().dataActive().onList(kListing);
    SessionId id = connect(false);
    auto entries = engine.fesLIST(id, "/pub", false);
    ASSERT_TRUE(entries);
    EXPECT_EQ(entries->size(), 3u);
    std::string port;
    for (const auto& c : server->commands())
        if (c.rfind("PORT ", 0) == 0) port = c;
    ASSERT_EQ(port.rfind("PORT 127,0,0,1,", 0), 0u) << port;
    EXPECT_TRUE(sink.has(">" + port));
    EXPECT_FALSE(sink.anyStartsWith(">CWD"));
}

TEST_F(Listing, PasvOutOfRangeConnectsNowhere) {
    for (const char* reply : {"227 Entering Passive Mode (127,0,0,1,300,1).\r\n",
                              "227 Entering Passive Mode (127,0,0,1,0,0).\r\n", "227 Whatever.\r\n"}) {
        SCOPED_TRACE(reply);
        server = std::make_unique<FakeFtpServer>();
        server->login().on("PASV", reply);
        SessionId id = connect(true);
        EXPECT_FALSE(engine.fesLIST(id, "/", true));
        EXPECT_TRUE(sink.has(">ERROR creating socket."));
        EXPECT_FALSE(sink.anyStartsWith(">Connecting Data socket"));
        EXPECT_FALSE(sink.anyStartsWith(">LIST"));
    }
}

TEST_F(Listing, RefusedListFailsAtOnce) {
    for (const char* reply : {"450 Temporarily unavailable.\r\n", "425 Can't open data connection.\r\n",
                              "530 Not logged in.\r\n", "550 No such folder.\r\n"}) {
        SCOPED_TRACE(reply);
        server = std::make_unique<FakeFtpServer>();
        server->login().dataActive().on("LIST", reply);
        SessionId id = connect(false);
        auto t0 = Clock::now();
        EXPECT_FALSE(engine.fesLIST(id, "/nowhere", true));
        EXPECT_LT(Clock::now() - t0, 1s);
        EXPECT_FALSE(engine.wait().cancelled());
        EXPECT_FALSE(engine.listingBusy());
        EXPECT_TRUE(sink.has("--->" + std::string(reply, std::string(reply).size() - 2)));
    }
}

int connectFrom(const char* source, uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in me{};
    me.sin_family = AF_INET;
    inet_pton(AF_INET, source, &me.sin_addr);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&me), sizeof me), 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    return fd;
}

TEST_F(Listing, ForeignPeerIsTurnedAwayFromTheListener) {
    server->login().dataActive();
    SessionId id = connect(false);
    Socket listener = engine.getListenSocket(id);
    ASSERT_TRUE(listener.valid());
    uint16_t port = listener.localAddress()->port;
    EXPECT_TRUE(sink.has(">PORT 127,0,0,1," + std::to_string(port / 256) + "," + std::to_string(port % 256)));
    // Another local address connects first; only the server's own address is taken.
    int intruder = connectFrom("127.0.0.2", port);
    int server = connectFrom("127.0.0.1", port);
    Socket data = engine.AcceptaSocket(listener, "127.0.0.1");
    ASSERT_TRUE(data.valid());
    EXPECT_EQ(data.peerAddress()->address, "127.0.0.1");
    EXPECT_TRUE(sink.has(">ERROR: Data connection from 127.0.0.2 refused."));
    EXPECT_FALSE(listener.valid()); // one connection only
    // Nobody but the intruder: the wait runs out at CxTOut.
    FtpSettings s;
    s.CxTOut = 1;
    configure(s);
    Socket again = engine.getListenSocket(id);
    int intruder2 = connectFrom("127.0.0.2", again.localAddress()->port);
    EXPECT_FALSE(engine.AcceptaSocket(again, "127.0.0.1").valid());
    EXPECT_TRUE(sink.has(">ERROR: Timeout"));
    for (int fd : {intruder, server, intruder2}) ::close(fd);
}

TEST_F(Listing, LargeListingsNeverStall) {
    std::string big;
    for (int i = 0; big.size() < 6u << 20; ++i)
        big += "-rw-r--r--   1 ftp ftp 1234 Mar  1  2001 file-" + std::to_string(i) + ".dat\r\n";
    std::size_t lines = static_cast<std::size_t>(std::count(big.begin(), big.end(), '\n'));
    server->login().dataActive().onList(big);
    SessionId id = connect(false);
    // The folder enumeration reads the data before the completion reply.
    auto found = engine.FindLIST(id, "/");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->size(), lines);
    EXPECT_EQ(found->front().kind, '-');
    EXPECT_EQ(found->front().name, "file-0.dat");
    sink.lines.clear();
    auto entries = engine.fesLIST(id, "/", false);
    ASSERT_TRUE(entries);
    EXPECT_EQ(entries->size(), lines);
}

TEST_F(Listing, TransferAbortedByTheServerIsNoListing) {
    server->login().dataPassive().onList("drwxr-xr-x 2 ftp ftp 4096 Jan  5 10:00 pub\r\n-rw-r--r-- 1 ftp ftp 1",
                                         "150 Here.\r\n", "426 Connection closed; transfer aborted.\r\n");
    SessionId id = connect(true);
    EXPECT_FALSE(engine.fesLIST(id, "/", true));
    EXPECT_TRUE(sink.has("--->426 Connection closed; transfer aborted."));
    EXPECT_FALSE(sink.anyStartsWith(">CWD"));
}

TEST_F(Listing, EmptyListingIsAnEmptyFolder) {
    server->login().dataPassive().onList("");
    SessionId id = connect(true);
    auto entries = engine.fesLIST(id, "/empty", false);
    ASSERT_TRUE(entries);
    EXPECT_TRUE(entries->empty());
}

TEST_F(Listing, HostileNamesNeverComeBack) {
    server->login().dataPassive().onList("-rw-r--r-- 1 ftp ftp 1 Jan 1 10:00 ../../etc/passwd\r\n"
                                         "drwxr-xr-x 2 ftp ftp 1 Jan 1 10:00 ..\r\n"
                                         "-rw-r--r-- 1 ftp ftp 1 Jan 1 10:00 fine\r\n");
    SessionId id = connect(true);
    auto entries = engine.fesLIST(id, "/", false);
    ASSERT_TRUE(entries);
    EXPECT_EQ(names(*entries), std::vector<std::string>{"fine"});
    EXPECT_TRUE(sink.anyStartsWith(">Error: entry '../../etc/passwd' ignored"));
}

TEST_F(Listing, AbortWhileWaitingForData) {
    FtpSettings s;
    s.RxTOut = 2; // the late read of the final reply waits this long for a server that never answers
    configure(s);
    server->login().dataPassive().on("LIST", "150 Here it comes, some day.\r\n");
    SessionId id = connect(true);
    std::thread aborter([this] {
        std::this_thread::sleep_for(200ms);
        engine.wait().abort();
    });
    auto t0 = Clock::now();
    EXPECT_FALSE(engine.fesLIST(id, "/", true));
    aborter.join();
    EXPECT_LT(Clock::now() - t0, 4s);
    EXPECT_FALSE(engine.listingBusy());
    EXPECT_TRUE(engine.wait().cancelled());
}

TEST_F(Listing, AbortIsNotHeldUpByASilentServer) {
    // Default read time-out (120 s): after Abort the late reply is awaited only briefly.
    server->login().dataPassive().on("LIST", "");
    SessionId id = connect(true);
    EXPECT_EQ(engine.lateReadLimit(), FtpEngine::kLateReadAfterAbort);
    engine.setLateReadLimit(300ms); // tests need not wait the whole default
    std::thread aborter([this] {
        std::this_thread::sleep_for(200ms);
        engine.wait().abort();
    });
    auto t0 = Clock::now();
    EXPECT_FALSE(engine.fesLIST(id, "/", true));
    aborter.join();
    auto took = Clock::now() - t0;
    EXPECT_GE(took, 200ms + 300ms);
    EXPECT_LT(took, FtpEngine::kLateReadAfterAbort);
    EXPECT_TRUE(sink.has(">ERROR: Timeout")); // the late read ended at its own limit
    EXPECT_EQ(engine.wait().timeouts().rx, 120s); // the brief wait was only for that read

    // A second Abort ends that wait at once.
    engine.wait().lowerCancel();
    std::thread twice([this] {
        std::this_thread::sleep_for(200ms);
        engine.wait().abort();
        std::this_thread::sleep_for(300ms);
        engine.wait().abort();
    });
    t0 = Clock::now();
    EXPECT_FALSE(engine.fesLIST(id, "/", true));
    twice.join();
    EXPECT_LT(Clock::now() - t0, 2s);
}

} // namespace
} // namespace vn::test
