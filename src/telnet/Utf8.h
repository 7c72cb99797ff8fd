#pragma once
// A streaming UTF-8 decoder for display. A sequence may be split between
// received blocks; a byte that cannot be part of a valid sequence (a stray
// continuation byte, an overlong form, a surrogate, a code point past
// U+10FFFF, or a lead byte cut short) is shown as its Latin-1 character.
#include <cstdint>

namespace vn::telnet {

class Utf8Decoder {
public:
    bool pending() const { return have_ != 0; }

    // Feeds one byte of 0x80 or above; calls out(code point) for every
    // character it completes (several when a cut sequence is given up).
    template <class Emit>
    void feed(std::uint8_t b, Emit&& out) {
        if (have_ != 0) {
            if (b >= 0x80 && b <= 0xBF && continuationFits(b)) {
                bytes_[have_++] = b;
                cp_ = (cp_ << 6) | (b & 0x3F);
                if (have_ == need_) {
                    have_ = 0;
                    out(cp_);
                }
                return;
            }
            flush(out);
        }
        if (b >= 0xC2 && b <= 0xDF) start(b, 2, b & 0x1F);
        else if (b >= 0xE0 && b <= 0xEF) start(b, 3, b & 0x0F);
        else if (b >= 0xF0 && b <= 0xF4) start(b, 4, b & 0x07);
        else out(static_cast<char32_t>(b));
    }

    // Gives up a cut sequence: its bytes are shown as Latin-1.
    template <class Emit>
    void flush(Emit&& out) {
        for (int i = 0; i < have_; ++i) out(static_cast<char32_t>(bytes_[i]));
        have_ = 0;
    }

    void reset() { have_ = 0; }

private:
    void start(std::uint8_t b, int need, char32_t bits) {
        bytes_[0] = b;
        have_ = 1;
        need_ = need;
        cp_ = bits;
    }
    // The second byte decides overlong forms, surrogates and the upper limit.
    bool continuationFits(std::uint8_t b) const {
        if (have_ != 1) return true;
        switch (bytes_[0]) {
        case 0xE0: return b >= 0xA0;
        case 0xED: return b <= 0x9F;
        case 0xF0: return b >= 0x90;
        case 0xF4: return b <= 0x8F;
        default: return true;
        }
    }

    std::uint8_t bytes_[4] = {};
    int have_ = 0;
    int need_ = 0;
    char32_t cp_ = 0;
};

} // namespace vn::telnet
