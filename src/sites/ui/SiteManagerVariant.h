#pragma once
// What tells one site manager from another. The FTP site manager and the tool
// site managers share one dialog (TSitefrm); each is that dialog configured by
// one of these descriptors: captions, field labels, defaults, the texts of the
// New chooser, the site file, and the FTP-only extras.
#include <QString>

#include "sites/SiteFile.h"

namespace vn {

struct SiteManagerVariant {
    // What choosing a login type puts into the login fields.
    enum class LoginTypeEffect {
        None,
        AnonymousLogin,         // choice 1 puts "anonymous" into the login box (FTP)
        ClearLoginAndPassword,  // choice 1 empties login and password (Telnet)
    };

    QString objectName{};
    QString caption{};
    SiteLayout layout = SiteLayout::Ftp;  // the file is siteLayoutInfo(layout).fileName

    // Field labels; an empty label hides its field (its value is still kept,
    // written and read, as empty or zero).
    QString hostLabel = QStringLiteral("&Host Name:");
    QString addressLabel = QStringLiteral("Host &address:");
    QString loginLabel{};
    QString passwordLabel{};
    QString portLabel = QStringLiteral("P&ort:");
    QString commentsLabel = QStringLiteral("Co&mments:");

    // The login type group; no caption: no group.
    QString loginTypeCaption{};
    QString loginTypeChoice0{};
    QString loginTypeChoice1{};
    LoginTypeEffect loginTypeEffect = LoginTypeEffect::None;

    // Values of the reset controls.
    int defaultPort = 0;
    int defaultLoginType = 0;
    int defaultTransferType = 0;
    // The port box's range when a site is saved (the time-to-live of Ping: 1..255).
    int portMin = 1;
    int portMax = 65535;

    // The New chooser.
    QString chooserCaption{};
    QString chooserGroup{};
    QString chooserFolder{};
    QString chooserSite{};

    // The FTP extras: multihomed addresses, PASV, transfer type, initial remote
    // folder and the e-mail check box kept in [FTP] UseEmailAddress.
    bool ftpExtras = false;
    // After saving, the file is read back and the tree rebuilt (Telnet).
    bool rereadAfterSave = false;
};

// The FTP site manager, "Site Manager", "siteman.dat".
const SiteManagerVariant& ftpSiteVariant();
// The Ping site manager (Ping and Traceroute), "Ping Site Manager",
// "pingman.dat": the time-to-live on the port line, 1..255, default 255.
const SiteManagerVariant& pingSiteVariant();
// The Finger site manager, "Finger Site Manager", "fingerman.dat".
const SiteManagerVariant& fingerSiteVariant();
// The Whois site manager, "Whois Site Manager", "Whoisman.dat".
const SiteManagerVariant& whoisSiteVariant();
// The Telnet site manager, "Telnet Site Manager", "telnetman.dat": 13-line
// records with the scrambled password, the login type (choosing "I'll write
// them" empties login and password), port 23; the file is read back after saving.
const SiteManagerVariant& telnetSiteVariant();

} // namespace vn
