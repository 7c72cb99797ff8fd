// The Telnet site manager's file ("telnetman.dat"), against golden files: the
// 13-line records, a folder's port written as 0 whatever its field held, the
// plain password's length beside its scrambled text, both login types.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sites/SiteFile.h"

namespace vn {
namespace {

std::string golden(const std::string& name) {
    std::ifstream in(std::string(VN_SOURCE_DIR) + "/tests/sites/golden/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> lines(const std::string& s) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < s.size()) {
        std::size_t e = s.find("\r\n", pos);
        if (e == std::string::npos) e = s.size();
        out.push_back(s.substr(pos, e - pos));
        pos = e + 2;
    }
    return out;
}

// A folder whose port field showed 2323, a site logging in by itself, a site
// where the user types login and password, and a site one level deeper.
SiteTree edgeTree(int folderPort) {
    TSiteRec servers{.HostName = "Servers", .LoginType = 1, .Port = folderPort, .IsFolder = true};
    TSiteRec router{.HostName = "Router", .Address = "192.0.2.7", .Login = "admin", .Password = "s3cr3t",
                    .LoginType = 0, .Port = 23, .Comments = "console \xC3\xA9quipe"};
    TSiteRec manual{.HostName = "Manual", .Address = "lab.example", .LoginType = 1, .Port = 2323};
    TSiteRec lab{.HostName = "Lab", .LoginType = 1, .Port = folderPort, .IsFolder = true};
    TSiteRec deep{.HostName = "Deep", .Address = "198.51.100.4", .Login = "root", .Password = "p\xC3\xA4ss w0rd!",
                  .LoginType = 0, .Port = 8023};
    return {SiteNode{servers, {SiteNode{router, {}}, SiteNode{manual, {}}, SiteNode{lab, {SiteNode{deep, {}}}}}}};
}

TEST(TelnetSiteFile, GoldenEdgeCases) {
    const std::string bytes = golden("telnetman_edge.dat");
    ASSERT_FALSE(bytes.empty());
    // The folders' port fields are not kept.
    EXPECT_EQ(writeSites(edgeTree(2323), SiteLayout::Telnet), bytes);
    auto r = readSites(bytes, SiteLayout::Telnet);
    EXPECT_TRUE(r.clean);
    EXPECT_EQ(r.tree, edgeTree(0));

    auto l = lines(bytes);
    ASSERT_EQ(l.size(), 1u + 5 * 13 + 1);
    EXPECT_EQ(l[0], "5");
    auto record = [&](int i) { return std::vector<std::string>(l.begin() + 1 + 13 * i, l.begin() + 14 + 13 * i); };
    // Folder: level, "Folder", name, ..., port line "0".
    EXPECT_EQ(record(0)[0], "-----");
    EXPECT_EQ(record(0)[2], "Folder");
    EXPECT_EQ(record(0)[5], "0");
    EXPECT_EQ(record(3)[5], "0");
    // Login type 0 with a 6-character password: length 6 and 8 scrambled characters.
    auto router = record(1);
    EXPECT_EQ(router[1], "1");
    EXPECT_EQ(router[5], "23");
    EXPECT_EQ(router[6], "admin");
    EXPECT_EQ(router[7], "6");
    EXPECT_EQ(router[8].size(), 8u);
    EXPECT_EQ(router[8].find("s3cr3t"), std::string::npos);
    EXPECT_EQ(router[9], "");
    EXPECT_EQ(router[10], "0");
    EXPECT_EQ(router[11], "0");
    EXPECT_EQ(router[12], "console \xC3\xA9quipe");
    // "I'll write them": no login, no password.
    auto manual = record(2);
    EXPECT_EQ(manual[5], "2323");
    EXPECT_EQ(manual[7], "0");
    EXPECT_EQ(manual[8], "");
    EXPECT_EQ(manual[10], "1");
    // One level deeper; a non-ASCII password keeps its byte length.
    auto deep = record(4);
    EXPECT_EQ(deep[1], "2");
    EXPECT_EQ(deep[7], "11");
    EXPECT_EQ(l.back(), "-----");
}

} // namespace
} // namespace vn
