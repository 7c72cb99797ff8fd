// The codec: every packet kind, malformed input, the block size clamp, OACK
// checks, and the request-name rule of the server.
#include <gtest/gtest.h>

#include "tftp/TftpFiles.h"
#include "tftp/TftpPacket.h"
#include "tftp/TftpTransfer.h"

using namespace vn::tftp;
using namespace std::string_literals;

TEST(TftpPacket, RequestsRoundTrip) {
    const std::string rrq = encodeRequest(Opcode::RRQ, "dir/file.bin", "octet", {{"blksize", "1428"}});
    EXPECT_EQ(rrq, "\0\1dir/file.bin\0octet\0blksize\0" "1428\0"s);
    Decoded d = decode(rrq);
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(d.packet.op, Opcode::RRQ);
    EXPECT_EQ(d.packet.filename, "dir/file.bin");
    EXPECT_EQ(d.packet.mode, "octet");
    ASSERT_EQ(d.packet.options.size(), 1u);
    EXPECT_EQ(d.packet.options[0].name, "blksize");
    EXPECT_EQ(d.packet.options[0].value, "1428");

    d = decode("\0\2up.txt\0NETASCII\0"s);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.packet.op, Opcode::WRQ);
    EXPECT_TRUE(d.packet.options.empty());
    EXPECT_TRUE(isKnownMode(d.packet.mode));
    EXPECT_TRUE(isKnownMode("BINARY"));
    EXPECT_FALSE(isKnownMode("mail"));
}

TEST(TftpPacket, DataAckErrorOack) {
    const std::string data = encodeData(65535, "xyz");
    EXPECT_EQ(data, "\0\3\xff\xffxyz"s);
    Decoded d = decode(data);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.packet.block, 65535);
    EXPECT_EQ(d.packet.data, "xyz");

    d = decode(encodeAck(258));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.packet.op, Opcode::ACK);
    EXPECT_EQ(d.packet.block, 258);

    d = decode(encodeError(ErrorCode::FileNotFound, "nope"));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.packet.errorCode, 1);
    EXPECT_EQ(d.packet.message, "nope");
    // A message without its zero byte, and with control bytes, is still read safely.
    d = decode("\0\5\0\3disk\nfull"s);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.packet.message, "disk?full");

    d = decode(encodeOack({{"BLKSIZE", "8192"}}));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.packet.op, Opcode::OACK);
    ASSERT_EQ(d.packet.options.size(), 1u);
    EXPECT_TRUE(sameOptionName(d.packet.options[0].name, "blksize"));
}

TEST(TftpPacket, MalformedDatagramsAreRefusedWithTheirAnswer) {
    struct Case {
        std::string bytes;
        ErrorCode answer;
    };
    const Case cases[] = {
        {""s, ErrorCode::NotDefined},
        {"\0"s, ErrorCode::NotDefined},
        {"\0\1"s, ErrorCode::IllegalOperation},                    // no file name
        {"\0\1name"s, ErrorCode::IllegalOperation},                // name without its zero
        {"\0\1name\0octet"s, ErrorCode::IllegalOperation},         // mode without its zero
        {"\0\1\0octet\0"s, ErrorCode::IllegalOperation},           // empty name
        {"\0\1a\0octet\0blksize\0"s, ErrorCode::IllegalOperation}, // option without value
        {"\0\1a\0octet\0blksize"s, ErrorCode::IllegalOperation},
        {"\0\1a\0octet\0\0x\0"s, ErrorCode::IllegalOperation},     // junk after padding
        {"\0\3\0"s, ErrorCode::IllegalOperation},                  // short DATA
        {"\0\4\0"s, ErrorCode::IllegalOperation},                  // short ACK
        {"\0\5\0"s, ErrorCode::IllegalOperation},                  // short ERROR
        {"\0\6blksize\0"s, ErrorCode::OptionRefused},              // OACK without value
        {"\0\7abc"s, ErrorCode::IllegalOperation},                 // unknown opcode
        {"\xff\xff"s, ErrorCode::IllegalOperation},
    };
    for (const Case& c : cases) {
        const Decoded d = decode(c.bytes);
        EXPECT_FALSE(d.ok) << testing::PrintToString(c.bytes);
        EXPECT_EQ(d.answer, c.answer) << testing::PrintToString(c.bytes);
        EXPECT_FALSE(d.error.empty());
    }
    // Zero padding after the options is accepted.
    EXPECT_TRUE(decode("\0\1a\0octet\0\0\0\0"s).ok);
    // Too many options.
    std::string many = "\0\1a\0octet\0"s;
    for (int i = 0; i < 40; ++i) many += "o" + std::to_string(i) + "\0" "1\0"s;
    EXPECT_FALSE(decode(many).ok);
    // DATA larger than the largest block.
    EXPECT_FALSE(decode(encodeData(1, std::string(kMaxBlockSize + 1, 'x'))).ok);
    EXPECT_TRUE(decode(encodeData(1, std::string(kMaxBlockSize, 'x'))).ok);
}

TEST(TftpPacket, BlockSizeIsClampedAndDecimalIsStrict) {
    EXPECT_EQ(clampBlockSize(-5), 8);
    EXPECT_EQ(clampBlockSize(4), 8);
    EXPECT_EQ(clampBlockSize(8), 8);
    EXPECT_EQ(clampBlockSize(1428), 1428);
    EXPECT_EQ(clampBlockSize(65464), 65464);
    EXPECT_EQ(clampBlockSize(100000), 65464);
    EXPECT_EQ(parseDecimal("512"), 512);
    EXPECT_FALSE(parseDecimal(""));
    EXPECT_FALSE(parseDecimal("abc"));
    EXPECT_FALSE(parseDecimal("-1"));
    EXPECT_FALSE(parseDecimal(" 12"));
    EXPECT_FALSE(parseDecimal("99999999999"));
}

TEST(TftpPacket, OackChecks) {
    struct Case {
        std::vector<Option> options;
        int requested;
        int expected; // 0: refused
    };
    const Case cases[] = {
        {{{"blksize", "1024"}}, 1024, 1024},
        {{{"BlkSize", "512"}}, 1024, 512},
        {{{"blksize", "8"}}, 1024, 8},
        {{{"blksize", "2048"}}, 1024, 0}, // above the request
        {{{"blksize", "7"}}, 1024, 0},
        {{{"blksize", "abc"}}, 1024, 0},
        {{{"blksize", ""}}, 1024, 0},
        {{}, 1024, 0},
        {{{"tsize", "100"}}, 1024, 0}, // not requested
        {{{"blksize", "512"}, {"blksize", "512"}}, 1024, 0},
        {{{"blksize", "512"}, {"timeout", "3"}}, 1024, 0},
    };
    for (const Case& c : cases) {
        Packet p;
        p.op = Opcode::OACK;
        p.options = c.options;
        std::string why;
        EXPECT_EQ(checkOack(p, c.requested, why), c.expected) << (c.options.empty() ? "" : c.options[0].value);
        if (c.expected == 0) {
            EXPECT_FALSE(why.empty());
        }
    }
}

TEST(TftpNames, RequestNamesResolveBeneathTheBase) {
    struct Case {
        std::string name;
        const char* relative; // nullptr: refused
    };
    const Case cases[] = {
        {"readme.txt", "readme.txt"},
        {"sub/readme.txt", "sub/readme.txt"},
        {"sub\\readme.txt", "sub/readme.txt"},
        {"/etc/passwd", "etc/passwd"},
        {"//x//y/./z", "x/y/z"},
        {"abcd..x", "abcd..x"},
        {"ab:c", "ab:c"},
        {"a:b", nullptr},
        {"../x", nullptr},
        {"..\\x", nullptr},
        {"a..b", nullptr},
        {"C:x", nullptr},
        {"c:\\windows", nullptr},
        {"d:/x", nullptr},
        {"a/../../x", nullptr},
        {"sub/../x", nullptr},
        {"abcde/..", nullptr},
        {"x/..", nullptr},
        {"", nullptr},
        {"/", nullptr},
        {"./.", nullptr},
        {"new\nline", nullptr},
        {"tab\there", nullptr},
    };
    for (const Case& c : cases) {
        const NameCheck n = checkRequestName(c.name);
        if (c.relative) {
            EXPECT_TRUE(n.ok) << c.name << ": " << n.reason;
            EXPECT_EQ(n.relative, c.relative) << c.name;
        } else {
            EXPECT_FALSE(n.ok) << c.name << " passed as " << n.relative;
            EXPECT_FALSE(n.reason.empty());
        }
    }
}
