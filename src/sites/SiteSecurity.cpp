#include "sites/SiteSecurity.h"

#include "common/DataFolder.h"
#include "common/IniFile.h"

namespace vn {

namespace {
constexpr const char* kSection = "Security";
}

SiteSecurityStore::SiteSecurityStore() : file_(dataFile("sitesecurity.ini")) {}

FtpSecurity SiteSecurityStore::get(const std::string& sitePath) const {
    IniFile ini(file_);
    return securityFromKey(ini.readString(kSection, sitePath, "")).value_or(kDefault);
}

bool SiteSecurityStore::set(const std::string& sitePath, FtpSecurity security) {
    IniFile ini(file_);
    return ini.writeString(kSection, sitePath, securityKey(security));
}

bool SiteSecurityStore::rename(const std::string& from, const std::string& to) {
    if (from == to) return true;
    IniFile ini(file_);
    if (!ini.hasKey(kSection, from)) return true;
    const std::string value = ini.readString(kSection, from, "");
    return ini.writeString(kSection, to, value) && ini.deleteKey(kSection, from);
}

bool SiteSecurityStore::remove(const std::string& sitePath) {
    IniFile ini(file_);
    return ini.deleteKey(kSection, sitePath);
}

} // namespace vn
