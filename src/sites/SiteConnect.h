#pragma once
// From a site of the FTP site manager to what the FTP engine connects with.
#include <string>
#include <vector>

#include "ftp/engine/ConnectParams.h"
#include "sites/SiteFile.h"

namespace vn {

// Host = Address, port, login, passive, site name = the site's caption. For an
// anonymous login (LoginType 1) the password is the configured e-mail address,
// whatever the password field holds.
// security: the site's choice (SiteSecurityStore).
ConnectParams siteConnectParams(const TSiteRec& site, const std::string& email,
                                FtpSecurity security = FtpSecurity::ExplicitIfAvailable);

// The addresses to try after the main one: slots 2 to AddressCount, in order,
// without empty (or blank) slots.
std::vector<std::string> siteAlternates(const TSiteRec& site);

} // namespace vn
