#include "ftp/engine/listing/OtherLayouts.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace vn {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool allDigits(std::string_view s) { return !s.empty() && std::all_of(s.begin(), s.end(), isDigit); }

std::uint64_t number(std::string_view s) {
  if (!allDigits(s)) return 0;
  std::uint64_t v = 0;
  for (char c : s) {
    const auto d = static_cast<std::uint64_t>(c - '0');
    if (v > (UINT64_MAX - d) / 10) return 0;
    v = v * 10 + d;
  }
  return v;
}

// The words of a line with where each starts.
struct Word {
  std::string_view text;
  std::size_t at;
};

std::vector<Word> words(std::string_view line, std::size_t max) {
  std::vector<Word> out;
  std::size_t i = 0;
  while (i < line.size() && out.size() < max) {
    while (i < line.size() && isBlank(line[i])) ++i;
    if (i >= line.size()) break;
    const std::size_t b = i;
    while (i < line.size() && !isBlank(line[i])) ++i;
    out.push_back({line.substr(b, i - b), b});
  }
  return out;
}

// The text after word n and the blanks that follow it.
std::string_view after(std::string_view line, const Word& w) {
  std::size_t i = w.at + w.text.size();
  while (i < line.size() && isBlank(line[i])) ++i;
  return line.substr(i);
}

// "+i8388621.29609,m824255902,/,\tdev" / "+r,s1234,m824255902,\tfile".
bool parseEplf(std::string_view line, ListingEntry& e) {
  if (line.size() < 3 || line[0] != '+') return false;
  const std::size_t tab = line.find('\t');
  if (tab == std::string_view::npos) return false;
  std::string_view facts = line.substr(1, tab - 1);
  ListingEntry r;
  r.attributes = "-";
  while (!facts.empty()) {
    const std::size_t comma = facts.find(',');
    const std::string_view f = facts.substr(0, comma);
    facts = comma == std::string_view::npos ? std::string_view{} : facts.substr(comma + 1);
    if (f == "/") {
      r.kind = ListingEntry::Kind::Folder;
      r.attributes = "d";
    } else if (f.size() > 1 && f[0] == 's' && allDigits(f.substr(1))) {
      r.size = std::string(f.substr(1));
      r.sizeValue = number(r.size);
    } else if (f.size() > 1 && f[0] == 'm' && allDigits(f.substr(1))) {
      r.date = std::string(f.substr(1));
    }
  }
  r.name = std::string(line.substr(tab + 1));
  e = std::move(r);
  return true;
}

// "CII-MANUAL.TEX;1  213/216  29-JAN-1996 03:33:12  [ANONYMOU,ANONYMOUS]  (RWED,RWED,,)"
// "ETC.DIR;1  1  25-OCT-2001 10:53:24  [SYSTEM]  (RWE,RWE,RE,RE)"
bool parseVms(std::string_view line, ListingEntry& e) {
  if (line.empty() || isBlank(line[0])) return false;
  auto w = words(line, 4);
  if (w.size() < 4) return false;
  const std::string_view first = w[0].text;
  const std::size_t semi = first.rfind(';');
  if (semi == std::string_view::npos || semi == 0 || !allDigits(first.substr(semi + 1))) return false;
  // Blocks used, or used/allocated; a day like "29-JAN-1996"; a time.
  const std::string_view blocks = w[1].text.substr(0, w[1].text.find('/'));
  const std::string_view day = w[2].text;
  if (!allDigits(blocks) || day.size() < 10 || day.find('-') == std::string_view::npos) return false;
  if (!isDigit(w[3].text.empty() ? 'x' : w[3].text[0]) || w[3].text.find(':') == std::string_view::npos) return false;
  ListingEntry r;
  std::string_view name = first.substr(0, semi);
  if (name.size() > 4 && name.substr(name.size() - 4) == ".DIR") {
    r.kind = ListingEntry::Kind::Folder;
    r.attributes = "d";
    name.remove_suffix(4);
  } else {
    r.attributes = "-";
  }
  r.name = std::string(name);
  r.size = std::string(w[1].text);
  // Blocks of 512 bytes: the size as near as the listing tells it.
  const std::uint64_t n = number(blocks);
  r.sizeValue = n <= UINT64_MAX / 512 ? n * 512 : 0;
  r.date = std::string(line.substr(w[2].at, w[3].at + w[3].text.size() - w[2].at));
  e = std::move(r);
  return true;
}

// "     0           DIR   12-10-97  12:23  dirname" / "   345      A      12-10-97  12:23  file.txt"
bool parseOs2(std::string_view line, ListingEntry& e) {
  if (line.empty() || !isBlank(line[0])) return false;
  auto w = words(line, 6);
  if (w.size() < 4 || !allDigits(w[0].text)) return false;
  // The day "mm-dd-yy" and the time "hh:mm" after at most two attribute words.
  for (std::size_t d = 1; d + 1 < w.size() && d <= 3; ++d) {
    const std::string_view day = w[d].text, time = w[d + 1].text;
    if (day.size() != 8 || day[2] != '-' || day[5] != '-' || !allDigits(day.substr(0, 2)) ||
        !allDigits(day.substr(3, 2)) || !allDigits(day.substr(6, 2)))
      continue;
    if (time.size() != 5 || time[2] != ':' || !allDigits(time.substr(0, 2)) || !allDigits(time.substr(3, 2)))
      return false;
    ListingEntry r;
    r.attributes = "-";
    for (std::size_t a = 1; a < d; ++a)
      if (w[a].text == "DIR") {
        r.kind = ListingEntry::Kind::Folder;
        r.attributes = "d";
      }
    if (r.kind != ListingEntry::Kind::Folder) {
      r.size = std::string(w[0].text);
      r.sizeValue = number(r.size);
    }
    r.date = std::string(line.substr(w[d].at, w[d + 1].at + time.size() - w[d].at));
    r.name = std::string(after(line, w[d + 1]));
    e = std::move(r);
    return true;
  }
  return false;
}

// "d [R----F--] supervisor            512       Jan 16 18:53    login"
// "- [RWCEAFMS] rhesus             214059       Oct 20 15:27    cx.exe"
bool parseNetware(std::string_view line, ListingEntry& e) {
  if (line.size() < 5 || (line[0] != 'd' && line[0] != '-') || line[1] != ' ' || line[2] != '[') return false;
  const std::size_t close = line.find(']');
  if (close == std::string_view::npos || close > 14) return false;
  auto w = words(line.substr(close + 1), 5);
  if (w.size() < 5 || !allDigits(w[1].text)) return false;
  ListingEntry r;
  const std::string_view rest = line.substr(close + 1);
  r.kind = line[0] == 'd' ? ListingEntry::Kind::Folder : ListingEntry::Kind::File;
  r.attributes = std::string(1, line[0]);
  r.size = std::string(w[1].text);
  r.sizeValue = number(r.size);
  r.date = std::string(rest.substr(w[2].at, w[4].at + w[4].text.size() - w[2].at));
  r.name = std::string(after(rest, w[4]));
  e = std::move(r);
  return true;
}

} // namespace

bool parseOtherLayout(std::string_view line, ListingEntry& e) {
  return parseEplf(line, e) || parseNetware(line, e) || parseVms(line, e) || parseOs2(line, e);
}

} // namespace vn
