// Any bytes a server may send as an MLSD listing: no crash, and nothing unsafe comes out.
#include "ftp/engine/listing/Mlsd.h"

#include "ListingFuzzChecks.h"

#include <cstdint>
#include <string_view>

namespace {

const vn::fuzz::Invariants check("mlsd");

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const vn::ListingLimits limits = vn::fuzz::fuzzLimits();
  const vn::ListingResult r = vn::TraduirMLSDList(text, limits);

  vn::fuzz::checkBounds(check, r, limits);
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
  vn::fuzz::checkLog(check, r);

  // Fed in pieces, the entries keep their times too.
  const vn::ListingResult fed = vn::fuzz::checkFedInPieces(check, text, r, limits, vn::ListingFormat::Mlsd);
  for (std::size_t i = 0; i < fed.entries.size() && i < r.entries.size(); ++i)
    check(fed.entries[i].mtime == r.entries[i].mtime, "fed entry time");

  // The time parser alone: whatever it accepts is a real moment after year 999.
  if (auto t = vn::parseMlsdTime(text)) check(*t >= -30610224000LL && *t < 253402300800LL, "time range");
  return 0;
}
