#include "common/ui/WireText.h"

#include <gtest/gtest.h>

namespace vn {
namespace {

struct WireCase {
    const char* name;
    std::string bytes;
    QString shown;
    bool roundTrips;  // toWire(fromWire(bytes)) == bytes
};

void PrintTo(const WireCase& c, std::ostream* os) { *os << c.name; }

class WireTextCases : public ::testing::TestWithParam<WireCase> {};

TEST_P(WireTextCases, Decodes) {
    const WireCase& c = GetParam();
    EXPECT_EQ(c.shown, fromWire(c.bytes));
    EXPECT_EQ(c.roundTrips, toWire(fromWire(c.bytes)) == c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WireTextCases,
    ::testing::Values(
        WireCase{"ascii", "pub/readme.txt", QStringLiteral("pub/readme.txt"), true},
        WireCase{"empty", "", QString(), true},
        WireCase{"utf8", "caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac", QStringLiteral("caf\u00e9 \u65e5\u672c"), true},
        WireCase{"utf8_bom_kept", "\xef\xbb\xbfx", QStringLiteral("\ufeffx"), true},
        WireCase{"latin1_name", "\xe9t\xe9.txt", QStringLiteral("\u00e9t\u00e9.txt"), false},
        WireCase{"truncated_sequence", "ab\xc3", QStringLiteral("ab\u00c3"), false},
        WireCase{"overlong_slash", "\xc0\xaf", QStringLiteral("\u00c0\u00af"), false},
        WireCase{"surrogate_half", "\xed\xa0\x80", QStringLiteral("\u00ed\u00a0\u0080"), false},
        WireCase{"embedded_nul", std::string("a\0b", 3), QString::fromUtf16(u"a\0b", 3), true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WireText, EveryByteShowsAsOneCharacterWhenNotUtf8) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const QString shown = fromWire(all);
    ASSERT_EQ(256, shown.size());
    for (int b = 0; b < 256; ++b) EXPECT_EQ(b, shown.at(b).unicode());
}

TEST(WireText, ToWireIsUtf8) {
    EXPECT_EQ("\xc3\xa9", toWire(QStringLiteral("\u00e9")));
    EXPECT_EQ("", toWire(QString()));
}

} // namespace
} // namespace vn
