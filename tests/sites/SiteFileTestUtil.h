#pragma once
// Helpers for the site file tests: golden files, line-built inputs, tree shapes.
#include "sites/SiteFile.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace vn::test {

using Lines = std::vector<std::string>;

inline std::string goldenPath(const std::string& name) {
    return std::string(VN_SOURCE_DIR) + "/tests/sites/golden/" + name;
}

inline std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::string crlf(const Lines& lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\r\n";
    return out;
}

inline Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// "A(B(C) D) E": host names, children in brackets.
inline std::string shape(const SiteTree& nodes) {
    std::string out;
    for (const auto& n : nodes) {
        if (!out.empty()) out += ' ';
        out += n.rec.HostName;
        if (!n.children.empty()) out += "(" + shape(n.children) + ")";
    }
    return out;
}

inline int depth(const SiteTree& nodes) {
    int d = 0;
    for (const auto& n : nodes) d = std::max(d, 1 + depth(n.children));
    return d;
}

inline size_t nodeCount(const SiteTree& nodes) {
    size_t n = 0;
    for (const auto& node : nodes) n += 1 + nodeCount(node.children);
    return n;
}

inline std::string joinWarnings(const SiteReadResult& r) {
    std::string out;
    for (const auto& w : r.warnings) out += w + "\n";
    return out;
}

} // namespace vn::test
