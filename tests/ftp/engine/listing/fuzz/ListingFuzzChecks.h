#pragma once
// What the listing fuzz targets check alike, whatever the format: the result
// stays in its bounds, its log is short printable lines, and the same bytes
// fed in pieces parse the same.
#include "ftp/engine/listing/Listing.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace vn::fuzz {

// Aborts at the first broken invariant, naming the parser and the invariant.
class Invariants {
public:
  explicit Invariants(const char* parser) : parser_(parser) {}
  void operator()(bool ok, const char* what) const {
    if (!ok) {
      std::fprintf(stderr, "%s invariant broken: %s\n", parser_, what);
      std::abort();
    }
  }

private:
  const char* parser_;
};

// Small, so that inputs reach them.
inline ListingLimits fuzzLimits() {
  ListingLimits limits;
  limits.maxEntries = 500;
  limits.maxLineLength = 4096;
  limits.maxLogLines = 10;
  return limits;
}

inline void checkBounds(const Invariants& check, const ListingResult& r, const ListingLimits& limits) {
  check(r.entries.size() <= limits.maxEntries, "entry bound");
  check(r.log.size() <= limits.maxLogLines + 3, "log bound");
}

inline void checkLog(const Invariants& check, const ListingResult& r) {
  for (const std::string& l : r.log) {
    check(!l.empty() && l.size() < 200, "log line size");
    for (char c : l) check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f, "control byte in log line");
  }
}

// Fed in pieces, as the data connection delivers it, the listing parses the
// same: the same names and log. The pieces' size comes from the first byte.
inline ListingResult checkFedInPieces(const Invariants& check, std::string_view text, const ListingResult& whole,
                                      const ListingLimits& limits, ListingFormat format) {
  ListingParser p(limits, format);
  const std::size_t piece = 1 + (text.empty() ? 0 : static_cast<unsigned char>(text[0]) % 13);
  for (std::size_t i = 0; i < text.size(); i += piece) p.feed(text.substr(i, piece));
  ListingResult fed = p.finish();
  check(fed.entries.size() == whole.entries.size(), "fed entry count");
  for (std::size_t i = 0; i < fed.entries.size() && i < whole.entries.size(); ++i)
    check(fed.entries[i].name == whole.entries[i].name, "fed entry name");
  check(fed.log == whole.log, "fed log");
  return fed;
}

} // namespace vn::fuzz
