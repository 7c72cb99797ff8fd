#include "ftp/engine/copy/CopyPaths.h"

namespace vn {

std::string withSlash(std::string_view path) {
    std::string s(path);
    if (!s.empty() && s.back() != '/') s.push_back('/');
    return s;
}

std::string withoutSlash(std::string_view path) {
    std::string s(path);
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

std::string lastComponent(std::string_view path) {
    std::string s = withoutSlash(path);
    if (s == "/") return {};
    auto slash = s.find_last_of('/');
    return slash == std::string::npos ? s : s.substr(slash + 1);
}

bool isSameOrBelow(std::string_view folder, std::string_view path) {
    if (folder.empty() || path.empty()) return false;
    const std::string f = withSlash(folder);
    const std::string p = withSlash(path);
    return p.compare(0, f.size(), f) == 0;
}

bool isSafeComponent(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (char c : name)
        if (c == '/' || c == '\0' || c == '\r' || c == '\n') return false;
    return true;
}

bool isPlainAbsolutePath(std::string_view path) {
    if (path.size() < 2 || path.front() != '/') return false;
    std::string_view rest = path.substr(1);
    if (rest.back() == '/') rest.remove_suffix(1);
    while (!rest.empty()) {
        auto slash = rest.find('/');
        std::string_view part = rest.substr(0, slash);
        if (!isSafeComponent(part)) return false;
        if (slash == std::string_view::npos) break;
        rest.remove_prefix(slash + 1);
        if (rest.empty()) return false; // "//" or a trailing "//"
    }
    return true;
}

} // namespace vn
