#pragma once
// Parsing of MLSD listings: one "fact=value;...; name" line per entry, with
// exact sizes, modification times (UTC) and types. Same entries as LIST gives
// (ListingEntry); the name is the text after the first blank, byte for byte.
#include <cstdint>
#include <optional>
#include <string_view>

#include "ftp/engine/listing/Listing.h"

namespace vn {

// One line to an entry. nullopt for a line naming the folder itself or its
// parent (type=cdir, type=pdir), which is no entry. No name checks here: the
// name may be empty or unsafe (see IsValidEntryName).
// Facts used: type (file, dir, OS.unix=slink:target, OS.unix=symlink), size
// or sizd, modify, UNIX.mode. Unknown facts are ignored.
std::optional<ListingEntry> TraduirMLSD(std::string_view line);

// The whole MLSD text to entries, as ListingParser(limits, ListingFormat::Mlsd).
ListingResult TraduirMLSDList(std::string_view text, const ListingLimits& limits = {});

// "YYYYMMDDHHMMSS[.s...]" (UTC) to seconds since the epoch; nullopt when
// malformed, or a field out of range (years 1000..9999).
std::optional<std::int64_t> parseMlsdTime(std::string_view text);

} // namespace vn
