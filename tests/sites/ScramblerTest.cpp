#include "sites/Scrambler.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace vn {
namespace {

struct Golden {
    const char* plain;
    const char* scrambled;
};

// Stored passwords depend on these: a change here means every site file
// written so far can no longer be read.
const Golden kFtpGolden[] = {
    {"", ""},
    {"a", "33t3"},
    {"abcd", "uwtv"},
    {"abcde", "uwtv3x33"},
    {"secret", "x&'v3x3("},
    {"  x ", "333,"},
    {"pass  ", "t'$'3333"},
    {"~~~~", "2222"},
    {"P@ssw0rd!2024xyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789",
     "S'c'&+wCECE4,G.-VWTUXZ[Y_\\]^abc`egdfjhkiDCmlFEHGKLIJ"},
    {"p\xC3\xA4ss\xE2\x82\xAC", "\xC7\x96'$\xC6\xB7\xC6\x95'\xC6\xBF\xC7\xB5"},
    {"a\tb", "\xC4\x9C" "3tu"},
};

const Golden kTelnetGolden[] = {
    {"", ""},
    {"a", "EEE'"},
    {"abcd", "*()'"},
    {"abcde", "*()'EEE+"},
    {"secret", "8+)9EE:+"},
    {"  x ", "EE>E"},
    {"pass  ", "9'96EEEE"},
    {"~~~~", "DDDD"},
    {"P@ssw0rd!2024xyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789",
     "9e9u8*U=WUFWY@>?ihfglkmjoqpnrtsuywxv|}{z U~VWZXY^][\\"},
    {"p\xC3\xA4ss\xE2\x82\xAC", "9\xC7\xA8\xC7\x89" "6\xC6\xA7\xC7\x91\xC4\x87" "9"},
    {"a\tb", "E\xC6\x8D('"},
};

void checkGolden(const Scrambler& s, const Golden* begin, const Golden* end) {
    for (auto g = begin; g != end; ++g) {
        std::string plain = g->plain;
        EXPECT_EQ(s.encriptar(plain), g->scrambled) << "plain: " << plain;
        auto back = s.desencriptar(g->scrambled, static_cast<long long>(plain.size()));
        ASSERT_TRUE(back.has_value()) << "plain: " << plain;
        EXPECT_EQ(*back, plain);
    }
}

TEST(Scrambler, FtpGoldenVectors) { checkGolden(ftpScrambler(), std::begin(kFtpGolden), std::end(kFtpGolden)); }

TEST(Scrambler, TelnetGoldenVectors) {
    checkGolden(telnetScrambler(), std::begin(kTelnetGolden), std::end(kTelnetGolden));
}

TEST(Scrambler, FiveCharactersBecomeEight) {
    std::string s = ftpScrambler().encriptar("abcde");
    EXPECT_EQ(s.size(), 8u);
    EXPECT_EQ(ftpScrambler().desencriptar(s, 5), "abcde");
}

// Blanks of the password itself survive; only the padding is dropped.
TEST(Scrambler, BlankPaddedPasswordsKeepTheirBlanks) {
    for (std::string p : {" ", "  ", "   ", "    ", "     ", " a ", "ab  ", "   x   "}) {
        for (const Scrambler* s : {&ftpScrambler(), &telnetScrambler()}) {
            std::string enc = s->encriptar(p);
            EXPECT_EQ(enc.size(), (p.size() + 3) / 4 * 4);
            EXPECT_EQ(s->desencriptar(enc, static_cast<long long>(p.size())), p) << '"' << p << '"';
        }
    }
}

bool hasControl(const std::string& s) {
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F) return true;
    return false;
}

// Every byte value, in every position of the group table, comes back and
// never turns into a line break or another control character.
TEST(Scrambler, EveryByteRoundTripsWithoutControlCharacters) {
    for (const Scrambler* s : {&ftpScrambler(), &telnetScrambler()}) {
        for (int shiftBy = 0; shiftBy < 32; ++shiftBy) {
            std::string p(size_t(shiftBy), 'x');
            for (int b = 0; b < 256; ++b) p += char(b);
            std::string enc = s->encriptar(p);
            EXPECT_FALSE(hasControl(enc));
            EXPECT_EQ(s->desencriptar(enc, static_cast<long long>(p.size())), p);
        }
    }
}

TEST(Scrambler, AsciiPasswordsScrambleToAscii) {
    std::string p;
    for (int c = 0x20; c < 0x7F; ++c) p += char(c);
    for (const Scrambler* s : {&ftpScrambler(), &telnetScrambler()}) {
        std::string enc = s->encriptar(p);
        EXPECT_EQ(enc.size(), p.size() + 1);  // 95 padded to 96
        for (unsigned char c : enc) EXPECT_TRUE(c >= 0x20 && c < 0x7F);
    }
}

TEST(Scrambler, RandomPasswordsOfEveryLengthRoundTrip) {
    std::mt19937 rng(7);
    for (int len = 0; len <= 40; ++len) {
        for (int round = 0; round < 20; ++round) {
            std::string p;
            for (int i = 0; i < len; ++i) p += char(rng() & 0xFF);
            for (const Scrambler* s : {&ftpScrambler(), &telnetScrambler()})
                EXPECT_EQ(s->desencriptar(s->encriptar(p), len), p);
        }
    }
}

TEST(Scrambler, TheTwoManagersDiffer) {
    EXPECT_NE(ftpScrambler().encriptar("password"), telnetScrambler().encriptar("password"));
}

TEST(Scrambler, TextThatDoesNotFitItsLengthIsRefused) {
    const Scrambler& s = ftpScrambler();
    std::string enc = s.encriptar("abcde");  // 8 characters
    struct Case {
        std::string text;
        long long length;
    };
    const Case cases[] = {
        {enc, 9},           // longer than the text
        {enc, 4},           // would leave a whole group of padding
        {enc, -1},
        {enc.substr(0, 7), 5},
        {enc + "x", 5},
        {"", 1},
        {s.encriptar("abcdefgh"), 5},  // what would be padding is "fgh", not blanks
        {std::string("\r\n\r\n"), 4},
        {std::string("ab\x01" "c"), 4},
        {std::string("\xC4\xA1" "bcd"), 4},   // U+0121 stands for a printable byte: never written
        {std::string("\xC3\xA9" "bcd"), 4},   // outside the letters used
        {std::string("abc\xC4"), 4},          // cut in the middle of a character
        {std::string(1 << 20, 'a'), 1LL << 40},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(s.desencriptar(c.text, c.length).has_value()) << c.text << " / " << c.length;
    EXPECT_EQ(s.desencriptar("", 0), "");
}

} // namespace
} // namespace vn
