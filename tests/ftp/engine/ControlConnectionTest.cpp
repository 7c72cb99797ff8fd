// The control channel on a local socket pair: reply lines, whole replies, the
// drain, and the end of the connection inside a read or a send.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "ftp/engine/ControlConnection.h"

namespace vn {
namespace {

struct Pair : ::testing::Test {
    EventWait wait;
    std::vector<std::string> logged;
    ControlConnection conn{wait, [this](const std::string& l) { logged.push_back(l); }};
    int peer = -1;

    void SetUp() override {
        int sv[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, sv), 0);
        conn.socket() = Socket(sv[0]);
        peer = sv[1];
        wait.setTimeouts({5, 5, 5});
        wait.setLogger([this](const std::string& l) { logged.push_back(l); });
    }
    void TearDown() override {
        if (peer >= 0) ::close(peer);
    }
    void put(const std::string& s) { ASSERT_EQ(::write(peer, s.data(), s.size()), static_cast<ssize_t>(s.size())); }
    std::string readPeer() {
        std::string out;
        char buf[8192];
        for (;;) {
            ssize_t n = ::recv(peer, buf, sizeof buf, MSG_DONTWAIT);
            if (n <= 0) break;
            out.append(buf, static_cast<std::size_t>(n));
        }
        return out;
    }
};

TEST_F(Pair, LinesComeOneAtATimeWithoutLineEnds) {
    put("211-First line\r\n211 Second line\r\nnext");
    std::string line;
    ASSERT_TRUE(conn.LlegirLinia(line));
    EXPECT_EQ(line, "211-First line");
    ASSERT_TRUE(conn.LlegirLinia(line));
    EXPECT_EQ(line, "211 Second line");
    put(" reply\n");
    ASSERT_TRUE(conn.LlegirLinia(line));
    EXPECT_EQ(line, "next reply");
}

TEST_F(Pair, LineArrivingInPiecesIsAssembled) {
    std::thread t([this] {
        for (const char* piece : {"2", "20 Wel", "come\r", "\n"}) {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            put(piece);
        }
    });
    std::string line;
    EXPECT_TRUE(conn.LlegirLinia(line));
    t.join();
    EXPECT_EQ(line, "220 Welcome");
}

TEST_F(Pair, WholeRepliesFollowRfc959) {
    struct Case {
        std::string bytes;
        std::vector<std::string> lines;
    } cases[] = {
        {"220 Ready\r\n", {"220 Ready"}},
        // Middle lines need not start with the code; only "220 " ends the reply.
        {"220-Welcome\r\nthis is line two\r\n220-still going\r\n220 ready\r\n",
         {"220-Welcome", "this is line two", "220-still going", "220 ready"}},
        {"230-Hi\r\n  230 inside\r\n230 Done\r\n", {"230-Hi", "  230 inside", "230 Done"}},
        {"ok\r\n", {"ok"}},
        {"\r\n", {""}},
        {"12-3\r\n", {"12-3"}}, // no three-digit code: a single line
    };
    for (const auto& c : cases) {
        put(c.bytes);
        Reply r = conn.readReply();
        EXPECT_TRUE(r.complete) << c.bytes;
        EXPECT_EQ(r.lines, c.lines) << c.bytes;
    }
}

TEST_F(Pair, EndOfConnectionInsideALineDeliversNothing) {
    put("220 half a li");
    ::close(peer);
    peer = -1;
    std::string line = "before";
    EXPECT_FALSE(conn.LlegirLinia(line));
    EXPECT_TRUE(conn.ended());
    EXPECT_TRUE(wait.cancelled());
    // Later reads return at once: no busy loop, no wait.
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(conn.LlegirLinia(line));
    EXPECT_FALSE(conn.EnviarComanda("NOOP\r\n"));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(100));
}

TEST_F(Pair, SilentPeerTimesOut) {
    wait.setTimeouts({1, 1, 1});
    std::string line = "x";
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(conn.LlegirLinia(line));
    auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_EQ(line, "");
    EXPECT_TRUE(wait.timedOut());
    EXPECT_TRUE(wait.cancelled());
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_EQ(logged, std::vector<std::string>{">ERROR: Timeout"});
}

TEST_F(Pair, AbortWakesAReadAtOnce) {
    wait.setTimeouts({0, 0, 0});
    std::thread t([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        wait.abort();
    });
    auto t0 = std::chrono::steady_clock::now();
    std::string line;
    EXPECT_FALSE(conn.LlegirLinia(line));
    t.join();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));
    EXPECT_TRUE(wait.cancelled());
    EXPECT_FALSE(wait.timedOut());
    // The next user operation starts clean.
    wait.lowerCancel();
    put("200 ok\r\n");
    EXPECT_TRUE(conn.LlegirLinia(line));
    EXPECT_EQ(line, "200 ok");
}

TEST_F(Pair, LongCommandsGoOutWhole) {
    std::string text(2500, 'a');
    text += "\r\n";
    std::string got;
    std::thread t([&] {
        while (got.size() < text.size()) {
            got += readPeer();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    EXPECT_TRUE(conn.EnviarComanda(text));
    t.join();
    EXPECT_EQ(got, text);
    EXPECT_TRUE(conn.EnviarComanda(""));
}

TEST_F(Pair, PeerGoneDuringASendEndsTheConnection) {
    ::shutdown(peer, SHUT_RDWR);
    EXPECT_FALSE(conn.EnviarComanda("NOOP\r\n"));
    EXPECT_TRUE(conn.ended());
    EXPECT_TRUE(wait.cancelled());
}

TEST_F(Pair, OverlongLineIsCutAndTheNextLineSurvives) {
    std::string huge(ControlConnection::kMaxLine + 5000, 'x');
    std::thread t([&] {
        std::string all = "500 " + huge + "\r\n200 next\r\n";
        std::size_t off = 0;
        while (off < all.size()) {
            ssize_t n = ::send(peer, all.data() + off, all.size() - off, MSG_NOSIGNAL);
            if (n > 0) off += static_cast<std::size_t>(n);
            else std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::string line;
    ASSERT_TRUE(conn.LlegirLinia(line));
    EXPECT_EQ(line.size(), ControlConnection::kMaxLine);
    ASSERT_TRUE(conn.LlegirLinia(line));
    t.join();
    EXPECT_EQ(line, "200 next");
}

TEST_F(Pair, DrainThrowsAwayLeftoversButNotLaterReplies) {
    put("211-a\r\n211-b\r\n211 c\r\n");
    std::string line;
    ASSERT_TRUE(conn.LlegirLinia(line));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    conn.drain();
    put("200 fresh\r\n");
    ASSERT_TRUE(conn.LlegirLinia(line));
    EXPECT_EQ(line, "200 fresh");
}

} // namespace
} // namespace vn
