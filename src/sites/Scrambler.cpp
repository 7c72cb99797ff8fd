#include "sites/Scrambler.h"

#include <vector>

namespace vn {
namespace {

// Frozen with the first release; see the golden vectors in the tests.
constexpr Scrambler::Table kFtpTable{{
    {1, 3, 0, 2}, {2, 0, 3, 1}, {3, 2, 1, 0}, {1, 0, 3, 2},
    {2, 3, 0, 1}, {0, 2, 3, 1}, {3, 0, 1, 2}, {1, 2, 3, 0},
}};
constexpr int kFtpOffset = 19;

constexpr Scrambler::Table kTelnetTable{{
    {3, 1, 2, 0}, {2, 3, 1, 0}, {1, 2, 0, 3}, {0, 3, 1, 2},
    {3, 2, 0, 1}, {2, 1, 3, 0}, {1, 3, 2, 0}, {0, 2, 1, 3},
}};
constexpr int kTelnetOffset = 37;

constexpr bool isPermutationTable(const Scrambler::Table& t) {
    for (const auto& row : t) {
        unsigned seen = 0;
        for (auto p : row) {
            if (p > 3) return false;
            seen |= 1u << p;
        }
        if (seen != 0xF) return false;
    }
    return true;
}
static_assert(isPermutationTable(kFtpTable));
static_assert(isPermutationTable(kTelnetTable));

constexpr int kPrintable = 95;   // 0x20..0x7E
constexpr int kOther = 256 - kPrintable;

bool isPrintable(unsigned b) { return b >= 0x20 && b <= 0x7E; }

// Position of a non-printable byte among the 161 non-printable byte values.
int otherIndex(unsigned b) { return b < 0x20 ? int(b) : int(b) - 0x5F; }
unsigned otherByte(int i) { return i < 0x20 ? unsigned(i) : unsigned(i + 0x5F); }

int mod(int a, int m) { return ((a % m) + m) % m; }

unsigned shift(unsigned b, int by) {
    if (isPrintable(b)) return 0x20 + unsigned(mod(int(b) - 0x20 + by, kPrintable));
    return otherByte(mod(otherIndex(b) + by, kOther));
}

void render(std::string& out, unsigned v) {
    if (isPrintable(v)) {
        out += char(v);
        return;
    }
    unsigned cp = 0x100 + v;
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
}

// The scrambled bytes behind the characters of `text`, or false when it holds
// anything encriptar never writes.
bool parse(std::string_view text, std::vector<unsigned>& out) {
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned c = static_cast<unsigned char>(text[i]);
        if (isPrintable(c)) {
            out.push_back(c);
            continue;
        }
        if (c < 0xC4 || c > 0xC7 || i + 1 >= text.size()) return false;
        unsigned c2 = static_cast<unsigned char>(text[i + 1]);
        if ((c2 & 0xC0) != 0x80) return false;
        unsigned v = (((c & 0x1F) << 6) | (c2 & 0x3F)) - 0x100;
        if (isPrintable(v)) return false;
        out.push_back(v);
        ++i;
    }
    return true;
}

} // namespace

std::string Scrambler::encriptar(std::string_view plain) const {
    std::string padded(plain);
    padded.resize((padded.size() + 3) / 4 * 4, ' ');
    std::string out;
    out.reserve(padded.size());
    for (size_t g = 0; g * 4 < padded.size(); ++g) {
        const auto& row = table_[g % 8];
        for (int i = 0; i < 4; ++i) {
            unsigned b = static_cast<unsigned char>(padded[g * 4 + row[i]]);
            render(out, shift(b, offset_));
        }
    }
    return out;
}

std::optional<std::string> Scrambler::desencriptar(std::string_view scrambled,
                                                   long long length) const {
    if (length < 0) return std::nullopt;
    std::vector<unsigned> bytes;
    if (!parse(scrambled, bytes)) return std::nullopt;
    if (bytes.size() % 4 != 0 || bytes.size() != (static_cast<unsigned long long>(length) + 3) / 4 * 4)
        return std::nullopt;
    std::string padded(bytes.size(), ' ');
    for (size_t g = 0; g * 4 < bytes.size(); ++g) {
        const auto& row = table_[g % 8];
        for (int i = 0; i < 4; ++i)
            padded[g * 4 + row[i]] = char(shift(bytes[g * 4 + i], -offset_));
    }
    for (size_t i = size_t(length); i < padded.size(); ++i)
        if (padded[i] != ' ') return std::nullopt;
    padded.resize(size_t(length));
    return padded;
}

const Scrambler& ftpScrambler() {
    static const Scrambler s(kFtpTable, kFtpOffset);
    return s;
}

const Scrambler& telnetScrambler() {
    static const Scrambler s(kTelnetTable, kTelnetOffset);
    return s;
}

} // namespace vn
