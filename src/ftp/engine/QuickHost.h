#pragma once
// The host a command-line parameter names: the whole parameter when it holds
// no ":", else the text after the first ":" with the "/" right after it
// skipped ("ftp://name" gives "name"; "host:21" gives "21").
#include <string>
#include <string_view>

namespace vn {

std::string mostrarQuickHost(std::string_view parameter);

} // namespace vn
