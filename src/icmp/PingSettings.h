#pragma once
// The settings Ping and Traceroute share: section "Ping" of "varnelo.ini"
// (Traceroute keeps only its DisableThinking in section "Traceroute").
#include "common/IniFile.h"

namespace vn::icmp {

inline constexpr const char* kPingSection = "Ping";
inline constexpr const char* kTraceSection = "Traceroute";

struct PingSettings {
    int ttl = 255;
    int timeout = 5000;  // milliseconds
    bool doOnly = false;
    int only = 5;
    bool doLast = false;
    int last = 5;
    int interval = 1000;  // milliseconds between requests after the first
    bool disableThinking = false;
};

// 1 is the only value that switches DoOnly, DoLast and DisableThinking on.
PingSettings readPingSettings(const IniFile& ini);
bool writePingSettings(IniFile& ini, const PingSettings& s);
bool readTraceDisableThinking(const IniFile& ini);
bool writeTraceDisableThinking(IniFile& ini, bool disable);

// The TTL box: below 1 (and above 255, which the socket refuses) it becomes 255.
int ttlBoxRule(long long value);
// The time-out box: below 1 it becomes 5000.
int timeoutBoxRule(long long value);

// Rounded to the nearest whole number, halves to the even one (2.5 -> 2, 3.5 -> 4).
long long roundHalfEven(double v);

} // namespace vn::icmp
