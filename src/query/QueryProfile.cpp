#include "query/QueryProfile.h"

#include "common/DataFolder.h"
#include "common/IniFile.h"

namespace vn {

namespace {

constexpr QueryProfile kProfiles[] = {
    {QueryKind::Finger, "Finger", "finger.ini", 79, QueryExchange::SendLine, false},
    {QueryKind::Whois, "Whois", "Whois.ini", 43, QueryExchange::SendLine, false},
    {QueryKind::DayTime, "DayTime", "DayTime.ini", 13, QueryExchange::ReadAll, true},
    {QueryKind::Time, "Time", "Time.ini", 37, QueryExchange::ReadTime, true},
};

bool validPort(long long v) { return v >= 1 && v <= 65535; }

} // namespace

const QueryProfile& queryProfile(QueryKind kind) {
    for (const auto& p : kProfiles)
        if (p.kind == kind) return p;
    return kProfiles[0];
}

std::filesystem::path queryPortFile(const QueryProfile& p) { return dataFile(p.portFile); }

int loadQueryPort(const QueryProfile& p, const std::filesystem::path& file) {
    long long v = IniFile(file).readInt(p.section, "Port", p.defaultPort);
    return validPort(v) ? static_cast<int>(v) : p.defaultPort;
}

int storeQueryPort(const QueryProfile& p, const std::filesystem::path& file, long long typed) {
    // A port is 16 bits: a larger number would silently become another port.
    int port = validPort(typed) ? static_cast<int>(typed) : p.defaultPort;
    IniFile(file).writeInt(p.section, "Port", port);
    return port;
}

std::string socketErrorText(const QueryProfile& p, int code, std::string_view eventText) {
    std::string text = "ERROR " + std::to_string(code) + " while " + std::string(eventText);
    if (p.serviceSuffix) text += ". Service not available.";
    return text;
}

} // namespace vn
