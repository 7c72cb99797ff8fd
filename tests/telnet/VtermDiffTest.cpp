// The terminal against libvterm on the sequences where both mean the same
// VT100 thing: cursor addressing and moves, erase in line, SGR bold, reverse
// and reset, save/restore cursor, CR, BS, TAB and text. Random programs of
// those are fed to both, and the screens and cursors compared after every
// step. The generator steers clear of the few places where this terminal
// differs on purpose (a line feed on the last row scrolls only at the next
// write; a tab writes spaces; erasing gives plain cells; the cursor just
// after column 80).
#include <gtest/gtest.h>
#include <vterm.h>

#include <algorithm>
#include <random>
#include <string>

#include "TerminalTestUtil.h"

using namespace vn::telnet;
using vn::telnet::test::Terminal;

namespace {

class Vterm {
public:
    Vterm() : vt_(vterm_new(kScreenRows, kColumns)) {
        vterm_set_utf8(vt_, 1);
        screen_ = vterm_obtain_screen(vt_);
        vterm_screen_reset(screen_, 1);
        state_ = vterm_obtain_state(vt_);
    }
    ~Vterm() { vterm_free(vt_); }
    void feed(const std::string& s) { vterm_input_write(vt_, s.data(), s.size()); }
    CursorPos cursor() const {
        VTermPos p;
        vterm_state_get_cursorpos(state_, &p);
        return {p.row + 1, p.col + 1};
    }
    Cell cell(int row, int col) const {
        VTermScreenCell c;
        vterm_screen_get_cell(screen_, VTermPos{row - 1, col - 1}, &c);
        Cell out;
        out.ch = c.chars[0] ? c.chars[0] : U' ';
        out.attrs = static_cast<std::uint8_t>((c.attrs.bold ? Bold : 0) | (c.attrs.reverse ? Reverse : 0));
        return out;
    }

private:
    VTerm* vt_;
    VTermScreen* screen_;
    VTermState* state_;
};

std::string describe(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == 27) out += "ESC";
        else if (c < 32) out += "^" + std::string(1, static_cast<char>(c + 64));
        else out += static_cast<char>(c);
    }
    return out;
}

// One step of a program, chosen by what the terminal's state allows.
// savedAttrs: the attributes at the last ESC 7, or -1.
std::string step(std::mt19937& rng, const Terminal& t, int& savedAttrs) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const CursorPos c = t.cursor();
    const bool pending = t.screen.wrapPending();
    // libvterm scrolls in a blank row with the current attributes, this
    // terminal a plain one: with attributes on, text never scrolls the screen.
    const int room = t.screen.attributes() == 0
                         ? 1000
                         : (pending ? 0 : kColumns - c.col + 1) + (kScreenRows - c.row) * kColumns;
    for (;;) {
        switch (pick(0, 12)) {
        case 0: {
            if (room == 0) break;
            std::string text;
            int n = std::min(pick(1, 12), room);
            for (int i = 0; i < n; ++i) text += static_cast<char>(pick('!', '~'));
            return text;
        }
        case 1: return "\x1b[" + std::to_string(pick(1, 24)) + ";" + std::to_string(pick(1, 80)) + "H";
        case 2:
            if (pending) break;
            return "\x1b[" + std::to_string(pick(1, 30)) + "ABCD"[pick(0, 3)];
        case 3: {
            // libvterm erases with the current attributes; this terminal erases to plain.
            if (pending || t.screen.attributes() != 0) break;
            const char* v[] = {"", "0", "1", "2"};
            return std::string("\x1b[") + v[pick(0, 3)] + "K";
        }
        case 4: {
            const char* v[] = {"", "0", "1", "7", "1;7", "0;7", "7;1", "0;1"};
            return std::string("\x1b[") + v[pick(0, 7)] + "m";
        }
        case 5:
            if (pending) break;
            savedAttrs = t.screen.attributes();
            return "\x1b" "7";
        case 6:
            // libvterm restores the attributes too: only where they are the same.
            if (savedAttrs != t.screen.attributes()) break;
            return "\x1b" "8";
        case 7: return "\r";
        case 8:
            if (pending) break;
            return "\b";
        case 9: {
            if (pending || t.screen.attributes() != 0) break;
            int stop = (c.col + 7) / 8 * 8;
            bool blank = true;
            for (int col = c.col; col < stop && col <= kColumns; ++col)
                blank = blank && t.screen.cell(c.row, col) == Cell{};
            if (!blank) break;
            return "\t";
        }
        case 10:
            if (pending || c.row >= kScreenRows) break;
            return "\r\n";
        case 11:
            if (pending || c.row >= kScreenRows) break;
            return "\n";
        case 12: {
            if (room < 60) break;
            std::string text;
            int n = std::min(pick(60, 200), room);
            for (int i = 0; i < n; ++i) text += static_cast<char>(pick('a', 'z'));
            return text;
        }
        }
    }
}

TEST(VtermDifferential, RandomProgramsAgree) {
    std::mt19937 rng(20261210);
    for (int program = 0; program < 200; ++program) {
        Terminal ours;
        Vterm ref;
        int savedAttrs = -1;
        std::string history;
        for (int i = 0; i < 150; ++i) {
            std::string s = step(rng, ours, savedAttrs);
            history += s;
            ours.feed(s);
            ref.feed(s);
            ASSERT_EQ(ours.cursor(), ref.cursor())
                << "program " << program << " step " << i << ": " << describe(history) << "\nours "
                << ours.cursor().row << "," << ours.cursor().col << " libvterm " << ref.cursor().row << ","
                << ref.cursor().col;
            for (int r = 1; r <= kScreenRows; ++r)
                for (int col = 1; col <= kColumns; ++col) {
                    Cell a = ours.screen.cell(r, col);
                    a.attrs &= Bold | Reverse;
                    ASSERT_EQ(a, ref.cell(r, col))
                        << "program " << program << " step " << i << " cell " << r << "," << col << ": "
                        << describe(history);
                }
        }
    }
}

// Sequences written out, for the cases a random program may rarely reach.
TEST(VtermDifferential, NamedSequencesAgree) {
    const std::string cases[] = {
        "\x1b[5;10Hab\x1b[1mcd\x1b[7mef\x1b[0mgh",
        "\x1b[10;10H\x1b[3A\x1b[2B\x1b[5C\x1b[4D*",
        "abcdefghij\x1b[1;5H\x1b[K",
        "abcdefghij\x1b[1;5H\x1b[1K",
        "abcdefghij\x1b[1;5H\x1b[2K",
        "\x1b[3;3H\x1b" "7\x1b[20;20Hx\x1b" "8y",
        "abc\rX\bY\x1b[2;3H\tZ",
        "\x1b[1;80HAB",
        "\x1b[24;1Hbottom\r\nnext",
    };
    for (const auto& s : cases) {
        Terminal ours;
        Vterm ref;
        ours.feed(s);
        ref.feed(s);
        EXPECT_EQ(ours.cursor(), ref.cursor()) << describe(s);
        for (int r = 1; r <= kScreenRows; ++r)
            for (int col = 1; col <= kColumns; ++col) {
                Cell a = ours.screen.cell(r, col);
                a.attrs &= Bold | Reverse;
                ASSERT_EQ(a, ref.cell(r, col)) << describe(s) << " cell " << r << "," << col;
            }
    }
}

} // namespace
