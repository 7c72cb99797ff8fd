// MLSD lines to entries: types, exact sizes and times, and what a hostile
// server may send.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "ftp/engine/listing/Mlsd.h"

namespace vn {
namespace {

using Kind = ListingEntry::Kind;

struct LocalZone {
    // Shown dates are local time: fix the zone so the table holds everywhere.
    LocalZone() {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
};
const LocalZone zone;

TEST(Mlsd, LinesGiveEntries) {
    struct Case {
        const char* line;
        const char* name;
        Kind kind;
        const char* size;
        std::uint64_t sizeValue;
        std::int64_t mtime;
        const char* date;
        const char* attributes;
        const char* target;
    } cases[] = {
        // pyftpdlib
        {"type=file;size=6;modify=20261211004502;perm=radfwMT;unix.mode=0644;unix.uid=0;unix.gid=0;unique=803g1; plain.txt",
         "plain.txt", Kind::File, "6", 6, 1796949902, "2026-12-11 00:45", "-rw-r--r--", ""},
        {"type=dir;size=4096;modify=20200101120000;perm=elcdmf;unix.mode=0755; sub", "sub", Kind::Folder, "4096", 4096,
         1577880000, "2020-01-01 12:00", "drwxr-xr-x", ""},
        // proftpd: a link with its target, upper-case fact names
        {"modify=20190305090807;perm=adfr;size=9;type=OS.unix=slink:/srv/ftp/plain.txt;UNIX.group=0;UNIX.mode=0777; link to plain",
         "link to plain", Kind::Link, "9", 9, 1551776887, "2019-03-05 09:08", "lrwxrwxrwx", "/srv/ftp/plain.txt"},
        // pure-ftpd: a size above 4 GiB, fraction of a second
        {"type=file;size=5368709243;modify=20211231235959.123;UNIX.mode=0600; sparse.bin", "sparse.bin", Kind::File,
         "5368709243", 5368709243ull, 1640995199, "2021-12-31 23:59", "-rw-------", ""},
        // a name with blanks and ";" and a leading blank (only the first blank separates)
        {"type=file;size=0;  two; words", " two; words", Kind::File, "0", 0, -1, "", "-", ""},
        // IIS: sizd, no mode, upper-case type
        {"Type=Dir;Modify=20150709143000; Folder A", "Folder A", Kind::Folder, "", 0, 1436452200, "2015-07-09 14:30", "d", ""},
        {"type=OS.unix=symlink;size=3; l", "l", Kind::Link, "3", 3, -1, "", "l", ""},
        {"type=OS.unix=chr-1/3;size=0; null", "null", Kind::File, "0", 0, -1, "", "-", ""},
        // facts it doesn't know or can't read are ignored
        {"x.custom=1;size=12x;modify=2026;type=file; odd", "odd", Kind::File, "", 0, -1, "", "-", ""},
        {"size=18446744073709551616;type=file; too big", "too big", Kind::File, "", 0, -1, "", "-", ""},
        {"type=file;UNIX.mode=0999; badmode", "badmode", Kind::File, "", 0, -1, "", "-", ""},
        {"caf\xc3\xa9.txt", "", Kind::File, "", 0, -1, "", "-", ""},  // no blank: no name
        // two type facts: the last counts, and a link target goes with its type
        {"type=OS.unix=slink:/x;type=file;size=1; twice", "twice", Kind::File, "1", 1, -1, "", "-", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        auto e = TraduirMLSD(c.line);
        ASSERT_TRUE(e);
        EXPECT_EQ(e->name, c.name);
        EXPECT_EQ(e->kind, c.kind);
        EXPECT_EQ(e->size, c.size);
        EXPECT_EQ(e->sizeValue, c.sizeValue);
        EXPECT_EQ(e->mtime, c.mtime);
        EXPECT_EQ(e->date, c.date);
        EXPECT_EQ(e->attributes, c.attributes);
        EXPECT_EQ(e->linkTarget, c.target);
    }
}

TEST(Mlsd, TheFolderItselfAndItsParentAreNoEntries) {
    EXPECT_FALSE(TraduirMLSD("type=cdir;modify=20200101000000; /pub"));
    EXPECT_FALSE(TraduirMLSD("type=pdir;modify=20200101000000; /"));
    EXPECT_FALSE(TraduirMLSD("Type=CDIR; ."));
}

TEST(Mlsd, Times) {
    struct Case {
        const char* text;
        std::int64_t seconds; // -1: refused
    } cases[] = {
        {"19700101000000", 0},
        {"20000229235959", 951868799},
        {"20261211004502.5", 1796949902},
        {"20260230000000", -1},  // no 30 February
        {"19000229000000", -1},  // 1900 is no leap year
        {"20261311000000", -1},
        {"20261211250000", -1},
        {"2026121100450", -1},
        {"20261211004502.", -1},
        {"20261211004502x", -1},
        {"+0261211004502", -1},
        {"", -1},
    };
    for (const auto& c : cases) {
        auto t = parseMlsdTime(c.text);
        if (c.seconds < 0) EXPECT_FALSE(t) << c.text;
        else EXPECT_EQ(t.value_or(-2), c.seconds) << c.text;
    }
}

// A time before 1970 (found by fuzzing) is no time: -1 already means unknown.
TEST(Mlsd, ATimeBefore1970IsUnknown) {
    auto e = TraduirMLSD("type=file;size=1;modify=10100101120000; old");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->mtime, -1);
    EXPECT_EQ(e->date, "");
    auto u = TraduirMLSD("type=dir;unique=803g1;modify=20200101120000; sub");
    ASSERT_TRUE(u);
    EXPECT_EQ(u->unique, "803g1");
}

TEST(Mlsd, HostileRepliesGiveNothingUnsafe) {
    const std::string huge(100000, 'x');
    const std::string text = "type=cdir; /pub\r\n"
                             "type=pdir; ..\r\n"
                             "type=file;size=1; ../../etc/passwd\r\n"
                             "type=file;size=1; a/b\r\n"
                             "type=dir; ..\r\n"
                             "type=file;size=1; .\r\n"
                             "type=file;x=" + huge + "; hidden\r\n"
                             "\r\n"
                             "type=file;size=2;modify=99999999999999; kept\r\n"
                             "type=file;size=1; \r\n"
                             "type=file;size=3; also kept";
    ListingLimits limits;
    limits.maxLineLength = 4096;
    ListingResult r = TraduirMLSDList(text, limits);
    ASSERT_EQ(r.entries.size(), 2u);
    EXPECT_EQ(r.entries[0].name, "kept");
    EXPECT_EQ(r.entries[0].sizeValue, 2u);
    EXPECT_EQ(r.entries[0].mtime, -1);
    EXPECT_EQ(r.entries[1].name, "also kept");
    std::string log;
    for (const auto& l : r.log) log += l + "\n";
    EXPECT_NE(log.find("'../../etc/passwd' ignored"), std::string::npos) << log;
    EXPECT_NE(log.find("'a/b' ignored"), std::string::npos) << log;
    EXPECT_NE(log.find("longer than 4096 bytes"), std::string::npos) << log;
    EXPECT_NE(log.find("no name"), std::string::npos) << log;
}

TEST(Mlsd, FedInPiecesParsesTheSame) {
    const std::string text = "type=file;size=6; a\r\ntype=dir; b\r\n\r\ntype=file;size=7; c d\r\n";
    ListingResult whole = TraduirMLSDList(text);
    ListingParser p({}, ListingFormat::Mlsd);
    for (char c : text) p.feed(std::string_view(&c, 1));
    ListingResult fed = p.finish();
    ASSERT_EQ(whole.entries.size(), 3u);
    ASSERT_EQ(fed.entries.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(fed.entries[i].name, whole.entries[i].name);
    EXPECT_EQ(whole.entries[2].name, "c d");
}

} // namespace
} // namespace vn
