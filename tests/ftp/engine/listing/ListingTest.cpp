#include "ftp/engine/listing/Listing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using vn::ListingEntry;
using Kind = vn::ListingEntry::Kind;
using namespace std::string_literals;

namespace {

const char* kindName(Kind k) {
  switch (k) {
  case Kind::Folder: return "folder";
  case Kind::Link: return "link";
  case Kind::File: return "file";
  }
  return "?";
}

struct LineCase {
  std::string line;
  Kind kind;
  std::string name, size, date, attributes, linkTarget;
  std::uint64_t sizeValue;
};

const std::vector<LineCase>& lineCases() {
  static const std::vector<LineCase> cases = {
      // UNIX: three blanks after the mode, two before the day.
      {"drwxr-xr-x   2 ftp ftp 4096 Jan  5 10:00 pub", Kind::Folder, "pub", "4096", "Jan  5 10:00",
       "drwxr-xr-x", "", 4096},
      {"-rw-r--r-- 1 ftp ftp 1234 Mar 1 2001 my file.txt", Kind::File, "my file.txt", "1234", "Mar 1 2001",
       "-rw-r--r--", "", 1234},
      // vsftpd pads the year to the width of a time.
      {"-rw-r--r--    1 1000     1000        20480 Mar  1  2001 notes.txt", Kind::File, "notes.txt", "20480",
       "Mar  1  2001", "-rw-r--r--", "", 20480},
      {"lrwxrwxrwx 1 root root 7 Jan 1 10:00 my-link -> target", Kind::Link, "my-link", "7", "Jan 1 10:00",
       "lrwxrwxrwx", "target", 7},
      {"lrwxrwxrwx 1 root root 7 Jan 1 10:00 a->b -> ../c d", Kind::Link, "a->b", "7", "Jan 1 10:00",
       "lrwxrwxrwx", "../c d", 7},
      {"lrwxrwxrwx 1 root root 7 Jan 1 10:00 x->y", Kind::Link, "x", "7", "Jan 1 10:00", "lrwxrwxrwx", "y", 7},
      {"lrwxrwxrwx 1 root root 7 Jan 1 10:00 plain", Kind::Link, "plain", "7", "Jan 1 10:00", "lrwxrwxrwx", "", 7},
      // Only links are cut at the arrow.
      {"-rw-r--r-- 1 ftp ftp 7 Jan 1 10:00 not -> link", Kind::File, "not -> link", "7", "Jan 1 10:00",
       "-rw-r--r--", "", 7},
      // No group column: the word in the group's place is the size when a date follows.
      {"-rw-r--r-- 1 ftp 1234 Jan 1 10:00 f", Kind::File, "f", "1234", "Jan 1 10:00", "-rw-r--r--", "", 1234},
      {"Drwx------ 1 a b 0 Feb 29 2000 Upper", Kind::Folder, "Upper", "0", "Feb 29 2000", "Drwx------", "", 0},
      {"Lrwx------ 1 a b 0 Feb 29 2000 UL -> x", Kind::Link, "UL", "0", "Feb 29 2000", "Lrwx------", "x", 0},
      {"prw-r--r-- 1 a b 0 Jan 1 10:00 fifo", Kind::File, "fifo", "0", "Jan 1 10:00", "prw-r--r--", "", 0},
      {"srwxrwxrwx 1 a b 0 Jan 1 10:00 sock", Kind::File, "sock", "0", "Jan 1 10:00", "srwxrwxrwx", "", 0},
      // A mode with an ACL or xattr marker is still one word.
      {"drwxr-xr-x+ 2 ftp ftp 4096 Jan 5 10:00 acl", Kind::Folder, "acl", "4096", "Jan 5 10:00", "drwxr-xr-x",
       "", 4096},
      {"-rw-r--r--@ 1 ftp ftp 9 Jan 5 10:00 mac", Kind::File, "mac", "9", "Jan 5 10:00", "-rw-r--r--", "", 9},
      // Sizes beyond 32 bits.
      {"-rw-r--r-- 1 ftp ftp 5368709120 Jan 1 10:00 big.iso", Kind::File, "big.iso", "5368709120",
       "Jan 1 10:00", "-rw-r--r--", "", 5368709120ULL},
      {"-rw-r--r-- 1 ftp ftp 18446744073709551615 Jan 1 10:00 max", Kind::File, "max",
       "18446744073709551615", "Jan 1 10:00", "-rw-r--r--", "", UINT64_MAX},
      {"-rw-r--r-- 1 ftp ftp 18446744073709551616 Jan 1 10:00 over", Kind::File, "over",
       "18446744073709551616", "Jan 1 10:00", "-rw-r--r--", "", 0},
      {"-rw-r--r-- 1 ftp ftp 12K Jan 1 10:00 human", Kind::File, "human", "12K", "Jan 1 10:00", "-rw-r--r--",
       "", 0},
      // Extra blanks before the name stay with the date; the name starts at its first non-blank.
      {"-rw-r--r-- 1 ftp ftp 1 Jan 1 10:00   lead", Kind::File, "lead", "1", "Jan 1 10:00  ", "-rw-r--r--", "",
       1},
      {"-rw-r--r-- 1 ftp ftp 1 Jan 1 10:00 trail  ", Kind::File, "trail  ", "1", "Jan 1 10:00", "-rw-r--r--",
       "", 1},
      {"-rw-r--r--\t1\tftp\tftp\t3\tJan\t1\t10:00\ttabs", Kind::File, "tabs", "3", "Jan\t1\t10:00", "-rw-r--r--",
       "", 3},
      // Names are bytes: UTF-8 and Latin-1 come back untouched.
      {"-rw-r--r-- 1 ftp ftp 3 Jan 1 10:00 caf\xc3\xa9 \xe2\x82\xac.txt", Kind::File,
       "caf\xc3\xa9 \xe2\x82\xac.txt", "3", "Jan 1 10:00", "-rw-r--r--", "", 3},
      {"-rw-r--r-- 1 ftp ftp 3 Jan 1 10:00 \xe9t\xe9\xff", Kind::File, "\xe9t\xe9\xff", "3", "Jan 1 10:00",
       "-rw-r--r--", "", 3},
      // DOS / IIS layout.
      {"01-23-02  10:30AM       <DIR>          Old Files", Kind::Folder, "Old Files", "", "01-23-02  10:30AM",
       "d", "", 0},
      {"01-23-02  10:30AM                 1234 readme.txt", Kind::File, "readme.txt", "1234",
       "01-23-02  10:30AM", " ", "", 1234},
      {"12-31-23  11:59PM           6442450944 disk image.img", Kind::File, "disk image.img", "6442450944",
       "12-31-23  11:59PM", " ", "", 6442450944ULL},
      {"01-23-02 10:30AM <dir> lower", Kind::Folder, "lower", "", "01-23-02 10:30AM", "d", "", 0},
      // Short lines: fields the line does not reach stay empty.
      {"drwxr-xr-x", Kind::Folder, "", "", "", "drwxr-xr-x", "", 0},
      {"drwxr-xr-x 2 ftp ftp 4096 Jan", Kind::Folder, "", "4096", "Jan", "drwxr-xr-x", "", 4096},
      {"total 12", Kind::File, "", "", "", "total 12", "", 0},
      {"01-23-02", Kind::File, "", "", "01-23-02", " ", "", 0},
      {"", Kind::File, "", "", "", "", "", 0},
  };
  return cases;
}

TEST(TraduirLinia, ParsesEachLayout) {
  for (const LineCase& c : lineCases()) {
    SCOPED_TRACE("line: " + c.line);
    const ListingEntry e = vn::TraduirLinia(c.line);
    EXPECT_STREQ(kindName(e.kind), kindName(c.kind));
    EXPECT_EQ(e.name, c.name);
    EXPECT_EQ(e.size, c.size);
    EXPECT_EQ(e.date, c.date);
    EXPECT_EQ(e.attributes, c.attributes);
    EXPECT_EQ(e.linkTarget, c.linkTarget);
    EXPECT_EQ(e.sizeValue, c.sizeValue);
  }
}

// The folder copy gets the same names as the list, whatever the layout.
TEST(RetornaNomRemot, AgreesWithTheListParser) {
  struct Case {
    std::string line;
    char kind;
    std::string name;
  };
  const std::vector<Case> cases = {
      {"drwxr-xr-x   2 ftp ftp 4096 Jan  5 10:00 pub", 'd', "pub"},
      {"-rw-r--r-- 1 ftp ftp 1234 Mar 1 2001 my file.txt", '-', "my file.txt"},
      {"lrwxrwxrwx 1 root root 7 Jan 1 10:00 my-link -> target", 'l', "my-link"},
      {"-rw-r--r-- 1 ftp 1234 Jan 1 10:00 no group", '-', "no group"},
      {"Drwx------ 1 a b 0 Feb 29 2000 Upper", 'd', "Upper"},
      {"prw-r--r-- 1 a b 0 Jan 1 10:00 fifo", 'p', "fifo"},
      {"01-23-02  10:30AM       <DIR>          Old Files", 'd', "Old Files"},
      {"01-23-02  10:30AM                 1234 readme.txt", '-', "readme.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("line: " + c.line);
    const auto r = vn::RetornaNomRemot(c.line);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->kind, c.kind);
    EXPECT_EQ(r->name, c.name);
    EXPECT_EQ(r->name, vn::TraduirLinia(c.line).name);
  }
}

TEST(RetornaNomRemot, GivesNothingForUnsafeOrMissingNames) {
  for (const std::string& line : {"drwxr-xr-x 2 ftp ftp 4096 Jan 5 10:00 ."s,
                                 "drwxr-xr-x 2 ftp ftp 4096 Jan 5 10:00 .."s,
                                 "drwxr-xr-x 2 ftp ftp 4096 Jan 5 10:00 ../../etc"s,
                                 "-rw-r--r-- 1 ftp ftp 1 Jan 5 10:00 a/b"s,
                                 "-rw-r--r-- 1 ftp ftp 1 Jan 5 10:00 a\0b"s,
                                 "01-23-02  10:30AM       <DIR>          /"s,
                                 "01-23-02  10:30AM       <DIR>"s, "total 12"s, ""s}) {
    SCOPED_TRACE("line: " + line);
    EXPECT_FALSE(vn::RetornaNomRemot(line).has_value());
  }
}

std::vector<std::string> names(const vn::ListingResult& r) {
  std::vector<std::string> out;
  for (const auto& e : r.entries) out.push_back(e.name);
  return out;
}

std::string join(const std::vector<std::string>& lines, const std::string& eol) {
  std::string s;
  for (const auto& l : lines) s += l + eol;
  return s;
}

const std::vector<std::string> kUnix = {
    "total 12",
    "drwxr-xr-x   2 ftp ftp 4096 Jan  5 10:00 pub",
    "-rw-r--r--   1 ftp ftp 1234 Mar  1  2001 my file.txt",
    "lrwxrwxrwx   1 ftp ftp    3 Jan  1 10:00 up -> pub",
};

TEST(TraduirLIST, LineEndsCrLfLfAndCrGiveTheSameEntries) {
  for (const std::string& eol : {"\r\n"s, "\n"s, "\r"s}) {
    SCOPED_TRACE("eol size " + std::to_string(eol.size()) + " first " + std::to_string(int(eol[0])));
    for (const bool lastEnded : {true, false}) {
      std::string text = join(kUnix, eol);
      if (!lastEnded) text.resize(text.size() - eol.size());
      const auto r = vn::TraduirLIST(text);
      EXPECT_EQ(names(r), (std::vector<std::string>{"pub", "my file.txt", "up"}));
      EXPECT_TRUE(r.log.empty());
    }
  }
  const auto mixed = vn::TraduirLIST("total 1\r\n" + kUnix[1] + "\n" + kUnix[2] + "\r" + kUnix[3]);
  EXPECT_EQ(names(mixed), (std::vector<std::string>{"pub", "my file.txt", "up"}));
}

TEST(TraduirLIST, FirstLineIsAHeaderOnlyWhenItIsNoEntry) {
  struct Case {
    std::string text;
    std::vector<std::string> names;
  };
  const std::vector<Case> cases = {
      {"total 12\r\n" + kUnix[1] + "\r\n", {"pub"}},
      {"TOTAL 0\r\n" + kUnix[1] + "\r\n", {"pub"}},
      {"total 0\r\n", {}},
      {kUnix[1] + "\r\n" + kUnix[2] + "\r\n", {"pub", "my file.txt"}},
      // Listings that start with a link or with a DOS entry keep their first entry.
      {kUnix[3] + "\r\n" + kUnix[1] + "\r\n", {"up", "pub"}},
      {"01-23-02  10:30AM       <DIR>          Old Files\r\n"
       "01-23-02  10:31AM                 1234 readme.txt\r\n",
       {"Old Files", "readme.txt"}},
      {"Ddir listing\r\n" + kUnix[1], {"pub"}},
      {"drwxr-xr-x 2 ftp ftp 4096 Jan  5 10:00 .\r\n"
       "drwxr-xr-x 2 ftp ftp 4096 Jan  5 10:00 ..\r\n" +
           kUnix[1],
       {"pub"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("listing: " + c.text);
    const auto r = vn::TraduirLIST(c.text);
    EXPECT_EQ(names(r), c.names);
    EXPECT_TRUE(r.log.empty()) << r.log.front();
  }
}

TEST(TraduirLIST, EmptyListingsGiveNothingAndNoError) {
  for (const std::string& text : {""s, "\r\n"s, "\n"s, "\r\n\r\n"s}) {
    const auto r = vn::TraduirLIST(text);
    EXPECT_TRUE(r.entries.empty());
    EXPECT_TRUE(r.log.empty());
  }
}

TEST(TraduirLIST, EmptyLineEndsTheParseAndSaysSoWhenEntriesFollow) {
  const auto r = vn::TraduirLIST(kUnix[1] + "\r\n\r\n" + kUnix[2] + "\r\n");
  EXPECT_EQ(names(r), std::vector<std::string>{"pub"});
  ASSERT_EQ(r.log.size(), 1u);
  EXPECT_EQ(r.log[0], ">Error: empty line 2 ends the listing; the rest is ignored.");

  // Blank line ends at the tail are not worth a message.
  const auto tail = vn::TraduirLIST(kUnix[1] + "\n\n\n");
  EXPECT_EQ(names(tail), std::vector<std::string>{"pub"});
  EXPECT_TRUE(tail.log.empty());
}

TEST(TraduirLIST, UnsafeNamesAreDroppedWithALogLine) {
  const std::string text = "total 9\r\n"
                           "drwxr-xr-x 2 ftp ftp 4096 Jan  5 10:00 .\r\n"
                           "drwxr-xr-x 2 ftp ftp 4096 Jan  5 10:00 ..\r\n"
                           "drwxr-xr-x 2 ftp ftp 4096 Jan  5 10:00 ../../etc\r\n"
                           "-rw-r--r-- 1 ftp ftp 1 Jan 5 10:00 a/b\r\n"
                           "-rw-r--r-- 1 ftp ftp 1 Jan 5 10:00 x\0y\r\n"s
                           "lrwxrwxrwx 1 ftp ftp 1 Jan 5 10:00  -> /etc\r\n"
                           "-rw-r--r-- 1 ftp ftp 1 Jan 5 10:00 good\r\n"
                           "01-23-02  10:30AM       <DIR>          ..\r\n"
                           "01-23-02  10:30AM       <DIR>          C:/Windows\r\n"
                           "01-23-02  10:30AM                 1234\r\n";
  const auto r = vn::TraduirLIST(text);
  EXPECT_EQ(names(r), std::vector<std::string>{"good"});
  EXPECT_EQ(r.log, (std::vector<std::string>{
                       ">Error: entry '../../etc' ignored: invalid name.",
                       ">Error: entry 'a/b' ignored: invalid name.",
                       ">Error: entry 'x?y' ignored: invalid name.",
                       ">Error: line 7 ignored: no name.",
                       ">Error: entry 'C:/Windows' ignored: invalid name.",
                       ">Error: line 11 ignored: no name.",
                   }));
}

TEST(TraduirLIST, LogShowsALongNameShortAndOnOneLine) {
  const std::string name = std::string(100, 'a') + "/\x1b[2J\xc3\xa9";
  const auto r = vn::TraduirLIST("-rw-r--r-- 1 ftp ftp 1 Jan 5 10:00 " + name + "\r\n");
  ASSERT_EQ(r.log.size(), 1u);
  EXPECT_EQ(r.log[0], ">Error: entry '" + std::string(60, 'a') + "...' ignored: invalid name.");

  // Not cut inside a UTF-8 sequence.
  const std::string utf = std::string(59, 'b') + "\xc3\xa9/x";
  const auto u = vn::TraduirLIST("-rw-r--r-- 1 ftp ftp 1 Jan 5 10:00 " + utf);
  ASSERT_EQ(u.log.size(), 1u);
  EXPECT_EQ(u.log[0], ">Error: entry '" + std::string(59, 'b') + "...' ignored: invalid name.");
}

TEST(TraduirLIST, GiganticLineIsSkippedAndTheRestKept) {
  const std::string huge = "-rw-r--r-- 1 ftp ftp 1 Jan 5 10:00 " + std::string(1 << 20, 'x');
  const auto r = vn::TraduirLIST(kUnix[1] + "\r\n" + huge + "\r\n" + kUnix[2] + "\r\n");
  EXPECT_EQ(names(r), (std::vector<std::string>{"pub", "my file.txt"}));
  ASSERT_EQ(r.log.size(), 1u);
  EXPECT_EQ(r.log[0], ">Error: line 2 ignored: longer than 65536 bytes.");

  // A line exactly at the bound is still read.
  const std::string prefix = "-rw-r--r-- 1 ftp ftp 1 Jan 5 10:00 ";
  const std::string atBound = prefix + std::string(64 * 1024 - prefix.size(), 'n');
  const auto b = vn::TraduirLIST(atBound);
  ASSERT_EQ(b.entries.size(), 1u);
  EXPECT_EQ(b.entries[0].name.size(), 64 * 1024 - prefix.size());
}

TEST(TraduirLIST, EntryCountIsBounded) {
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "-rw-r--r-- 1 ftp ftp 1 Jan 5 10:00 f" + std::to_string(i) + "\n";
  vn::ListingLimits limits;
  limits.maxEntries = 1000;
  const auto r = vn::TraduirLIST(text, limits);
  ASSERT_EQ(r.entries.size(), 1000u);
  EXPECT_EQ(r.entries.back().name, "f999");
  EXPECT_TRUE(r.truncated);
  EXPECT_EQ(r.log, std::vector<std::string>{">Error: listing cut at 1000 entries."});
}

TEST(TraduirLIST, MillionsOfLinesStayWithinTheDefaultBounds) {
  const std::string line = "-rw-r--r-- 1 a b 1 Jan 5 10:00 f\n";
  const std::size_t lines = 1'000'000 + 5;
  std::string text;
  text.reserve(line.size() * lines);
  for (std::size_t i = 0; i < lines; ++i) text += line;
  const auto r = vn::TraduirLIST(text);
  EXPECT_EQ(r.entries.size(), 1'000'000u);
  EXPECT_TRUE(r.truncated);
  EXPECT_EQ(r.log, std::vector<std::string>{">Error: listing cut at 1000000 entries."});
}

TEST(TraduirLIST, MessagesAboutDroppedLinesAreBounded) {
  std::string text = kUnix[1] + "\n";
  for (int i = 0; i < 200000; ++i) text += "-rw-r--r-- 1 ftp ftp 1 Jan 5 10:00 a/b\n";
  text += kUnix[2];
  const auto r = vn::TraduirLIST(text);
  EXPECT_EQ(names(r), (std::vector<std::string>{"pub", "my file.txt"}));
  ASSERT_EQ(r.log.size(), 21u);
  EXPECT_EQ(r.log.back(), ">Error: 199980 more lines ignored.");
}

TEST(TraduirLIST, SizesAndNamesComeThroughByteForByte) {
  const std::string latin1 = "\xe9t\xe9 \xc0 la plage";
  const auto r = vn::TraduirLIST("-rw-r--r-- 1 ftp ftp 4294967296 Jan 5 10:00 " + latin1 +
                                 "\r\n01-23-02  10:30AM          10737418240 " + latin1 + ".bak\r\n");
  ASSERT_EQ(r.entries.size(), 2u);
  EXPECT_EQ(r.entries[0].name, latin1);
  EXPECT_EQ(r.entries[0].sizeValue, 4294967296ULL);
  EXPECT_EQ(r.entries[1].name, latin1 + ".bak");
  EXPECT_EQ(r.entries[1].sizeValue, 10737418240ULL);
}

} // namespace

namespace {

vn::ListingResult fedInChunks(const std::string& text, std::size_t chunk, const vn::ListingLimits& limits = {}) {
  vn::ListingParser p(limits);
  for (std::size_t i = 0; i < text.size(); i += chunk) p.feed(std::string_view(text).substr(i, chunk));
  return p.finish();
}

}  // namespace

TEST(ListingParser, FedInPiecesGivesWhatTheWholeTextGives) {
  const std::string huge = "-rw-r--r-- 1 ftp ftp 1 Jan 5 10:00 " + std::string(70000, 'x');
  const std::vector<std::string> texts = {
      join(kUnix, "\r\n"),
      join(kUnix, "\r"),
      join(kUnix, "\n") + "\n",
      "total 1\r\n" + kUnix[1] + "\n" + kUnix[2] + "\r" + kUnix[3],
      kUnix[1] + "\r\n\r\n" + kUnix[2] + "\r\n",
      kUnix[1] + "\r\n" + huge + "\r\n" + kUnix[2] + "\r\n",
      kUnix[1] + "\r\n" + huge,
      huge + "\r" + kUnix[2],
      "-rw-r--r-- 1 ftp ftp 1 Jan 5 10:00 a/b\r\n" + kUnix[2],
      "",
      "\r\n",
  };
  for (const auto& text : texts) {
    const auto whole = vn::TraduirLIST(text);
    for (std::size_t chunk : {1u, 2u, 3u, 7u, 1000u, 65536u}) {
      SCOPED_TRACE("chunk " + std::to_string(chunk) + ", text of " + std::to_string(text.size()) + " bytes");
      const auto pieces = fedInChunks(text, chunk);
      EXPECT_EQ(names(pieces), names(whole));
      EXPECT_EQ(pieces.log, whole.log);
    }
  }
}
