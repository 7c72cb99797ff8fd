#include "telnet/TerminalParser.h"

namespace vn::telnet {

namespace {
bool printableAscii(std::uint8_t b) { return b >= 0x20 && b < 0x7F; }
} // namespace

void TerminalParser::reset() {
    closeEscape();
    prev_ = {};
    twoParams_ = false;
    private_ = false;
    utf8_.reset();
}

void TerminalParser::putChar(char32_t c) { screen_.write(&c, 1, true); }

void TerminalParser::feed(const char* data, std::size_t size) {
    auto emit = [this](char32_t c) { putChar(c); };
    const auto* p = reinterpret_cast<const std::uint8_t*>(data);
    const auto* end = p + size;
    while (p < end) {
        if (!esc_ && !utf8_.pending() && printableAscii(*p)) {
            const auto* run = p;
            while (p < end && printableAscii(*p)) ++p;
            screen_.writeAscii(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run), true);
            continue;
        }
        std::uint8_t b = *p++;
        if (b >= 0x80 && !esc_) {
            utf8_.feed(b, emit);
            continue;
        }
        utf8_.flush(emit);
        switch (b) {
        case 0: break; // padding (CR NUL), inside a sequence too
        case 7:
        case 8:
        case 9:
        case 10:
        case 13:
        case 27: control(b); break;
        default:
            if (esc_) escapeByte(b);
            else putChar(b);
        }
    }
}

// These act even inside an escape sequence; ESC restarts one.
void TerminalParser::control(std::uint8_t b) {
    switch (b) {
    case 7: screen_.bell(); break;
    case 8: screen_.backspace(); break;
    case 9: screen_.tab(); break;
    case 10: screen_.lineFeed(); break;
    case 13: screen_.carriageReturn(); break;
    case 27:
        esc_ = true;
        csi_ = charset_ = private_ = twoParams_ = false;
        cur_ = prev_ = {};
        screen_.escapeSeen();
        break;
    }
}

void TerminalParser::closeEscape() {
    esc_ = csi_ = charset_ = false;
    cur_ = {};
}

void TerminalParser::escapeByte(std::uint8_t b) {
    if (charset_) {
        // ESC ( x / ESC ) x: x names a character set; the sequence ends with it.
        closeEscape();
        return;
    }
    if (b >= '0' && b <= '9') {
        if (!csi_ && (b == '7' || b == '8')) {
            if (b == '7') screen_.saveCursor();
            else screen_.restoreCursor();
            closeEscape();
            return;
        }
        if (cur_.length == 0) cur_.first = static_cast<char>(b);
        cur_.last = static_cast<char>(b);
        if (cur_.length < 0xFFFF) ++cur_.length;
        cur_.value = cur_.value >= kParamMax / 10 ? kParamMax : cur_.value * 10 + (b - '0');
        if (cur_.value > kParamMax) cur_.value = kParamMax;
        return;
    }
    switch (b) {
    case '(':
    case ')': charset_ = true; return;
    case ';':
        prev_ = cur_;
        cur_ = {};
        twoParams_ = true;
        return;
    case '?': private_ = true; return;
    case '[': csi_ = true; return;
    default:
        finalByte(b);
        closeEscape();
    }
}

void TerminalParser::finalByte(std::uint8_t b) {
    const int n = cur_.empty() ? 1 : cur_.value;
    switch (b) {
    case 'A': screen_.cursorUp(n); break;
    case 'B': screen_.cursorDown(n); break;
    case 'C': screen_.cursorRight(n); break;
    case 'D': screen_.cursorLeft(n); break;
    case 'E': screen_.nextLine(); break;
    case 'H':
    case 'f':
        if (twoParams_) screen_.setPosition(prev_.empty() ? 1 : prev_.value, cur_.empty() ? 1 : cur_.value);
        else screen_.setPosition(n, 1);
        break;
    case 'I': screen_.columnBack(); break;
    case 'J': screen_.erase(cur_.empty() ? '[' : cur_.last); break;
    case 'K':
        if (cur_.empty() || cur_.value == 0) screen_.erase('3');
        else if (cur_.value == 1) screen_.erase('4');
        else if (cur_.value == 2) screen_.erase('5');
        break;
    case 'M': screen_.rowUp(); break;
    case 'P': screen_.deleteChars(n); break;
    case 'm':
        if (twoParams_) screen_.setAttribute(prev_.first);
        screen_.setAttribute(cur_.first);
        break;
    case 'r':
        screen_.setRegion(twoParams_ && !prev_.empty() ? prev_.value : 1,
                          cur_.empty() ? kScreenRows : cur_.value);
        break;
    default: break;
    }
}

} // namespace vn::telnet
