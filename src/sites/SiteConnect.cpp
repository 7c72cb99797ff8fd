#include "sites/SiteConnect.h"

#include <algorithm>

namespace vn {
namespace {

bool blank(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](unsigned char c) { return c == ' ' || c == '\t'; });
}

} // namespace

ConnectParams siteConnectParams(const TSiteRec& site, const std::string& email, FtpSecurity security) {
    ConnectParams p;
    p.host = site.Address;
    p.login = site.Login;
    p.password = site.LoginType == 1 ? email : site.Password;
    p.siteName = site.HostName;
    p.passive = site.Passive;
    p.port = site.Port;
    p.security = security;
    return p;
}

std::vector<std::string> siteAlternates(const TSiteRec& site) {
    std::vector<std::string> out;
    const int count = std::clamp(site.AddressCount, 0, static_cast<int>(site.Addresses.size()));
    for (int i = 1; i < count; ++i) {
        const std::string& a = site.Addresses[static_cast<size_t>(i)];
        if (!blank(a)) out.push_back(a);
    }
    return out;
}

} // namespace vn
