// The FTP window end to end on the offscreen platform: the Quick Connection
// dialog answered by a script, the engine on the window's worker thread, the
// fake server on loopback.
#include <gtest/gtest.h>

#include <algorithm>

#include <QAccessible>
#include <QApplication>
#include <QToolButton>
#include <QFile>
#include <QMenuBar>
#include <QRegularExpression>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <chrono>

#include "FakeFtpServer.h"
#include "ScriptedPrompter.h"
#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/Beeper.h"
#include "common/ui/Commands.h"
#include "common/ui/InfoBox.h"
#include "ftp/explorer/LocalRoots.h"
#include "ftp/explorer/TFTPfrm.h"
#include "WindowTestUtil.h"
#include "ftp/explorer/TQuickfrm.h"
#include "common/History.h"

namespace vn::test {
namespace {

using namespace std::chrono_literals;

// Fills the Quick Connection dialog the way a user does and presses OK.
ScriptedPrompter::DialogHandler quick(const QString& host, uint16_t port, const QString& login = "user",
                                      const QString& password = "secret") {
    return [=](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Quick Connection");
        if (!host.isNull()) d.findChild<QLineEdit*>("HostEdit")->setText(host);
        d.findChild<QLineEdit*>("LoginEdit")->setText(login);
        d.findChild<QLineEdit*>("PasswordEdit")->setText(password);
        d.findChild<QLineEdit*>("PortEdit")->setText(QString::number(port));
        d.accept();
        return d.result();
    };
}


struct Window : ::testing::Test {
    ScopedPrompter prompter;
    int beeps = 0;
    void SetUp() override {
        // No mounts: the tree's local roots are home and "/" only.
        setMountProvider([] { return std::vector<MountEntry>{}; });
        IniFile ini(configFile());
        ini.writeInt("FTP", "ShowWelcome", 0);
        setBeepHook([this] { ++beeps; });
    }
    void TearDown() override {
        setBeepHook(nullptr);
        setMountProvider(nullptr);
    }
};

TEST_F(Window, QuickConnectionLogsTheSession) {
    auto server = FakeFtpServer::loginScript();
    server->dataActive().onList("drwxr-xr-x   2 ftp ftp 4096 Jan  5 10:00 pub\r\n").on("CWD", "250 Ok.\r\n");
    TFTPfrm w;
    w.show();
    prompter->pushDialog(quick("127.0.0.1", server->port()));
    w.QuickSBClick();
    EXPECT_TRUE(w.busy());
    ASSERT_TRUE(waitIdle(w));
    // The first listing of the working folder comes between PWD and the REST probe.
    // Quick Connection asks for TLS first; this server has none, and the log says so.
    QStringList expected = {
        ">Connecting socket to 127.0.0.1 [FTP]",
        ">Socket connected.",
        "--->220 Fake FTP ready",
        ">AUTH TLS",
        "--->502 AUTH not supported.",
        "-The server does not support TLS: this session is NOT encrypted.",
        ">USER user",
        "--->331 Password required.",
        ">PASS ******",
        "--->230 Logged in.",
        ">FEAT",
        "--->502 Command not implemented.",
        "-The server lists no features: LIST and PASV are used.",
        ">PWD",
        "--->257 \"/\" is the current directory.",
        ">PORT",
        "--->200 PORT command successful.",
        ">TYPE A",
        "--->200 Type set.",
        ">LIST /",
        "--->150 Here comes the listing.",
        "--->226 Done.",
        ">CWD /",
        "--->250 Ok.",
        ">REST 0",
        "--->350 Restarting at 0.",
        "-This Server can resume broken downloads.",
    };
    QStringList lines = w.info()->lines();
    for (QString& l : lines)
        if (l.startsWith(">PORT 127,0,0,1,")) l = ">PORT";
    EXPECT_EQ(lines, expected);
    auto servers = w.serverNodes();
    ASSERT_EQ(servers.size(), 1u);
    EXPECT_EQ(servers[0]->text(0), QStringLiteral("127.0.0.1:%1[FTP]").arg(server->port()));
    // No padlock: the session runs in clear text, and the node says so in words.
    EXPECT_FALSE(servers[0]->data(0, ExplorerTree::kEncryptedRole).toBool());
    EXPECT_EQ(servers[0]->toolTip(0), QStringLiteral("Not encrypted"));
    // The listing filled the server node and the list.
    ASSERT_EQ(servers[0]->childCount(), 1);
    EXPECT_EQ(servers[0]->child(0)->text(0), "pub");
    EXPECT_EQ(w.listModel()->rowCount(), 1);
    EXPECT_NE(w.currentSession(), 0u);
    EXPECT_EQ(w.currentDir(), "/");

    // The host is in "&Last Hosts Visited" at the next opening of the menu.
    w.FTPMenuPopup();
    ASSERT_EQ(w.lastHostsMenu()->actions().size(), 1);
    EXPECT_EQ(w.lastHostsMenu()->actions()[0]->text(), "127.0.0.1");
    EXPECT_TRUE(w.lastHostsMenu()->isEnabled());
    EXPECT_EQ(prompter->unexpected(), 0);
}

TEST_F(Window, ServerTextIsShownAsPlainText) {
    FakeFtpServer server;
    server.login("220 <b>Bold</b> &amp; <a href='x'>link</a>\r\n");
    IniFile(configFile()).writeInt("FTP", "ShowWelcome", 1);
    TFTPfrm w;
    prompter->pushDialog(quick("127.0.0.1", server.port()));
    w.QuickSBClick();
    ASSERT_TRUE(waitIdle(w));
    EXPECT_TRUE(w.info()->lines().contains("--->220 <b>Bold</b> &amp; <a href='x'>link</a>"));
    EXPECT_TRUE(w.info()->toPlainText().contains("<b>Bold</b>"));
    auto asked = prompter->asked();
    ASSERT_FALSE(asked.empty());
    EXPECT_NE(asked.back().find("220 <b>Bold</b>"), std::string::npos);
}

TEST_F(Window, AbortEndsAHangingConnectAndTheWindowStaysLive) {
    HangingConnectTarget target;
    if (!target.hangs()) GTEST_SKIP() << "this kernel does not leave the connect pending";
    TFTPfrm w;
    w.show();
    prompter->pushDialog(quick("127.0.0.1", target.port()));
    w.QuickSBClick();
    // The UI thread keeps running while the worker waits on the connect:
    // its timer ticks again and again meanwhile.
    int ticks = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks >= 10; }, 5000));
    ticker.stop();
    EXPECT_TRUE(w.busy());
    EXPECT_TRUE(w.connecting());
    auto a0 = std::chrono::steady_clock::now();
    w.AbortSBClick();
    ASSERT_TRUE(waitIdle(w, 1s));
    EXPECT_LT(std::chrono::steady_clock::now() - a0, 1s);
    EXPECT_TRUE(w.info()->lines().contains("--CANCELED--"));
    EXPECT_EQ(w.info()->lines().count(">Connecting socket to 127.0.0.1 [FTP]"), 1);
    EXPECT_EQ(w.sessionCount(), 0);
}

TEST_F(Window, TwoSessionsLogoutOfOneThenCloseAsksOnceAndQuitsTheRest) {
    auto a = FakeFtpServer::loginScript();
    auto b = FakeFtpServer::loginScript();
    auto c = FakeFtpServer::loginScript();
    auto* w = new TFTPfrm;
    w->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<TFTPfrm> alive(w);
    for (auto* s : {a.get(), b.get(), c.get()}) {
        prompter->pushDialog(quick("127.0.0.1", s->port()));
        w->QuickSBClick();
        ASSERT_TRUE(waitIdle(*w));
    }
    ASSERT_EQ(w->sessionCount(), 3);

    // Logout of the selected (last) session removes only its node.
    prompter->pushYesNo(true);
    w->QuitSBClick();
    ASSERT_TRUE(waitIdle(*w));
    EXPECT_EQ(w->sessionCount(), 2);
    EXPECT_TRUE(w->info()->lines().contains(">CONNECTION with 127.0.0.1[FTP] has been CLOSED"));
    auto asked = prompter->asked();
    // The question names the node as the tree shows it.
    EXPECT_EQ(asked.back(), "yesno: Do you confirm that you want to Quit '127.0.0.1:" + std::to_string(c->port()) +
                                "[FTP]'?");

    // No at the close question keeps the window and its sessions.
    prompter->pushYesNo(false);
    EXPECT_FALSE(w->close());
    QTest::qWait(50);
    ASSERT_TRUE(alive);
    EXPECT_EQ(w->sessionCount(), 2);

    prompter->clearAsked();
    prompter->pushYesNo(true);
    w->close();
    for (int i = 0; i < 300 && alive; ++i) QTest::qWait(10);
    EXPECT_FALSE(alive);
    EXPECT_EQ(prompter->asked(),
              std::vector<std::string>{"yesno: There are still open connections. Do you want to close them?"});
    EXPECT_TRUE(a->waitForCommand("QUIT", 1s));
    EXPECT_TRUE(b->waitForCommand("QUIT", 1s));
    // The closed session got none: its socket went at the Logout, before the
    // close round sent the QUITs above, so nothing of it can still arrive.
    const auto cCommands = c->commands();
    EXPECT_EQ(std::count(cCommands.begin(), cCommands.end(), "QUIT"), 0);
}

TEST_F(Window, KeepAliveSendsNoopWhileIdle) {
    IniFile(configFile()).writeInt("FTP", "NOOPInterval", 1);
    auto server = FakeFtpServer::loginScript();
    TFTPfrm w;
    prompter->pushDialog(quick("127.0.0.1", server->port()));
    w.QuickSBClick();
    ASSERT_TRUE(waitIdle(w));
    // The keep-alive timer (1 s) sends it; nothing else would.
    ASSERT_TRUE(waitForLogLine(w, "--->200 NOOP ok.", 5s));
    EXPECT_TRUE(w.info()->lines().contains(">NOOP 127.0.0.1"));
    EXPECT_TRUE(server->waitForCommand("NOOP", 1s));
}

TEST_F(Window, LogoutWithoutASessionBeeps) {
    TFTPfrm w;
    w.QuitSBClick();
    EXPECT_EQ(beeps, 1);
    EXPECT_TRUE(prompter->asked().empty());
}

TEST_F(Window, HistoryEntryOpensTheDialogWithItsHost) {
    auto server = FakeFtpServer::loginScript();
    {
        IniFile ini(configFile());
        History(ini, "FTP").AfegirComAVisitat("127.0.0.1");
    }
    TFTPfrm w;
    w.FTPMenuPopup();
    ASSERT_EQ(w.lastHostsMenu()->actions().size(), 1);
    QString seenHost;
    prompter->pushDialog([&](QDialog& d) {
        seenHost = d.findChild<QLineEdit*>("HostEdit")->text();
        return quick(QString(), server->port())(d);
    });
    w.lastHostsMenu()->actions()[0]->trigger();
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(seenHost, "127.0.0.1");
    EXPECT_EQ(w.sessionCount(), 1);
}

TEST_F(Window, CommandLineParameterFillsTheHost) {
    TFTPfrm w;
    QString seenHost;
    prompter->pushDialog([&](QDialog& d) {
        seenHost = d.findChild<QLineEdit*>("HostEdit")->text();
        return static_cast<int>(QDialog::Rejected);
    });
    w.mostrarQuick("ftp://ftp.example.org");
    EXPECT_EQ(seenHost, "ftp.example.org");
    EXPECT_FALSE(w.busy());
}

} // namespace
} // namespace vn::test

namespace vn::test {
namespace {

// The guide names menus as "<b>Menu &gt; Item</b>"; each path must exist in
// the window as it is (menu titles and items without their mnemonics).
TEST_F(Window, TheGuideNamesOnlyMenusThatExist) {
    QFile page(QStringLiteral(VN_SOURCE_DIR "/docs/help/ftp.html"));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(page.readAll());
    TFTPfrm w;
    auto find = [](const QList<QAction*>& actions, const QString& text) -> QAction* {
        for (QAction* a : actions)
            if (withoutMnemonic(a->text()) == text) return a;
        return nullptr;
    };
    QRegularExpression bold(QStringLiteral("<b>([^<]*&gt;[^<]*)</b>"));
    int paths = 0;
    for (auto it = bold.globalMatch(html); it.hasNext();) {
        QString path = it.next().captured(1).simplified();
        QStringList parts = path.split(QStringLiteral("&gt;"));
        QList<QAction*> level = w.menuBar()->actions();
        QString walked;
        for (QString part : parts) {
            part = part.trimmed().replace(QStringLiteral("&amp;"), QStringLiteral("&"));
            QAction* a = find(level, part);
            ASSERT_TRUE(a) << "the guide names \"" << path.toStdString() << "\": no \"" << part.toStdString()
                           << "\" after \"" << walked.toStdString() << "\"";
            walked += part + " > ";
            level = a->menu() ? a->menu()->actions() : QList<QAction*>{};
        }
        ++paths;
    }
    EXPECT_GT(paths, 20);
}

} // namespace
} // namespace vn::test

namespace vn::test {
namespace {

// Two sessions on one server would look the same: their logins tell them
// apart while both are there; alone again, the node drops the login.
TEST_F(Window, TwoSessionsOnOneServerShowTheirLogins) {
    FakeFtpServer server;
    server.login();
    TFTPfrm w;
    for (const char* login : {"alice", "bob"}) {
        prompter->pushDialog(quick("127.0.0.1", server.port(), login));
        w.QuickSBClick();
        ASSERT_TRUE(waitIdle(w));
    }
    const QString at = QStringLiteral("127.0.0.1:%1[FTP]").arg(server.port());
    QStringList captions;
    for (QTreeWidgetItem* s : w.serverNodes()) captions << s->text(0);
    captions.sort();
    EXPECT_EQ(captions, (QStringList{"alice@" + at, "bob@" + at}));
    prompter->pushYesNo(true);
    w.QuitSBClick();
    ASSERT_TRUE(waitIdle(w));
    ASSERT_EQ(w.serverNodes().size(), 1u);
    EXPECT_EQ(w.serverNodes()[0]->text(0), at);
}

} // namespace
} // namespace vn::test

namespace vn::test {
namespace {

// Screen readers: every command has a name to announce, and the checkable
// ones (passive mode, transfer type) say they are.
TEST_F(Window, CommandsAnnounceTheirNamesAndCheckability) {
    TFTPfrm w;
    for (QAction* a : w.commands().actions())
        EXPECT_FALSE(w.commands().accessibleName(a->objectName()).isEmpty()) << a->objectName().toStdString();
    for (const char* name : {"pasvmode1", "ASCIImode1", "Binarymode1", "Automode1", "Grid1", "InformationBox1"})
        EXPECT_TRUE(w.action(name)->isCheckable()) << name;
    for (const char* name : {"ASCIISB", "BinarySB", "AutoTYPESB", "ShowGridSB", "viewReportSB"}) {
        QToolButton* b = w.button(name);
        ASSERT_TRUE(b) << name;
        QAccessibleInterface* i = QAccessible::queryAccessibleInterface(b);
        ASSERT_TRUE(i) << name;
        EXPECT_TRUE(i->state().checkable) << name;
        EXPECT_FALSE(b->accessibleName().isEmpty()) << name;
    }
}

} // namespace
} // namespace vn::test
