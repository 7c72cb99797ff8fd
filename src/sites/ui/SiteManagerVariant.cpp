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

} // namespace vn
