#pragma once
// Password scrambling of the site files. This is obfuscation, not encryption:
// it keeps a password from being read at a glance, nothing more. The files are
// therefore kept 0600.
//
// The plain password (bytes, UTF-8 for non-ASCII) is padded with blanks to a
// multiple of four bytes; group g (from 1) is rearranged by row (g - 1) mod 8
// of a fixed permutation table, out[i] = in[row[i]]; then every byte is shifted
// by a fixed offset:
//  - a printable ASCII byte (0x20..0x7E) is rotated within printable ASCII,
//    0x20 + (b - 0x20 + offset) mod 95, and written as that character;
//  - any other byte (0x00..0x1F, 0x7F..0xFF) is rotated by the same offset
//    within those 161 byte values, and the result v is written as the letter
//    U+0100 + v (two UTF-8 bytes, C4 80 .. C7 BF).
// So an ASCII password gives plain printable ASCII, every byte string
// round-trips, and the scrambled text never holds CR, LF or any other control
// character. The scrambled text has one character per padded byte; the plain
// length (in bytes) is stored beside it.
//
// The tables and offsets are file format: changing them makes every stored
// password unreadable.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vn {

class Scrambler {
public:
    using Table = std::array<std::array<std::uint8_t, 4>, 8>;

    constexpr Scrambler(const Table& table, int offset) : table_(table), offset_(offset) {}

    // Scrambles plain (any bytes).
    std::string encriptar(std::string_view plain) const;
    // The plain password of `length` bytes, or nullopt when the scrambled text
    // does not fit that length (wrong size, foreign characters, padding that is
    // not blanks).
    std::optional<std::string> desencriptar(std::string_view scrambled, long long length) const;

    const Table& table() const { return table_; }
    int offset() const { return offset_; }

private:
    Table table_;
    int offset_;
};

// The FTP site manager's constants ("siteman.dat").
const Scrambler& ftpScrambler();
// The Telnet site manager's constants ("telnetman.dat").
const Scrambler& telnetScrambler();

} // namespace vn
