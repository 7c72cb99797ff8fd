#include "query/TimeProtocol.h"

namespace vn {

namespace {

constexpr std::int64_t kDay = 86400;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

int biasAt(std::time_t at, bool* isDst) {
    std::tm tm{};
    if (!localtime_r(&at, &tm)) {
        if (isDst) *isDst = false;
        return 0;
    }
    if (isDst) *isDst = tm.tm_isdst > 0;
    return static_cast<int>(-tm.tm_gmtoff / 60);
}

} // namespace

std::int64_t rfc868ToUnix(std::uint32_t value) {
    std::int64_t v = value;
    if (v < (std::int64_t{1} << 31)) v += std::int64_t{1} << 32;
    return v - kRfc868UnixEpoch;
}

std::uint32_t rfc868FromBytes(const unsigned char bytes[4]) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) |
           std::uint32_t{bytes[3]};
}

ZoneBias systemZoneBias(std::time_t at) {
    ZoneBias z;
    bool dst = false;
    z.current = biasAt(at, &dst);
    z.standard = z.current;
    if (!dst) return z;
    // The standard bias is the one of a moment of this year outside daylight
    // saving time: look at the first day of each month.
    std::tm tm{};
    if (!localtime_r(&at, &tm)) return z;
    for (int month = 0; month < 12; ++month) {
        std::tm probe{};
        probe.tm_year = tm.tm_year;
        probe.tm_mon = month;
        probe.tm_mday = 1;
        probe.tm_hour = 12;
        probe.tm_isdst = -1;
        std::time_t t = std::mktime(&probe);
        if (t == static_cast<std::time_t>(-1)) continue;
        bool probeDst = true;
        int b = biasAt(t, &probeDst);
        if (!probeDst) {
            z.standard = b;
            return z;
        }
    }
    return z;
}

LocalDateTime localFromUnix(std::int64_t unixSeconds, int biasMinutes) {
    std::int64_t local = unixSeconds - std::int64_t{biasMinutes} * 60;
    std::int64_t days = floorDiv(local, kDay);
    std::int64_t secs = local - days * kDay;
    // Civil date from days since 1970-01-01 (proleptic Gregorian), 64-bit.
    std::int64_t z = days + 719468;
    std::int64_t era = floorDiv(z, 146097);
    std::int64_t doe = z - era * 146097;
    std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    std::int64_t mp = (5 * doy + 2) / 153;
    std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
    LocalDateTime t;
    t.year = yoe + era * 400 + (m <= 2 ? 1 : 0);
    t.month = static_cast<int>(m);
    t.day = static_cast<int>(d);
    t.hour = static_cast<int>(secs / 3600);
    t.minute = static_cast<int>(secs / 60 % 60);
    t.second = static_cast<int>(secs % 60);
    return t;
}

std::string gmtText(int signBiasMinutes, int standardBiasMinutes) {
    return std::string(" (GMT") + (signBiasMinutes < 0 ? "+" : "") + std::to_string(standardBiasMinutes / -60) + ")";
}

std::string shortDateLongTime(const LocalDateTime& t) {
    std::tm tm{};
    tm.tm_year = static_cast<int>(t.year - 1900);
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_isdst = -1;
    char buf[128];
    std::size_t n = std::strftime(buf, sizeof buf, "%x %X", &tm);
    return std::string(buf, n);
}

std::string TimeReading::text() const { return shortDateLongTime(local) + zoneText; }

TimeReading readingFor(std::uint32_t value, ZoneBias bias) {
    TimeReading r;
    r.value = value;
    r.unixSeconds = rfc868ToUnix(value);
    r.bias = bias;
    r.local = localFromUnix(r.unixSeconds, bias.current);
    r.zoneText = gmtText(bias.current, bias.standard);
    return r;
}

std::string localClockText(std::time_t now, ZoneBias bias) {
    return shortDateLongTime(localFromUnix(static_cast<std::int64_t>(now), bias.current)) +
           gmtText(bias.standard, bias.standard);
}

} // namespace vn
