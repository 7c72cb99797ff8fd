#pragma once
// Parsing of the text a server sends for LIST: UNIX-style ("ls -l") and DOS-style lines.
// Pure byte-string work: names come back exactly as the server sent them.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vn {

struct ListingEntry {
  std::string name;                // blanks inside kept; a link's name stops before "->"
  enum class Kind { Folder, Link, File } kind = Kind::File;
  std::string size;                // the size column as written; empty when there is none
  std::string date;                // the date columns as written, inner blanks kept
  std::string attributes;          // UNIX: the first 10 characters; DOS: "d" or " "
  std::string linkTarget;          // what follows "->" on a link line
  std::uint64_t sizeValue = 0;     // the size column as a number; 0 when none or not a number
  std::int64_t mtime = -1;         // exact modification time (UTC seconds) from MLSD; -1 when unknown
  std::string unique;              // MLSD "unique" fact: one folder reached under two names has one
};

// A hostile server must not make us hold unbounded results.
struct ListingLimits {
  std::size_t maxEntries = 1'000'000;
  std::size_t maxLineLength = 64 * 1024;
  std::size_t maxLogLines = 20;    // messages about single dropped lines; then a count
};

struct ListingResult {
  std::vector<ListingEntry> entries;
  std::vector<std::string> log;    // lines for the FTP window's log
  bool truncated = false;          // stopped at maxEntries
};

// Walks a listing line by line. Lines end at CR LF, LF or CR; the text after the
// last line end is one more line (so a listing ending with CR LF ends with an empty line).
class ListingLineReader {
public:
  explicit ListingLineReader(std::string_view text) : text_(text) {}
  // The next line without its line end; false when the text is used up.
  bool next(std::string_view& line);

private:
  std::string_view text_;
  std::size_t pos_ = 0;
  bool done_ = false;
};

// One line to an entry, by layout (DOS when the first character is a digit, UNIX
// otherwise). No name checks here: see IsValidEntryName.
ListingEntry TraduirLinia(std::string_view line);

// False for names we never hand on: empty, ".", "..", or holding "/" or NUL.
bool IsValidEntryName(std::string_view name);

// The whole listing to entries. Line 1 is skipped as a header only when it is not an
// entry ("total 12"); the parse ends at the first empty line. Entries with an invalid
// name are left out ("." and ".." quietly, the others with a log line).
ListingResult TraduirLIST(std::string_view text, const ListingLimits& limits = {});

// What the text is: the answer to LIST, or to MLSD (ftp/engine/listing/Mlsd.h;
// there no header is skipped, empty lines are passed over, and the folder's
// own lines are left out).
enum class ListingFormat { List, Mlsd };

// The same parse, fed as the data arrives: only the line being read is held,
// never the whole text, so a listing costs about the size of its entries.
class ListingParser {
public:
  explicit ListingParser(const ListingLimits& limits = {}, ListingFormat format = ListingFormat::List)
      : limits_(limits), format_(format) {}
  void feed(std::string_view chunk);
  // The last line (text after the last line end) and the result.
  ListingResult finish();

private:
  void line(std::string_view text);
  void note(std::string msg);
  // Takes the complete lines out of pending_.
  void takeLines(bool atEnd, std::size_t searchFrom);

  ListingLimits limits_;
  ListingFormat format_;
  ListingResult r_;
  std::string pending_;
  std::size_t lineNo_ = 0;
  std::size_t endedAt_ = 0;
  std::size_t logged_ = 0, unlogged_ = 0;
  bool ended_ = false;      // an empty line (or the entry limit) ended the parse
  bool restNoted_ = false;  // said that text followed the empty line
  bool skipping_ = false;   // inside a line already too long to keep
};

// Kind letter as used by the folder enumeration: "d" folder, "l" link, otherwise the
// first attribute character in lower case when it is a letter, else "-".
char KindLetter(const ListingEntry& entry);

struct RemoteName {
  char kind;
  std::string name;
};

// Kind letter and name of one line, by the same parser as TraduirLinia;
// nothing when the line gives no valid name.
std::optional<RemoteName> RetornaNomRemot(std::string_view line);

} // namespace vn
