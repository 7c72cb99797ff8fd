#include "icmp/EchoPacket.h"

#include <gtest/gtest.h>

#include "DatagramBuilder.h"
#include "icmp/IcmpChannel.h"
#include "icmp/IcmpClient.h"

namespace vn::icmp {
namespace {

using test::echoMessage;
using test::errorMessage;
using test::ipv4;

std::uint8_t at(const std::string& s, std::size_t i) { return static_cast<std::uint8_t>(s[i]); }

TEST(EchoRequest, FiftyTwoBytesInTheirPlaces) {
    std::string r = buildEchoRequest(0x1234, 0xABCD, 0x01020304);
    ASSERT_EQ(r.size(), 52u);
    EXPECT_EQ(at(r, 0), 8);
    EXPECT_EQ(at(r, 1), 0);
    // Least significant byte first.
    EXPECT_EQ(at(r, 4), 0x34);
    EXPECT_EQ(at(r, 5), 0x12);
    EXPECT_EQ(at(r, 6), 0xCD);
    EXPECT_EQ(at(r, 7), 0xAB);
    EXPECT_EQ(at(r, 8), 0x04);
    EXPECT_EQ(at(r, 11), 0x01);
    for (std::size_t i = 12; i < 20; ++i) EXPECT_EQ(at(r, i), 0) << i;
    for (std::size_t i = 20; i < 52; ++i) EXPECT_EQ(r[i], 'E') << i;
    // A valid checksum sums the whole message to zero.
    EXPECT_EQ(internetChecksum(r), 0);
}

TEST(EchoRequest, ChecksumOfTheKnownVectorLiesInNetworkOrder) {
    // The sample of RFC 1071: the sum is ddf2, the checksum 220d, stored as 22 0d
    // whatever the machine's byte order.
    const std::string bytes("\x00\x01\xf2\x03\xf4\xf5\xf6\xf7", 8);
    std::uint16_t sum = internetChecksum(bytes);
    const auto* p = reinterpret_cast<const unsigned char*>(&sum);
    EXPECT_EQ(p[0], 0x22);
    EXPECT_EQ(p[1], 0x0d);
    // An odd length pads with a zero byte.
    EXPECT_EQ(internetChecksum(std::string("\x01", 1)), internetChecksum(std::string("\x01\x00", 2)));
}

TEST(EchoRequest, ChecksumValidForEverySequence) {
    for (unsigned seq : {0u, 1u, 255u, 256u, 0x7FFFu, 0xFFFFu})
        for (std::uint32_t tick : {0u, 1u, 0xFFFFFFFFu, 0x80000000u})
            EXPECT_EQ(internetChecksum(buildEchoRequest(0xFFFF, static_cast<std::uint16_t>(seq), tick)), 0)
                << seq << " " << tick;
}

TEST(HostText, LocalhostInAnyCaseAndStrictDottedQuads) {
    EXPECT_EQ(literalAddress("LOCALHOST"), test::addr("127.0.0.1"));
    EXPECT_EQ(literalAddress("LocalHost"), test::addr("127.0.0.1"));
    EXPECT_EQ(literalAddress("localhost"), test::addr("127.0.0.1"));
    EXPECT_EQ(literalAddress("10.0.0.1"), test::addr("10.0.0.1"));
    EXPECT_EQ(literalAddress("3com.example"), std::nullopt);
    EXPECT_EQ(literalAddress("256.1.1.1"), std::nullopt);
    EXPECT_EQ(literalAddress("1.2.3"), std::nullopt);
    EXPECT_EQ(literalAddress(""), std::nullopt);
}

// ------------------------------------------------------------------ classifier

constexpr std::uint16_t kId = 0x4321;
constexpr std::uint16_t kSeq = 7;
const char* const kTarget = "10.9.2.2";
const char* const kRouter = "10.9.1.1";
const char* const kUs = "10.9.1.2";

std::string ourRequestAsSent(const char* dst = kTarget, std::uint16_t id = kId, std::uint16_t seq = kSeq) {
    return ipv4(kUs, dst, 1, buildEchoRequest(id, seq, 123));
}

struct ClassifierCase {
    const char* name;
    std::string datagram;
    Verdict verdict;
    EchoStatus status = EchoStatus::TimeOut;  // when Answer
    const char* error = "";                   // when Error
    const char* source = "";                  // when Answer
    int ttl = -1;                             // when Answer
};

std::vector<ClassifierCase> classifierCases() {
    const std::string reply = echoMessage(0, kId, kSeq);
    std::string shortIhl = ipv4(kTarget, kUs, 60, reply);
    shortIhl[0] = 0x44;  // IHL 4: a 16-byte header is no header
    return {
        {"empty", "", Verdict::Error, {}, kNotEnoughBytes},
        {"shorter than an IP header", std::string(19, '\x45'), Verdict::Error, {}, kNotEnoughBytes},
        {"IHL below 5", shortIhl, Verdict::Error, {}, kNotEnoughBytes},
        {"IHL 0", [] { std::string d = ipv4(kTarget, kUs, 60, echoMessage(0, kId, kSeq)); d[0] = 0x40; return d; }(),
         Verdict::Error, {}, kNotEnoughBytes},
        {"header but fewer than 8 ICMP bytes", ipv4(kTarget, kUs, 60, reply.substr(0, 7)), Verdict::Error, {},
         kNotEnoughBytes},
        {"IHL 15 reaches past the datagram",
         [&] { std::string d = ipv4(kTarget, kUs, 60, reply.substr(0, 20)); d[0] = 0x4F; return d; }(),
         Verdict::Error, {}, kNotEnoughBytes},
        {"our echo reply", ipv4(kTarget, kUs, 61, reply), Verdict::Answer, EchoStatus::Echo, "", kTarget, 61},
        {"our echo reply after header options", ipv4(kTarget, kUs, 62, reply, 6), Verdict::Answer, EchoStatus::Echo,
         "", kTarget, 62},
        // Not an answer: the raw socket sees our own request first when pinging this machine.
        {"our own request seen on this machine", ipv4(kTarget, kTarget, 255, echoMessage(8, kId, kSeq)),
         Verdict::Skip},
        {"reply to another identifier (another window or process)",
         ipv4(kTarget, kUs, 61, echoMessage(0, kId + 1, kSeq)), Verdict::Skip},
        {"late reply to an earlier sequence", ipv4(kTarget, kUs, 61, echoMessage(0, kId, kSeq - 1)), Verdict::Skip},
        {"reply from another host", ipv4(kRouter, kUs, 61, reply), Verdict::Skip},
        {"someone else's request", ipv4("10.9.1.7", kUs, 64, echoMessage(8, 99, 1)), Verdict::Skip},
        {"time exceeded quoting ours", ipv4(kRouter, kUs, 64, errorMessage(11, 0, ourRequestAsSent())),
         Verdict::Answer, EchoStatus::TtlExceeded, "", kRouter, 64},
        {"unreachable quoting ours", ipv4(kRouter, kUs, 63, errorMessage(3, 1, ourRequestAsSent())),
         Verdict::Answer, EchoStatus::Unreachable, "", kRouter, 63},
        {"time exceeded quoting another identifier",
         ipv4(kRouter, kUs, 64, errorMessage(11, 0, ourRequestAsSent(kTarget, kId + 1))), Verdict::Skip},
        {"time exceeded quoting another sequence",
         ipv4(kRouter, kUs, 64, errorMessage(11, 0, ourRequestAsSent(kTarget, kId, kSeq + 1))), Verdict::Skip},
        {"time exceeded quoting a request to another host",
         ipv4(kRouter, kUs, 64, errorMessage(11, 0, ourRequestAsSent("10.9.3.3"))), Verdict::Skip},
        {"unreachable whose quote is cut short",
         ipv4(kRouter, kUs, 64, errorMessage(3, 1, ourRequestAsSent().substr(0, 26))), Verdict::Skip},
        {"unreachable quoting a UDP datagram",
         [] {
             std::string q = ourRequestAsSent();
             q[9] = 17;
             return ipv4(kRouter, kUs, 64, errorMessage(3, 3, q));
         }(),
         Verdict::Skip},
        {"timestamp request of someone else", ipv4("10.9.1.7", kUs, 64, std::string("\x0d\x00\x00\x00\x00\x01\x00\x01", 8) + std::string(12, '\0')),
         Verdict::Skip},
        {"parameter problem quoting ours", ipv4(kRouter, kUs, 64, errorMessage(12, 0, ourRequestAsSent())),
         Verdict::Error, {}, kNonEchoType},
        {"redirect quoting ours", ipv4(kRouter, kUs, 64, errorMessage(5, 1, ourRequestAsSent())), Verdict::Error, {},
         kNonEchoType},
        {"redirect quoting someone else's", ipv4(kRouter, kUs, 64, errorMessage(5, 1, ourRequestAsSent(kTarget, 1, 1))),
         Verdict::Skip},
    };
}

TEST(Classifier, TableOfRawDatagrams) {
    const EchoExpectation expect{kId, kSeq, test::addr(kTarget)};
    for (const auto& c : classifierCases()) {
        SCOPED_TRACE(c.name);
        Classification got = classifyDatagram(c.datagram, expect);
        ASSERT_EQ(static_cast<int>(got.verdict), static_cast<int>(c.verdict));
        if (c.verdict == Verdict::Error) {
            EXPECT_EQ(got.error, c.error);
        }
        if (c.verdict != Verdict::Answer) continue;
        EXPECT_EQ(statusText(got.reply.status), std::string(statusText(c.status)));
        EXPECT_EQ(got.reply.source, c.source);
        EXPECT_EQ(got.reply.ttl, c.ttl);
        EXPECT_EQ(got.reply.bytesReceived, static_cast<int>(c.datagram.size()));
        EXPECT_EQ(got.reply.sequence, kSeq);
        EXPECT_EQ(got.reply.type, static_cast<std::uint8_t>(c.datagram[4u * (c.datagram[0] & 0x0F)]));
        // The classifier never times anything: the exchange does, on the monotonic clock.
        EXPECT_EQ(got.reply.roundTripMs, 0u);
    }
}

TEST(Classifier, ErrorMessagesAreNeverTimedFromTheirQuote) {
    // A quote whose "originate time" bytes hold garbage changes nothing.
    std::string quoted = ourRequestAsSent();
    for (std::size_t i = 28; i < 32; ++i) quoted[i] = '\xFF';
    auto got = classifyDatagram(ipv4(kRouter, kUs, 64, errorMessage(11, 0, quoted)),
                                EchoExpectation{kId, kSeq, test::addr(kTarget)});
    ASSERT_EQ(got.verdict, Verdict::Answer);
    EXPECT_EQ(got.reply.roundTripMs, 0u);
}

TEST(StatusTexts, AsTheRowsShowThem) {
    EXPECT_STREQ(statusText(EchoStatus::Echo), "Echo");
    EXPECT_STREQ(statusText(EchoStatus::Error), "Error");
    EXPECT_STREQ(statusText(EchoStatus::TimeOut), "TimeOut");
    EXPECT_STREQ(statusText(EchoStatus::Unreachable), "Unreachable");
    EXPECT_STREQ(statusText(EchoStatus::TtlExceeded), "TTL Exceeded");
}

TEST(CannotAllocate, NamesTheAdministratorsFix) {
    std::string t = cannotAllocateText(EPERM);
    EXPECT_EQ(t.rfind("Cannot allocate socket.", 0), 0u) << t;
    EXPECT_NE(t.find("net.ipv4.ping_group_range"), std::string::npos) << t;
    EXPECT_EQ(cannotAllocateText(0), "Cannot allocate socket.");
}

TEST(Client, IdentifiersDifferBetweenClients) {
    IcmpClient a, b;
    EXPECT_NE(a.identifier(), b.identifier());
}

TEST(Client, TtlAndTimeoutKeepToWhatTheSocketAccepts) {
    IcmpClient c;
    EXPECT_EQ(c.ttl(), 128);
    EXPECT_EQ(c.timeout(), 5000);
    for (auto [in, out] : std::vector<std::pair<int, int>>{{1, 1}, {64, 64}, {255, 255}, {0, 255}, {-3, 255}, {256, 255}}) {
        c.setTtl(in);
        EXPECT_EQ(c.ttl(), out) << in;
    }
    c.setTimeout(0);
    EXPECT_EQ(c.timeout(), 5000);
    c.setTimeout(250);
    EXPECT_EQ(c.timeout(), 250);
}

} // namespace
} // namespace vn::icmp
