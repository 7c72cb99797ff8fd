#pragma once
// The Time protocol's value (RFC 868): 32 bits, most significant byte first,
// seconds since 1900-01-01 00:00:00 UTC. The counter wraps on 2036-02-07
// 06:28:16 UTC, so a value below 2^31 belongs to the era after the wrap;
// all arithmetic is 64-bit.
//
// Zone biases follow the suite's convention: minutes such that
// UTC = local time + bias (one hour east of Greenwich is -60).
#include <cstdint>
#include <ctime>
#include <string>

namespace vn {

// 1970-01-01 00:00:00 UTC as a time value.
inline constexpr std::int64_t kRfc868UnixEpoch = 2208988800;

// The Unix time of a received value, era resolved.
std::int64_t rfc868ToUnix(std::uint32_t value);
// Big-endian value of the four bytes as received.
std::uint32_t rfc868FromBytes(const unsigned char bytes[4]);

struct ZoneBias {
    int current = 0;  // now, daylight saving included
    int standard = 0; // the zone's standard time
    bool operator==(const ZoneBias&) const = default;
};

// The C library's view of the local zone at `at` (its TZ).
ZoneBias systemZoneBias(std::time_t at);

struct LocalDateTime {
    std::int64_t year = 1970;
    int month = 1, day = 1, hour = 0, minute = 0, second = 0;
    bool operator==(const LocalDateTime&) const = default;
};

// The instant minus bias minutes, as a calendar date and time (the date rolls
// back or forward across midnight as needed).
LocalDateTime localFromUnix(std::int64_t unixSeconds, int biasMinutes);

// " (GMT" + ("+" when signBias < 0) + standard hours (standardBias / -60,
// truncated toward zero, so a half-hour zone shows its whole hours) + ")".
// The server's time takes its sign from the current bias, the local clock
// from the standard bias.
std::string gmtText(int signBiasMinutes, int standardBiasMinutes);

// The C locale's short date and long time ("%x %X" of the process locale).
// Windows may format the same fields with their own locale instead.
std::string shortDateLongTime(const LocalDateTime& t);

// A time value as the Time window shows it.
struct TimeReading {
    std::uint32_t value = 0;
    std::int64_t unixSeconds = 0; // the server's instant
    ZoneBias bias;                // the local zone when the value arrived
    LocalDateTime local;          // the instant in local time (current bias)
    std::string zoneText;         // gmtText(bias.current, bias.standard)
    // shortDateLongTime(local) + zoneText: the server result text.
    std::string text() const;
};

TimeReading readingFor(std::uint32_t value, ZoneBias bias);

// The Time window's local system time text for `now`:
// shortDateLongTime + gmtText(standard, standard).
std::string localClockText(std::time_t now, ZoneBias bias);

} // namespace vn
