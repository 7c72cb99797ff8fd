// Site file reader: no input may crash it, the tree stays within its depth,
// and one read/write pass reaches the fixed point:
// write(read(write(read(x)))) == write(read(x)).
// The first byte picks the layout. Also checks the scramblers on the same bytes.
#include "sites/SiteFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "sitefile_fuzz: %s\n", what);
        std::abort();
    }
}

int depth(const vn::SiteTree& nodes) {
    int d = 0;
    for (const auto& n : nodes) {
        int c = 1 + depth(n.children);
        if (c > d) d = c;
    }
    return d;
}

bool hasControl(const std::string& s) {
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F) return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    constexpr vn::SiteLayout layouts[] = {vn::SiteLayout::Ftp, vn::SiteLayout::Finger, vn::SiteLayout::Ping,
                                          vn::SiteLayout::Telnet, vn::SiteLayout::Whois};
    const vn::SiteLayout layout = layouts[data[0] % 5];
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);

    vn::SiteReadResult first = vn::readSites(input, layout);
    require(first.clean == first.warnings.empty(), "clean flag and warnings disagree");
    require(depth(first.tree) <= vn::kSiteTreeMaxDepth, "tree deeper than the cap");

    const std::string once = vn::writeSites(first.tree, layout);
    vn::SiteReadResult second = vn::readSites(once, layout);
    if (once.size() <= vn::kSiteFileMaxBytes) require(second.clean, "written file does not read cleanly");
    require(vn::writeSites(second.tree, layout) == once, "write(read(x)) is not a fixed point");

    for (const vn::Scrambler* s : {&vn::ftpScrambler(), &vn::telnetScrambler()}) {
        std::string scrambled = s->encriptar(input);
        require(!hasControl(scrambled), "scrambled text holds a control character");
        auto back = s->desencriptar(scrambled, static_cast<long long>(input.size()));
        require(back && *back == input, "scrambler round trip");
    }
    return 0;
}
