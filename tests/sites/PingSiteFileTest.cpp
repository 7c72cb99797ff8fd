// The Ping site file: the time-to-live lives on the port line of each
// 12-line record, and comes back from it unchanged.
#include "SiteFileTestUtil.h"

#include <gtest/gtest.h>

namespace vn {
namespace {

using test::Lines;

SiteTree pingEdges() {
    return {SiteNode{{.HostName = "Loopback", .Address = "127.0.0.1", .Port = 1, .Comments = "one hop"}, {}},
            SiteNode{{.HostName = "Lab", .Port = 255, .IsFolder = true},
                     {SiteNode{{.HostName = "Far", .Address = "far.example", .Port = 128, .Comments = "TTL 128"}, {}},
                      SiteNode{{.HostName = "Max", .Address = "10.0.0.1", .Port = 255}, {}}}}};
}

Lines fileLines(const std::string& bytes) {
    Lines out;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t e = bytes.find("\r\n", pos);
        if (e == std::string::npos) break;
        out.push_back(bytes.substr(pos, e - pos));
        pos = e + 2;
    }
    return out;
}

TEST(PingSiteFile, GoldenBytesBothWays) {
    const std::string golden = test::fileBytes(test::goldenPath("pingman_ttl_edges.dat"));
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(writeSites(pingEdges(), SiteLayout::Ping), golden);
    SiteReadResult r = readSites(golden, SiteLayout::Ping);
    EXPECT_TRUE(r.clean) << test::joinWarnings(r);
    EXPECT_EQ(r.tree, pingEdges());
}

TEST(PingSiteFile, TheTimeToLiveIsLineSixOfEveryTwelveLineRecord) {
    Lines lines = fileLines(test::fileBytes(test::goldenPath("pingman_ttl_edges.dat")));
    ASSERT_EQ(lines.size(), 1u + 4 * 12 + 1);
    EXPECT_EQ(lines.front(), "4");
    EXPECT_EQ(lines.back(), "-----");
    const char* ttl[] = {"1", "255", "128", "255"};
    for (std::size_t k = 0; k < 4; ++k) {
        const std::size_t at = 1 + 12 * k;  // the record's "-----"
        EXPECT_EQ(lines[at], "-----") << k;
        EXPECT_EQ(lines[at + 5], ttl[k]) << k;
        // Login, password, initial folder, login type and transfer type are unused: empty and zero.
        EXPECT_EQ(Lines(lines.begin() + at + 6, lines.begin() + at + 11), (Lines{"", "", "", "0", "0"})) << k;
    }
}

TEST(PingSiteFile, EveryTimeToLiveComesBackUnchanged) {
    // The file keeps what it is given; the dialog and the window apply the 1..255 rule.
    for (int ttl : {1, 2, 64, 127, 128, 254, 255, 0, 256, 999}) {
        SiteTree t{SiteNode{{.HostName = "H", .Address = "127.0.0.1", .Port = ttl}, {}}};
        std::string bytes = writeSites(t, SiteLayout::Ping);
        EXPECT_EQ(fileLines(bytes)[6], std::to_string(ttl));
        SiteReadResult r = readSites(bytes, SiteLayout::Ping);
        ASSERT_EQ(r.tree.size(), 1u) << ttl;
        EXPECT_EQ(r.tree[0].rec.Port, ttl);
        EXPECT_TRUE(r.clean) << ttl;
    }
}

TEST(PingSiteFile, ATimeToLiveThatIsNotANumberEndsTheReadingWithAWarning) {
    std::string bytes = test::fileBytes(test::goldenPath("pingman_ttl_edges.dat"));
    // The first record's TTL line ("1") becomes "ttl".
    std::size_t at = bytes.find("\r\n1\r\n", bytes.find("127.0.0.1"));
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, 5, "\r\nttl\r\n");
    SiteReadResult r = readSites(bytes, SiteLayout::Ping);
    EXPECT_FALSE(r.clean);
    EXPECT_FALSE(r.warnings.empty());
    EXPECT_TRUE(r.tree.empty());
}

} // namespace
} // namespace vn
