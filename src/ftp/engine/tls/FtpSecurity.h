#pragma once
// How one site's connections are protected. The texts are the choice's
// captions in Quick Connection and the Site Manager; the keys are what the
// site security store keeps.
#include <optional>
#include <string>
#include <string_view>

namespace vn {

enum class FtpSecurity {
    ExplicitIfAvailable, // "AUTH TLS"; clear text only when the server refuses AUTH
    RequireExplicit,     // "AUTH TLS" or no connection
    Implicit,            // TLS from the first byte (port 990)
    Plain                // clear text, as servers without TLS need
};

inline constexpr FtpSecurity kAllSecurities[] = {FtpSecurity::ExplicitIfAvailable, FtpSecurity::RequireExplicit,
                                                 FtpSecurity::Implicit, FtpSecurity::Plain};

inline const char* securityCaption(FtpSecurity s) {
    switch (s) {
    case FtpSecurity::ExplicitIfAvailable: return "Use explicit TLS if available";
    case FtpSecurity::RequireExplicit: return "Require explicit TLS";
    case FtpSecurity::Implicit: return "Implicit TLS";
    case FtpSecurity::Plain: return "Plain (insecure)";
    }
    return "";
}

inline const char* securityKey(FtpSecurity s) {
    switch (s) {
    case FtpSecurity::ExplicitIfAvailable: return "explicit-if-available";
    case FtpSecurity::RequireExplicit: return "explicit";
    case FtpSecurity::Implicit: return "implicit";
    case FtpSecurity::Plain: return "plain";
    }
    return "";
}

inline std::optional<FtpSecurity> securityFromKey(std::string_view key) {
    for (FtpSecurity s : kAllSecurities)
        if (key == securityKey(s)) return s;
    return std::nullopt;
}

// The port a connection with this choice goes to when none is named.
inline int defaultPortFor(FtpSecurity s) { return s == FtpSecurity::Implicit ? 990 : 21; }

// The port a form shows after the user picks `chosen`: a default port
// follows the choice (21 <-> 990), a port the user typed stays.
inline std::string portAfterChoosing(FtpSecurity chosen, const std::string& port) {
    if (port == "21" || port == "990") return std::to_string(defaultPortFor(chosen));
    return port;
}

} // namespace vn
