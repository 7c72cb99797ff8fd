#include "ftp/engine/listing/Listing.h"

#include <algorithm>

#include "ftp/engine/listing/Mlsd.h"
#include "ftp/engine/listing/OtherLayouts.h"

namespace vn {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

std::string_view trimRight(std::string_view s) {
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view trimLeft(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  return s;
}

// Whole-digit text to a number; 0 when it is not one or does not fit in 64 bits.
std::uint64_t parseSize(std::string_view s) {
  if (s.empty()) return 0;
  std::uint64_t v = 0;
  for (char c : s) {
    if (!isDigit(c)) return 0;
    const auto d = static_cast<std::uint64_t>(c - '0');
    if (v > (UINT64_MAX - d) / 10) return 0;
    v = v * 10 + d;
  }
  return v;
}

// Scans one line; never reads past its end, a field it does not reach stays empty.
class Cursor {
public:
  Cursor(std::string_view s, std::size_t p) : s_(s), p_(std::min(p, s.size())) {}
  void skipBlanks() {
    while (p_ < s_.size() && isBlank(s_[p_])) ++p_;
  }
  std::string_view word() {
    const std::size_t b = p_;
    while (p_ < s_.size() && !isBlank(s_[p_])) ++p_;
    return s_.substr(b, p_ - b);
  }
  bool atDigit() const { return p_ < s_.size() && isDigit(s_[p_]); }
  std::string_view rest() const { return s_.substr(p_); }
  std::size_t pos() const { return p_; }
  void moveTo(std::size_t p) { p_ = std::min(p, s_.size()); }

private:
  std::string_view s_;
  std::size_t p_;
};

bool allDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), isDigit);
}

bool isMonth(std::string_view w) {
  static constexpr std::string_view kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                                 "jul", "aug", "sep", "oct", "nov", "dec"};
  for (std::string_view m : kMonths)
    if (equalsNoCase(w, m)) return true;
  return false;
}

// "YYYY-MM-DD".
bool isIsoDay(std::string_view w) {
  return w.size() == 10 && allDigits(w.substr(0, 4)) && w[4] == '-' && allDigits(w.substr(5, 2)) && w[7] == '-' &&
         allDigits(w.substr(8, 2));
}

// The number of words the date takes at the start of text.
int dateWords(std::string_view text) {
  Cursor c(text, 0);
  if (!isIsoDay(c.word())) return 3;
  c.skipBlanks();
  c.word();  // the time
  c.skipBlanks();
  const std::string_view zone = c.word();
  // "--time-style=full-iso": "2019-03-05 09:08:07.000000000 +0100 name".
  if (zone.size() == 5 && (zone[0] == '+' || zone[0] == '-') && allDigits(zone.substr(1)) && !c.rest().empty())
    return 3;
  return 2;
}

// With no group column the word in the group's place is the size: all digits,
// and a date follows.
bool isSizeBeforeDate(std::string_view group, std::string_view rest) {
  if (!allDigits(group)) return false;
  Cursor c(rest, 0);
  const std::string_view next = c.word();
  return isMonth(next) || isIsoDay(next);
}

void parseUnix(std::string_view line, ListingEntry& e) {
  e.attributes = std::string(line.substr(0, 10));
  const char k = line.empty() ? ' ' : line[0];
  if (k == 'd' || k == 'D')
    e.kind = ListingEntry::Kind::Folder;
  else if (k == 'l' || k == 'L')
    e.kind = ListingEntry::Kind::Link;

  Cursor c(line, 10);
  c.word();  // a mode longer than 10 characters ("drwxr-xr-x+", "-rw-r--r--@") ends here
  c.skipBlanks();
  c.word();  // link count
  c.skipBlanks();
  c.word();  // owner
  c.skipBlanks();
  const std::string_view group = c.word();  // group, or the size when there is no group column
  c.skipBlanks();
  if (c.atDigit() && !isIsoDay(Cursor(c.rest(), 0).word())) {
    e.size = std::string(c.word());
    c.skipBlanks();
  } else if (isSizeBeforeDate(group, c.rest())) {
    // No group column ("-rw-r--r-- 1 ftp 1234 Jan 1 10:00 f"): that word was the size.
    e.size = std::string(group);
  }

  // Date: three words with their blanks ("Jan  5 10:00"), or two in ISO form
  // ("2019-03-05 09:08", three with a zone after the time); it ends at the
  // blank before the word boundary after it.
  const std::size_t start = c.pos();
  const int words = dateWords(c.rest());
  std::size_t i = start;
  int boundaries = 0;
  for (; i < line.size(); ++i) {
    if (isBlank(line[i]) && i + 1 < line.size() && !isBlank(line[i + 1]) && ++boundaries == words) break;
  }
  e.date = std::string(line.substr(start, i - start));
  c.moveTo(i);
  c.skipBlanks();

  std::string_view name = c.rest();
  if (e.kind == ListingEntry::Kind::Link) {
    // Prefer the " -> " that ls writes, so a name holding "->" survives.
    std::size_t arrow = name.find(" -> ");
    arrow = (arrow == std::string_view::npos) ? name.find("->") : arrow + 1;
    if (arrow != std::string_view::npos) {
      e.linkTarget = std::string(trimLeft(name.substr(arrow + 2)));
      name = trimRight(name.substr(0, arrow));
    }
  }
  e.name = std::string(name);
}

void parseDos(std::string_view line, ListingEntry& e) {
  e.attributes = " ";
  Cursor c(line, 0);
  c.word();  // date
  c.skipBlanks();
  c.word();  // time
  e.date = std::string(line.substr(0, c.pos()));
  c.skipBlanks();
  const std::string_view w = c.word();
  if (equalsNoCase(w, "<DIR>")) {
    e.kind = ListingEntry::Kind::Folder;
    e.attributes = "d";
  } else {
    e.size = std::string(w);
  }
  c.skipBlanks();
  e.name = std::string(c.rest());
}

// A name for the log: short, one line, no control bytes, not cut inside a UTF-8 sequence.
std::string shownName(std::string_view name) {
  constexpr std::size_t kMax = 60;
  bool cut = false;
  if (name.size() > kMax) {
    std::size_t n = kMax;
    while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80) --n;
    name = name.substr(0, n);
    cut = true;
  }
  std::string s;
  s.reserve(name.size() + 3);
  for (char ch : name) {
    const auto u = static_cast<unsigned char>(ch);
    s.push_back(u < 0x20 || u == 0x7F ? '?' : ch);
  }
  if (cut) s += "...";
  return s;
}

bool isHeader(std::string_view line, const ListingEntry& e) {
  if (e.name.empty()) return true;
  Cursor c(line, 0);
  return equalsNoCase(c.word(), "total");
}

} // namespace

bool ListingLineReader::next(std::string_view& line) {
  if (done_) return false;
  const std::size_t end = text_.find_first_of("\r\n", pos_);
  if (end == std::string_view::npos) {
    line = text_.substr(pos_);
    done_ = true;
    return true;
  }
  line = text_.substr(pos_, end - pos_);
  pos_ = (text_[end] == '\r' && end + 1 < text_.size() && text_[end + 1] == '\n') ? end + 2 : end + 1;
  return true;
}

ListingEntry TraduirLinia(std::string_view line) {
  ListingEntry e;
  if (parseOtherLayout(line, e)) return e;  // sets its own size value
  if (!line.empty() && isDigit(line[0]))
    parseDos(line, e);
  else
    parseUnix(line, e);
  e.sizeValue = parseSize(e.size);
  return e;
}

bool IsValidEntryName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

ListingResult TraduirLIST(std::string_view text, const ListingLimits& limits) {
  ListingParser p(limits);
  p.feed(text);
  return p.finish();
}

void ListingParser::note(std::string msg) {
  if (logged_ < limits_.maxLogLines) {
    r_.log.push_back(std::move(msg));
    ++logged_;
  } else {
    ++unlogged_;
  }
}

void ListingParser::line(std::string_view text) {
  const std::size_t n = ++lineNo_;
  if (ended_) {
    // The listing ended at an empty line; say so only when something real was left behind.
    if (!restNoted_ && !text.empty()) {
      r_.log.push_back(">Error: empty line " + std::to_string(endedAt_) +
                       " ends the listing; the rest is ignored.");
      restNoted_ = true;
    }
    return;
  }
  if (text.empty() && format_ == ListingFormat::Mlsd) return;
  if (text.empty()) {
    ended_ = true;
    endedAt_ = n;
    return;
  }
  if (text.size() > limits_.maxLineLength) {
    note(">Error: line " + std::to_string(n) + " ignored: longer than " +
         std::to_string(limits_.maxLineLength) + " bytes.");
    return;
  }
  ListingEntry e;
  if (format_ == ListingFormat::Mlsd) {
    auto m = TraduirMLSD(text);
    if (!m) return;  // the folder itself or its parent
    e = std::move(*m);
  } else {
    e = TraduirLinia(text);
    if (n == 1 && isHeader(text, e)) return;
  }
  if (e.name == "." || e.name == "..") return;  // the folder itself and its parent
  if (e.name.empty()) {
    note(">Error: line " + std::to_string(n) + " ignored: no name.");
    return;
  }
  if (!IsValidEntryName(e.name)) {
    note(">Error: entry '" + shownName(e.name) + "' ignored: invalid name.");
    return;
  }
  if (r_.entries.size() >= limits_.maxEntries) {
    r_.truncated = true;
    r_.log.push_back(">Error: listing cut at " + std::to_string(limits_.maxEntries) + " entries.");
    ended_ = true;
    restNoted_ = true;
    return;
  }
  r_.entries.push_back(std::move(e));
}

void ListingParser::takeLines(bool atEnd, std::size_t searchFrom) {
  std::size_t pos = 0;
  for (;;) {
    const std::size_t end = pending_.find_first_of("\r\n", std::max(pos, searchFrom));
    if (end == std::string::npos) break;
    // A CR as the last byte read may be the first half of a CR LF.
    if (pending_[end] == '\r' && end + 1 == pending_.size() && !atEnd) break;
    if (skipping_) {
      // The too-long line was already reported through its length; drop its tail.
      skipping_ = false;
    } else {
      line(std::string_view(pending_).substr(pos, end - pos));
    }
    pos = (pending_[end] == '\r' && end + 1 < pending_.size() && pending_[end + 1] == '\n') ? end + 2 : end + 1;
  }
  pending_.erase(0, pos);
  // A line longer than any we keep is not held: it is reported now and its
  // remaining bytes are dropped as they come.
  if (!skipping_ && pending_.size() > limits_.maxLineLength && !atEnd) {
    line(pending_);
    pending_.clear();
    skipping_ = true;
  } else if (skipping_ && pending_.find_first_of("\r\n") == std::string::npos) {
    pending_.clear();
  }
}

void ListingParser::feed(std::string_view chunk) {
  if (chunk.empty()) return;
  if (skipping_ && pending_.empty()) {
    const std::size_t end = chunk.find_first_of("\r\n");
    if (end == std::string_view::npos) return;
    // Keep the line end so takeLines() ends the skipped line there.
    chunk.remove_prefix(end);
  }
  // Everything before the last byte held is known to hold no line end (but
  // that byte may be a CR waiting for its LF).
  const std::size_t searchFrom = pending_.empty() ? 0 : pending_.size() - 1;
  pending_.append(chunk);
  takeLines(false, searchFrom);
}

ListingResult ListingParser::finish() {
  takeLines(true, 0);
  // The text after the last line end is one more line.
  if (skipping_) skipping_ = false;
  else line(pending_);
  pending_.clear();
  if (unlogged_ > 0) r_.log.push_back(">Error: " + std::to_string(unlogged_) + " more lines ignored.");
  ListingResult out = std::move(r_);
  r_ = {};
  return out;
}

char KindLetter(const ListingEntry& entry) {
  switch (entry.kind) {
  case ListingEntry::Kind::Folder: return 'd';
  case ListingEntry::Kind::Link: return 'l';
  case ListingEntry::Kind::File: break;
  }
  const char c = entry.attributes.empty() ? '-' : lower(entry.attributes[0]);
  return (c >= 'a' && c <= 'z') ? c : '-';
}

std::optional<RemoteName> RetornaNomRemot(std::string_view line) {
  ListingEntry e = TraduirLinia(line);
  if (!IsValidEntryName(e.name)) return std::nullopt;
  return RemoteName{KindLetter(e), std::move(e.name)};
}

} // namespace vn
