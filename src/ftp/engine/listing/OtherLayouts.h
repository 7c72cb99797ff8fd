#pragma once
// LIST layouts of server families other than UNIX "ls -l" and DOS/IIS:
// EPLF ("+facts\tname"), VMS ("NAME.EXT;1  213/216  29-JAN-1996 03:33:12 ..."),
// OS/2 ("  345  A  12-10-97  12:23  name") and NetWare
// ("d [RWCEAFMS] owner  512 Jan 16 18:53 name"). Each is taken only when the
// line has that family's unmistakable shape, which no UNIX or DOS line has.
#include <string_view>

#include "ftp/engine/listing/Listing.h"

namespace vn {

// Fills e (name, kind, size, sizeValue, date, attributes) and returns true
// when the line is one of these layouts; false leaves e untouched.
bool parseOtherLayout(std::string_view line, ListingEntry& e);

} // namespace vn
