#include "ftp/engine/QuickHost.h"

namespace vn {

namespace {

// "[...]" at the start of text, brackets included; empty when there is none.
std::string_view bracketed(std::string_view text) {
    if (text.empty() || text.front() != '[') return {};
    auto close = text.find(']');
    return close == std::string_view::npos ? std::string_view{} : text.substr(0, close + 1);
}

} // namespace

std::string mostrarQuickHost(std::string_view parameter) {
    if (auto b = bracketed(parameter); !b.empty()) return std::string(b);
    auto colon = parameter.find(':');
    if (colon == std::string_view::npos) return std::string(parameter);
    std::string_view rest = parameter.substr(colon + 1);
    while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
    if (auto b = bracketed(rest); !b.empty()) return std::string(b);
    return std::string(rest);
}

HostText splitHostText(std::string_view text) {
    HostText h;
    std::string_view b = bracketed(text);
    if (b.empty()) {
        h.host = std::string(text);
        return h;
    }
    h.host = std::string(b.substr(1, b.size() - 2));
    std::string_view rest = text.substr(b.size());
    if (rest.size() >= 2 && rest.front() == ':' && rest.size() <= 6) {
        int port = 0;
        for (char c : rest.substr(1)) {
            if (c < '0' || c > '9') return h;
            port = port * 10 + (c - '0');
        }
        if (port > 0 && port <= 65535) h.port = port;
    }
    return h;
}

} // namespace vn
