// Any datagram a peer may send: the decoder stays inside its input, what it
// gives back is bounded and safe to show, and request names never leave the base.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tftp/TftpFiles.h"
#include "tftp/TftpPacket.h"

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "tftp invariant broken: %s\n", what);
        std::abort();
    }
}

bool printableText(const std::string& s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vn::tftp;
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    const Decoded d = decode(in);
    if (!d.ok) {
        check(!d.error.empty(), "error without text");
        check(static_cast<unsigned>(d.answer) <= 8, "answer code");
        return 0;
    }
    const Packet& p = d.packet;
    check(p.options.size() <= kMaxOptions, "option bound");
    switch (p.op) {
    case Opcode::DATA:
        check(p.data.data() == in.data() + 4 && p.data.size() == size - 4, "DATA payload inside the datagram");
        check(p.data.size() <= static_cast<std::size_t>(kMaxBlockSize), "DATA bound");
        check(encodeData(p.block, p.data) == in, "DATA round trip");
        break;
    case Opcode::ERROR:
        check(p.message.size() <= 200 && printableText(p.message), "ERROR message safe");
        break;
    case Opcode::RRQ:
    case Opcode::WRQ: {
        check(!p.filename.empty(), "empty name accepted");
        const std::string again = encodeRequest(p.op, p.filename, p.mode, p.options);
        check(in.substr(0, again.size()) == again, "request round trip");
        const NameCheck n = checkRequestName(p.filename);
        if (n.ok) {
            const std::string& r = n.relative;
            check(!r.empty() && r.front() != '/' && r.back() != '/', "relative path shape");
            check(r.find("//") == std::string::npos && r.find('\\') == std::string::npos, "separators");
            check(r != ".." && r.rfind("../", 0) != 0 && r.find("/../") == std::string::npos &&
                      (r.size() < 3 || r.compare(r.size() - 3, 3, "/..") != 0),
                  "parent folder in a granted name");
            check(printableText(r), "control byte in a granted name");
        }
        break;
    }
    case Opcode::OACK: {
        std::string why;
        const int b = checkOack(p, 65464, why);
        check(b == 0 || (b >= kMinBlockSize && b <= kMaxBlockSize), "OACK block size range");
        check(b != 0 || !why.empty(), "refused OACK without reason");
        break;
    }
    default: break;
    }
    return 0;
}
