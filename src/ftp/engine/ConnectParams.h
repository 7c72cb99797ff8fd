#pragma once
// What one connect needs: where, who, and how the data connections go. Kept
// apart from the engine so the site manager can build it without the engine.
#include <string>

#include "ftp/engine/tls/FtpSecurity.h"

namespace vn {

struct ConnectParams {
    std::string host; // dotted address or host name
    std::string login;
    std::string password;
    std::string siteName = "FTP"; // every quick connect uses "FTP"
    bool passive = false;
    int port = 21;
    // Clear text unless the caller chose otherwise: new sites and Quick
    // Connection choose ExplicitIfAvailable in the windows.
    FtpSecurity security = FtpSecurity::Plain;
};

} // namespace vn
