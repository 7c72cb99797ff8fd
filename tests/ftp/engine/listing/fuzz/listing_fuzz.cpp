// Any bytes a server may send as a listing: no crash, and nothing unsafe comes out.
#include "ftp/engine/listing/Listing.h"

#include "ListingFuzzChecks.h"

#include <cstdint>
#include <string_view>

namespace {

const vn::fuzz::Invariants check("listing");

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const vn::ListingLimits limits = vn::fuzz::fuzzLimits();
  const vn::ListingResult r = vn::TraduirLIST(text, limits);

  vn::fuzz::checkBounds(check, r, limits);
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
  vn::fuzz::checkLog(check, r);
  vn::fuzz::checkFedInPieces(check, text, r, limits, vn::ListingFormat::List);

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
