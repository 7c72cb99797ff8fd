#include "sites/ui/SiteManagerVariant.h"

namespace vn {

// Each variant names only what differs from the defaults of SiteManagerVariant.

const SiteManagerVariant& ftpSiteVariant() {
    static const SiteManagerVariant v{
        .objectName = QStringLiteral("Sitefrm"),
        .caption = QStringLiteral("Site Manager"),
        .layout = SiteLayout::Ftp,
        .loginLabel = QStringLiteral("&Login:"),
        .passwordLabel = QStringLiteral("&Password:"),
        .loginTypeCaption = QStringLiteral("Lo&gin Type"),
        .loginTypeChoice0 = QStringLiteral("Normal"),
        .loginTypeChoice1 = QStringLiteral("Anonymous"),
        .loginTypeEffect = SiteManagerVariant::LoginTypeEffect::AnonymousLogin,
        .defaultPort = 21,
        .defaultTransferType = 2,
        .chooserCaption = QStringLiteral("New FTP Site"),
        .chooserGroup = QStringLiteral("&New FTP Site"),
        .chooserFolder = QStringLiteral("Create a New &Folder"),
        .chooserSite = QStringLiteral("Create a New &Site"),
        .ftpExtras = true,
    };
    return v;
}

const SiteManagerVariant& pingSiteVariant() {
    static const SiteManagerVariant v{
        .objectName = QStringLiteral("PingSitemanfrm"),
        .caption = QStringLiteral("Ping Site Manager"),
        .layout = SiteLayout::Ping,
        .portLabel = QStringLiteral("&TTL:"),
        .defaultPort = 255,
        .portMax = 255,
        .chooserCaption = QStringLiteral("New Ping Site"),
        .chooserGroup = QStringLiteral("&New Ping Site"),
        .chooserFolder = QStringLiteral("New Ping &Folder"),
        .chooserSite = QStringLiteral("New Ping &Site"),
    };
    return v;
}

// Finger and Whois: a host, its address and port, and the query in the login field.
const SiteManagerVariant& fingerSiteVariant() {
    static const SiteManagerVariant v{
        .objectName = QStringLiteral("FingerSitemanfrm"),
        .caption = QStringLiteral("Finger Site Manager"),
        .layout = SiteLayout::Finger,
        .loginLabel = QStringLiteral("&User to Finger :"),
        .defaultPort = 79,
        .chooserCaption = QStringLiteral("New Finger Site"),
        .chooserGroup = QStringLiteral("&Finger Site Manager"),
        .chooserFolder = QStringLiteral("New Finger &Folder"),
        .chooserSite = QStringLiteral("New Finger &Site"),
    };
    return v;
}

const SiteManagerVariant& whoisSiteVariant() {
    static const SiteManagerVariant v{
        .objectName = QStringLiteral("whoissitemanfrm"),
        .caption = QStringLiteral("Whois Site Manager"),
        .layout = SiteLayout::Whois,
        .loginLabel = QStringLiteral("Command &Line:"),
        .defaultPort = 43,
        .chooserCaption = QStringLiteral("New Whois Site"),
        .chooserGroup = QStringLiteral("&Whois Site Manager"),
        .chooserFolder = QStringLiteral("New Whois &Folder"),
        .chooserSite = QStringLiteral("New Whois &Site"),
    };
    return v;
}

const SiteManagerVariant& telnetSiteVariant() {
    static const SiteManagerVariant v{
        .objectName = QStringLiteral("TelnetSitefrm"),
        .caption = QStringLiteral("Telnet Site Manager"),
        .layout = SiteLayout::Telnet,
        .loginLabel = QStringLiteral("&Login:"),
        .passwordLabel = QStringLiteral("&Password:"),
        .portLabel = QStringLiteral("&Port:"),
        .loginTypeCaption = QStringLiteral("Lo&gin Type"),
        .loginTypeChoice0 = QStringLiteral("Use Login and Password"),
        .loginTypeChoice1 = QStringLiteral("I'll write them"),
        .loginTypeEffect = SiteManagerVariant::LoginTypeEffect::ClearLoginAndPassword,
        .defaultPort = 23,
        .defaultLoginType = 1,
        .chooserCaption = QStringLiteral("New Telnet Site"),
        .chooserGroup = QStringLiteral("&New Telnet Site"),
        .chooserFolder = QStringLiteral("Create a New &Folder"),
        .chooserSite = QStringLiteral("Create a New &Site"),
        .rereadAfterSave = true,
    };
    return v;
}

} // namespace vn
