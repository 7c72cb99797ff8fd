#pragma once
// The host a command-line parameter names: the whole parameter when it holds
// no ":", else the text after the first ":" with the "/" right after it
// skipped ("ftp://name" gives "name"; "host:21" gives "21"). A literal IPv6
// address in brackets is kept whole, with its brackets ("ftp://[::1]:2121/"
// and "[::1]:2121" give "[::1]"): its own colons are no separator.
#include <string>
#include <string_view>

namespace vn {

std::string mostrarQuickHost(std::string_view parameter);

// A host as typed: "[v6]", "[v6]:port", a bare IPv6 literal, a dotted IPv4
// address or a name. The brackets go; the port is 0 when none was written
// (or it is no number 1..65535).
struct HostText {
    std::string host;
    int port = 0;
};
HostText splitHostText(std::string_view text);

} // namespace vn
