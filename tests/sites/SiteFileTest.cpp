#include "SiteFileTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace vn {
namespace {

using test::crlf;
using test::operator+;
using test::Lines;
using test::shape;

TSiteRec ftpFolder(std::string name) {
    return {.HostName = std::move(name), .Port = 21, .TransferType = 2};
}

// ---------------------------------------------------------------- golden files

struct GoldenCase {
    const char* file;
    SiteLayout layout;
    std::function<SiteTree()> tree;
};

SiteTree workMirror() {
    TSiteRec work = ftpFolder("Work");
    work.IsFolder = true;
    TSiteRec mirror{.HostName = "Mirror",
                    .Address = "ftp.example.org",
                    .Login = "mirror",
                    .Password = "abcde",
                    .LoginType = 0,
                    .Port = 21,
                    .TransferType = 1,
                    .RemoteDir = "/pub/",
                    .Comments = "Nightly mirror",
                    .Addresses = {"ftp.example.org"},
                    .AddressCount = 1,
                    .IsFolder = false,
                    .Passive = true};
    return {SiteNode{work, {SiteNode{mirror, {}}}}};
}

SiteTree ftpLevels() {
    TSiteRec archives = ftpFolder("Archives");
    archives.IsFolder = true;
    TSiteRec linuxDir = ftpFolder("Linux");
    linuxDir.IsFolder = true;
    TSiteRec kernel{.HostName = "Kernel", .Address = "ftp.kernel.example", .Login = "anonymous",
                    .LoginType = 1, .Port = 2121, .TransferType = 1, .RemoteDir = "/pub/linux/",
                    .Addresses = {"ftp.kernel.example", "mirror.kernel.example"}, .AddressCount = 2,
                    .Passive = true};
    TSiteRec docs{.HostName = "Docs", .Address = "docs.example.org", .Login = "reader",
                  .Password = "abcd", .Port = 21, .TransferType = 0, .Comments = "manuals"};
    TSiteRec home{.HostName = "Home", .Address = "192.0.2.5", .Login = "me", .Password = "secret",
                  .Port = 21, .TransferType = 2, .RemoteDir = "/home/me/",
                  .Addresses = {"192.0.2.5"}, .AddressCount = 1};
    return {SiteNode{archives,
                     {SiteNode{linuxDir, {SiteNode{kernel, {}}}}, SiteNode{docs, {}}}},
            SiteNode{home, {}}};
}

SiteTree fingerUni() {
    return {SiteNode{{.HostName = "Uni", .Address = "192.168.1.10", .Login = "root", .Port = 79,
                      .Comments = "Computing centre"},
                     {}}};
}

SiteTree pingTtl() {
    return {SiteNode{{.HostName = "Routers", .Port = 255, .IsFolder = true},
                     {SiteNode{{.HostName = "Gateway", .Address = "192.0.2.1", .Port = 64,
                                .Comments = "first hop"},
                               {}}}}};
}

SiteTree telnetLab() {
    // The folder's port is not kept: a Telnet folder is always written with port 0.
    TSiteRec lab{.HostName = "Lab", .LoginType = 1, .Port = 0, .IsFolder = true};
    TSiteRec router{.HostName = "Router", .Address = "192.0.2.7", .Login = "admin",
                    .Password = "secret", .LoginType = 0, .Port = 23, .Comments = "Console"};
    return {SiteNode{lab, {SiteNode{router, {}}}}};
}

SiteTree whoisRegistry() {
    return {SiteNode{{.HostName = "Registry", .Address = "whois.example.net", .Login = "example.com",
                      .Port = 43, .Comments = "domain lookup"},
                     {}}};
}

const GoldenCase kGolden[] = {
    {"siteman_work_mirror.dat", SiteLayout::Ftp, workMirror},
    {"siteman_levels.dat", SiteLayout::Ftp, ftpLevels},
    {"fingerman_uni.dat", SiteLayout::Finger, fingerUni},
    {"pingman_ttl.dat", SiteLayout::Ping, pingTtl},
    {"telnetman_lab.dat", SiteLayout::Telnet, telnetLab},
    {"Whoisman_registry.dat", SiteLayout::Whois, whoisRegistry},
};

TEST(SiteFileGolden, WriterGivesTheExactBytes) {
    for (const auto& g : kGolden) {
        std::string expected = test::fileBytes(test::goldenPath(g.file));
        ASSERT_FALSE(expected.empty()) << g.file;
        EXPECT_EQ(writeSites(g.tree(), g.layout), expected) << g.file;
    }
}

TEST(SiteFileGolden, ReaderRebuildsTheTree) {
    for (const auto& g : kGolden) {
        auto r = readSites(test::fileBytes(test::goldenPath(g.file)), g.layout);
        EXPECT_TRUE(r.clean) << g.file << "\n" << test::joinWarnings(r);
        EXPECT_EQ(r.tree, g.tree()) << g.file;
    }
}

std::vector<std::string> splitCrlf(const std::string& s) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < s.size()) {
        size_t e = s.find("\r\n", pos);
        if (e == std::string::npos) {
            out.push_back(s.substr(pos));
            break;
        }
        out.push_back(s.substr(pos, e - pos));
        pos = e + 2;
    }
    return out;
}

TEST(SiteFileGolden, FolderWorkAndSiteMirrorMake33Lines) {
    std::string bytes = writeSites(workMirror(), SiteLayout::Ftp);
    auto lines = splitCrlf(bytes);
    ASSERT_EQ(lines.size(), 33u);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 33);
    EXPECT_EQ(lines[0], "2");
    // the folder: level 0, Folder, empty address and login, port 21, password length 0, no addresses
    EXPECT_EQ(Lines(lines.begin() + 1, lines.begin() + 16),
              (Lines{"-----", "0", "Folder", "Work", "", "21", "", "0", "", "", "0", "2", "", "0", "0"}));
    EXPECT_EQ(lines[17], "1");
    EXPECT_EQ(lines[18], "Node");
    EXPECT_EQ(lines[23], "5");         // plain length
    EXPECT_EQ(lines[24].size(), 8u);   // scrambled to two groups
    EXPECT_EQ(lines[30], "1");         // address count
    EXPECT_EQ(lines[31], "ftp.example.org");
    EXPECT_EQ(lines[32], "-----");
}

TEST(SiteFileGolden, FingerSiteUniIsTwelveLines) {
    auto lines = splitCrlf(writeSites(fingerUni(), SiteLayout::Finger));
    EXPECT_EQ(Lines(lines.begin() + 1, lines.end() - 1),
              (Lines{"-----", "0", "Node", "Uni", "192.168.1.10", "79", "root", "", "", "0", "0",
                     "Computing centre"}));
}

TEST(SiteFileGolden, LevelsZeroOneTwoOneZero) {
    auto r = readSites(test::fileBytes(test::goldenPath("siteman_levels.dat")), SiteLayout::Ftp);
    EXPECT_EQ(shape(r.tree), "Archives(Linux(Kernel) Docs) Home");
}

TEST(SiteFileGolden, LayoutsAndFileNames) {
    EXPECT_EQ(siteLayoutInfo(SiteLayout::Ftp).fileName, "siteman.dat");
    EXPECT_EQ(siteLayoutInfo(SiteLayout::Finger).fileName, "fingerman.dat");
    EXPECT_EQ(siteLayoutInfo(SiteLayout::Ping).fileName, "pingman.dat");
    EXPECT_EQ(siteLayoutInfo(SiteLayout::Telnet).fileName, "telnetman.dat");
    EXPECT_EQ(siteLayoutInfo(SiteLayout::Whois).fileName, "Whoisman.dat");
    EXPECT_EQ(siteLayoutInfo(SiteLayout::Telnet).scrambler, &telnetScrambler());
    EXPECT_EQ(siteLayoutInfo(SiteLayout::Ftp).scrambler, &ftpScrambler());
}

// ---------------------------------------------------------------- readings that are fine

Lines ftpRecord(std::string level, std::string name, Lines addresses = {}) {
    Lines l{"-----", level, "Node", name, "host." + name, "21", "user", "0", "",
            "/", "0", "2", "note", "0", std::to_string(addresses.size())};
    return l + addresses;
}

Lines fingerRecord(std::string level, std::string name) {
    return {"-----", level, "Node", name, "host." + name, "79", "who", "", "", "0", "0", "note"};
}

Lines telnetRecord(std::string level, std::string name, std::string length = "0", std::string pw = "") {
    return {"-----", level, "Node", name, "host." + name, "23", "me", length, pw, "", "0", "0", "note"};
}

Lines with(Lines l, size_t index, std::string value) {
    l.at(index) = std::move(value);
    return l;
}

Lines without(Lines l, size_t index) {
    l.erase(l.begin() + long(index));
    return l;
}

Lines firstN(Lines l, size_t n) {
    l.resize(n);
    return l;
}

const Lines kEnd{"-----"};

struct ReadCase {
    const char* name;
    SiteLayout layout;
    std::string bytes;
    std::string shape;
    const char* warning;  // part of a warning; null: must read cleanly
};

std::string lf(const Lines& lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\n";
    return out;
}

const Lines kFive = Lines{"5"} + ftpRecord("0", "A") + ftpRecord("1", "B") + ftpRecord("2", "C") +
                    ftpRecord("1", "D") + ftpRecord("0", "E") + kEnd;

std::vector<ReadCase> cleanCases() {
    return {
        {"CR LF", SiteLayout::Ftp, crlf(kFive), "A(B(C) D) E", nullptr},
        {"LF only", SiteLayout::Ftp, lf(kFive), "A(B(C) D) E", nullptr},
        {"byte order mark", SiteLayout::Ftp, "\xEF\xBB\xBF" + crlf(kFive), "A(B(C) D) E", nullptr},
        {"no line end after the last line", SiteLayout::Ftp,
         crlf(kFive).substr(0, crlf(kFive).size() - 2), "A(B(C) D) E", nullptr},
        {"empty lines after the end", SiteLayout::Ftp, crlf(kFive) + "\r\n\r\n", "A(B(C) D) E", nullptr},
        {"levels are only compared", SiteLayout::Ftp,
         crlf(Lines{"5"} + ftpRecord("0", "A") + ftpRecord("3", "B") + ftpRecord("7", "C") +
              ftpRecord("3", "D") + ftpRecord("0", "E") + kEnd),
         "A(B(C) D) E", nullptr},
        {"climbing to the nearest lower level", SiteLayout::Ftp,
         crlf(Lines{"4"} + ftpRecord("0", "A") + ftpRecord("2", "B") + ftpRecord("4", "C") +
              ftpRecord("3", "D") + kEnd),
         "A(B(C D))", nullptr},
        {"first record at level 2 is still top-level", SiteLayout::Ftp,
         crlf(Lines{"2"} + ftpRecord("2", "A") + ftpRecord("0", "B") + kEnd), "A B", nullptr},
        {"blanks around numbers", SiteLayout::Ftp,
         crlf(Lines{" 1 "} + with(ftpRecord("0", "A"), 5, " 21 ") + kEnd), "A", nullptr},
        {"count 0", SiteLayout::Ftp, crlf({"0", "-----"}), "", nullptr},
        {"finger", SiteLayout::Finger,
         crlf(Lines{"2"} + fingerRecord("0", "A") + fingerRecord("1", "B") + kEnd), "A(B)", nullptr},
        {"telnet", SiteLayout::Telnet,
         crlf(Lines{"2"} + telnetRecord("0", "A") + telnetRecord("0", "B", "6", "8+)9EE:+") + kEnd),
         "A B", nullptr},
    };
}

TEST(SiteFileRead, CleanFiles) {
    for (const auto& c : cleanCases()) {
        auto r = readSites(c.bytes, c.layout);
        EXPECT_TRUE(r.clean) << c.name << "\n" << test::joinWarnings(r);
        EXPECT_TRUE(r.warnings.empty()) << c.name;
        EXPECT_EQ(shape(r.tree), c.shape) << c.name;
    }
}

TEST(SiteFileRead, FiveLevelsGiveTheDescribedTree) {
    auto r = readSites(crlf(kFive), SiteLayout::Ftp);
    ASSERT_EQ(r.tree.size(), 2u);
    const auto& a = r.tree[0];
    ASSERT_EQ(a.children.size(), 2u);
    EXPECT_EQ(a.children[0].rec.HostName, "B");
    ASSERT_EQ(a.children[0].children.size(), 1u);
    EXPECT_EQ(a.children[0].children[0].rec.HostName, "C");
    EXPECT_EQ(a.children[1].rec.HostName, "D");
    EXPECT_EQ(r.tree[1].rec.HostName, "E");
}

// ---------------------------------------------------------------- malformed files

std::vector<ReadCase> malformedCases() {
    const Lines A = ftpRecord("0", "A");
    const Lines B = ftpRecord("0", "B");
    return {
        {"count not a number", SiteLayout::Ftp, crlf(Lines{"abc"} + A + kEnd), "", "node count"},
        {"count empty", SiteLayout::Ftp, crlf(Lines{""} + A + kEnd), "", "node count"},
        {"negative count", SiteLayout::Ftp, crlf(Lines{"-3"} + A + kEnd), "", "negative node count"},
        {"count beyond 32 bits", SiteLayout::Ftp, crlf(Lines{"99999999999"} + A + kEnd), "", "node count"},
        {"huge count is an upper bound", SiteLayout::Ftp, crlf(Lines{"2147483647"} + A + B + kEnd), "A B",
         "count says"},
        {"huge count and no final line", SiteLayout::Ftp, crlf(Lines{"1000000"} + A + B), "A B",
         "ends after 2"},
        {"count smaller than the records", SiteLayout::Ftp, crlf(Lines{"1"} + A + B + kEnd), "A",
         "after the final"},
        {"missing separator", SiteLayout::Ftp, crlf(Lines{"2"} + A + without(B, 0) + kEnd), "A", "-----"},
        {"separator misspelt", SiteLayout::Ftp, crlf(Lines{"2"} + A + with(B, 0, "----") + kEnd), "A", "-----"},
        {"level not a number", SiteLayout::Ftp, crlf(Lines{"2"} + A + with(B, 1, "x") + kEnd), "A", "level"},
        {"negative level", SiteLayout::Ftp,
         crlf(Lines{"2"} + with(A, 1, "-4") + ftpRecord("1", "B") + kEnd), "A(B)", "negative level"},
        {"unknown kind", SiteLayout::Ftp, crlf(Lines{"2"} + A + with(B, 2, "Site") + kEnd), "A", "Folder"},
        {"port not a number", SiteLayout::Ftp, crlf(Lines{"2"} + A + with(B, 5, "21a") + kEnd), "A", "port"},
        {"port empty", SiteLayout::Ftp, crlf(Lines{"2"} + A + with(B, 5, "") + kEnd), "A", "port"},
        {"address count 7", SiteLayout::Ftp,
         crlf(Lines{"2"} + with(A, 14, "7") + Lines(7, "x") + B + kEnd), "A", "address count"},
        {"address count -1", SiteLayout::Ftp, crlf(Lines{"2"} + with(A, 14, "-1") + B + kEnd), "A",
         "address count"},
        {"address count not a number", SiteLayout::Ftp, crlf(Lines{"2"} + A + with(B, 14, "two") + kEnd), "A",
         "address count"},
        {"password length too big", SiteLayout::Ftp,
         crlf(Lines{"2"} + with(with(A, 7, "9"), 8, "uwtv3x33") + B + kEnd), "A B", "password"},
        {"password length negative", SiteLayout::Ftp,
         crlf(Lines{"2"} + with(with(A, 7, "-5"), 8, "uwtv3x33") + B + kEnd), "A B", "password"},
        {"password length too small", SiteLayout::Ftp,
         crlf(Lines{"2"} + with(with(A, 7, "2"), 8, "uwtv3x33") + B + kEnd), "A B", "password"},
        {"password length not a number", SiteLayout::Ftp,
         crlf(Lines{"2"} + A + with(B, 7, "five") + kEnd), "A", "password length"},
        {"telnet password length too big", SiteLayout::Telnet,
         crlf(Lines{"2"} + telnetRecord("0", "A", "99", "8+)9EE:+") + telnetRecord("0", "B") + kEnd), "A B",
         "password"},
        {"truncated mid-record", SiteLayout::Ftp, crlf(Lines{"2"} + A + firstN(B, 6)), "A", "ends inside"},
        {"truncated mid-line", SiteLayout::Ftp, crlf(Lines{"2"} + A + B).substr(0, 100), "A", "ends inside"},
        {"truncated inside the addresses", SiteLayout::Ftp,
         crlf(Lines{"2"} + A + firstN(ftpRecord("0", "B", {"a", "b", "c"}), 16)), "A", "ends inside"},
        {"final separator missing", SiteLayout::Ftp, crlf(Lines{"2"} + A + B), "A B", "final"},
        {"garbage after the end", SiteLayout::Ftp, crlf(Lines{"1"} + A + kEnd + Lines{"junk"}), "A",
         "after the final"},
        {"finger truncated", SiteLayout::Finger, crlf(Lines{"2"} + fingerRecord("0", "A") +
                                                      firstN(fingerRecord("0", "B"), 9)),
         "A", "ends inside"},
        {"whois with ftp lines", SiteLayout::Whois,
         crlf(Lines{"2"} + fingerRecord("0", "A") + Lines{"0", "0"} + fingerRecord("0", "B") + kEnd), "A",
         "-----"},
        {"NUL in a text field", SiteLayout::Ftp,
         crlf(Lines{"2"} + with(A, 12, std::string("no\0te", 5)) + B + kEnd), "A B", "NUL"},
        {"NUL in a number", SiteLayout::Ftp,
         crlf(Lines{"2"} + A + with(B, 5, std::string("2\0" "1", 3)) + kEnd), "A", "port"},
        {"CR inside a line", SiteLayout::Ftp, lf(Lines{"2"} + with(A, 12, "a\rb") + B + kEnd), "A B", "CR"},
        {"huge line", SiteLayout::Ftp,
         crlf(Lines{"2"} + A + with(B, 3, std::string(70000, 'x')) + kEnd), "A", "too long"},
        {"huge count line", SiteLayout::Ftp, crlf(Lines{std::string(70000, '1')} + A + kEnd), "", "too long"},
        {"empty file", SiteLayout::Ftp, "", "", "empty"},
        {"only blank lines", SiteLayout::Ftp, "\r\n\r\n", "", "node count"},
        {"binary", SiteLayout::Telnet, std::string("\x00\x01\xFF\xFE", 4), "", "node count"},
    };
}

TEST(SiteFileRead, MalformedFiles) {
    for (const auto& c : malformedCases()) {
        auto r = readSites(c.bytes, c.layout);
        EXPECT_FALSE(r.clean) << c.name;
        EXPECT_EQ(shape(r.tree), c.shape) << c.name << "\n" << test::joinWarnings(r);
        EXPECT_NE(test::joinWarnings(r).find(c.warning), std::string::npos)
            << c.name << ": no warning with \"" << c.warning << "\" in\n" << test::joinWarnings(r);
        // Whatever was kept can be written and read back cleanly, unchanged.
        std::string once = writeSites(r.tree, c.layout);
        auto again = readSites(once, c.layout);
        EXPECT_TRUE(again.clean) << c.name << "\n" << test::joinWarnings(again);
        EXPECT_EQ(writeSites(again.tree, c.layout), once) << c.name;
    }
}

TEST(SiteFileRead, AddressCountOutOfRangeKeepsTheRecordWithoutAddresses) {
    for (const char* m : {"7", "-1"}) {
        auto r = readSites(crlf(Lines{"2"} + with(ftpRecord("0", "A"), 14, m) + Lines(7, "x") +
                                ftpRecord("0", "B") + kEnd),
                           SiteLayout::Ftp);
        ASSERT_EQ(r.tree.size(), 1u) << m;
        EXPECT_EQ(r.tree[0].rec.AddressCount, 0);
        EXPECT_EQ(r.tree[0].rec.Addresses, (std::array<std::string, 5>{}));
        EXPECT_EQ(r.tree[0].rec.Comments, "note");
    }
}

TEST(SiteFileRead, PasswordThatDoesNotFitIsEmptiedAndTheRestKept) {
    auto r = readSites(crlf(Lines{"1"} + with(with(ftpRecord("0", "A"), 7, "9"), 8, "uwtv3x33") + kEnd),
                       SiteLayout::Ftp);
    ASSERT_EQ(r.tree.size(), 1u);
    EXPECT_EQ(r.tree[0].rec.Password, "");
    EXPECT_EQ(r.tree[0].rec.RemoteDir, "/");
    EXPECT_EQ(r.tree[0].rec.Comments, "note");
}

TEST(SiteFileRead, EmptyAlternateAddressesAreDropped) {
    struct Case {
        Lines slots;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {{"a", "", "", "d"}, {"a", "d"}},
        {{"a", "", "c", "", "e"}, {"a", "c", "e"}},
        {{"", "b"}, {"", "b"}},  // slot 1 is the main address and keeps its place
        {{""}, {""}},
        {{"a", "", "", "", ""}, {"a"}},
    };
    for (const auto& c : cases) {
        auto r = readSites(crlf(Lines{"1"} + ftpRecord("0", "A", c.slots) + kEnd), SiteLayout::Ftp);
        ASSERT_EQ(r.tree.size(), 1u);
        const auto& rec = r.tree[0].rec;
        ASSERT_EQ(rec.AddressCount, int(c.expected.size()));
        for (size_t i = 0; i < 5; ++i)
            EXPECT_EQ(rec.Addresses[i], i < c.expected.size() ? c.expected[i] : "");
        EXPECT_EQ(r.clean, c.slots.size() == c.expected.size());
    }
}

TEST(SiteFileRead, OutOfRangeChoicesAreNormalised) {
    auto ftp = readSites(crlf(Lines{"1"} + with(with(with(ftpRecord("0", "A"), 10, "5"), 11, "9"), 13, "3") +
                              kEnd),
                         SiteLayout::Ftp);
    ASSERT_EQ(ftp.tree.size(), 1u);
    EXPECT_FALSE(ftp.clean);
    EXPECT_EQ(ftp.tree[0].rec.LoginType, 0);
    EXPECT_EQ(ftp.tree[0].rec.TransferType, 2);
    EXPECT_TRUE(ftp.tree[0].rec.Passive);

    // Telnet: an unknown login type must not send credentials on its own.
    auto telnet = readSites(crlf(Lines{"1"} + with(telnetRecord("0", "A"), 10, "-2") + kEnd), SiteLayout::Telnet);
    ASSERT_EQ(telnet.tree.size(), 1u);
    EXPECT_EQ(telnet.tree[0].rec.LoginType, 1);

    // The Ping time-to-live and other ports are kept as they are; the dialogs check them.
    auto ping = readSites(crlf(Lines{"1"} + with(fingerRecord("0", "A"), 5, "999") + kEnd), SiteLayout::Ping);
    ASSERT_EQ(ping.tree.size(), 1u);
    EXPECT_TRUE(ping.clean);
    EXPECT_EQ(ping.tree[0].rec.Port, 999);
}

TEST(SiteFileRead, NestingIsCapped) {
    Lines lines{"100"};
    for (int i = 0; i < 100; ++i) lines = lines + ftpRecord(std::to_string(i), "n" + std::to_string(i));
    lines = lines + kEnd;
    auto r = readSites(crlf(lines), SiteLayout::Ftp);
    EXPECT_FALSE(r.clean);
    EXPECT_EQ(test::depth(r.tree), kSiteTreeMaxDepth);
    EXPECT_EQ(test::nodeCount(r.tree), 100u);  // nothing lost, the deepest moved up
    auto again = readSites(writeSites(r.tree, SiteLayout::Ftp), SiteLayout::Ftp);
    EXPECT_TRUE(again.clean);
    EXPECT_EQ(again.tree, r.tree);
}

TEST(SiteFileRead, HugeFileIsReadOnlyToTheLimit) {
    Lines head = Lines{"3"} + ftpRecord("0", "A") + ftpRecord("0", "B");
    std::string bytes = crlf(head) + crlf({"-----", "0", "Node", std::string(60000, 'x')});
    while (bytes.size() <= kSiteFileMaxBytes) bytes += std::string(60000, 'y') + "\r\n";
    auto r = readSites(bytes, SiteLayout::Ftp);
    EXPECT_FALSE(r.clean);
    EXPECT_EQ(shape(r.tree), "A B");
    EXPECT_NE(test::joinWarnings(r).find("8 MiB"), std::string::npos);
}

TEST(SiteFileRead, TelnetFolderPortIsZero) {
    auto r = readSites(crlf(Lines{"1"} + with(telnetRecord("0", "F"), 2, "Folder") + kEnd), SiteLayout::Telnet);
    ASSERT_EQ(r.tree.size(), 1u);
    EXPECT_TRUE(r.tree[0].rec.IsFolder);
    EXPECT_EQ(r.tree[0].rec.Port, 0);
}

TEST(SiteFileRead, WarningsAreBounded) {
    Lines lines{"2000"};
    for (int i = 0; i < 2000; ++i) {
        Lines rec = with(ftpRecord("0", "n"), 12, "a\rb");
        lines.insert(lines.end(), rec.begin(), rec.end());
    }
    auto r = readSites(lf(lines + kEnd), SiteLayout::Ftp);
    EXPECT_EQ(test::nodeCount(r.tree), 2000u);
    EXPECT_LE(r.warnings.size(), 51u);
}

// ---------------------------------------------------------------- writing

TEST(SiteFileWrite, EmptyTree) {
    EXPECT_EQ(writeSites({}, SiteLayout::Ftp), "0\r\n-----\r\n");
    auto r = readSites("0\r\n-----\r\n", SiteLayout::Ftp);
    EXPECT_TRUE(r.clean);
    EXPECT_TRUE(r.tree.empty());
}

TEST(SiteFileWrite, TelnetFolderPortIsWrittenAsZero) {
    SiteTree t{SiteNode{{.HostName = "F", .LoginType = 1, .Port = 23, .IsFolder = true}, {}}};
    auto lines = splitCrlf(writeSites(t, SiteLayout::Telnet));
    EXPECT_EQ(lines[6], "0");
    SiteTree site{SiteNode{{.HostName = "S", .Port = 2323}, {}}};
    EXPECT_EQ(splitCrlf(writeSites(site, SiteLayout::Telnet))[6], "2323");
}

TEST(SiteFileWrite, TelnetSixCharacterPassword) {
    SiteTree t{SiteNode{{.HostName = "S", .Password = "secret", .LoginType = 0, .Port = 23}, {}}};
    auto lines = splitCrlf(writeSites(t, SiteLayout::Telnet));
    EXPECT_EQ(lines[8], "6");
    EXPECT_EQ(lines[9].size(), 8u);
}

TEST(SiteFileWrite, LineBreaksAreRemovedFromEveryTextField) {
    const std::string bad = "a\r\nb\rc\nd";
    for (SiteLayout layout : {SiteLayout::Ftp, SiteLayout::Finger, SiteLayout::Ping, SiteLayout::Telnet,
                              SiteLayout::Whois}) {
        TSiteRec rec{.HostName = bad, .Address = bad, .Login = bad, .Password = bad, .RemoteDir = bad,
                     .Comments = "one\r\ntwo\r\nthree", .Addresses = {bad, bad}, .AddressCount = 2};
        TSiteRec clean{.HostName = "abcd", .Address = "abcd", .Login = "abcd", .Password = "abcd",
                       .RemoteDir = "abcd", .Comments = "onetwothree", .Addresses = {"abcd", "abcd"},
                       .AddressCount = 2};
        if (layout != SiteLayout::Ftp) {
            clean.Addresses = {};
            clean.AddressCount = 0;
        }
        std::string bytes = writeSites({SiteNode{rec, {}}}, layout);
        size_t expectedLines = 1 + (layout == SiteLayout::Ftp ? 17 : layout == SiteLayout::Telnet ? 13 : 12) + 1;
        EXPECT_EQ(size_t(std::count(bytes.begin(), bytes.end(), '\n')), expectedLines) << int(layout);
        EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\r'), std::count(bytes.begin(), bytes.end(), '\n'));
        auto r = readSites(bytes, layout);
        EXPECT_TRUE(r.clean) << int(layout);
        ASSERT_EQ(r.tree.size(), 1u);
        EXPECT_EQ(r.tree[0].rec, clean) << int(layout);
    }
}

TEST(SiteFileWrite, NulIsRemovedToo) {
    TSiteRec rec{.HostName = std::string("a\0b", 3), .Password = std::string("p\0w", 3)};
    auto r = readSites(writeSites({SiteNode{rec, {}}}, SiteLayout::Ftp), SiteLayout::Ftp);
    ASSERT_TRUE(r.clean);
    EXPECT_EQ(r.tree[0].rec.HostName, "ab");
    EXPECT_EQ(r.tree[0].rec.Password, "pw");
}

TEST(SiteFileWrite, AddressSlotsAreCompactedAndBounded) {
    TSiteRec holes{.Addresses = {"a", "", "", "d", ""}, .AddressCount = 5};
    auto lines = splitCrlf(writeSites({SiteNode{holes, {}}}, SiteLayout::Ftp));
    EXPECT_EQ(Lines(lines.end() - 4, lines.end()), (Lines{"2", "a", "d", "-----"}));

    TSiteRec tooMany{.Addresses = {"a", "b", "c", "d", "e"}, .AddressCount = 9};
    auto r = readSites(writeSites({SiteNode{tooMany, {}}}, SiteLayout::Ftp), SiteLayout::Ftp);
    ASSERT_TRUE(r.clean);
    EXPECT_EQ(r.tree[0].rec.AddressCount, 5);

    TSiteRec negative{.Addresses = {"a"}, .AddressCount = -3};
    auto n = readSites(writeSites({SiteNode{negative, {}}}, SiteLayout::Ftp), SiteLayout::Ftp);
    ASSERT_TRUE(n.clean);
    EXPECT_EQ(n.tree[0].rec.AddressCount, 0);
}

TEST(SiteFileWrite, OverlongTextIsCutSoThatTheFileStaysReadable) {
    TSiteRec rec{.HostName = "S", .Password = std::string(100000, '\x01'), .Comments = std::string(100000, 'c')};
    for (SiteLayout layout : {SiteLayout::Ftp, SiteLayout::Telnet, SiteLayout::Finger}) {
        SiteTree t{SiteNode{rec, {}}, SiteNode{{.HostName = "after"}, {}}};
        auto r = readSites(writeSites(t, layout), layout);
        EXPECT_TRUE(r.clean) << int(layout) << "\n" << test::joinWarnings(r);
        EXPECT_EQ(shape(r.tree), "S after");
        EXPECT_EQ(r.tree[0].rec.Comments.size(), kSiteFileMaxLine);
    }
}

TEST(SiteFileWrite, PasswordsRoundTrip) {
    const std::string passwords[] = {
        "",           "a",        "abcde",       "   ",         "  pw  ",  "pw    ", "    pw",
        "p\xC3\xA4ss w\xC3\xB6rd \xE2\x82\xAC",  // UTF-8
        "\xE5\xAF\x86\xE7\xA0\x81",              // CJK
        "\xF0\x9F\x94\x91key",                   // outside the BMP
        "\xFF\xFE\x80 raw bytes",                // not UTF-8 at all
        "tab\there",  "-----",    "0",           "Folder",
    };
    for (SiteLayout layout : {SiteLayout::Ftp, SiteLayout::Telnet}) {
        for (const auto& p : passwords) {
            SiteTree t{SiteNode{{.HostName = "S", .Password = p}, {}}};
            std::string bytes = writeSites(t, layout);
            EXPECT_EQ(bytes.find_first_of(std::string("\0\x01\x02\x03\x04\x05\x06\x07\x08\t\x0B\x0C"
                                                      "\x0E\x0F\x10\x11\x12\x13\x14\x15\x16\x17\x18"
                                                      "\x19\x1A\x1B\x1C\x1D\x1E\x1F\x7F", 31)),
                      std::string::npos) << p;
            EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\r'), std::count(bytes.begin(), bytes.end(), '\n'));
            auto lines = splitCrlf(bytes);
            EXPECT_EQ(lines[8], std::to_string(p.size()));
            auto r = readSites(bytes, layout);
            ASSERT_TRUE(r.clean) << p;
            EXPECT_EQ(r.tree[0].rec.Password, p) << p;
        }
    }
}

TEST(SiteFileWrite, NonAsciiFieldsRoundTrip) {
    const std::string name = "Caf\xC3\xA9 \xE6\x9D\xB1\xE4\xBA\xAC";
    for (SiteLayout layout : {SiteLayout::Ftp, SiteLayout::Finger, SiteLayout::Ping, SiteLayout::Telnet,
                              SiteLayout::Whois}) {
        TSiteRec rec{.HostName = name, .Address = "h\xC3\xB6st.example", .Login = name, .Comments = name};
        if (layout == SiteLayout::Ftp) {
            rec.Addresses = {"h\xC3\xB6st.example"};
            rec.AddressCount = 1;
        }
        SiteTree t{SiteNode{rec, {}}};
        auto r = readSites(writeSites(t, layout), layout);
        EXPECT_TRUE(r.clean);
        EXPECT_EQ(r.tree, t) << int(layout);
    }
}

TEST(SiteFileWrite, LevelsAreTheDepths) {
    auto r = readSites(crlf(Lines{"3"} + ftpRecord("4", "A") + ftpRecord("9", "B") + ftpRecord("-1", "C") + kEnd),
                       SiteLayout::Ftp);
    auto lines = splitCrlf(writeSites(r.tree, SiteLayout::Ftp));
    EXPECT_EQ(lines[2], "0");
    EXPECT_EQ(lines[17], "1");
    EXPECT_EQ(lines[32], "0");
}

} // namespace
} // namespace vn
