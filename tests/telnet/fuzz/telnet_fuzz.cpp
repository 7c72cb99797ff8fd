// Telnet codec + terminal: any bytes, in blocks of any size, and whatever
// typing and pasting does in between. After every block the cursor is in the
// buffer, the region valid and the accumulator bounded; copies are 80-column.
// Input: the first byte sets the block size; then blocks, where a block that
// begins with 0xFE 0xFD is a paste of its remaining bytes instead.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "telnet/Screen.h"
#include "telnet/TelnetCodec.h"
#include "telnet/TerminalParser.h"

namespace {

using namespace vn::telnet;

void require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "telnet_fuzz: %s\n", what);
        std::abort();
    }
}

struct Rig : TelnetCodecOutput {
    Screen screen;
    TerminalParser parser{screen};
    TelnetCodec codec{*this};
    std::size_t answers = 0;
    void toServer(std::string bytes) override {
        require(!bytes.empty() && bytes.size() <= 11, "an answer is one short command");
        ++answers;
    }
    void toTerminal(const char* data, std::size_t size) override { parser.feed(data, size); }
};

void check(const Rig& r) {
    const Screen& s = r.screen;
    CursorPos c = s.cursor();
    require(c.row >= 1 && c.row <= kBufferRows, "cursor row inside the buffer");
    require(c.col >= 1 && c.col <= kColumns, "cursor column inside the buffer");
    require(s.regionTop() >= 1 && s.regionTop() < s.regionBottom() && s.regionBottom() <= kScreenRows,
            "scrolling region valid");
    require(r.codec.accumulatorSize() <= TelnetCodec::kMaxSubnegotiation + 2, "accumulator bounded");
    require(r.parser.param().value <= TerminalParser::kParamMax, "parameter capped");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    Rig r;
    std::size_t block = 1 + data[0] % 64;
    const char* p = reinterpret_cast<const char*>(data + 1);
    std::size_t left = size - 1;
    while (left > 0) {
        std::size_t n = left < block ? left : block;
        if (n >= 2 && static_cast<std::uint8_t>(p[0]) == 0xFE && static_cast<std::uint8_t>(p[1]) == 0xFD) {
            CursorPos before = r.screen.cursor();
            r.screen.writeTextKeepCursor(std::string(p + 2, n - 2));
            require(r.screen.cursor() == before, "a paste leaves the cursor");
            std::string joined;
            for (const auto& piece : pastePieces(std::string(p + 2, n - 2))) {
                require(!piece.empty() && piece.size() <= 1024, "paste pieces of at most 1024 bytes");
                joined += piece;
            }
            require(joined == encodeData(std::string(p + 2, n - 2)), "paste pieces join to the data");
        } else {
            r.codec.receive(p, n);
        }
        check(r);
        p += n;
        left -= n;
    }
    require(r.screen.copyText().size() >= static_cast<std::size_t>(kScreenRows) * (kColumns + 1),
            "copy holds 24 rows of 80 characters");
    return 0;
}
