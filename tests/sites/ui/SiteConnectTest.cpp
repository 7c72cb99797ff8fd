// From the chosen site to the FTP engine: the connect parameters, the
// alternate addresses, and a real connect through a multihomed site.
#include "sites/SiteConnect.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "../../ftp/engine/EngineFixture.h"
#include "RealFtpServers.h"
#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "sites/SiteSecurity.h"
#include "sites/ui/TSitefrm.h"
#include "ui/ScriptedPrompter.h"

namespace vn {
namespace {

using Strings = std::vector<std::string>;

TEST(SiteConnect, ParamsFollowTheSiteAndTheAnonymousRule) {
    struct Case {
        const char* name;
        int loginType;
        std::string password, email, expected;
    };
    const Case cases[] = {
        {"normal keeps the password", 0, "secret", "me@example.org", "secret"},
        {"anonymous takes the e-mail", 1, "secret", "me@example.org", "me@example.org"},
        {"anonymous without e-mail", 1, "secret", "", ""},
        {"anonymous without password", 1, "", "me@example.org", "me@example.org"},
    };
    for (const Case& c : cases) {
        TSiteRec r{.HostName = "Mirror", .Address = "ftp.example.org", .Login = "user", .Password = c.password,
                   .LoginType = c.loginType, .Port = 2121, .Passive = true};
        const ConnectParams p = siteConnectParams(r, c.email);
        EXPECT_EQ(p.password, c.expected) << c.name;
        EXPECT_EQ(p.host, "ftp.example.org") << c.name;
        EXPECT_EQ(p.siteName, "Mirror") << c.name;
        EXPECT_EQ(p.login, "user") << c.name;
        EXPECT_EQ(p.port, 2121) << c.name;
        EXPECT_TRUE(p.passive) << c.name;
    }
}

TEST(SiteSecurity, KeptBesideTheSiteFileByPathWithIfAvailableForSitesWithoutAChoice) {
    SiteSecurityStore store;
    // Every site saved before the choice existed.
    EXPECT_EQ(store.get("Work/Mirror"), FtpSecurity::ExplicitIfAvailable);
    ASSERT_TRUE(store.set("Work/Mirror", FtpSecurity::Plain));
    ASSERT_TRUE(store.set("Work/Vault", FtpSecurity::Implicit));
    EXPECT_EQ(store.get("Work/Mirror"), FtpSecurity::Plain);
    EXPECT_EQ(store.get("Work/Vault"), FtpSecurity::Implicit);
    EXPECT_EQ(store.get("Work"), FtpSecurity::ExplicitIfAvailable);
    ASSERT_TRUE(store.rename("Work/Mirror", "Home/Mirror"));
    EXPECT_EQ(store.get("Home/Mirror"), FtpSecurity::Plain);
    EXPECT_EQ(store.get("Work/Mirror"), FtpSecurity::ExplicitIfAvailable);
    // A value some later copy wrote that this one does not know: the default, not a guess.
    IniFile(dataFile("sitesecurity.ini")).writeString("Security", "Odd", "quantum");
    EXPECT_EQ(store.get("Odd"), FtpSecurity::ExplicitIfAvailable);
    // siteman.dat is not touched.
    EXPECT_FALSE(std::filesystem::exists(dataFile("siteman.dat")));

    TSiteRec r{.HostName = "Vault", .Address = "ftp.example.org", .Port = 990};
    EXPECT_EQ(siteConnectParams(r, "", store.get("Work/Vault")).security, FtpSecurity::Implicit);
    EXPECT_EQ(siteConnectParams(r, "").security, FtpSecurity::ExplicitIfAvailable);
}

TEST(SiteConnect, AlternatesAreSlotsTwoToCountWithoutEmptyOnes) {
    struct Case {
        const char* name;
        std::array<std::string, 5> addresses;
        int count;
        Strings expected;
    };
    const Case cases[] = {
        {"no multihomed setting", {"a", "b"}, 0, {}},
        {"one slot", {"a", "b"}, 1, {}},
        {"three", {"a", "b", "c"}, 3, {"b", "c"}},
        {"beyond the count", {"a", "b", "c", "d"}, 2, {"b"}},
        {"empty and blank skipped", {"a", "", "c", "  ", "e"}, 5, {"c", "e"}},
        {"count too large", {"a", "b", "c", "d", "e"}, 9, {"b", "c", "d", "e"}},
        {"negative count", {"a", "b"}, -3, {}},
    };
    for (const Case& c : cases) {
        TSiteRec r{.Address = "a", .Addresses = c.addresses, .AddressCount = c.count};
        EXPECT_EQ(siteAlternates(r), c.expected) << c.name;
    }
}

// A three-address site made and chosen in the site manager; the first two
// addresses refuse (nothing listens there), the third is vsftpd.
TEST(SiteConnect, MultihomedSiteReachesItsThirdAddress) {
    test::Vsftpd server;
    ASSERT_TRUE(server.ready()) << server.error();
    {
        IniFile ini(configFile());
        ini.writeInt("FTP", "CxRT", 1);
        ini.writeString("FTP", "Email", "tester@example.org");
    }

    std::optional<SiteChoice> choice;
    {
        test::ScopedPrompter p;
        TSitefrm dlg;
        dlg.show();
        auto edit = [&](const char* name) { return dlg.findChild<QLineEdit*>(QString::fromLatin1(name)); };
        p->pushDialog([](QDialog& d) {
            d.findChild<QPushButton*>(QStringLiteral("OKBtn"))->click();
            return d.result();
        });
        dlg.findChild<QPushButton*>(QStringLiteral("NewB"))->click();
        edit("HostEdit")->setText(QStringLiteral("Local"));
        edit("PortEdit")->setText(QString::number(server.port()));
        edit("PasswordEdit")->setText(QStringLiteral("not-this-one"));
        QTest::mouseClick(dlg.findChild<QRadioButton*>(QStringLiteral("AnonymousRb")), Qt::LeftButton);
        p->pushDialog([](QDialog& d) {
            const char* addresses[] = {"127.0.0.2", "127.0.0.3", "127.0.0.1"};
            for (int i = 0; i < 3; ++i)
                d.findChild<QLineEdit*>(QStringLiteral("Edit%1").arg(i + 1))->setText(QString::fromLatin1(addresses[i]));
            d.findChild<QPushButton*>(QStringLiteral("OKBtn"))->click();
            return d.result();
        });
        dlg.findChild<QPushButton*>(QStringLiteral("Multihomed_SB"))->click();
        dlg.findChild<QPushButton*>(QStringLiteral("SaveB"))->click();
        dlg.findChild<QPushButton*>(QStringLiteral("ConnectB"))->click();
        EXPECT_EQ(p->unexpected(), 0);
        choice = dlg.choice();
    }
    ASSERT_TRUE(choice);
    EXPECT_EQ(choice->site.Login, "anonymous");
    EXPECT_EQ(choice->site.AddressCount, 3);

    test::RecordingSink sink;
    test::PlainPrompter prompter;
    FtpEngine engine(sink, prompter);
    engine.applySettings(FtpSettings::load(IniFile(configFile())));
    engine.wait().lowerCancel();
    const ConnectParams params = siteConnectParams(choice->site, choice->email);
    EXPECT_EQ(params.host, "127.0.0.2");
    auto id = engine.connectWithRetries(params, siteAlternates(choice->site), RetryStyle::SiteManager);
    ASSERT_TRUE(id) << server.log();

    Strings attempts;
    for (const auto& l : sink.log())
        if (l.rfind(">Connecting", 0) == 0 || l.rfind(">Trying", 0) == 0) attempts.push_back(l);
    EXPECT_EQ(attempts, (Strings{
                            ">Connecting socket to 127.0.0.2 [Local]",
                            ">Trying to connect to alternate address 127.0.0.3",
                            ">Connecting socket to 127.0.0.3 [Local]",
                            ">Trying to connect to alternate address 127.0.0.1",
                            ">Connecting socket to 127.0.0.1 [Local]",
                        }));
    // Anonymous: the configured e-mail address is the password, never the password box.
    EXPECT_TRUE(sink.has(">USER anonymous"));
    EXPECT_TRUE(sink.has(">PASS " + std::string(std::string("tester@example.org").size(), '*')));
    ASSERT_EQ(sink.opened.size(), 1u);
    EXPECT_EQ(sink.opened[0].host, "127.0.0.1");
    EXPECT_EQ(sink.opened[0].siteName, "Local");
    EXPECT_EQ(sink.opened[0].caption, "127.0.0.1[Local]");
    EXPECT_EQ(sink.opened[0].port, server.port());
    engine.fesQUIT(*id);
}

} // namespace
} // namespace vn
