// Any bytes a server may send as an MLSD listing: no crash, and nothing unsafe comes out.
#include "ftp/engine/listing/Mlsd.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "mlsd invariant broken: %s\n", what);
    std::abort();
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  vn::ListingLimits limits;
  limits.maxEntries = 500;
  limits.maxLineLength = 4096;
  limits.maxLogLines = 10;
  const vn::ListingResult r = vn::TraduirMLSDList(text, limits);

  check(r.entries.size() <= limits.maxEntries, "entry bound");
  check(r.log.size() <= limits.maxLogLines + 3, "log bound");
  for (const vn::ListingEntry& e : r.entries) {
    check(vn::IsValidEntryName(e.name), "unsafe name");
    check(e.name.find_first_of("\r\n") == std::string::npos, "line end in name");
    check(e.name.size() <= limits.maxLineLength, "name longer than its line");
    check(e.attributes.size() == 1 || e.attributes.size() == 10, "attributes size");
    check(e.linkTarget.empty() || e.kind == vn::ListingEntry::Kind::Link, "target on a non-link");
    check(e.size.find_first_not_of("0123456789") == std::string::npos, "size not digits");
    check(!e.size.empty() || e.sizeValue == 0, "size without its text");
    check(e.mtime >= -1, "time below the unknown marker");
    check(e.date.empty() || e.mtime >= 0, "date without a time");
  }
  for (const std::string& l : r.log) {
    check(!l.empty() && l.size() < 200, "log line size");
    for (char c : l) check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f, "control byte in log line");
  }

  // Fed in pieces, as the data connection delivers it, the listing parses the same.
  vn::ListingParser p(limits, vn::ListingFormat::Mlsd);
  const std::size_t piece = 1 + (size > 0 ? data[0] % 13 : 0);
  for (std::size_t i = 0; i < text.size(); i += piece) p.feed(text.substr(i, piece));
  const vn::ListingResult fed = p.finish();
  check(fed.entries.size() == r.entries.size(), "fed entry count");
  for (std::size_t i = 0; i < fed.entries.size() && i < r.entries.size(); ++i) {
    check(fed.entries[i].name == r.entries[i].name, "fed entry name");
    check(fed.entries[i].mtime == r.entries[i].mtime, "fed entry time");
  }
  check(fed.log == r.log, "fed log");

  // The time parser alone: whatever it accepts is a real moment after year 999.
  if (auto t = vn::parseMlsdTime(text)) check(*t >= -30610224000LL && *t < 253402300800LL, "time range");
  return 0;
}
