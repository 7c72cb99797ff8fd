// LIST layouts beyond "ls -l" and DOS: UNIX variants real servers send, and the
// other server families, each a table of lines as those servers write them.
#include "ftp/engine/listing/Listing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vn {
namespace {

using Kind = ListingEntry::Kind;

struct Case {
  std::string line;
  Kind kind;
  std::string name, size, date;
  std::uint64_t sizeValue;
};

void check(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE("line: " + c.line);
    const ListingEntry e = TraduirLinia(c.line);
    EXPECT_EQ(e.kind, c.kind);
    EXPECT_EQ(e.name, c.name);
    EXPECT_EQ(e.size, c.size);
    EXPECT_EQ(e.date, c.date);
    EXPECT_EQ(e.sizeValue, c.sizeValue);
    EXPECT_LE(e.attributes.size(), 10u);
  }
}

TEST(UnixVariants, IsoDatesMissingGroupsAndNumericOwners) {
  check({
      // ls --time-style=long-iso (BusyBox, some embedded servers)
      {"-rw-r--r--    1 root     root          1234 2019-03-05 09:08 notes.txt", Kind::File, "notes.txt", "1234",
       "2019-03-05 09:08", 1234},
      {"drwxr-xr-x    2 0        0             4096 2021-11-30 23:59 my folder", Kind::Folder, "my folder", "4096",
       "2021-11-30 23:59", 4096},
      // ls --time-style=full-iso
      {"-rw-r--r-- 1 ftp ftp 77 2019-03-05 09:08:07.123456789 +0100 full iso.txt", Kind::File, "full iso.txt", "77",
       "2019-03-05 09:08:07.123456789 +0100", 77},
      {"lrwxrwxrwx 1 ftp ftp 7 2019-03-05 09:08 l -> target", Kind::Link, "l", "7", "2019-03-05 09:08", 7},
      // No group column (some embedded and Windows UNIX-style servers)
      {"-rw-r--r-- 1 ftp 1234 Jan 1 10:00 f", Kind::File, "f", "1234", "Jan 1 10:00", 1234},
      {"-rw-r--r--   1 1000     5368709120 Mar  1  2001 big", Kind::File, "big", "5368709120", "Mar  1  2001",
       5368709120ULL},
      {"drwxr-xr-x 1 owner 0 2020-01-01 00:00 nogroup-iso", Kind::Folder, "nogroup-iso", "0", "2020-01-01 00:00", 0},
      // Numeric owners and groups (vsftpd without name look-ups, pure-ftpd)
      {"-rw-r--r--    1 1000     1000        20480 Mar  1  2001 notes.txt", Kind::File, "notes.txt", "20480",
       "Mar  1  2001", 20480},
      // Owner names with blanks would shift columns; names holding a date-like word stay whole
      {"-rw-r--r-- 1 ftp ftp 5 Jan 1 10:00 2019-03-05 09:08 name", Kind::File, "2019-03-05 09:08 name", "5",
       "Jan 1 10:00", 5},
  });
}

TEST(OtherFamilies, Eplf) {
  check({
      {"+i8388621.29609,m824255902,/,\tdev", Kind::Folder, "dev", "", "824255902", 0},
      {"+i8388621.44468,m839956783,r,s10376,\tRFCEPLF", Kind::File, "RFCEPLF", "10376", "839956783", 10376},
      {"+r,s0,\twith blanks and\ttab", Kind::File, "with blanks and\ttab", "0", "", 0},
  });
}

TEST(OtherFamilies, Vms) {
  check({
      {"CII-MANUAL.TEX;1  213/216  29-JAN-1996 03:33:12  [ANONYMOU,ANONYMOUS]   (RWED,RWED,,)", Kind::File,
       "CII-MANUAL.TEX", "213/216", "29-JAN-1996 03:33:12", 213 * 512},
      {"ETC.DIR;1                    1  25-OCT-2001 10:53:24  [SYSTEM]      (RWE,RWE,RE,RE)", Kind::Folder, "ETC",
       "1", "25-OCT-2001 10:53:24", 512},
      {"LOGIN.COM;12                 2  4-NOV-2003 15:21:09.45  [USER]  (RWED,RWED,RE,)", Kind::File, "LOGIN.COM",
       "2", "4-NOV-2003 15:21:09.45", 1024},
  });
}

TEST(OtherFamilies, Os2) {
  check({
      {"     0           DIR   12-10-97  12:23  dirname", Kind::Folder, "dirname", "", "12-10-97  12:23", 0},
      {"   345      A          12-10-97  12:23  file name.txt", Kind::File, "file name.txt", "345",
       "12-10-97  12:23", 345},
      {" 73433              12-03-98  09:01  NOATTR.ZIP", Kind::File, "NOATTR.ZIP", "73433", "12-03-98  09:01", 73433},
  });
}

TEST(OtherFamilies, NetWare) {
  check({
      {"d [R----F--] supervisor            512       Jan 16 18:53    login", Kind::Folder, "login", "512",
       "Jan 16 18:53", 512},
      {"- [RWCEAFMS] rhesus             214059       Oct 20 15:27    cx.exe", Kind::File, "cx.exe", "214059",
       "Oct 20 15:27", 214059},
      {"- [RWCEAFMS] rhesus                 12       Oct 20  1998    old file", Kind::File, "old file", "12",
       "Oct 20  1998", 12},
  });
}

TEST(OtherFamilies, LinesOfOtherShapesStayWithUnixAndDos) {
  // Close to the new layouts but not of them: parsed as before.
  const ListingEntry unixLine = TraduirLinia("drwxr-xr-x 2 a;1 b 4096 Jan 5 10:00 x;1");
  EXPECT_EQ(unixLine.name, "x;1");
  EXPECT_EQ(unixLine.kind, Kind::Folder);
  const ListingEntry dos = TraduirLinia("01-23-02  10:30AM                 1234 a;1");
  EXPECT_EQ(dos.name, "a;1");
  EXPECT_EQ(dos.sizeValue, 1234u);
  const ListingEntry plus = TraduirLinia("+no tab here");
  EXPECT_EQ(plus.attributes, "+no tab he");
}

} // namespace
} // namespace vn
