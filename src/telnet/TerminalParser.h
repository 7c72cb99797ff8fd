#pragma once
// The terminal's byte interpreter: control characters and the ANSI/VT100-style
// escape sequences the terminal knows, applied to a Screen. It gets the
// received bytes with the Telnet layer already taken out (TelnetCodec). Its
// state (open sequence, parameters, a UTF-8 character cut in two) survives
// from one received block to the next.
#include <cstddef>
#include <cstdint>

#include "telnet/Screen.h"
#include "telnet/Utf8.h"

namespace vn::telnet {

class TerminalParser {
public:
    // A parameter: its value (saturating), its length and its first and last
    // characters. Long digit runs are counted, never stored.
    struct Param {
        int value = 0;
        std::uint16_t length = 0;
        char first = 0;
        char last = 0;
        bool empty() const { return length == 0; }
    };
    static constexpr int kParamMax = 9999;

    explicit TerminalParser(Screen& screen) : screen_(screen) {}

    void feed(const char* data, std::size_t size);
    // Closes any open sequence and drops a cut UTF-8 character.
    void reset();

    bool inEscape() const { return esc_; }
    bool inCsi() const { return csi_; }
    const Param& param() const { return cur_; }
    const Param& previousParam() const { return prev_; }

private:
    void control(std::uint8_t b);
    void escapeByte(std::uint8_t b);
    void finalByte(std::uint8_t b);
    void closeEscape();
    void putChar(char32_t c);

    Screen& screen_;
    Utf8Decoder utf8_;
    bool esc_ = false;
    bool csi_ = false;
    bool charset_ = false;
    bool private_ = false;
    bool twoParams_ = false;
    Param cur_;
    Param prev_;
};

} // namespace vn::telnet
