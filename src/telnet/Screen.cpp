#include "telnet/Screen.h"

#include <algorithm>

#include "telnet/Utf8.h"

namespace vn::telnet {

namespace {
int clampInt(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }
// Adds without overflow: parameters are already capped, but a caller may not be.
int addClamped(int a, int b, int lo, int hi) {
    long long v = static_cast<long long>(a) + b;
    return static_cast<int>(std::clamp<long long>(v, lo, hi));
}
} // namespace

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::u32string decodeForDisplay(std::string_view bytes) {
    std::u32string out;
    Utf8Decoder d;
    auto emit = [&](char32_t c) { out += c; };
    for (char ch : bytes) {
        auto b = static_cast<std::uint8_t>(ch);
        if (b < 0x80) {
            d.flush(emit);
            out += static_cast<char32_t>(b);
        } else {
            d.feed(b, emit);
        }
    }
    d.flush(emit);
    return out;
}

Screen::Screen() = default;

std::string Screen::rowText(int row) const {
    std::string out;
    out.reserve(kColumns);
    row = clampInt(row, 1, kBufferRows);
    for (int c = 1; c <= kColumns; ++c) appendUtf8(out, cell(row, c).ch);
    return out;
}

std::string Screen::copyText() const {
    std::string out;
    for (int r = 1; r <= kScreenRows; ++r) out += rowText(r) + "\r";
    return out;
}

std::string Screen::saveText() const {
    std::string out;
    for (int r = 1; r <= kScreenRows; ++r) out += rowText(r) + "\n";
    return out;
}

void Screen::markRows(int from, int to) {
    for (int r = from; r <= to; ++r) markRow(r);
}

void Screen::resetForConnect() {
    row_ = col_ = 1;
    wrapPending_ = false;
    savedRow_ = savedCol_ = 0;
    top_ = 1;
    bottom_ = kScreenRows;
    attrs_ = 0;
    cursorShown_ = true;
    outputSeen_ = false;
    erase('0'); // from 1,1: the whole buffer
}

void Screen::capture(std::u32string_view text) {
    if (!onTextWritten) return;
    std::string utf8;
    for (char32_t c : text) appendUtf8(utf8, c);
    onTextWritten(utf8);
}

// A write at the row just below the region scrolls the region up by one
// first; the text then goes to the region's bottom row.
void Screen::scrollIfBelowRegion() {
    if (row_ == bottom_ + 1) {
        scrollRegionUp();
        --row_;
    }
}

void Screen::scrollRegionUp() {
    Cell* base = cells_.data();
    std::copy(base + index(top_ + 1, 1), base + index(bottom_, 1) + kColumns, base + index(top_, 1));
    // The new bottom row is blank and plain: attributes left over from the row
    // that moved up would show as a stray reverse or underlined bar.
    std::fill(base + index(bottom_, 1), base + index(bottom_, 1) + kColumns, Cell{});
    markRows(top_, bottom_);
}

void Screen::wrapIfPending() {
    if (!wrapPending_) return;
    wrapPending_ = false;
    row_ = std::min(row_ + 1, kBufferRows);
    col_ = 1;
    scrollIfBelowRegion();
}

void Screen::write(const char32_t* text, std::size_t n, bool received) {
    if (onTextWritten) capture(std::u32string_view(text, n));
    scrollIfBelowRegion();
    while (n > 0) {
        wrapIfPending();
        std::size_t room = static_cast<std::size_t>(kColumns - col_ + 1);
        std::size_t k = std::min(n, room);
        Cell* c = &cells_[index(row_, col_)];
        for (std::size_t i = 0; i < k; ++i) c[i] = Cell{text[i], attrs_};
        markRow(row_);
        text += k;
        n -= k;
        col_ += static_cast<int>(k);
        if (col_ > kColumns) {
            col_ = kColumns;
            wrapPending_ = true;
        }
        if (received) outputSeen_ = true;
    }
    cursorShown_ = true;
}

void Screen::writeAscii(const char* text, std::size_t n, bool received) {
    if (onTextWritten) {
        std::u32string s(text, text + n);
        capture(s);
    }
    scrollIfBelowRegion();
    while (n > 0) {
        wrapIfPending();
        std::size_t room = static_cast<std::size_t>(kColumns - col_ + 1);
        std::size_t k = std::min(n, room);
        Cell* c = &cells_[index(row_, col_)];
        for (std::size_t i = 0; i < k; ++i) {
            c[i].ch = static_cast<unsigned char>(text[i]);
            c[i].attrs = attrs_;
        }
        markRow(row_);
        text += k;
        n -= k;
        col_ += static_cast<int>(k);
        if (col_ > kColumns) {
            col_ = kColumns;
            wrapPending_ = true;
        }
        if (received) outputSeen_ = true;
    }
    cursorShown_ = true;
}

void Screen::writeTextKeepCursor(std::string_view utf8) {
    std::u32string text = decodeForDisplay(utf8);
    for (char32_t& c : text)
        if (c < 0x20 || c == 0x7F) c = U' ';
    const int row = row_, col = col_;
    const bool pending = wrapPending_;
    write(text.data(), text.size(), false);
    row_ = row;
    col_ = col;
    wrapPending_ = pending;
}

void Screen::bell() {
    if (onBell) onBell();
}

void Screen::backspace() {
    // Right after a write at column 80 the cursor stands, in effect, at 81.
    if (!wrapPending_) col_ = std::max(col_ - 1, 1);
    moved();
}

void Screen::tab() {
    int col = wrapPending_ ? kColumns + 1 : col_;
    int stop = (col + 7) / 8 * 8; // the next multiple of 8, or col itself
    int lastSpace = std::min(stop - 1, kColumns);
    wrapPending_ = false;
    if (lastSpace >= col) {
        std::u32string spaces(static_cast<std::size_t>(lastSpace - col + 1), U' ');
        write(spaces.data(), spaces.size(), false);
        wrapPending_ = false;
    }
    col_ = std::min(stop + 1, kColumns);
    moved();
}

void Screen::lineFeed() {
    row_ = std::min(row_ + 1, kBufferRows);
    cursorShown_ = false;
}

void Screen::carriageReturn() {
    col_ = 1;
    moved();
    if (onTextWritten) onTextWritten({});
    scrollIfBelowRegion();
}

void Screen::cursorUp(int n) {
    row_ = addClamped(row_, -n, 1, kBufferRows);
    cursorShown_ = true;
}

void Screen::cursorDown(int n) {
    row_ = clampInt(static_cast<int>(std::min<long long>(static_cast<long long>(row_) + n, kScreenRows)), 1,
                    kBufferRows);
    cursorShown_ = true;
}

void Screen::cursorRight(int n) {
    col_ = addClamped(col_, n, 1, kColumns);
    moved();
}

void Screen::cursorLeft(int n) {
    col_ = addClamped(wrapPending_ ? kColumns + 1 : col_, -n, 1, kColumns);
    moved();
}

void Screen::nextLine() {
    col_ = 1;
    row_ = std::min(row_ + 1, kBufferRows);
    moved();
}

void Screen::setPosition(int row, int col) {
    row_ = clampInt(row, 1, kScreenRows);
    col_ = clampInt(col, 1, kColumns);
    moved();
}

void Screen::columnBack() {
    col_ = std::max((wrapPending_ ? kColumns + 1 : col_) - 1, 1);
    moved();
}

void Screen::rowUp() {
    row_ = std::max(row_ - 1, 1);
    cursorShown_ = true;
}

void Screen::deleteChars(int n) {
    n = clampInt(n, 0, kColumns - col_ + 1);
    if (n == 0) return;
    Cell* row = &cells_[index(row_, 1)];
    for (int c = col_; c + n <= kColumns; ++c) row[c - 1].ch = row[c - 1 + n].ch;
    for (int c = kColumns - n + 1; c <= kColumns; ++c) row[c - 1].ch = U' ';
    // Nothing is damaged: the picture shows the change when the row is next drawn.
}

void Screen::setAttribute(char first) {
    switch (first) {
    case '1': attrs_ |= Bold; break;
    case '4': attrs_ |= Underline; break;
    case '5': attrs_ |= Blink; break;
    case '7': attrs_ |= Reverse; break;
    default: attrs_ = 0; break;
    }
}

void Screen::setRegion(int top, int bottom) {
    if (top >= 1 && top < bottom && bottom <= kScreenRows) {
        top_ = top;
        bottom_ = bottom;
    }
}

void Screen::saveCursor() {
    savedRow_ = row_;
    savedCol_ = col_;
}

void Screen::restoreCursor() {
    row_ = clampInt(savedRow_, 1, kBufferRows);
    col_ = clampInt(savedCol_, 1, kColumns);
    moved();
}

void Screen::erase(char mode) {
    int r0, r1, c0, c1;
    switch (mode) {
    case '1': r0 = 1, r1 = row_, c0 = 1, c1 = col_; break;
    case '2': r0 = 1, r1 = kScreenRows, c0 = 1, c1 = kColumns; break;
    case '3': r0 = r1 = row_, c0 = col_, c1 = kColumns; break;
    case '4': r0 = r1 = row_, c0 = 1, c1 = col_; break;
    case '5': r0 = r1 = row_, c0 = 1, c1 = kColumns; break;
    default: r0 = row_, r1 = kBufferRows, c0 = col_, c1 = kColumns; break;
    }
    for (int r = r0; r <= r1; ++r) {
        Cell* row = &cells_[index(r, 1)];
        std::fill(row + c0 - 1, row + c1, Cell{});
    }
    markRows(r0, r1);
    cursorShown_ = true;
}

} // namespace vn::telnet
