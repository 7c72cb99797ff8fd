#pragma once
// The terminal's screen model: a 64 x 80 buffer of cells (rows 1 to 24 are the
// visible screen, the rest exist only in the buffer), the current attributes,
// the cursor, the saved cursor and the scrolling region. Every operation keeps
// the cursor and every write inside the buffer, whatever the numbers it is
// given. Rows and columns count from 1.
//
// Cells hold Unicode code points: the parser decodes UTF-8 and shows a byte
// that is not part of a valid sequence as its Latin-1 character.
//
// A widget paints from here: after a change it takes the damaged rows
// (takeDamage) and repaints them, plus the old and the new cursor cell.
// Rows 1 to 24, each cell in a fixed-pitch cell: Bold as bold type,
// Underline as italic type, Reverse with text and background colours
// exchanged, Blink stored but not shown; the cursor mark "_" over cursor()
// while cursorMarkShown().
// Not thread-safe: TelnetSession guards it with a lock (TelnetSession::screen()).
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vn::telnet {

inline constexpr int kScreenRows = 24;
inline constexpr int kColumns = 80;
inline constexpr int kBufferRows = 64;

// Cell attributes, in the order the buffer keeps them.
enum Attr : std::uint8_t { Reverse = 1, Bold = 2, Underline = 4, Blink = 8 };

struct Cell {
    char32_t ch = U' ';
    std::uint8_t attrs = 0;
    bool operator==(const Cell&) const = default;
};

struct CursorPos {
    int row = 1;
    int col = 1;
    bool operator==(const CursorPos&) const = default;
};

class Screen {
public:
    Screen();

    // -- reading (the widget, copy, save, print) --
    const Cell& cell(int row, int col) const { return cells_[index(row, col)]; }
    // The cursor as drawn: column 80 while a character written at column 80
    // waits for the next one to wrap.
    CursorPos cursor() const { return {row_, col_}; }
    bool wrapPending() const { return wrapPending_; }
    CursorPos savedCursor() const { return {savedRow_, savedCol_}; }
    int regionTop() const { return top_; }
    int regionBottom() const { return bottom_; }
    std::uint8_t attributes() const { return attrs_; }
    // False after a line feed, until the cursor next moves or text is written:
    // the cursor mark is not drawn meanwhile.
    bool cursorMarkShown() const { return cursorShown_; }
    // Raised by every ESC received; lowered by clearEmulationSeen().
    bool emulationSeen() const { return emulationSeen_; }

    // A row's 80 characters as UTF-8.
    std::string rowText(int row) const;
    // Copy: rows 1 to 24, each row's 80 characters followed by CR.
    std::string copyText() const;
    // Save: rows 1 to 24, one 80-character line each, lines ended by LF.
    std::string saveText() const;

    // Rows changed since the last call: bit r - 1 stands for row r.
    std::uint64_t takeDamage() {
        std::uint64_t d = damage_;
        damage_ = 0;
        return d;
    }
    std::uint64_t peekDamage() const { return damage_; }

    // Raised when a received character is written (automatic login).
    bool outputSeen() const { return outputSeen_; }
    void clearOutputSeen() { outputSeen_ = false; }

    // Every text written, as UTF-8, one call per write (the screen log); and
    // the bell. Either may be empty.
    std::function<void(std::string_view)> onTextWritten;
    std::function<void()> onBell;

    // -- the connect's reset --
    // Cursor 1,1, saved cursor 0,0, region 1 to 24, attributes cleared, the
    // whole buffer erased.
    void resetForConnect();
    void clearEmulationSeen() { emulationSeen_ = false; }

    // -- writing (the parser, local echo, paste) --
    // Writes code points at the cursor with the current attributes; the cursor
    // follows (a row below the region scrolls it first, text past column 80
    // continues on the next row). `received` raises outputSeen.
    void write(const char32_t* text, std::size_t n, bool received);
    // The same for printable ASCII bytes (the parser's common case).
    void writeAscii(const char* text, std::size_t n, bool received);
    // Writes UTF-8 text at the cursor and leaves the cursor where it was
    // (paste). Control characters are shown as spaces.
    void writeTextKeepCursor(std::string_view utf8);

    // -- controls --
    void bell();
    void backspace();         // column - 1, not before column 1
    void tab();               // spaces to the next tab stop (9, 17, ...), not past column 80
    void lineFeed();          // row + 1, never past row 64, no scrolling
    void carriageReturn();    // column 1; an empty write (may scroll)
    void escapeSeen() { emulationSeen_ = true; }

    // -- escape sequence effects (clamped to the buffer) --
    void cursorUp(int n);     // A
    void cursorDown(int n);   // B: not below row 24
    void cursorRight(int n);  // C
    void cursorLeft(int n);   // D
    void nextLine();          // E
    void setPosition(int row, int col); // H, f: clamped to the visible screen
    void columnBack();        // I
    void rowUp();             // M
    void deleteChars(int n);  // P: characters only; attributes stay; nothing damaged
    void setAttribute(char first); // m: judged by a parameter's first character
    void setRegion(int top, int bottom); // r: only 1 <= top < bottom <= 24
    void saveCursor();        // ESC 7
    void restoreCursor();     // ESC 8
    // Erase by mode character: '1' rows 1..cursor x columns 1..cursor,
    // '2' rows 1..24, '3' cursor to end of row, '4' start of row to cursor,
    // '5' the cursor row, anything else cursor row..64 x cursor column..80.
    void erase(char mode);

private:
    static std::size_t index(int row, int col) {
        return static_cast<std::size_t>(row - 1) * kColumns + static_cast<std::size_t>(col - 1);
    }
    void markRow(int row) { damage_ |= std::uint64_t{1} << (row - 1); }
    void markRows(int from, int to);
    void scrollIfBelowRegion();
    void scrollRegionUp();
    void wrapIfPending();
    void moved() {
        wrapPending_ = false;
        cursorShown_ = true;
    }
    void capture(std::u32string_view text);

    std::array<Cell, kBufferRows * kColumns> cells_{};
    int row_ = 1, col_ = 1;
    bool wrapPending_ = false;
    int savedRow_ = 0, savedCol_ = 0;
    int top_ = 1, bottom_ = kScreenRows;
    std::uint8_t attrs_ = 0;
    bool cursorShown_ = true;
    bool emulationSeen_ = false;
    bool outputSeen_ = false;
    std::uint64_t damage_ = 0;
};

// UTF-8 of one code point.
void appendUtf8(std::string& out, char32_t cp);
// Decodes UTF-8 for display: a byte that is not part of a valid sequence
// becomes its Latin-1 character.
std::u32string decodeForDisplay(std::string_view bytes);

} // namespace vn::telnet
