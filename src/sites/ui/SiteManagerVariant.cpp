#include "sites/ui/SiteManagerVariant.h"

namespace vn {

const SiteManagerVariant& ftpSiteVariant() {
    static const SiteManagerVariant v = [] {
        SiteManagerVariant s;
        s.objectName = QStringLiteral("Sitefrm");
        s.caption = QStringLiteral("Site Manager");
        s.layout = SiteLayout::Ftp;
        s.hostLabel = QStringLiteral("&Host Name:");
        s.addressLabel = QStringLiteral("Host &address:");
        s.loginLabel = QStringLiteral("&Login:");
        s.passwordLabel = QStringLiteral("&Password:");
        s.portLabel = QStringLiteral("P&ort:");
        s.commentsLabel = QStringLiteral("Co&mments:");
        s.loginTypeCaption = QStringLiteral("Lo&gin Type");
        s.loginTypeChoice0 = QStringLiteral("Normal");
        s.loginTypeChoice1 = QStringLiteral("Anonymous");
        s.loginTypeEffect = SiteManagerVariant::LoginTypeEffect::AnonymousLogin;
        s.defaultPort = 21;
        s.defaultLoginType = 0;
        s.defaultTransferType = 2;
        s.chooserCaption = QStringLiteral("New FTP Site");
        s.chooserGroup = QStringLiteral("&New FTP Site");
        s.chooserFolder = QStringLiteral("Create a New &Folder");
        s.chooserSite = QStringLiteral("Create a New &Site");
        s.ftpExtras = true;
        return s;
    }();
    return v;
}

const SiteManagerVariant& pingSiteVariant() {
    static const SiteManagerVariant v = [] {
        SiteManagerVariant s;
        s.objectName = QStringLiteral("PingSitemanfrm");
        s.caption = QStringLiteral("Ping Site Manager");
        s.layout = SiteLayout::Ping;
        s.hostLabel = QStringLiteral("&Host Name:");
        s.addressLabel = QStringLiteral("Host &address:");
        s.portLabel = QStringLiteral("&TTL:");
        s.commentsLabel = QStringLiteral("Co&mments:");
        s.defaultPort = 255;
        s.portMin = 1;
        s.portMax = 255;
        s.chooserCaption = QStringLiteral("New Ping Site");
        s.chooserGroup = QStringLiteral("&New Ping Site");
        s.chooserFolder = QStringLiteral("New Ping &Folder");
        s.chooserSite = QStringLiteral("New Ping &Site");
        return s;
    }();
    return v;
}

// Finger and Whois: a host, its address and port, and the query in the login field.
const SiteManagerVariant& fingerSiteVariant() {
    static const SiteManagerVariant v = [] {
        SiteManagerVariant s;
        s.objectName = QStringLiteral("FingerSitemanfrm");
        s.caption = QStringLiteral("Finger Site Manager");
        s.layout = SiteLayout::Finger;
        s.hostLabel = QStringLiteral("&Host Name:");
        s.addressLabel = QStringLiteral("Host &address:");
        s.loginLabel = QStringLiteral("&User to Finger :");
        s.portLabel = QStringLiteral("P&ort:");
        s.commentsLabel = QStringLiteral("Co&mments:");
        s.defaultPort = 79;
        s.chooserCaption = QStringLiteral("New Finger Site");
        s.chooserGroup = QStringLiteral("&Finger Site Manager");
        s.chooserFolder = QStringLiteral("New Finger &Folder");
        s.chooserSite = QStringLiteral("New Finger &Site");
        return s;
    }();
    return v;
}

const SiteManagerVariant& whoisSiteVariant() {
    static const SiteManagerVariant v = [] {
        SiteManagerVariant s;
        s.objectName = QStringLiteral("whoissitemanfrm");
        s.caption = QStringLiteral("Whois Site Manager");
        s.layout = SiteLayout::Whois;
        s.hostLabel = QStringLiteral("&Host Name:");
        s.addressLabel = QStringLiteral("Host &address:");
        s.loginLabel = QStringLiteral("Command &Line:");
        s.portLabel = QStringLiteral("P&ort:");
        s.commentsLabel = QStringLiteral("Co&mments:");
        s.defaultPort = 43;
        s.chooserCaption = QStringLiteral("New Whois Site");
        s.chooserGroup = QStringLiteral("&Whois Site Manager");
        s.chooserFolder = QStringLiteral("New Whois &Folder");
        s.chooserSite = QStringLiteral("New Whois &Site");
        return s;
    }();
    return v;
}

const SiteManagerVariant& telnetSiteVariant() {
    static const SiteManagerVariant v = [] {
        SiteManagerVariant s;
        s.objectName = QStringLiteral("TelnetSitefrm");
        s.caption = QStringLiteral("Telnet Site Manager");
        s.layout = SiteLayout::Telnet;
        s.hostLabel = QStringLiteral("&Host Name:");
        s.addressLabel = QStringLiteral("Host &address:");
        s.loginLabel = QStringLiteral("&Login:");
        s.passwordLabel = QStringLiteral("&Password:");
        s.portLabel = QStringLiteral("&Port:");
        s.commentsLabel = QStringLiteral("Co&mments:");
        s.loginTypeCaption = QStringLiteral("Lo&gin Type");
        s.loginTypeChoice0 = QStringLiteral("Use Login and Password");
        s.loginTypeChoice1 = QStringLiteral("I'll write them");
        s.loginTypeEffect = SiteManagerVariant::LoginTypeEffect::ClearLoginAndPassword;
        s.defaultPort = 23;
        s.defaultLoginType = 1;
        s.chooserCaption = QStringLiteral("New Telnet Site");
        s.chooserGroup = QStringLiteral("&New Telnet Site");
        s.chooserFolder = QStringLiteral("Create a New &Folder");
        s.chooserSite = QStringLiteral("Create a New &Site");
        s.rereadAfterSave = true;
        return s;
    }();
    return v;
}

} // namespace vn
