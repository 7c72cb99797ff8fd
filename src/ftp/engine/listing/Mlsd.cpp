#include "ftp/engine/listing/Mlsd.h"

#include <ctime>

namespace vn {

namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

bool startsNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && equalsNoCase(s.substr(0, prefix.size()), prefix);
}

bool allDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// Digits to a number; nullopt when not all digits or above 64 bits.
std::optional<std::uint64_t> number(std::string_view s) {
    if (!allDigits(s)) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : s) {
        const auto d = static_cast<std::uint64_t>(c - '0');
        if (v > (UINT64_MAX - d) / 10) return std::nullopt;
        v = v * 10 + d;
    }
    return v;
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// "rwx" triplets of an octal UNIX mode ("0755", "755", "2775").
std::string modeText(char kind, std::string_view mode) {
    if (mode.empty() || mode.size() > 6) return {};
    unsigned v = 0;
    for (char c : mode) {
        if (c < '0' || c > '7') return {};
        v = v * 8 + static_cast<unsigned>(c - '0');
    }
    std::string s(1, kind);
    const char* letters = "rwx";
    for (int shift = 6; shift >= 0; shift -= 3)
        for (int b = 0; b < 3; ++b) s.push_back((v >> (shift + 2 - b)) & 1 ? letters[b] : '-');
    return s;
}

// Seconds to the local date shown in the file list.
std::string shownDate(std::int64_t seconds) {
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (!localtime_r(&t, &tm)) return {};
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M", &tm);
    return buf;
}

} // namespace

std::optional<std::int64_t> parseMlsdTime(std::string_view text) {
    if (text.size() < 14) return std::nullopt;
    std::string_view main = text.substr(0, 14);
    std::string_view frac = text.substr(14);
    if (!allDigits(main)) return std::nullopt;
    if (!frac.empty() && (frac.size() < 2 || frac.size() > 10 || frac.front() != '.' || !allDigits(frac.substr(1))))
        return std::nullopt;
    auto field = [&](std::size_t at, std::size_t n) {
        unsigned v = 0;
        for (std::size_t i = at; i < at + n; ++i) v = v * 10 + static_cast<unsigned>(main[i] - '0');
        return v;
    };
    const unsigned y = field(0, 4), mo = field(4, 2), d = field(6, 2), h = field(8, 2), mi = field(10, 2),
                   s = field(12, 2);
    static constexpr unsigned kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1000 || mo < 1 || mo > 12 || d < 1 || d > kDays[mo - 1] || h > 23 || mi > 59 || s > 60)
        return std::nullopt;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (mo == 2 && d == 29 && !leap) return std::nullopt;
    return daysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
}

std::optional<ListingEntry> TraduirMLSD(std::string_view line) {
    ListingEntry e;
    // The facts end at the first blank; the name is everything after it.
    const std::size_t blank = line.find(' ');
    std::string_view facts = blank == std::string_view::npos ? line : line.substr(0, blank);
    if (blank != std::string_view::npos) e.name = std::string(line.substr(blank + 1));

    char kind = '-';
    std::string_view mode;
    while (!facts.empty()) {
        const std::size_t semi = facts.find(';');
        std::string_view fact = facts.substr(0, semi);
        facts = semi == std::string_view::npos ? std::string_view{} : facts.substr(semi + 1);
        const std::size_t eq = fact.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view key = fact.substr(0, eq);
        const std::string_view value = fact.substr(eq + 1);
        if (equalsNoCase(key, "type")) {
            if (equalsNoCase(value, "cdir") || equalsNoCase(value, "pdir")) return std::nullopt;
            e.linkTarget.clear(); // of these, the last type fact counts
            if (equalsNoCase(value, "dir")) {
                e.kind = ListingEntry::Kind::Folder;
                kind = 'd';
            } else if (startsNoCase(value, "OS.unix=slink") || equalsNoCase(value, "OS.unix=symlink")) {
                e.kind = ListingEntry::Kind::Link;
                kind = 'l';
                // "OS.unix=slink:target"; the fact syntax keeps ";" and blanks out of it.
                if (value.size() > 14 && value[13] == ':') e.linkTarget = std::string(value.substr(14));
            } else {
                e.kind = ListingEntry::Kind::File;
                kind = '-';
            }
        } else if (equalsNoCase(key, "size") || (equalsNoCase(key, "sizd") && e.size.empty())) {
            if (auto n = number(value)) {
                e.size = std::string(value);
                e.sizeValue = *n;
            }
        } else if (equalsNoCase(key, "modify")) {
            // Before 1970 is no file time a server means (and -1 says "unknown").
            if (auto t = parseMlsdTime(value); t && *t >= 0) {
                e.mtime = *t;
                e.date = shownDate(*t);
            }
        } else if (equalsNoCase(key, "unique")) {
            if (value.size() <= 256) e.unique = std::string(value);
        } else if (equalsNoCase(key, "UNIX.mode")) {
            mode = value;
        }
    }
    std::string attributes = modeText(kind, mode);
    e.attributes = attributes.empty() ? std::string(1, kind) : attributes;
    return e;
}

ListingResult TraduirMLSDList(std::string_view text, const ListingLimits& limits) {
    ListingParser p(limits, ListingFormat::Mlsd);
    p.feed(text);
    return p.finish();
}

} // namespace vn
