// Connecting from the Site Manager in the FTP window: alternate addresses,
// the anonymous password rule and the site's initial remote folder.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <chrono>

#include "FakeFtpServer.h"
#include "ScriptedPrompter.h"
#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/InfoBox.h"
#include "ftp/explorer/LocalRoots.h"
#include "ftp/explorer/TFTPfrm.h"
#include "WindowTestUtil.h"
#include "sites/SiteFile.h"

namespace vn::test {
namespace {

using namespace std::chrono_literals;


TEST(WindowSiteManager, ConnectsThroughTheAlternateAddresses) {
    setMountProvider([] { return std::vector<MountEntry>{}; });
    FakeFtpServer server;
    server.send("220 Hi\r\n")
        .reply("USER", "331 Password.\r\n")
        .reply("PASS", "230 Welcome.\r\n")
        .on("PWD", "257 \"/\"\r\n")
        .on("REST", "350 Ok\r\n")
        .on("TYPE", "200 Ok\r\n")
        .on("CWD", "250 Ok\r\n")
        .dataPassive()
        .onList("drwxr-xr-x 2 ftp ftp 4096 Jan  5 10:00 pub\r\n");
    {
        IniFile ini(configFile());
        ini.writeInt("FTP", "CxRT", 1);
        ini.writeInt("FTP", "ShowWelcome", 0);
        ini.writeString("FTP", "Email", "me@example.org");
        TSiteRec site;
        site.HostName = "Archive";
        site.Address = "127.0.0.2"; // nothing listens there on this port
        site.Login = "anonymous";
        site.Password = "typed-but-unused";
        site.LoginType = 1;
        site.Port = server.port();
        site.TransferType = 1;
        site.Passive = true;
        site.Addresses = {"127.0.0.2", "", "127.0.0.1", "", ""};
        site.AddressCount = 3;
        SiteTree tree{SiteNode{site, {}}};
        ASSERT_TRUE(saveSites(dataFile("siteman.dat"), tree, SiteLayout::Ftp));
    }
    ScopedPrompter prompter;
    prompter->pushDialog([](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Site Manager");
        auto* tree = d.findChild<QTreeWidget*>("tree");
        tree->setCurrentItem(tree->topLevelItem(0));
        d.findChild<QPushButton*>("ConnectB")->click();
        return d.result();
    });
    TFTPfrm w;
    w.ConnectarAServidorSBClick();
    ASSERT_TRUE(waitIdle(w));
    QStringList log = w.info()->lines();
    QStringList attempts;
    for (const QString& l : log)
        if (l.startsWith(">Connecting socket") || l.startsWith(">Trying")) attempts << l;
    EXPECT_EQ(attempts, (QStringList{">Connecting socket to 127.0.0.2 [Archive]",
                                     ">Trying to connect to alternate address 127.0.0.1",
                                     ">Connecting socket to 127.0.0.1 [Archive]"}));
    EXPECT_TRUE(log.contains(">PASS **************")); // the e-mail address, not the typed password
    EXPECT_TRUE(log.contains(">PASV"));
    ASSERT_EQ(w.sessionCount(), 1);
    EXPECT_EQ(w.serverNodes().at(0)->text(0), QStringLiteral("127.0.0.1:%1[Archive]").arg(server.port()));
    EXPECT_EQ(prompter->unexpected(), 0);
    setMountProvider(nullptr);
}

} // namespace
} // namespace vn::test
