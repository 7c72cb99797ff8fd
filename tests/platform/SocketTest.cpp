// Sockets of both families: literal addresses, connect, listen and accept on
// ::1 and 127.0.0.1, and the peer as the kernel names it.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "RealFtpServers.h"
#include "platform/Socket.h"

namespace vn {
namespace {

TEST(SocketAddress, LiteralsOfBothFamilies) {
    struct Case {
        const char* text;
        bool v4, v6;
        const char* canonical;
    } cases[] = {
        {"127.0.0.1", true, false, "127.0.0.1"},
        {"::1", false, true, "::1"},
        {"0:0:0:0:0:0:0:1", false, true, "::1"},
        {"2001:DB8::7", false, true, "2001:db8::7"},
        {"::ffff:10.0.0.1", false, true, "10.0.0.1"},
        {"[::1]", false, false, ""},
        {"3com.example", false, false, ""},
        {"", false, false, ""},
        {"1.2.3", false, false, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isDottedIPv4(c.text), c.v4) << c.text;
        EXPECT_EQ(isIPv6Literal(c.text), c.v6) << c.text;
        EXPECT_EQ(canonicalAddress(c.text), c.canonical) << c.text;
    }
}

TEST(SocketAddress, ConnectListenAndAcceptInBothFamilies) {
    std::string why;
    const bool v6 = test::ipv6LoopbackAvailable(why);
    for (const char* address : {"127.0.0.1", "::1"}) {
        SCOPED_TRACE(address);
        if (!v6 && std::string(address) == "::1") GTEST_SKIP() << why;
        int err = 0;
        Socket listener = Socket::tcpFor(address, err);
        ASSERT_TRUE(listener.valid()) << err;
        ASSERT_EQ(listener.listenOn(address, 0), 0);
        auto bound = listener.localAddress();
        ASSERT_TRUE(bound);
        EXPECT_EQ(bound->address, address);
        EXPECT_EQ(bound->ipv6(), std::string(address) == "::1");
        Socket client = Socket::tcpFor(address, err);
        ASSERT_EQ(client.connectStart(address, bound->port), 0);
        Socket accepted;
        Endpoint peer;
        for (int i = 0; i < 500 && !accepted.valid(); ++i) {
            accepted = listener.acceptOne(&peer, err);
            if (!accepted.valid()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_TRUE(accepted.valid());
        EXPECT_EQ(peer.address, address);
        for (int i = 0; i < 500 && !client.peerAddress(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_TRUE(client.peerAddress());
        EXPECT_EQ(client.peerAddress()->address, address);
        // The wrong family for the socket is refused, not misread.
        EXPECT_NE(client.connectStart("not an address", 21), 0);
    }
}

} // namespace
} // namespace vn
