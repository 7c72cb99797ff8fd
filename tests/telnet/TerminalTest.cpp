// The terminal's behaviour, byte by byte: golden vectors for the cases the
// terminal is known for, the clamps that keep everything inside the buffer,
// state that survives block boundaries, and UTF-8 display.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "TerminalTestUtil.h"

using namespace vn::telnet;
using vn::telnet::test::esc;
using vn::telnet::test::Terminal;

namespace {

std::string fullRow(char first) {
    std::string r;
    for (int i = 0; i < kColumns; ++i) r += static_cast<char>(first + i % 26);
    return r;
}

// Rows 1..n hold "row 1".."row n" (with CR LF between them, as a server writes).
std::string numberedRows(int n) {
    std::string s = esc("[H");
    for (int i = 1; i <= n; ++i) {
        s += "row " + std::to_string(i);
        if (i < n) s += "\r\n";
    }
    return s;
}

struct Golden {
    const char* name;
    std::string setup;   // fed first
    std::string input;   // the bytes under test
    CursorPos cursor;    // expected afterwards
    std::vector<std::pair<int, std::string>> rows; // row -> text without trailing blanks
    std::function<void(const Terminal&)> more = nullptr;
};

std::vector<Golden> goldens() {
    return {
        {"2J erases rows 1 to 24 only", esc("[1;1Haaa") + esc("[24;1Hbbb") + "\n\n\n\n\n\n\rccc", esc("[2J"),
         {30, 4},
         {{1, ""}, {24, ""}, {30, "ccc"}}},
        {"J without parameter erases from the cursor column rightwards down to row 64",
         esc("[1;1Habcdef") + esc("[2;1Habcdef") + esc("[3;1Habcdef") + "\n\n\n\n\n\n\n\rabcdef", esc("[2;3H") + esc("[J"),
         {2, 3},
         {{1, "abcdef"}, {2, "ab"}, {3, "ab"}, {10, "ab"}}},
        {"1J erases the rectangle from row 1, column 1 to the cursor", esc("[1;1Habcdef") + esc("[2;1Habcdef") +
                                                                          esc("[3;1Habcdef"),
         esc("[2;3H") + esc("[1J"), {2, 3}, {{1, "   def"}, {2, "   def"}, {3, "abcdef"}}},
        {"K, 0K, 1K and 2K", esc("[1;1Habcdef") + esc("[2;1Habcdef") + esc("[3;1Habcdef") + esc("[4;1Habcdef"),
         esc("[1;3H") + esc("[K") + esc("[2;3H") + esc("[0K") + esc("[3;3H") + esc("[1K") + esc("[4;3H") + esc("[2K"),
         {4, 3},
         {{1, "ab"}, {2, "ab"}, {3, "   def"}, {4, ""}}},
        {"5;10H", "", esc("[5;10H"), {5, 10}, {}},
        {"7H", "", esc("[7H"), {7, 1}, {}},
        {"H", esc("[9;9H"), esc("[H"), {1, 1}, {}},
        {"5;10f", "", esc("[5;10f"), {5, 10}, {}},
        {"H with a large row and column stays on the screen", "", esc("[999;999H"), {24, 80}, {}},
        {"H with zeros", esc("[9;9H"), esc("[0;0H"), {1, 1}, {}},
        {"H with an empty row", "", esc("[;5H"), {1, 5}, {}},
        {"H with an empty column", "", esc("[5;H"), {5, 1}, {}},
        {"A, B, C, D with and without counts", esc("[10;10H"), esc("[A") + esc("[2B") + esc("[3C") + esc("[4D"),
         {11, 9}, {}},
        {"A stops at row 1, D at column 1", esc("[3;3H"), esc("[99A") + esc("[99D"), {1, 1}, {}},
        {"B stops at row 24, C at column 80", esc("[20;70H"), esc("[99B") + esc("[99C"), {24, 80}, {}},
        {"E, I, M", esc("[5;5H"), esc("E") + esc("[3C") + esc("I") + esc("M"), {5, 3}, {}},
        {"ESC 7, moves, ESC 8", esc("[5;10H") + esc("7"), esc("[20;30H") + "xyz" + esc("8"), {5, 10}, {}},
        {"ESC 8 without a save goes to row 1, column 1", esc("[5;10H"), esc("8"), {1, 1}, {}},
        {"ESC ( B changes nothing and draws nothing", "", esc("(B") + "Q", {1, 2}, {{1, "Q"}}},
        {"ESC ( 0 takes exactly one byte", "", esc("(0") + "Q", {1, 2}, {{1, "Q"}}},
        {"ESC ) A does not move the cursor", esc("[5;5H"), esc(")A") + "Q", {5, 6}, {{5, "    Q"}}},
        {"1;32m: bold on, then everything off", "", esc("[1;32m") + "X", {1, 2}, {{1, "X"}},
         [](const Terminal& t) { EXPECT_EQ(t.screen.cell(1, 1).attrs, 0); }},
        {"44m: judged by its first character, underline", "", esc("[44m") + "X", {1, 2}, {},
         [](const Terminal& t) { EXPECT_EQ(t.screen.cell(1, 1).attrs, Underline); }},
        {"1m, 5m, 7m accumulate; m clears", "", esc("[1m") + esc("[5m") + esc("[7m") + "X" + esc("[m") + "Y",
         {1, 3}, {},
         [](const Terminal& t) {
             EXPECT_EQ(t.screen.cell(1, 1).attrs, Bold | Blink | Reverse);
             EXPECT_EQ(t.screen.cell(1, 2).attrs, 0);
         }},
        {"only the last two parameters count", "", esc("[0;1;7m") + "X", {1, 2}, {},
         [](const Terminal& t) { EXPECT_EQ(t.screen.cell(1, 1).attrs, Bold | Reverse); }},
        {"a tab at column 1 writes seven spaces and stops at column 9", "abcdefghij", "\r\t", {1, 9},
         {{1, "       hij"}}},
        {"a tab at column 8 writes nothing and stops at column 9", "abcdefghij", esc("[1;8H") + "\t", {1, 9},
         {{1, "abcdefghij"}}},
        {"a tab at column 80 stays there", "", esc("[1;80H") + "\t", {1, 80}, {}},
        {"3P at column 10 shifts the rest left and blanks the end", fullRow('a'), esc("[1;10H") + esc("[3P"),
         {1, 10}, {},
         [](const Terminal& t) {
             std::string r = fullRow('a');
             EXPECT_EQ(t.screen.rowText(1), r.substr(0, 9) + r.substr(12) + "   ");
         }},
        {"P with a huge count blanks to the end of the row", fullRow('a'), esc("[1;10H") + esc("[9999P"), {1, 10},
         {{1, "abcdefghi"}}},
        {"text on the bottom row, CR LF and more text scrolls rows 1 to 24", numberedRows(24), "\r\nmore", {24, 5},
         {{1, "row 2"}, {23, "row 24"}, {24, "more"}}},
        {"with region 5-10 only rows 5 to 10 move", numberedRows(24), esc("[5;10r") + esc("[10;1H") + "\r\nmore",
         {10, 5},
         {{4, "row 4"}, {5, "row 6"}, {9, "row 10"}, {10, "more"}, {11, "row 11"}}},
        {"CR alone below the region scrolls", numberedRows(24), "\n\r", {24, 1}, {{1, "row 2"}, {24, ""}}},
        {"a line feed never scrolls", numberedRows(24), "\n\n", {26, 7}, {{1, "row 1"}}},
        {"line feeds stop at row 64", "", std::string(200, '\n'), {64, 1}, {}},
        {"E stops at row 64", "", std::string(200, '\n') + esc("E"), {64, 1}, {}},
        {"backspace stops at column 1", "", "\b\b\b", {1, 1}, {}},
        {"80 characters leave the cursor at column 80; the 81st wraps", "",
         fullRow('a') + "Z", {2, 2}, {{2, "Z"}}},
        {"CR after a full row returns to its column 1", "", fullRow('a') + "\r", {1, 1}, {}},
        {"r with bad numbers is ignored", esc("[5;10r"), esc("[10;5r") + esc("[0;24r") + esc("[5;99r"), {1, 1}, {},
         [](const Terminal& t) {
             EXPECT_EQ(t.screen.regionTop(), 5);
             EXPECT_EQ(t.screen.regionBottom(), 10);
         }},
        {"r without parameters restores 1 to 24", esc("[5;10r"), esc("[r"), {1, 1}, {},
         [](const Terminal& t) {
             EXPECT_EQ(t.screen.regionTop(), 1);
             EXPECT_EQ(t.screen.regionBottom(), 24);
         }},
        {"an endless parameter saturates", "", esc("[") + std::string(10000, '9') + "C", {1, 80}, {}},
        {"controls act inside a sequence", esc("[1;10H"), esc("[2") + "\b" + "C", {1, 11}, {}},
        {"ESC restarts a sequence", "", esc("[5") + esc("[2C"), {1, 3}, {}},
        {"a zero byte is ignored, inside a sequence too", "", std::string("a\0b", 3) + esc("[2") +
                                                                  std::string(1, '\0') + "C",
         {1, 5}, {{1, "ab"}}},
        {"other finals do nothing and are not drawn", "", esc("[?25l") + esc("[5n") + "Q", {1, 2}, {{1, "Q"}}},
        {"UTF-8 is shown as its characters", "", "h\xC3\xA9llo \xE2\x82\xAC", {1, 8}, {{1, "h\xC3\xA9llo \xE2\x82\xAC"}}},
        {"invalid bytes are shown as Latin-1", "", "\xE9t\xE9 \xC0\xAF \xED\xA0\x80", {1, 11},
         {{1, "\xC3\xA9t\xC3\xA9 \xC3\x80\xC2\xAF \xC3\xAD\xC2\xA0\xC2\x80"}}},
        {"a cut UTF-8 sequence before a control is shown as Latin-1", "", "\xC3\r", {1, 1}, {{1, "\xC3\x83"}}},
    };
}

TEST(TerminalGolden, Vectors) {
    for (const auto& g : goldens()) {
        SCOPED_TRACE(g.name);
        Terminal t;
        t.feed(g.setup);
        t.feed(g.input);
        EXPECT_EQ(t.cursor(), g.cursor) << "cursor at " << t.cursor().row << "," << t.cursor().col;
        for (const auto& [r, text] : g.rows) EXPECT_EQ(t.row(r), text) << "row " << r;
        if (g.more) g.more(t);
    }
}

// Every vector gives the same screen whether its bytes arrive in one block,
// one byte per block, or cut in two anywhere.
TEST(TerminalGolden, BlockBoundariesDoNotMatter) {
    for (const auto& g : goldens()) {
        SCOPED_TRACE(g.name);
        Terminal whole;
        whole.feed(g.setup);
        whole.feed(g.input);
        std::string bytes = g.input;
        for (std::size_t cut = 0; cut <= bytes.size() && cut < 64; ++cut) {
            Terminal t;
            t.feed(g.setup);
            t.feed(bytes.substr(0, cut));
            t.feed(bytes.substr(cut));
            ASSERT_EQ(t.cursor(), whole.cursor()) << "cut at " << cut;
            for (int r = 1; r <= kBufferRows; ++r) ASSERT_EQ(t.screen.rowText(r), whole.screen.rowText(r)) << r;
        }
        Terminal single;
        single.feed(g.setup);
        for (char c : bytes) single.feed(std::string_view(&c, 1));
        EXPECT_EQ(single.cursor(), whole.cursor());
        for (int r = 1; r <= kBufferRows; ++r) EXPECT_EQ(single.screen.rowText(r), whole.screen.rowText(r)) << r;
    }
}

TEST(Terminal, JModeComesFromTheLastParameterCharacterAcrossBlocks) {
    Terminal t;
    t.feed(esc("[1;1Habc") + esc("[30;1H"));
    t.feed(esc("[2"));
    t.feed("J");
    EXPECT_EQ(t.row(1), "");
}

TEST(Terminal, DeleteCharactersChangesTheBufferButDamagesNothing) {
    Terminal t;
    t.feed(fullRow('a'));
    t.feed(esc("[1;10H"));
    t.screen.takeDamage();
    t.feed(esc("[3P"));
    EXPECT_EQ(t.screen.takeDamage(), 0u);
    EXPECT_EQ(t.screen.cell(1, 10).ch, U'm');
}

TEST(Terminal, AttributesDoNotMoveWithDeletedCharacters) {
    Terminal t;
    t.feed(esc("[7m") + "ab" + esc("[m") + "cdef" + esc("[1;1H") + esc("[2P"));
    EXPECT_EQ(t.row(1), "cdef");
    EXPECT_EQ(t.screen.cell(1, 1).attrs, Reverse);
    EXPECT_EQ(t.screen.cell(1, 3).attrs, 0);
}

TEST(Terminal, CopyGivesPlainCharactersAndJoinsRowsWithCr) {
    Terminal t;
    t.feed(esc("[1m") + "X");
    std::string copy = t.screen.copyText();
    ASSERT_EQ(copy.size(), 24u * 81u);
    EXPECT_EQ(copy.substr(0, 81), "X" + std::string(79, ' ') + "\r");
    EXPECT_EQ(t.screen.saveText().substr(0, 81), "X" + std::string(79, ' ') + "\n");
}

TEST(Terminal, ScrollingLeavesAPlainBottomRow) {
    Terminal t;
    t.feed(esc("[24;1H") + esc("[7m") + "status" + esc("[m") + "\r\n" + "x");
    EXPECT_EQ(t.row(23), "status");
    EXPECT_EQ(t.screen.cell(23, 1).attrs, Reverse);
    EXPECT_EQ(t.row(24), "x");
    for (int c = 2; c <= kColumns; ++c) ASSERT_EQ(t.screen.cell(24, c).attrs, 0) << c;
}

TEST(Terminal, BellAndOutputSeen) {
    Terminal t;
    t.feed("\a");
    EXPECT_EQ(t.bells, 1);
    EXPECT_FALSE(t.screen.outputSeen()); // a bell shows nothing
    t.feed("\t\r\n");
    EXPECT_FALSE(t.screen.outputSeen());
    t.feed("$");
    EXPECT_TRUE(t.screen.outputSeen());
}

TEST(Terminal, LineFeedHidesTheCursorMarkUntilTheNextMove) {
    Terminal t;
    t.feed("a\n");
    EXPECT_FALSE(t.screen.cursorMarkShown());
    t.feed("\r");
    EXPECT_TRUE(t.screen.cursorMarkShown());
}

TEST(Terminal, EscapeSeenFlag) {
    Terminal t;
    EXPECT_FALSE(t.screen.emulationSeen());
    t.feed("plain");
    EXPECT_FALSE(t.screen.emulationSeen());
    t.feed(esc("[m"));
    EXPECT_TRUE(t.screen.emulationSeen());
    t.screen.clearEmulationSeen();
    EXPECT_FALSE(t.screen.emulationSeen());
}

TEST(Terminal, ResetForConnect) {
    Terminal t;
    t.feed(esc("[5;10r") + esc("[1;7m") + esc("[9;9H") + esc("7") + "text" + std::string(40, '\n') + "deep");
    t.screen.resetForConnect();
    EXPECT_EQ(t.cursor(), (CursorPos{1, 1}));
    EXPECT_EQ(t.screen.savedCursor(), (CursorPos{0, 0}));
    EXPECT_EQ(t.screen.regionTop(), 1);
    EXPECT_EQ(t.screen.regionBottom(), 24);
    EXPECT_EQ(t.screen.attributes(), 0);
    for (int r = 1; r <= kBufferRows; ++r) ASSERT_EQ(t.row(r), "") << r;
}

TEST(Terminal, PasteIsWrittenAtTheCursorWhichStays) {
    Terminal t;
    t.feed(esc("[3;5H"));
    t.screen.writeTextKeepCursor("ab\r\nc\xC3\xA9");
    EXPECT_EQ(t.row(3), "    ab  c\xC3\xA9");
    EXPECT_EQ(t.cursor(), (CursorPos{3, 5}));
}

TEST(Terminal, TextWrittenReachesTheLogOneWriteAtATime) {
    Terminal t;
    std::vector<std::string> lines;
    t.screen.onTextWritten = [&](std::string_view s) { lines.emplace_back(s); };
    t.feed("login: \r\n\xC3\xA9");
    EXPECT_EQ(lines, (std::vector<std::string>{"login: ", "", "\xC3\xA9"}));
}

TEST(Terminal, DamageNamesTheChangedRows) {
    Terminal t;
    t.screen.takeDamage();
    t.feed(esc("[3;1Hx") + esc("[10;1Hy"));
    EXPECT_EQ(t.screen.takeDamage(), (std::uint64_t{1} << 2) | (std::uint64_t{1} << 9));
    EXPECT_EQ(t.screen.takeDamage(), 0u);
}

} // namespace
