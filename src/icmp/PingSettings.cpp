#include "icmp/PingSettings.h"

#include <climits>
#include <cmath>

namespace vn::icmp {

namespace {

int clampInt(long long v) {
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

} // namespace

PingSettings readPingSettings(const IniFile& ini) {
    PingSettings s;
    s.ttl = clampInt(ini.readInt(kPingSection, "TTL", 255));
    s.timeout = clampInt(ini.readInt(kPingSection, "Timeout", 5000));
    s.doOnly = ini.readInt(kPingSection, "DoOnly", 0) == 1;
    s.only = clampInt(ini.readInt(kPingSection, "Only", 5));
    s.doLast = ini.readInt(kPingSection, "DoLast", 0) == 1;
    s.last = clampInt(ini.readInt(kPingSection, "Last", 5));
    s.interval = clampInt(ini.readInt(kPingSection, "Interval", 1000));
    s.disableThinking = ini.readInt(kPingSection, "DisableThinking", 0) == 1;
    return s;
}

bool writePingSettings(IniFile& ini, const PingSettings& s) {
    bool ok = ini.writeInt(kPingSection, "TTL", s.ttl);
    ok = ini.writeInt(kPingSection, "Timeout", s.timeout) && ok;
    ok = ini.writeInt(kPingSection, "DoOnly", s.doOnly ? 1 : 0) && ok;
    ok = ini.writeInt(kPingSection, "Only", s.only) && ok;
    ok = ini.writeInt(kPingSection, "DoLast", s.doLast ? 1 : 0) && ok;
    ok = ini.writeInt(kPingSection, "Last", s.last) && ok;
    ok = ini.writeInt(kPingSection, "Interval", s.interval) && ok;
    ok = ini.writeInt(kPingSection, "DisableThinking", s.disableThinking ? 1 : 0) && ok;
    return ok;
}

bool readTraceDisableThinking(const IniFile& ini) { return ini.readInt(kTraceSection, "DisableThinking", 0) == 1; }

bool writeTraceDisableThinking(IniFile& ini, bool disable) {
    return ini.writeInt(kTraceSection, "DisableThinking", disable ? 1 : 0);
}

int ttlBoxRule(long long value) { return value < 1 || value > 255 ? 255 : static_cast<int>(value); }

int timeoutBoxRule(long long value) { return value < 1 ? 5000 : clampInt(value); }

long long roundHalfEven(double v) {
    double f = std::floor(v);
    double diff = v - f;
    long long n = static_cast<long long>(f);
    if (diff > 0.5) return n + 1;
    if (diff < 0.5) return n;
    return (n % 2 == 0) ? n : n + 1;
}

} // namespace vn::icmp
