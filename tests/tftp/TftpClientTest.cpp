// The client engine against tftpd-hpa (every block size, the edge sizes, the
// block number wrap), through a relay that repeats, drops and forges
// datagrams, and against scripted servers for what a real one won't do.
#include <gtest/gtest.h>

#include <future>
#include <set>

#include "TftpTestKit.h"
#include "tftp/TftpClient.h"
#include "tftp/TftpPacket.h"

using namespace vn::tftp;
using namespace vn::tftp::test;
using namespace std::chrono_literals;
using namespace std::string_literals;

namespace {

struct ClientRig {
    vn::EventWait wait;
    RecordingSink sink;
    TftpClient client{wait, sink};
    ClientRig(int port, int block, int timeoutMs = 3000, int dallyMs = 500) {
        ClientSettings s;
        s.dallyMs = dallyMs;
        s.port = port;
        s.requestedBlock = block;
        s.timeoutMs = timeoutMs;
        client.setSettings(s);
    }
};

std::vector<std::uint64_t> sizesFor(int block) {
    std::set<std::uint64_t> s = {0, 511, 512, 513, std::uint64_t(block) - 1, std::uint64_t(block),
                                 std::uint64_t(block) + 1, 3ull * block};
    return {s.begin(), s.end()};
}

class TftpdHpaClient : public testing::TestWithParam<int> {};

} // namespace

TEST_P(TftpdHpaClient, GetsAndPutsEveryEdgeSize) {
    const int block = GetParam();
    TftpdHpa server;
    ASSERT_TRUE(server.ready()) << server.log();
    TempDir local;
    ClientRig rig(server.port(), block, 3000, 50);
    for (std::uint64_t size : sizesFor(block)) {
        SCOPED_TRACE("size " + std::to_string(size));
        const std::string name = "f" + std::to_string(size);
        makeFile(server.root() / name, size, static_cast<unsigned>(size));
        ClientResult r = rig.client.download("127.0.0.1", name, local.path() / name);
        ASSERT_EQ(r.outcome, vn::Outcome::Done) << r.error;
        EXPECT_EQ(r.bytes, size);
        EXPECT_EQ(r.blockSize, block);
        EXPECT_TRUE(sameContent(server.root() / name, local.path() / name));

        const std::string up = "up" + std::to_string(size);
        makeFile(local.path() / up, size, static_cast<unsigned>(size) + 99);
        r = rig.client.upload(local.path() / up, "127.0.0.1", up);
        ASSERT_EQ(r.outcome, vn::Outcome::Done) << r.error;
        EXPECT_EQ(r.bytes, size);
        EXPECT_TRUE(sameContent(local.path() / up, server.root() / up));
    }
    EXPECT_EQ(rig.sink.statuses().back(), "Transaction Completed");
    // Nothing but the files themselves is left behind.
    for (const auto& e : fs::directory_iterator(local.path()))
        EXPECT_NE(e.path().filename().string().rfind(".tftp-", 0), 0u) << e.path();
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, TftpdHpaClient, testing::Values(512, 1024, 1428, 8192, 65464));

TEST(TftpClient, BlockNumbersWrapBothWays) {
    // 33 MiB at 512 bytes is more than 65535 blocks.
    TftpdHpa server;
    ASSERT_TRUE(server.ready()) << server.log();
    TempDir local;
    ClientRig rig(server.port(), 512);
    const std::uint64_t size = 33ull << 20;
    makeFile(server.root() / "big", size, 3);
    ClientResult r = rig.client.download("127.0.0.1", "big", local.path() / "big");
    ASSERT_EQ(r.outcome, vn::Outcome::Done) << r.error;
    EXPECT_TRUE(sameContent(server.root() / "big", local.path() / "big"));
    // Progress is throttled: a few reports a second, not one per block.
    EXPECT_LT(rig.sink.progressCalls(), 200u);

    r = rig.client.upload(local.path() / "big", "127.0.0.1", "big-up");
    ASSERT_EQ(r.outcome, vn::Outcome::Done) << r.error;
    EXPECT_TRUE(sameContent(local.path() / "big", server.root() / "big-up"));
}

TEST(TftpClient, AFailedDownloadLeavesTheLocalFileAlone) {
    TftpdHpa server;
    ASSERT_TRUE(server.ready()) << server.log();
    TempDir local;
    ClientRig rig(server.port(), 1024);
    makeFile(local.path() / "keep", 777, 5);
    const std::string before = readAll(local.path() / "keep");
    ClientResult r = rig.client.download("127.0.0.1", "missing-file", local.path() / "keep");
    EXPECT_EQ(r.outcome, vn::Outcome::Failed);
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(readAll(local.path() / "keep"), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(local.path()), fs::directory_iterator()), 1);
    // A local file that can't be created, or a name held by a link: nothing is sent.
    r = rig.client.download("127.0.0.1", "x", local.path() / "no-folder" / "x");
    EXPECT_EQ(r.outcome, vn::Outcome::Failed);
    EXPECT_EQ(r.error, "No such file or directory");
    EXPECT_FALSE(r.requestSent);
    fs::create_symlink("/etc/passwd", local.path() / "link");
    r = rig.client.download("127.0.0.1", "x", local.path() / "link");
    EXPECT_EQ(r.error, "Not a regular file");
    EXPECT_FALSE(r.requestSent);
}

TEST(TftpClient, SurvivesRepeatsLastAckLossAndForgedDatagrams) {
    // tftpd-hpa repeats a block after 100 ms, within the client's wait after the last block.
    TftpdHpa server(100000);
    ASSERT_TRUE(server.ready()) << server.log();
    TempDir local;
    const std::uint64_t size = 200 * 1024 + 17;
    makeFile(server.root() / "src", size, 11);
    makeFile(local.path() / "up", size, 12);

    struct Case {
        const char* what;
        UdpRelay::Script script;
        int timeoutMs = 1000;
    };
    std::atomic<bool> droppedLastAck{false};
    const std::string forged = encodeData(2, "forged bytes");
    const Case cases[] = {
        {"every datagram twice", [](UdpRelay::Dir, std::size_t, std::string_view) { return UdpRelay::Action{2, {}}; }},
        {"a forged DATA from a foreign port",
         [&](UdpRelay::Dir dir, std::size_t i, std::string_view) {
             UdpRelay::Action a;
             if (dir == UdpRelay::Dir::ToClient && i == 1) a.forgedFrom = forged;
             return a;
         }},
        {"the last ACK lost once",
         [&](UdpRelay::Dir dir, std::size_t, std::string_view d) {
             UdpRelay::Action a;
             // Download: our ACK of the short last block; upload: the server's ACK of ours.
             const bool lastAck = opcodeOf(d) == 4 && blockOf(d) == (size / 1024 + 1);
             if (lastAck && !droppedLastAck.exchange(true)) a.copies = 0;
             (void)dir;
             return a;
         },
         // Our repeat of the last block must reach tftpd-hpa within its 100 ms wait for one.
         50},
        {"every 13th datagram lost",
         [](UdpRelay::Dir, std::size_t i, std::string_view) { return UdpRelay::Action{i % 13 == 5 ? 0 : 1, {}}; },
         100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (bool download : {true, false}) {
            SCOPED_TRACE(download ? "download" : "upload");
            droppedLastAck = false;
            UdpRelay relay(server.port(), c.script);
            ClientRig rig(relay.port(), 1024, c.timeoutMs);
            ClientResult r = download ? rig.client.download("127.0.0.1", "src", local.path() / "got")
                                      : rig.client.upload(local.path() / "up", "127.0.0.1", "put");
            ASSERT_EQ(r.outcome, vn::Outcome::Done) << r.error;
            if (download) {
                EXPECT_TRUE(sameContent(server.root() / "src", local.path() / "got"));
            } else {
                EXPECT_TRUE(sameContent(local.path() / "up", server.root() / "put"));
            }
            if (std::string(c.what).find("forged") != std::string::npos && download) {
                // The foreign datagram was answered with ERROR 5 and changed nothing.
                auto replies = relay.forgedReplies();
                ASSERT_FALSE(replies.empty());
                EXPECT_EQ(opcodeOf(replies[0]), 5);
                EXPECT_EQ(blockOf(replies[0]), 5); // the error code field
            }
            if (std::string(c.what).find("last ACK") != std::string::npos) {
                EXPECT_TRUE(droppedLastAck.load());
            }
        }
    }
}

// --- Scripted servers -------------------------------------------------------

namespace {

struct FakeServer {
    RawPeer listen; // the server port: receives the request
    RawPeer transfer; // the transfer ID the server answers from
    std::uint16_t clientPort = 0;

    std::string request(std::chrono::milliseconds limit = 3000ms) {
        auto d = listen.recv(limit, &clientPort);
        return d ? *d : std::string();
    }
    void send(std::string_view d) { transfer.sendTo(clientPort, d); }
    std::optional<std::string> recv(std::chrono::milliseconds limit = 3000ms) { return transfer.recv(limit); }
};

} // namespace

TEST(TftpClient, ABadOptionAcknowledgementFailsWithError8) {
    const std::vector<std::string> oacks = {
        encodeOack({{"blksize", "4096"}}),             // above the 1024 asked for
        encodeOack({{"blksize", "4"}}),                // below 8
        encodeOack({{"blksize", "lots"}}),
        encodeOack({{"tsize", "10"}}),                 // never asked for
        encodeOack({}),
        "\0\6blksize\0"s,                              // malformed
    };
    for (const std::string& oack : oacks) for (bool download : {true, false}) {
        SCOPED_TRACE(testing::PrintToString(oack) + (download ? " download" : " upload"));
        TempDir local;
        makeFile(local.path() / "f", 100, 1);
        FakeServer srv;
        ClientRig rig(srv.listen.port(), 1024, 1000);
        auto done = std::async(std::launch::async, [&] {
            return download ? rig.client.download("127.0.0.1", "x", local.path() / "f")
                            : rig.client.upload(local.path() / "f", "127.0.0.1", "x");
        });
        ASSERT_FALSE(srv.request().empty());
        srv.send(oack);
        auto answer = srv.recv();
        ASSERT_TRUE(answer);
        EXPECT_EQ(opcodeOf(*answer), 5);
        EXPECT_EQ(blockOf(*answer), 8);
        ClientResult r = done.get();
        EXPECT_EQ(r.outcome, vn::Outcome::Failed);
        EXPECT_FALSE(r.error.empty());
        EXPECT_EQ(readAll(local.path() / "f").size(), 100u);
    }
}

TEST(TftpClient, TakesOnlyTheNextBlockFromTheLockedPeer) {
    TempDir local;
    FakeServer srv;
    RawPeer stranger;
    ClientRig rig(srv.listen.port(), 512, 2000);
    auto done = std::async(std::launch::async, [&] { return rig.client.download("127.0.0.1", "x", local.path() / "f"); });
    const std::string req = srv.request();
    ASSERT_EQ(opcodeOf(req), 1);
    EXPECT_NE(req.find("blksize\0" "512\0"s), std::string::npos);
    const std::string b1(512, 'a'), b2(512, 'b'), b3(100, 'c');
    srv.send(encodeData(1, b1));
    auto a = srv.recv();
    ASSERT_TRUE(a);
    EXPECT_EQ(*a, encodeAck(1));
    // A foreign transfer ID gets ERROR 5; the client goes on with its peer.
    stranger.sendTo(srv.clientPort, encodeData(2, std::string(512, 'X')));
    auto e = stranger.recv(2000ms);
    ASSERT_TRUE(e);
    EXPECT_EQ(opcodeOf(*e), 5);
    EXPECT_EQ(blockOf(*e), 5);
    // A block from the future is ignored; the repeated block 1 is acknowledged again.
    srv.send(encodeData(3, b3));
    srv.send(encodeData(1, b1));
    a = srv.recv();
    ASSERT_TRUE(a);
    EXPECT_EQ(*a, encodeAck(1));
    srv.send(encodeData(2, b2));
    a = srv.recv();
    ASSERT_TRUE(a);
    EXPECT_EQ(*a, encodeAck(2));
    srv.send(encodeData(3, b3));
    a = srv.recv();
    ASSERT_TRUE(a);
    EXPECT_EQ(*a, encodeAck(3));
    ClientResult r = done.get();
    ASSERT_EQ(r.outcome, vn::Outcome::Done) << r.error;
    EXPECT_EQ(readAll(local.path() / "f"), b1 + b2 + b3);
}

TEST(TftpClient, ProtocolFaultsFailWithClearTexts) {
    struct Case {
        std::string reply;
        std::string error;
    };
    const Case cases[] = {
        {encodeError(ErrorCode::FileNotFound, "No such file here"), "No such file here"},
        {encodeError(ErrorCode::AccessViolation, ""), "Access violation"},
        {encodeAck(1), "Unexpected operation from 127.0.0.1:"},
        {""s, "UDP Receive Error = 0."},
        {encodeData(1, std::string(600, 'x')), "larger than the block size"},
        {"\0\3\0"s, "Malformed packet"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        TempDir local;
        FakeServer srv;
        ClientRig rig(srv.listen.port(), 512, 1000);
        auto done = std::async(std::launch::async, [&] { return rig.client.download("127.0.0.1", "x", local.path() / "f"); });
        ASSERT_FALSE(srv.request().empty());
        srv.send(c.reply);
        ClientResult r = done.get();
        EXPECT_EQ(r.outcome, vn::Outcome::Failed);
        EXPECT_NE(r.error.find(c.error), std::string::npos) << r.error;
        EXPECT_FALSE(fs::exists(local.path() / "f"));
        // An ERROR from the server is never answered.
        if (opcodeOf(c.reply) == 5) {
            EXPECT_FALSE(srv.recv(300ms));
        }
    }
}

TEST(TftpClient, RetriesABoundedNumberOfTimesThenTimesOut) {
    TempDir local;
    FakeServer srv;
    ClientRig rig(srv.listen.port(), 512, 150);
    auto done = std::async(std::launch::async, [&] { return rig.client.download("127.0.0.1", "x", local.path() / "f"); });
    int requests = 0;
    while (auto d = srv.listen.recv(1000ms)) requests += opcodeOf(*d) == 1;
    ClientResult r = done.get();
    EXPECT_EQ(r.outcome, vn::Outcome::TimedOut);
    EXPECT_EQ(r.error, "Timeout");
    EXPECT_EQ(requests, 3);
}

TEST(TftpClient, AbortEndsATransferAtOnce) {
    TempDir local;
    FakeServer srv;
    ClientRig rig(srv.listen.port(), 512, 60000);
    makeFile(local.path() / "f", 10, 1);
    auto done = std::async(std::launch::async, [&] { return rig.client.download("127.0.0.1", "x", local.path() / "f"); });
    ASSERT_FALSE(srv.request().empty());
    srv.send(encodeData(1, std::string(512, 'a')));
    ASSERT_TRUE(srv.recv());
    const auto t0 = std::chrono::steady_clock::now();
    rig.wait.abort();
    ClientResult r = done.get();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);
    EXPECT_EQ(r.outcome, vn::Outcome::Aborted);
    EXPECT_EQ(readAll(local.path() / "f").size(), 10u);
    // The server hears of it.
    auto e = srv.recv();
    ASSERT_TRUE(e);
    EXPECT_EQ(opcodeOf(*e), 5);
}

TEST(TftpClient, UploadHasNoSorcerersApprenticeAndNeedsTheLastAck) {
    TempDir local;
    makeFile(local.path() / "f", 1500, 2); // blocks of 512, 512, 476
    FakeServer srv;
    ClientRig rig(srv.listen.port(), 512, 800);
    auto done = std::async(std::launch::async, [&] { return rig.client.upload(local.path() / "f", "127.0.0.1", "f"); });
    ASSERT_EQ(opcodeOf(srv.request()), 2);
    srv.send(encodeAck(0));
    auto d = srv.recv();
    ASSERT_TRUE(d);
    EXPECT_EQ(blockOf(*d), 1);
    // Anything but an ACK is passed over while sending.
    srv.send(encodeData(7, "junk"));
    // The ACK of block 1 arrives twice: block 2 must go out once, not twice.
    srv.send(encodeAck(1));
    srv.send(encodeAck(1));
    d = srv.recv();
    ASSERT_TRUE(d);
    EXPECT_EQ(blockOf(*d), 2);
    EXPECT_FALSE(srv.recv(150ms)) << "block 2 was sent again on a duplicate ACK";
    srv.send(encodeAck(2));
    // The last block is never acknowledged: it is sent a bounded number of
    // times, and the upload fails instead of passing for a success.
    int lastSends = 0;
    while (auto x = srv.recv(2000ms)) lastSends += opcodeOf(*x) == 3 && blockOf(*x) == 3;
    EXPECT_EQ(lastSends, 3);
    ClientResult r = done.get();
    EXPECT_EQ(r.outcome, vn::Outcome::TimedOut);
}
