#include "ftp/engine/QuickHost.h"

namespace vn {

std::string mostrarQuickHost(std::string_view parameter) {
    auto colon = parameter.find(':');
    if (colon == std::string_view::npos) return std::string(parameter);
    std::string_view rest = parameter.substr(colon + 1);
    while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
    return std::string(rest);
}

} // namespace vn
