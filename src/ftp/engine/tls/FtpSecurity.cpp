#include "ftp/engine/tls/FtpSecurity.h"

namespace vn {

const char* securityCaption(FtpSecurity s) {
    switch (s) {
    case FtpSecurity::ExplicitIfAvailable: return "Use explicit TLS if available";
    case FtpSecurity::RequireExplicit: return "Require explicit TLS";
    case FtpSecurity::Implicit: return "Implicit TLS";
    case FtpSecurity::Plain: return "Plain (insecure)";
    }
    return "";
}

const char* securityKey(FtpSecurity s) {
    switch (s) {
    case FtpSecurity::ExplicitIfAvailable: return "explicit-if-available";
    case FtpSecurity::RequireExplicit: return "explicit";
    case FtpSecurity::Implicit: return "implicit";
    case FtpSecurity::Plain: return "plain";
    }
    return "";
}

std::optional<FtpSecurity> securityFromKey(std::string_view key) {
    for (FtpSecurity s : kAllSecurities)
        if (key == securityKey(s)) return s;
    return std::nullopt;
}

} // namespace vn
