#pragma once
// The security choice of each FTP site, kept beside "siteman.dat" rather than
// in it: "sitesecurity.ini" of the data folder, one key per site, the key
// being the site's path in the tree (folder captions and its own, joined by
// "/"). "siteman.dat" keeps the layout older copies of the program read, and a
// file an older copy rewrites loses nothing it knew.
//
// A site with no entry (every site saved before the choice existed, or by an
// older copy) uses explicit TLS if available: servers without TLS refuse AUTH
// and the session goes on in clear text as before, with a log line saying so.
#include <filesystem>
#include <string>

#include "ftp/engine/tls/FtpSecurity.h"

namespace vn {

class SiteSecurityStore {
public:
    // The data folder's "sitesecurity.ini".
    SiteSecurityStore();
    explicit SiteSecurityStore(std::filesystem::path file) : file_(std::move(file)) {}

    static constexpr FtpSecurity kDefault = FtpSecurity::ExplicitIfAvailable;

    FtpSecurity get(const std::string& sitePath) const;
    bool set(const std::string& sitePath, FtpSecurity security);
    // A site renamed or moved keeps its choice.
    bool rename(const std::string& from, const std::string& to);
    bool remove(const std::string& sitePath);

private:
    std::filesystem::path file_;
};

} // namespace vn
