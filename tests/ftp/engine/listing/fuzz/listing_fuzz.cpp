// Any bytes a server may send as a listing: no crash, and nothing unsafe comes out.
#include "ftp/engine/listing/Listing.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "listing invariant broken: %s\n", what);
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
  const vn::ListingResult r = vn::TraduirLIST(text, limits);

  check(r.entries.size() <= limits.maxEntries, "entry bound");
  check(r.log.size() <= limits.maxLogLines + 3, "log bound");
  for (const vn::ListingEntry& e : r.entries) {
    check(!e.name.empty(), "empty name");
    check(e.name != "." && e.name != "..", "dot name");
    check(e.name.find('/') == std::string::npos, "slash in name");
    check(e.name.find('\0') == std::string::npos, "NUL in name");
    check(e.name.find_first_of("\r\n") == std::string::npos, "line end in name");
    check(e.name.size() <= limits.maxLineLength, "name longer than its line");
    check(e.attributes.size() <= 10, "attributes too long");
    check(e.linkTarget.empty() || e.kind == vn::ListingEntry::Kind::Link, "target on a non-link");
  }
  for (const std::string& l : r.log) {
    check(!l.empty() && l.size() < 200, "log line size");
    for (char c : l) check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f, "control byte in log line");
  }

  // Fed in pieces, as the data connection delivers it, the listing parses the same.
  {
    vn::ListingParser p(limits);
    const std::size_t piece = 1 + (size > 0 ? data[0] % 13 : 0);
    for (std::size_t i = 0; i < text.size(); i += piece) p.feed(text.substr(i, piece));
    const vn::ListingResult fed = p.finish();
    check(fed.entries.size() == r.entries.size(), "fed entry count");
    for (std::size_t i = 0; i < fed.entries.size() && i < r.entries.size(); ++i)
      check(fed.entries[i].name == r.entries[i].name, "fed entry name");
    check(fed.log == r.log, "fed log");
  }

  // The folder copy's parser agrees with the list's, line by line.
  vn::ListingLineReader reader(text);
  std::string_view line;
  std::size_t lines = 0;
  while (reader.next(line) && lines++ < 2000) {
    check(line.find_first_of("\r\n") == std::string_view::npos, "line end inside a line");
    if (line.size() > limits.maxLineLength) continue;
    const vn::ListingEntry e = vn::TraduirLinia(line);
    const auto rn = vn::RetornaNomRemot(line);
    check(rn.has_value() == vn::IsValidEntryName(e.name), "RetornaNomRemot validity");
    if (rn) check(rn->name == e.name && rn->kind != ' ', "RetornaNomRemot name");
  }
  return 0;
}
