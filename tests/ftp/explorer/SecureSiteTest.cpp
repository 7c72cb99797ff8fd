// The FTP window end to end on a TLS-only server reached over IPv6: a site
// made in the Site Manager (whose file was written by an older copy), the
// certificate question, the listing, and a file each way compared byte for
// byte. vsftpd lists with LIST (it has no MLSD), pyftpdlib with MLSD.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTreeWidget>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "RealFtpServers.h"
#include "ScriptedPrompter.h"
#include "WindowTestUtil.h"
#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/InfoBox.h"
#include "ftp/explorer/LocalRoots.h"
#include "ftp/explorer/TFTPfrm.h"
#include "sites/SiteFile.h"
#include "sites/SiteSecurity.h"

namespace vn::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Tls = RealServerOptions::Tls;

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Bytes that are never a run of one value, so a shifted or repeated block shows.
std::string pattern(std::size_t n, unsigned seed) {
    std::string s(n, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& c : s) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    return s;
}

enum class Kind { Vsftpd, PyFtpd };

struct SecureSite : ::testing::TestWithParam<Kind> {
    ScopedPrompter prompter;
    fs::path home;
    QByteArray oldHome;
    std::unique_ptr<RealFtpServer> server;

    void SetUp() override {
        std::string why;
        if (!ipv6LoopbackAvailable(why)) GTEST_SKIP() << why;
        RealServerOptions o;
        o.ipv6 = true;
        o.tls = Tls::Explicit;
        if (GetParam() == Kind::Vsftpd) server = std::make_unique<Vsftpd>(o);
        else server = std::make_unique<PyFtpd>(o);
        ASSERT_TRUE(server->ready()) << server->error();
        ASSERT_TRUE(server->localUserAvailable()) << "a TLS-only login is the local user's";
        home = fs::path(::testing::TempDir()) / ("vn-secure-" + std::to_string(::getpid()));
        fs::remove_all(home);
        fs::create_directories(home);
        oldHome = qgetenv("HOME");
        qputenv("HOME", QByteArray::fromStdString(home.string()));
        setMountProvider([] { return std::vector<MountEntry>{}; });
        IniFile(configFile()).writeInt("FTP", "ShowWelcome", 0);
        fs::remove(dataFile("certificates.ini"));
        fs::remove(dataFile("sitesecurity.ini"));
    }
    void TearDown() override {
        setMountProvider(nullptr);
        if (!home.empty()) {
            qputenv("HOME", oldHome);
            fs::remove_all(home);
        }
    }
    std::string homeDir() const { return home.string() + "/"; }
};

// The Site Manager: the old sites are there; a new site for the server,
// requiring TLS, saved and connected to.
ScriptedPrompter::DialogHandler newSecureSite(const RealFtpServer& server, QStringList& oldSites) {
    return [&server, &oldSites](QDialog& d) {
        auto* tree = d.findChild<QTreeWidget*>("tree");
        for (int i = 0; i < tree->topLevelItemCount(); ++i) oldSites << tree->topLevelItem(i)->text(0);
        // Nothing chosen: the new site goes to the top, not into the folder shown first.
        tree->setCurrentItem(nullptr);
        tree->clearSelection();
        d.findChild<QPushButton*>("NewB")->click(); // the chooser is the next dialog
        d.findChild<QLineEdit*>("HostEdit")->setText("Secure");
        d.findChild<QLineEdit*>("addressedit")->setText("::1");
        d.findChild<QLineEdit*>("LoginEdit")->setText(QString::fromStdString(server.localUser()));
        d.findChild<QLineEdit*>("PasswordEdit")->setText(QString::fromStdString(server.localPassword()));
        d.findChild<QLineEdit*>("PortEdit")->setText(QString::number(server.port()));
        d.findChild<QCheckBox*>("PASVrb")->setChecked(true);
        auto* security = d.findChild<QComboBox*>("SecurityCombo");
        security->setCurrentIndex(security->findData(static_cast<int>(FtpSecurity::RequireExplicit)));
        d.findChild<QPushButton*>("SaveB")->click();
        d.findChild<QPushButton*>("ConnectB")->click();
        return d.result();
    };
}

TEST_P(SecureSite, ANewSiteReachesATlsOnlyServerOverIpv6) {
    // A site file as older copies wrote it.
    fs::copy_file(std::string(VN_SOURCE_DIR) + "/tests/sites/golden/siteman_work_mirror.dat", dataFile("siteman.dat"),
                  fs::copy_options::overwrite_existing);
    const std::string down = pattern((3 << 20) + 17, 1), up = pattern((2 << 20) + 5, 2);
    std::ofstream(server->localRoot() / "down.bin", std::ios::binary) << down;
    std::ofstream(home / "up.bin", std::ios::binary) << up;

    TFTPfrm w;
    w.resize(900, 600);
    w.show();
    QStringList oldSites;
    prompter->pushDialog(newSecureSite(*server, oldSites));
    prompter->pushDialog([](QDialog& d) {
        d.findChild<QRadioButton*>("SiteRb")->click();
        d.findChild<QPushButton*>("OKBtn")->click();
        return d.result();
    });
    prompter->pushYesNo(true); // the certificate: trust once
    w.ConnectarAServidorSBClick();
    ASSERT_TRUE(waitIdle(w, 30s));
    const auto dump = [&] { return w.info()->lines().join("\n").toStdString(); };
    ASSERT_EQ(w.sessionCount(), 1) << dump();

    EXPECT_EQ(oldSites, QStringList{"Work"});
    EXPECT_EQ(SiteSecurityStore().get("Secure"), FtpSecurity::RequireExplicit);
    const SiteReadResult saved = loadSites(dataFile("siteman.dat"), SiteLayout::Ftp);
    EXPECT_TRUE(saved.clean);
    ASSERT_EQ(saved.tree.size(), 2u);
    EXPECT_EQ(saved.tree[0].rec.HostName, "Secure");
    EXPECT_EQ(saved.tree[1].rec.HostName, "Work");
    ASSERT_EQ(saved.tree[1].children.size(), 1u);

    bool certificateShown = false;
    for (const std::string& a : prompter->asked())
        if (a.find("SHA-256 fingerprint: ") != std::string::npos) certificateShown = true;
    EXPECT_TRUE(certificateShown);
    const QStringList log = w.info()->lines();
    EXPECT_TRUE(log.contains(">AUTH TLS")) << dump();
    EXPECT_FALSE(log.filter(QRegularExpression("^-TLS connection established: TLSv1\\.[23], ")).isEmpty()) << dump();
    EXPECT_TRUE(log.contains(">PROT P")) << dump();
    EXPECT_TRUE(log.contains(">EPSV")) << dump();
    EXPECT_FALSE(log.contains(">PASV")) << dump();
    // vsftpd has no MLSD; pyftpdlib lists MLST in FEAT.
    EXPECT_EQ(log.filter(QRegularExpression("^>MLSD ")).isEmpty(), GetParam() == Kind::Vsftpd) << dump();
    EXPECT_EQ(log.filter(QRegularExpression("^>LIST")).isEmpty(), GetParam() == Kind::PyFtpd) << dump();
    ASSERT_EQ(w.serverNodes().size(), 1u);
    EXPECT_EQ(w.serverNodes()[0]->data(0, Qt::AccessibleDescriptionRole).toString(), "Encrypted connection (TLS)");

    // Down: the server's file into the home folder.
    const std::string remote = w.currentDirBytes();
    const SessionId sid = w.currentSession();
    ASSERT_TRUE(w.selectListItem("down.bin")) << dump();
    w.list()->setFocus();
    w.CopySBClick();
    w.tree()->setCurrentItem(w.findNode(homeDir(), 0));
    ASSERT_TRUE(waitForFolder(w, homeDir()));
    w.PAsteSBClick();
    ASSERT_TRUE(waitIdle(w, 60s));
    EXPECT_TRUE(readAll(home / "down.bin") == down) << dump();

    // Up: a home file into the server's folder.
    ASSERT_TRUE(w.selectListItem("up.bin"));
    w.list()->setFocus();
    w.CopySBClick();
    w.tree()->setCurrentItem(w.findNode(remote, sid));
    ASSERT_TRUE(waitForFolder(w, remote));
    w.PAsteSBClick();
    ASSERT_TRUE(waitIdle(w, 60s));
    EXPECT_TRUE(readAll(server->localRoot() / "up.bin") == up) << dump();
    EXPECT_EQ(prompter->unexpected(), 0);
}

INSTANTIATE_TEST_SUITE_P(Servers, SecureSite, ::testing::Values(Kind::Vsftpd, Kind::PyFtpd),
                         [](const auto& i) { return std::string(i.param == Kind::Vsftpd ? "vsftpd" : "pyftpdlib"); });

} // namespace
} // namespace vn::test
