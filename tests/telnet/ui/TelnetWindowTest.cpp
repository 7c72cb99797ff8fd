// The Telnet window on the offscreen platform: against a real inetutils-telnetd
// (a saved site with automatic login, the shell prompt, a typed command,
// Logout), against the scripted fake server (the screen painted from the
// model with the settings' colours, keys, paste, Erase Line, copy, save,
// print, the server closing), a close during a connect that hangs, and the
// main window's entries that open it.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <QTreeWidget>

#include <condition_variable>
#include <fstream>
#include <functional>
#include <mutex>

#include "FakeTelnetServer.h"
#include "ScriptedPrompter.h"
#include "TelnetdLauncher.h"
#include "TestHome.h"
#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "platform/Resolver.h"
#include "common/History.h"
#include "shell/TMainfrm.h"
#include "sites/SiteFile.h"
#include "sites/ui/SiteManagerVariant.h"
#include "sites/ui/TSitefrm.h"
#include "telnet/ui/TTelnet2frm.h"
#include "telnet/ui/TelnetDialogs.h"
#include "telnet/ui/TelnetPrint.h"
#include "telnet/ui/TerminalView.h"

namespace vn::telnet {
namespace {

using vn::test::ScopedPrompter;
using Asked = std::vector<std::string>;
using namespace std::chrono_literals;

bool waitFor(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QTest::qWait(5);
    }
    return true;
}

std::string screenText(TTelnet2frm& w) {
    auto s = w.session().screen();
    return s->saveText();
}

bool screenShows(TTelnet2frm& w, const std::string& text, int ms = 10000) {
    return waitFor([&] { return screenText(w).find(text) != std::string::npos; }, ms);
}

// The first cell (row, col) where `text` stands on the screen; {0, 0} when it does not.
CursorPos find(TTelnet2frm& w, const std::string& text) {
    auto s = w.session().screen();
    for (int r = 1; r <= kScreenRows; ++r) {
        const std::string row = s->rowText(r);
        if (auto at = row.find(text); at != std::string::npos) return {r, int(at) + 1};
    }
    return {0, 0};
}

std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

// Answers the quick dialog with host and port.
vn::test::ScriptedPrompter::DialogHandler quickAnswer(QString host, int port, bool echo = false) {
    return [=](QDialog& d) {
        auto& q = dynamic_cast<TQuickTelnetfrm&>(d);
        q.hostEdit()->setText(host);
        q.portEdit()->setValue(port);
        q.echoBox()->setChecked(echo);
        return int(QDialog::Accepted);
    };
}

// ---------------------------------------------------------------- telnetd

// Login and password, then an interactive shell with a bold prompt.
const char* kShellScript = R"SH(#!/bin/sh
printf 'login: '
read user
printf 'Password: '
stty -echo
read pw
stty echo
echo
echo "USER=$user PW=$pw"
PS1="$(printf '\033[1mvn$\033[0m ')"
export PS1
exec /bin/sh -i
)SH";

TEST(TelnetWindowTelnetd, SiteWithAutomaticLoginShowsThePromptEchoesACommandAndLogsOut) {
    if (!test::telnetdAvailable()) GTEST_SKIP() << "telnetd or socat missing (scripts/install-deps.sh installs them)";
    test::Telnetd server;
    ASSERT_TRUE(server.start(vn::test::scratchDir("telnetd"), kShellScript));
    SiteTree tree;
    SiteNode site;
    site.rec.HostName = "Local shell";
    site.rec.Address = "127.0.0.1";
    site.rec.Port = server.port();
    site.rec.Login = "alice";
    site.rec.Password = "wonder";
    site.rec.LoginType = 0;
    tree.push_back(site);
    ASSERT_TRUE(saveSites(dataFile("telnetman.dat"), tree, SiteLayout::Telnet));

    ScopedPrompter prompter;
    TTelnet2frm w;
    w.show();
    QStringList statuses;
    QObject::connect(w.statusBar(), &QStatusBar::messageChanged, [&](const QString& s) {
        if (!s.isEmpty()) statuses << s;
    });
    prompter->pushDialog([](QDialog& d) {
        auto& s = dynamic_cast<TSitefrm&>(d);
        auto* t = s.findChild<QTreeWidget*>();
        t->setCurrentItem(t->topLevelItem(0));
        s.ConnectBClick();
        return s.result();
    });
    w.action("SiteManager1")->trigger();
    ASSERT_TRUE(w.busy());
    ASSERT_TRUE(screenShows(w, "USER=alice PW=wonder")) << screenText(w);
    ASSERT_TRUE(screenShows(w, "vn$")) << screenText(w);
    EXPECT_TRUE(waitFor([&] { return w.windowTitle() == "Varnelo FTP Suite - Telnet : 127.0.0.1"; }));
    EXPECT_FALSE(w.action("SiteManager1")->isEnabled());
    EXPECT_FALSE(w.action("Quick1")->isEnabled());
    EXPECT_TRUE(w.action("Logout1")->isEnabled());
    EXPECT_TRUE(w.action("Copy1")->isEnabled());
    {
        // The prompt is bold, as the server's SGR said; the space after it is not.
        const CursorPos at = find(w, "vn$");
        auto s = w.session().screen();
        EXPECT_TRUE(s->cell(at.row, at.col).attrs & Bold);
        EXPECT_FALSE(s->cell(at.row, at.col + 3).attrs & Bold);
    }
    // A successful connect from the site manager is remembered.
    EXPECT_TRUE(waitFor([&] {
        IniFile ini(configFile());
        return History(ini, "Telnet").entries() == std::vector<std::string>{"127.0.0.1"};
    }));

    // A typed command: the server echoes it and runs it.
    QTest::keyClicks(w.terminal(), "echo hi$((40+2))");
    QTest::keyClick(w.terminal(), Qt::Key_Return);
    ASSERT_TRUE(screenShows(w, "echo hi$((40+2))")) << screenText(w);
    ASSERT_TRUE(screenShows(w, "hi42")) << screenText(w);

    w.action("Logout1")->trigger();
    ASSERT_TRUE(waitFor([&] { return !w.busy(); }));
    EXPECT_EQ(w.statusText(), "Not Connected...");
    EXPECT_EQ(w.windowTitle(), "Varnelo FTP Suite - Telnet");
    EXPECT_TRUE(w.action("SiteManager1")->isEnabled());
    EXPECT_TRUE(w.action("Quick1")->isEnabled());
    EXPECT_EQ(statuses.first(), "Connected...");
    EXPECT_EQ(prompter->asked(), (Asked{"dialog: Telnet Site Manager"}));
}

// ---------------------------------------------------------------- the fake server

class TelnetWindowFake : public ::testing::Test {
protected:
    void SetUp() override {
        // Navy screen, yellow text: 0x00BBGGRR.
        TelnetSettings s;
        s.TerminalColor = 0x00800000;
        s.TerminalFontColor = 0x0000FFFF;
        IniFile ini(configFile());
        ASSERT_TRUE(writeTelnetSettings(ini, s));
        w = std::make_unique<TTelnet2frm>();
        w->show();
    }
    void TearDown() override {
        server.closeClient();
        if (w) waitFor([&] { return !w->busy(); }, 5000);
    }
    void connect() {
        prompter->pushDialog(quickAnswer("127.0.0.1", server.port()));
        w->action("Quick1")->trigger();
        ASSERT_TRUE(w->busy());
        ASSERT_TRUE(server.accept());
        ASSERT_TRUE(waitFor([&] { return w->session().connected(); }));
        // The reports of the connect reach the window through its event loop.
        ASSERT_TRUE(waitFor([&] { return w->statusText() == "Connected..."; }));
        ASSERT_TRUE(waitFor([&] { return w->windowTitle() == "Varnelo FTP Suite - Telnet : 127.0.0.1"; }));
    }
    ScopedPrompter prompter;
    test::FakeTelnetServer server;
    std::unique_ptr<TTelnet2frm> w;
};

TEST_F(TelnetWindowFake, PaintsTheModelWithTheSettingsColours) {
    EXPECT_EQ(w->terminal()->backgroundColor(), QColor(0, 0, 0x80));
    EXPECT_EQ(w->terminal()->textColor(), QColor(0xFF, 0xFF, 0));
    connect();
    ASSERT_TRUE(server.send("plain \x1b[7mREV\x1b[0m \x1b[1mBOLD\x1b[0m \x1b[4mITAL\x1b[0m\r\nnext"));
    ASSERT_TRUE(screenShows(*w, "next"));
    {
        auto s = w->session().screen();
        EXPECT_EQ(s->cell(1, 1).attrs, 0);
        EXPECT_EQ(s->cell(1, 7).attrs, Reverse);
        EXPECT_EQ(s->cell(1, 11).attrs, Bold);
        EXPECT_EQ(s->cell(1, 16).attrs, Underline);
    }
    const QImage shot = w->terminal()->grab().toImage(); // painted from the model now
    auto corner = [&](int row, int col) {
        const QRect r = w->terminal()->cellRect(row, col);
        return QColor(shot.pixel(r.topLeft()));
    };
    EXPECT_EQ(corner(1, 1), QColor(0, 0, 0x80));      // plain: the screen's colour
    EXPECT_EQ(corner(1, 7), QColor(0xFF, 0xFF, 0));   // reverse: the text colour behind
    EXPECT_EQ(corner(1, 11), QColor(0, 0, 0x80));
    EXPECT_EQ(corner(20, 40), QColor(0, 0, 0x80));
    // The first cell's letter is drawn in the text colour (blended at its edges).
    auto ink = [&](int row, int col) {
        const QRect cell = w->terminal()->cellRect(row, col);
        for (int y = cell.top(); y <= cell.bottom(); ++y)
            for (int x = cell.left(); x <= cell.right(); ++x)
                if (QColor(shot.pixel(x, y)).red() > 0x80) return true;
        return false;
    };
    EXPECT_TRUE(ink(1, 1));
    EXPECT_FALSE(ink(1, 6)); // the space after "plain"
}

TEST_F(TelnetWindowFake, KeysPasteEraseLineCopySavePrintAndTheServerClosing) {
    connect();
    // Typed characters, Enter, an arrow (on its release) and Tab go to the server.
    QTest::keyClicks(w->terminal(), "ls");
    QTest::keyClick(w->terminal(), Qt::Key_Return);
    QTest::keyClick(w->terminal(), Qt::Key_Up);
    QTest::keyClick(w->terminal(), Qt::Key_Tab);
    EXPECT_EQ(server.read(8), "ls\r\n\x1b[A\t");
    QApplication::clipboard()->setText("pasted");
    w->action("Paste1")->trigger();
    EXPECT_EQ(server.read(6), "pasted");
    w->action("EraseLine1")->trigger();
    EXPECT_EQ(server.read(2), "\xff\xf8");

    // Pasted text stands at the cursor, which stays: clear the screen first.
    ASSERT_TRUE(screenShows(*w, "pasted"));
    ASSERT_TRUE(server.send("\x1b[2J\x1b[Hfirst\r\nsecond"));
    ASSERT_TRUE(screenShows(*w, "second"));
    const std::string pad = std::string(80 - 5, ' ');
    w->action("Copy1")->trigger();
    const QString copied = QApplication::clipboard()->text();
    EXPECT_TRUE(copied.startsWith(QString::fromStdString("first" + pad + "\rsecond" + std::string(74, ' ') + "\r")))
        << copied.left(170).toStdString();
    EXPECT_EQ(copied.count('\r'), 24);
    w->action("CopyLine1")->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QString::fromStdString("second" + std::string(74, ' ')));

    // Save: "telnet.log" offered; an existing file is overwritten only after Yes.
    const auto target = vn::test::scratchDir("save") / "screen.log";
    std::ofstream(target) << "old";
    QString suggested;
    auto answer = [&](QDialog& d) {
        auto* f = qobject_cast<QFileDialog*>(&d);
        suggested = f->selectedFiles().value(0);
        f->selectFile(QString::fromStdString(target.string()));
        return int(QDialog::Accepted);
    };
    prompter->pushDialog(answer);
    prompter->pushYesNo(false);
    w->action("SaveScreen1")->trigger();
    EXPECT_TRUE(suggested.endsWith("/telnet.log")) << suggested.toStdString();
    EXPECT_EQ(slurp(target), "old");
    prompter->pushDialog(answer);
    prompter->pushYesNo(true);
    w->action("SaveScreen1")->trigger();
    const std::string saved = slurp(target);
    EXPECT_EQ(saved.size(), 24u * 81u);
    EXPECT_NE(saved.find("first" + pad + "\nsecond"), std::string::npos);

    // Print: to a PDF here; with no printer, a message at once.
    const auto pdf = vn::test::scratchDir("print") / "screen.pdf";
    setTelnetPrintFile(QString::fromStdString(pdf.string()));
    w->action("Print1")->trigger();
    setTelnetPrintFile({});
    EXPECT_GT(QFileInfo(QString::fromStdString(pdf.string())).size(), 0);
    Asked expected{"dialog: Quick Telnet Connection", "dialog: Save Screen to File", "yesno: " + std::string(kOverwriteQuestion),
                   "dialog: Save Screen to File", "yesno: " + std::string(kOverwriteQuestion)};
    if (QPrinterInfo::defaultPrinter().isNull()) {
        w->action("Print1")->trigger();
        expected.push_back("message: " + std::string(kNoPrinter));
    }

    // The server closes: the box, the status, the caption, the commands.
    server.closeClient();
    ASSERT_TRUE(waitFor([&] { return !w->busy(); }));
    expected.push_back("message: The connection with the Host has been closed.");
    EXPECT_EQ(prompter->asked(), expected);
    EXPECT_EQ(w->statusText(), "Not Connected.");
    EXPECT_EQ(w->windowTitle(), "Varnelo FTP Suite - Telnet");
    EXPECT_TRUE(w->action("Quick1")->isEnabled());
    IniFile ini(configFile());
    EXPECT_EQ(History(ini, "Telnet").entries(), std::vector<std::string>{"127.0.0.1"});
}

TEST_F(TelnetWindowFake, TheScreenLogGetsWhatIsWritten) {
    const auto target = vn::test::scratchDir("log") / "session.log";
    prompter->pushDialog([&](QDialog& d) {
        qobject_cast<QFileDialog*>(&d)->selectFile(QString::fromStdString(target.string()));
        return int(QDialog::Accepted);
    });
    w->action("OpenLog1")->trigger();
    ASSERT_TRUE(w->logging());
    EXPECT_FALSE(w->action("OpenLog1")->isEnabled());
    EXPECT_TRUE(w->action("CloseLog1")->isEnabled());
    connect();
    ASSERT_TRUE(server.send("logged line\r\n"));
    ASSERT_TRUE(screenShows(*w, "logged line"));
    w->action("CloseLog1")->trigger();
    EXPECT_FALSE(w->logging());
    EXPECT_NE(slurp(target).find("logged line"), std::string::npos);
}

// Closing with a connection asks first; No keeps it, Yes logs out and closes.
TEST_F(TelnetWindowFake, ClosingAConnectedWindowAsksAndLogsOut) {
    connect();
    prompter->pushYesNo(false);
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(w->session().connected());
    prompter->pushYesNo(true);
    w->close();
    EXPECT_EQ(server.readUntil("logout\r\n"), "logout\r\n");
    ASSERT_TRUE(waitFor([&] { return w->closeState() == ToolWindow::CloseState::Closed; }, 5000));
    EXPECT_EQ(prompter->asked(), (Asked{"dialog: Quick Telnet Connection", "yesno: " + std::string(kCloseConnectionQuestion),
                                        "yesno: " + std::string(kCloseConnectionQuestion)}));
}

// A visited host connects on the options' port, with nothing added to the history.
TEST_F(TelnetWindowFake, AVisitedHostConnectsOnTheOptionsPort) {
    {
        IniFile ini(configFile());
        TelnetSettings s = readTelnetSettings(ini);
        s.TelnetPort = server.port();
        ASSERT_TRUE(writeTelnetSettings(ini, s));
        History(ini, "Telnet").AfegirComAVisitat("other.example");
    }
    emit w->historyMenu()->aboutToShow();
    ASSERT_EQ(w->historyMenu()->actions().size(), 1);
    w->fromHistory("127.0.0.1");
    ASSERT_TRUE(server.accept());
    ASSERT_TRUE(waitFor([&] { return w->session().connected(); }));
    EXPECT_FALSE(w->historyMenu()->isEnabled()); // off while connected
    w->action("Logout1")->trigger();
    EXPECT_EQ(server.readUntil("logout\r\n"), "logout\r\n");
    ASSERT_TRUE(waitFor([&] { return !w->busy(); }));
    IniFile ini(configFile());
    EXPECT_EQ(History(ini, "Telnet").entries(), std::vector<std::string>{"other.example"});
    EXPECT_TRUE(prompter->asked().empty());
}

// ---------------------------------------------------------------- a connect that hangs

// A look-up that never answers until the test ends.
class HangingLookup {
public:
    HangingLookup() {
        vn::setLookupFunction([this](const std::string&) {
            std::unique_lock lock(m_);
            ++calls_;
            cv_.notify_all();
            cv_.wait(lock, [&] { return release_; });
            return vn::LookupResult{};
        });
    }
    ~HangingLookup() {
        {
            std::lock_guard lock(m_);
            release_ = true;
        }
        cv_.notify_all();
        vn::setLookupFunction(nullptr);
    }
    int calls() {
        std::lock_guard lock(m_);
        return calls_;
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    int calls_ = 0;
    bool release_ = false;
};

TEST(TelnetWindowHanging, CloseAndLogoutEndAHangingConnectAtOnce) {
    HangingLookup lookup;
    ScopedPrompter prompter;
    {
        TTelnet2frm w;
        w.show();
        prompter->pushDialog(quickAnswer("hangs.example", 23));
        w.action("Quick1")->trigger();
        ASSERT_TRUE(waitFor([&] { return lookup.calls() == 1; }));
        w.action("Logout1")->trigger();
        ASSERT_TRUE(waitFor([&] { return !w.busy(); }, 2000));
        EXPECT_EQ(w.statusText(), "Not Connected...");
    }
    auto w = std::make_unique<TTelnet2frm>();
    w->show();
    prompter->pushDialog(quickAnswer("hangs.example", 23));
    w->action("Quick1")->trigger();
    ASSERT_TRUE(waitFor([&] { return lookup.calls() == 2; }));
    QElapsedTimer t;
    t.start();
    w->close();
    ASSERT_TRUE(waitFor([&] { return w->closeState() == ToolWindow::CloseState::Closed; }, 2000));
    w.reset(); // joins the worker
    EXPECT_LT(t.elapsed(), 2000);
    // Nothing asked: a hanging connect is not a connection.
    EXPECT_EQ(prompter->asked(), (Asked{"dialog: Quick Telnet Connection", "dialog: Quick Telnet Connection"}));
}

// ---------------------------------------------------------------- site manager, options, main window

TEST(TelnetWindowParts, TheTelnetSiteManager) {
    ScopedPrompter prompter;
    TSitefrm s(telnetSiteVariant());
    EXPECT_EQ(s.windowTitle(), "Telnet Site Manager");
    QStringList labels;
    for (const char* n : {"HostLabel", "AddressLabel", "LoginLabel", "PasswordLabel", "PortLabel", "CommentsLabel"})
        labels << s.findChild<QLabel*>(n)->text();
    EXPECT_EQ(labels, (QStringList{"&Host Name:", "Host &address:", "&Login:", "&Password:", "&Port:", "Co&mments:"}));
    QStringList chooser;
    prompter->pushDialog([&](QDialog& d) {
        chooser << d.windowTitle() << d.findChild<QGroupBox*>("RadioGroup1")->title()
                << d.findChild<QRadioButton*>("FolderRb")->text() << d.findChild<QRadioButton*>("SiteRb")->text();
        d.findChild<QRadioButton*>("SiteRb")->click();
        d.findChild<QPushButton*>("OKBtn")->click();
        return d.result();
    });
    s.findChild<QPushButton*>("NewB")->click();
    EXPECT_EQ(chooser, (QStringList{"New Telnet Site", "&New Telnet Site", "Create a New &Folder", "Create a New &Site"}));
    EXPECT_EQ(s.findChild<QLineEdit*>("PortEdit")->text(), "23");
    QStringList radios;
    for (QRadioButton* r : s.findChildren<QRadioButton*>()) radios << r->text();
    EXPECT_TRUE(radios.contains("Use Login and Password"));
    EXPECT_TRUE(radios.contains("I'll write them"));
    // "I'll write them" empties login and password.
    QRadioButton* mine = nullptr;
    QRadioButton* useLogin = nullptr;
    for (QRadioButton* r : s.findChildren<QRadioButton*>()) {
        if (r->text() == "I'll write them") mine = r;
        if (r->text() == "Use Login and Password") useLogin = r;
    }
    ASSERT_TRUE(mine && useLogin);
    EXPECT_TRUE(mine->isChecked()); // the default login type
    useLogin->click();
    s.findChild<QLineEdit*>("LoginEdit")->setText("alice");
    s.findChild<QLineEdit*>("PasswordEdit")->setText("wonder");
    mine->click();
    EXPECT_EQ(s.findChild<QLineEdit*>("LoginEdit")->text(), "");
    EXPECT_EQ(s.findChild<QLineEdit*>("PasswordEdit")->text(), "");
}

TEST(TelnetWindowParts, OptionsWriteTheElevenKeysAndTheWindowRereadsThem) {
    ScopedPrompter prompter;
    TTelnet2frm w;
    prompter->pushDialog([](QDialog& d) {
        auto& o = dynamic_cast<TOptionsTelnetfrm&>(d);
        o.echoBox()->setChecked(true);
        o.portEdit()->setValue(2323);
        o.setBackground(QColor(0x10, 0x20, 0x30));
        o.OKClick();
        return o.result();
    });
    w.action("Options1")->trigger();
    const TelnetSettings s = readTelnetSettings(IniFile(configFile()));
    EXPECT_TRUE(s.LocalEcho);
    EXPECT_EQ(s.TelnetPort, 2323);
    EXPECT_EQ(s.TerminalColor, 0x302010);
    EXPECT_EQ(w.settings(), s);
    EXPECT_TRUE(w.session().localEcho());
    EXPECT_EQ(w.terminal()->backgroundColor(), QColor(0x10, 0x20, 0x30));
    for (const char* key : {"TelnetPort", "LocalEcho", "ClearScreen", "TerminalColor", "TerminalFontColor",
                            "TerminalFontSize", "TerminalFontName", "TerminalEmulation", "CursorSymbol", "NAWS",
                            "BlinkCursor"})
        EXPECT_TRUE(IniFile(configFile()).hasKey("Telnet", key)) << key;
    // Defaults: the controls go back to the defaults.
    TOptionsTelnetfrm o;
    o.DefaultsClick();
    EXPECT_EQ(o.settings(), TelnetSettings{});
}

TEST(TelnetWindowParts, MenusKeysAndHelpPage) {
    TTelnet2frm w;
    EXPECT_EQ(w.windowTitle(), "Varnelo FTP Suite - Telnet");
    EXPECT_EQ(w.statusText(), "Not Connected.");
    QStringList menus;
    for (QAction* a : w.menuBar()->actions()) menus << a->text();
    EXPECT_EQ(menus, (QStringList{"Telnet Session", "Edit", "Miscellaneous", "Help"}));
    const std::vector<std::pair<const char*, QKeySequence>> keys{
        {"SiteManager1", QKeySequence(Qt::CTRL | Qt::Key_S)}, {"Quick1", QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {"Logout1", QKeySequence(Qt::CTRL | Qt::Key_L)},      {"Copy1", QKeySequence(Qt::CTRL | Qt::Key_K)},
        {"Paste1", QKeySequence(Qt::CTRL | Qt::Key_P)},       {"SaveScreen1", QKeySequence(Qt::CTRL | Qt::Key_F)},
        {"Print1", QKeySequence(Qt::CTRL | Qt::Key_R)},       {"Options1", QKeySequence(Qt::CTRL | Qt::Key_O)},
        {"EraseLine1", QKeySequence(Qt::CTRL | Qt::Key_Y)},   {"Visit1", QKeySequence(Qt::CTRL | Qt::Key_W)}};
    for (const auto& [name, key] : keys) EXPECT_EQ(w.action(name)->shortcut(), key) << name;
    // The screen is as large as 80 x 24 cells.
    EXPECT_EQ(w.terminal()->size(), QSize(80 * w.terminal()->cellSize().width(), 24 * w.terminal()->cellSize().height()));
    const QString help = QStringLiteral(VN_SOURCE_DIR "/docs/help/");
    EXPECT_TRUE(QFile::exists(help + w.identity().helpPage));
    QFile index(help + "index.html");
    ASSERT_TRUE(index.open(QIODevice::ReadOnly));
    const QByteArray text = index.readAll();
    EXPECT_TRUE(text.contains("href=\"telnet.html\""));
    EXPECT_FALSE(text.contains("(Telnet,"));
}

TEST(TelnetWindowParts, TheMainWindowEntriesOpenIt) {
    ScopedPrompter prompter;
    TMainfrm main;
    main.show();
    ASSERT_TRUE(main.sessionAction(ToolKind::Telnet)->isEnabled());
    ASSERT_TRUE(main.toolButtonAction(ToolKind::Telnet)->isEnabled());
    main.sessionAction(ToolKind::Telnet)->trigger();
    main.toolButtonAction(ToolKind::Telnet)->trigger();
    QAction* tray = nullptr;
    for (QAction* a : main.trayMenu()->actions())
        if (a->text() == "Open with &Telnet session") tray = a;
    ASSERT_TRUE(tray);
    tray->trigger();
    EXPECT_EQ(main.findChildren<TTelnet2frm*>().size(), 3u);
    // Each keeps the terminal's size, its frame too.
    for (QMdiSubWindow* sub : main.findChildren<QMdiSubWindow*>()) {
        EXPECT_EQ(sub->minimumSize(), sub->maximumSize());
        auto* t = qobject_cast<TTelnet2frm*>(sub->widget());
        ASSERT_TRUE(t);
        EXPECT_EQ(t->terminal()->size(), t->terminal()->sizeHint());
        EXPECT_TRUE(sub->rect().contains(t->terminal()->geometry().translated(t->pos())));
    }
}

} // namespace
} // namespace vn::telnet
