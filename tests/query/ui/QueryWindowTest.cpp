// The Finger, Whois, Daytime and Time windows on the offscreen platform: real
// inetd-run peers (daytime, time, in.fingerd, a whois script), scripted peers
// for silence and pieces, and the main window's entries that open them.
#include <gtest/gtest.h>

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPrinterInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QGroupBox>
#include <QStatusBar>
#include <QTest>
#include <QTreeWidget>

#include <chrono>
#include <ctime>
#include <fstream>
#include <functional>
#include <future>
#include <sys/stat.h>

#include "FakeClockSetter.h"
#include "InetdPeer.h"
#include "ScriptedPeer.h"
#include "ScriptedPrompter.h"
#include "TestHome.h"
#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/InfoBox.h"
#include "common/ui/ThinkingIndicator.h"
#include "query/ui/QueryPrint.h"
#include "query/ui/TQueryfrm.h"
#include "query/ui/TQuickFinger.h"
#include "query/ui/TTimefrm.h"
#include "common/History.h"
#include "shell/TMainfrm.h"
#include "sites/SiteFile.h"
#include "sites/ui/TSitefrm.h"

namespace vn {
namespace {

using test::InetdPeer;
using test::ScopedPrompter;
using test::ScriptedPeer;
using Asked = std::vector<std::string>;

bool waitFor(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QTest::qWait(5);
    }
    return true;
}

const char* kWhoisScript =
    "#!/bin/sh\n"
    "IFS= read -r q\n"
    "q=$(printf '%s' \"$q\" | tr -d '\\r')\n"
    "printf 'Domain Name: %s\\r\\nRegistrar: Varnelo Test Registry\\r\\n' \"$q\"\n";

// Every status text a window shows, in order.
struct StatusLog {
    explicit StatusLog(ToolWindow& w) {
        QObject::connect(w.statusBar(), &QStatusBar::messageChanged, w.statusBar(), [this](const QString& s) {
            if (!s.isEmpty()) texts << s;
        });
    }
    QStringList texts;
};

const QStringList kByAddress{"Creating socket...", "Connecting...", "Connected...", "Not Connected."};

// Answers the quick dialog: checks its look, types host and query, OK.
test::ScriptedPrompter::DialogHandler quickAnswer(QString host, QString query, QStringList* seen = nullptr) {
    return [=](QDialog& d) {
        auto& q = dynamic_cast<TQuickFinger&>(d);
        if (seen) *seen << q.heading() << q.hostLabel() << (q.queryShown() ? "query" : "no query")
                        << d.findChild<QLineEdit*>("HostEdit")->text() << d.findChild<QLineEdit*>("UserEdit")->text();
        d.findChild<QLineEdit*>("HostEdit")->setText(host);
        if (q.queryShown()) d.findChild<QLineEdit*>("UserEdit")->setText(query);
        if (!d.findChild<QPushButton*>("OKBtn")->isEnabled()) return int(QDialog::Rejected);
        return int(QDialog::Accepted);
    };
}

class RealPeerWindows : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        inetd_ = new InetdPeer;
        auto script = inetd_->folder() / "whois.sh";
        std::ofstream(script) << kWhoisScript;
        chmod(script.c_str(), 0755);
        inetd_->internal("daytime")
            .internal("time")
            .program("finger", {"/usr/sbin/in.fingerd", "in.fingerd"}, "nobody")
            .program("whois", {"/bin/sh", "sh", script.string()}, "nobody");
        inetd_->start();
    }
    static void TearDownTestSuite() {
        delete inetd_;
        inetd_ = nullptr;
    }
    void SetUp() override {
        if (inetd_->namespaceUnavailable()) GTEST_SKIP() << "no mount namespace for inetd here: " << inetd_->error();
        ASSERT_TRUE(inetd_->ready()) << inetd_->error();
    }
    static int port(const char* tag) { return inetd_->port(tag); }
    // Runs one command that asks through the quick dialog and waits for the query's end.
    static bool runQuery(TQueryfrm& w, const char* command) {
        w.action(QString::fromLatin1(command))->trigger();
        if (!w.busy()) return false;
        return waitFor([&] { return !w.busy(); });
    }
    static InetdPeer* inetd_;
    ScopedPrompter prompter;
};

InetdPeer* RealPeerWindows::inetd_ = nullptr;

TEST_F(RealPeerWindows, FingerShowsTheUserWithTheStatusTextsInOrder) {
    TFingerfrm w;
    w.applyPort(QString::number(port("finger")));
    StatusLog statuses(w);
    QStringList seen;
    prompter->pushDialog(quickAnswer("127.0.0.1", "root", &seen));
    ASSERT_TRUE(runQuery(w, "Quick1"));
    EXPECT_EQ(seen, (QStringList{"QUICK FINGER", "&Host :", "query", "", ""}));
    EXPECT_TRUE(w.info()->lines().join('\n').contains("Login: root")) << w.info()->lines().join('\n').toStdString();
    EXPECT_EQ(statuses.texts, kByAddress);
    EXPECT_EQ(prompter->asked(), (Asked{"dialog: Quick finger"}));
    IniFile ini(configFile());
    EXPECT_EQ(History(ini, "Finger").entries(), std::vector<std::string>{"127.0.0.1"});
    EXPECT_TRUE(w.action("Print1")->isEnabled());
    EXPECT_TRUE(w.action("Quick1")->isEnabled());
}

// The Whois site manager's site feeds the quick dialog; the command line goes out whole.
TEST_F(RealPeerWindows, WhoisFromItsSiteManager) {
    SiteTree tree;
    SiteNode site;
    site.rec.HostName = "Registry";
    site.rec.Address = "127.0.0.1";
    site.rec.Login = "example.com";
    site.rec.Port = 43;
    tree.push_back(site);
    ASSERT_TRUE(saveSites(dataFile("Whoisman.dat"), tree, SiteLayout::Whois));

    TWhoisfrm w;
    w.applyPort(QString::number(port("whois")));
    StatusLog statuses(w);
    QString caption;
    prompter->pushDialog([&](QDialog& d) {
        auto& s = dynamic_cast<TSitefrm&>(d);
        caption = s.windowTitle();
        auto* t = s.findChild<QTreeWidget*>();
        t->setCurrentItem(t->topLevelItem(0));
        s.ConnectBClick();
        return s.result();
    });
    QStringList seen;
    prompter->pushDialog(quickAnswer("127.0.0.1", "example.com", &seen));
    ASSERT_TRUE(runQuery(w, "SiteManager1"));
    EXPECT_EQ(caption, "Whois Site Manager");
    EXPECT_EQ(seen, (QStringList{"QUICK Whois", "&Host address:", "query", "127.0.0.1", "example.com"}));
    EXPECT_EQ(w.info()->lines(),
              (QStringList{"Domain Name: example.com", "Registrar: Varnelo Test Registry"}));
    EXPECT_EQ(statuses.texts, kByAddress);
    EXPECT_EQ(prompter->asked(), (Asked{"dialog: Whois Site Manager", "dialog: Quick Whois"}));
}

TEST_F(RealPeerWindows, DaytimeShowsTheDateAndOffersTheVisitedHost) {
    TDayTimefrm w;
    w.applyPort(QString::number(port("daytime")));
    StatusLog statuses(w);
    QStringList seen;
    prompter->pushDialog(quickAnswer("127.0.0.1", {}, &seen));
    ASSERT_TRUE(runQuery(w, "Quick1"));
    EXPECT_EQ(seen, (QStringList{"Quick DayTime", "DayTime Server:", "no query", "", ""}));
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    ASSERT_EQ(w.info()->lineCount(), 1) << w.info()->lines().join('|').toStdString();
    EXPECT_TRUE(w.info()->lines()[0].contains(QString::number(tm.tm_year + 1900)));
    EXPECT_EQ(statuses.texts, kByAddress);

    // The visited host comes back through the submenu, in the dialog's other look.
    emit w.queryMenu()->aboutToShow();
    QMenu* last = w.historyMenu();
    ASSERT_TRUE(last->isEnabled());
    ASSERT_EQ(last->actions().size(), 1);
    EXPECT_EQ(last->actions()[0]->text(), "127.0.0.1");
    seen.clear();
    prompter->pushDialog(quickAnswer("127.0.0.1", {}, &seen));
    last->actions()[0]->trigger();
    ASSERT_TRUE(waitFor([&] { return !w.busy(); }));
    EXPECT_EQ(seen, (QStringList{"Quick DayTime", "&Host :", "no query", "127.0.0.1", ""}));
    EXPECT_EQ(w.info()->lineCount(), 2);
}

TEST_F(RealPeerWindows, TimeShowsTheServerTimeAndSynchronisesThroughTheSetter) {
    TTimefrm w;
    test::FakeClockSetter clock;
    w.setClockSetter(&clock);
    w.applyPort(QString::number(port("time")));
    EXPECT_EQ(w.serverTimeText(), "Not Connected...");
    StatusLog statuses(w);
    QStringList seen;
    prompter->pushDialog(quickAnswer("localhost", {}, &seen));
    ASSERT_TRUE(runQuery(w, "Synchronize1"));
    EXPECT_EQ(seen, (QStringList{"System Time Synchronization", "Time Server:", "no query", "", ""}));
    EXPECT_EQ(statuses.texts,
              (QStringList{"Creating socket...", "Looking for the host...", "Connecting...", "Connected...",
                           "Not Connected."}));
    EXPECT_EQ(prompter->asked(), (Asked{"dialog: Quick finger", "message: " + std::string(kClockSynchronised)}));
    ASSERT_EQ(clock.calls().size(), 1u);
    const auto now = std::chrono::system_clock::now();
    EXPECT_LE(std::chrono::abs(clock.calls()[0] - now), std::chrono::seconds(2));

    // The server is this machine: its time, shown in local time, is one of
    // the last few seconds, with the zone text.
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const ZoneBias bias = systemZoneBias(t);
    bool matched = false;
    for (std::time_t s = t - 3; s <= t; ++s) {
        TimeReading r = readingFor(static_cast<std::uint32_t>(s + kRfc868UnixEpoch), bias);
        if (w.serverTimeText() == QString::fromStdString(r.text())) matched = true;
    }
    EXPECT_TRUE(matched) << w.serverTimeText().toStdString();
    EXPECT_TRUE(w.serverTimeText().endsWith(QString::fromStdString(gmtText(bias.current, bias.standard))));

    // A plain quick query shows the time and leaves the clock alone.
    seen.clear();
    prompter->pushDialog(quickAnswer("127.0.0.1", {}, &seen));
    ASSERT_TRUE(runQuery(w, "Quick1"));
    EXPECT_EQ(seen, (QStringList{"Quick Time (NTP)", "Time Server:", "no query", "", ""}));
    EXPECT_EQ(clock.calls().size(), 1u);

    // A visited host: the dialog's third look, and no synchronisation.
    emit w.queryMenu()->aboutToShow();
    ASSERT_EQ(w.historyMenu()->actions().size(), 2);
    seen.clear();
    prompter->pushDialog(quickAnswer("127.0.0.1", {}, &seen));
    w.historyMenu()->actions()[0]->trigger();
    ASSERT_TRUE(waitFor([&] { return !w.busy(); }));
    EXPECT_EQ(seen, (QStringList{"Quick Time (Time Protocol)", "&Host :", "no query", "127.0.0.1", ""}));
    EXPECT_EQ(clock.calls().size(), 1u);

    // A server that closes before a whole value: an error, the clock and the
    // last time shown stay as they were.
    const QString shown = w.serverTimeText();
    ScriptedPeer shortValue([](ScriptedPeer::Conn& c) { c.send(std::string("\x01\x02", 2)); });
    w.applyPort(QString::number(shortValue.port()));
    prompter->clearAsked();
    prompter->pushDialog(quickAnswer("127.0.0.1", {}));
    ASSERT_TRUE(runQuery(w, "Synchronize1"));
    const Asked asked = prompter->asked();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1].rfind("message: ", 0), 0u) << asked[1];
    EXPECT_EQ(clock.calls().size(), 1u);
    EXPECT_EQ(w.serverTimeText(), shown);
    EXPECT_EQ(w.statusText(), "Not Connected.");
}

// ---- without real peers

class QueryWindows : public ::testing::Test {
protected:
    ScopedPrompter prompter;
};

TEST_F(QueryWindows, TheLocalClockTicksEverySecondWithItsZoneText) {
    TTimefrm w;
    auto expected = [](std::time_t s) { return QString::fromStdString(localClockText(s, systemZoneBias(s))); };
    const QString first = w.localTimeText();
    const std::time_t t = std::time(nullptr);
    EXPECT_TRUE(first == expected(t) || first == expected(t - 1)) << first.toStdString();
    EXPECT_TRUE(first.contains(" (GMT"));
    ASSERT_TRUE(waitFor([&] { return w.localTimeText() != first; }, 2500));
    const std::time_t t2 = std::time(nullptr);
    EXPECT_TRUE(w.localTimeText() == expected(t2) || w.localTimeText() == expected(t2 - 1));
}

TEST_F(QueryWindows, ReplyPiecesAppearAsLinesAndCancelKeepsThem) {
    // The second piece goes out once the window shows the first, so the two
    // arrive in two receives.
    std::promise<void> shown;
    std::shared_future<void> firstShown = shown.get_future().share();
    ScriptedPeer peer([firstShown](ScriptedPeer::Conn& c) {
        c.readLine();
        c.send("first piece");
        firstShown.wait_for(std::chrono::seconds(10));
        c.send("second\r\nthird\r\n");
        c.silence();
    });
    TFingerfrm w;
    w.applyPort(QString::number(peer.port()));
    prompter->pushDialog(quickAnswer("127.0.0.1", "someone"));
    w.action("Quick1")->trigger();
    ASSERT_TRUE(w.busy());
    ASSERT_TRUE(waitFor([&] { return w.info()->lineCount() >= 1; }));
    shown.set_value();
    ASSERT_TRUE(waitFor([&] { return w.info()->lineCount() >= 3; }));
    EXPECT_FALSE(w.action("Quick1")->isEnabled());
    EXPECT_TRUE(w.action("Cancel1")->isEnabled());
    w.action("Cancel1")->trigger();
    ASSERT_TRUE(waitFor([&] { return !w.busy(); }, 2000));
    EXPECT_EQ(w.info()->lines(), (QStringList{"first piece", "second", "third"}));
    EXPECT_EQ(w.statusText(), "Not Connected.");
    EXPECT_EQ(peer.received(), "someone\r\n");
}

// Closing the window while the peer says nothing ends the query at once and
// the window goes; nothing waits for the peer.
TEST_F(QueryWindows, ClosingDuringASilentQueryAbortsIt) {
    ScriptedPeer peer([](ScriptedPeer::Conn& c) { c.silence(); });
    for (auto make : std::vector<std::function<TQueryfrm*()>>{[] { return new TDayTimefrm; },
                                                               [] { return new TTimefrm; }}) {
        QPointer<TQueryfrm> w = make();
        w->setAttribute(Qt::WA_DeleteOnClose);
        w->show();
        w->applyPort(QString::number(peer.port()));
        StatusLog statuses(*w);
        prompter->pushDialog(quickAnswer("127.0.0.1", {}));
        w->action("Quick1")->trigger();
        ASSERT_TRUE(waitFor([&] { return statuses.texts.contains("Connected..."); }));
        QElapsedTimer t;
        t.start();
        w->close();
        ASSERT_TRUE(waitFor([&] { return w.isNull(); }, 3000));
        EXPECT_LT(t.elapsed(), 2000);
    }
    EXPECT_TRUE(waitFor([&] { return peer.finished(); }, 3000));
}

TEST_F(QueryWindows, AnEmptyHostIsRefusedByTheQuickDialog) {
    TQuickFinger d;
    auto* ok = d.findChild<QPushButton*>("OKBtn");
    EXPECT_FALSE(ok->isEnabled());
    d.setHost("   ");
    EXPECT_FALSE(ok->isEnabled());
    d.setHost(" example.org ");
    EXPECT_TRUE(ok->isEnabled());
    EXPECT_EQ(d.host(), "example.org");
}

TEST_F(QueryWindows, MenusAndButtonsAsTheToolsGiveThem) {
    struct Case {
        std::function<TQueryfrm*()> make;
        QStringList menus, queryMenu, misc, buttons;
        QString caption, port;
    };
    const std::vector<Case> cases{
        {[] { return new TFingerfrm; },
         {"&Finger", "&Edit", "&Miscellaneous", "&Help"},
         {"Finger &Site Manager", "&Quick Finger", "&Cancel Current Finger", "&Last Hosts Visited", "", "&Close"},
         {"&Print", "Save to &File", "", "&Set Finger Port", "Disable Thinking Indicator"},
         {"ConnectarAServidorSB", "CopySB", "PrintSB", "QuickSB", "QuitSB"},
         "Varnelo FTP Suite - Finger", "&Finger Port :"},
        {[] { return new TWhoisfrm; },
         {"&Whois", "&Edit", "&Miscellaneous", "&Help"},
         {"Whois &Site Manager", "&Quick Whois", "&Cancel Current Whois", "&Last Hosts Visited", "", "&Close"},
         {"&Print", "Save to &File", "", "&Set Whois Port", "Disable \"Thinking\" Indicator"},
         {"ConnectarAServidorSB", "CopySB", "PrintSB", "QuickSB", "QuitSB"},
         "Varnelo FTP Suite - Whois", "&Whois Port :"},
        {[] { return new TDayTimefrm; },
         {"&DayTime", "&Edit", "&Miscellaneous", "&Help"},
         {"&Quick DayTime Connection", "&Cancel Current Connection", "&Last Hosts Visited", "", "&Close"},
         {"&Print", "Save to &File", "", "Disable \"Thinking\" Indicator"},
         {"CopySB", "PrintSB", "QuickSB", "QuitSB"},
         "Varnelo FTP Suite - DayTime", "DayTime &Port :"},
        {[] { return new TTimefrm; },
         {"&DayTime", "&Help"},
         {"&Quick Time Connection", "&System Time Synchronization", "&Cancel Current Connection",
          "Disable \"Thinking\" Indicator", "&Last Hosts Visited", "", "&Close"},
         {},
         {"QuickSB", "QuitSB", "SyncSB"},
         "Varnelo FTP Suite - Time", "Time &Port :"},
    };
    for (const Case& c : cases) {
        std::unique_ptr<TQueryfrm> w(c.make());
        SCOPED_TRACE(c.caption.toStdString());
        QStringList menus, entries, misc;
        for (QAction* a : w->menuBar()->actions()) menus << a->text();
        for (QAction* a : w->queryMenu()->actions()) entries << a->text();
        if (w->miscMenu())
            for (QAction* a : w->miscMenu()->actions()) misc << a->text();
        EXPECT_EQ(menus, c.menus);
        EXPECT_EQ(entries, c.queryMenu);
        EXPECT_EQ(misc, c.misc);
        QStringList buttons;
        for (const auto& [name, button] : w->commands().buttons()) buttons << name;
        EXPECT_EQ(buttons, c.buttons);
        EXPECT_EQ(w->windowTitle(), c.caption);
        EXPECT_EQ(w->findChild<QLabel*>("PortLabel")->text(), c.port);
        EXPECT_EQ(w->statusText(), "Not Connected.");
        EXPECT_EQ(w->portBox()->text(), QString::number(w->profile().defaultPort));
        // Empty history: the submenu is off.
        emit w->queryMenu()->aboutToShow();
        EXPECT_FALSE(w->historyMenu()->isEnabled());
        EXPECT_EQ(w->action("Quick1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));
        EXPECT_EQ(w->action("Cancel1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_X));
        // F1 finds its page of the guide, and the contents link to it.
        const QString help = QStringLiteral(VN_SOURCE_DIR "/docs/help/");
        EXPECT_TRUE(QFile::exists(help + w->identity().helpPage)) << w->identity().helpPage.toStdString();
        QFile index(help + "index.html");
        ASSERT_TRUE(index.open(QIODevice::ReadOnly));
        EXPECT_TRUE(index.readAll().contains(("href=\"" + w->identity().helpPage + "\"").toUtf8()));
    }
}

TEST_F(QueryWindows, PortBoxAndSetPortFollowTheRule) {
    TFingerfrm w;
    w.applyPort("0");
    EXPECT_EQ(w.port(), 79);
    EXPECT_EQ(w.portBox()->text(), "79");
    w.applyPort("7979");
    EXPECT_EQ(IniFile(dataFile("finger.ini")).readInt("Finger", "Port", 0), 7979);
    prompter->pushInput(std::string("abc"));
    w.action("SetPort1")->trigger();
    EXPECT_EQ(w.port(), 7979);
    prompter->pushInput(std::string("1079"));
    w.action("SetPort1")->trigger();
    EXPECT_EQ(w.port(), 1079);
    EXPECT_EQ(prompter->asked(), (Asked{"input: Finger: &Please enter the new Port value:",
                                        "message: 'abc' is not a valid integer value",
                                        "input: Finger: &Please enter the new Port value:"}));
    // A new window starts with the stored port.
    TFingerfrm again;
    EXPECT_EQ(again.port(), 1079);
}

TEST_F(QueryWindows, ThinkingIndicatorSettingIsKeptPerTool) {
    IniFile(configFile()).writeInt("Whois", "DisableThinking", 1);
    TWhoisfrm w;
    TFingerfrm f;
    EXPECT_TRUE(w.thinking()->thinkingDisabled());
    EXPECT_TRUE(w.action("Thinking1")->isChecked());
    EXPECT_FALSE(f.thinking()->thinkingDisabled());
    w.action("Thinking1")->trigger();
    EXPECT_EQ(IniFile(configFile()).readInt("Whois", "DisableThinking", -1), 0);
    EXPECT_FALSE(w.thinking()->thinkingDisabled());
}

TEST_F(QueryWindows, CopyPrintAndSave) {
    TDayTimefrm w;
    EXPECT_FALSE(w.action("Print1")->isEnabled());
    EXPECT_FALSE(w.action("SaveToFile1")->isEnabled());
    w.info()->addLine("Thu Dec 10 15:03:22 2026");
    w.info()->addLine("second line");
    EXPECT_TRUE(w.action("Print1")->isEnabled());
    EXPECT_FALSE(w.action("Copy1")->isEnabled());
    w.action("SelectAll1")->trigger();
    EXPECT_TRUE(w.action("Copy1")->isEnabled());

    // Save: the suggested name, CR LF after every line.
    const auto target = test::scratchDir("save") / "out.txt";
    QString suggested, title;
    prompter->pushDialog([&](QDialog& d) {
        auto* f = qobject_cast<QFileDialog*>(&d);
        suggested = f->selectedFiles().value(0);
        title = f->windowTitle();
        f->selectFile(QString::fromStdString(target.string()));
        return int(QDialog::Accepted);
    });
    w.action("SaveToFile1")->trigger();
    EXPECT_TRUE(suggested.endsWith("DayTimeResponse.txt")) << suggested.toStdString();
    EXPECT_EQ(title, "Save DayTime Information");
    std::ifstream in(target, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "Thu Dec 10 15:03:22 2026\r\nsecond line\r\n");

    // Print to a file stands for the printer.
    const auto pdf = test::scratchDir("print") / "out.pdf";
    setPrintFile(QString::fromStdString(pdf.string()));
    w.action("Print1")->trigger();
    setPrintFile({});
    EXPECT_TRUE(std::filesystem::exists(pdf));
    EXPECT_GT(std::filesystem::file_size(pdf), 100u);
    std::ifstream pin(pdf, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(pin)), {});
    // The job's title, as the PDF keeps it (UTF-16BE).
    std::string title16;
    for (char ch : std::string("Varnelo FTP Suite - DayTime")) title16 += std::string(1, '\0') + ch;
    EXPECT_NE(bytes.find(title16), std::string::npos);

    // Without a printer: a message at once.
    if (QPrinterInfo::defaultPrinter().isNull()) {
        prompter->clearAsked();
        w.action("Print1")->trigger();
        EXPECT_EQ(prompter->asked(), (Asked{"message: " + std::string(kNoDefaultPrinter)}));
    }
    w.action("ClearOutput1")->trigger();
    EXPECT_EQ(w.info()->lineCount(), 0);
    EXPECT_FALSE(w.action("Print1")->isEnabled());
}

// The Finger site manager writes the site it is given exactly as the site
// file wants it (the golden file of the site file tests).
TEST_F(QueryWindows, FingerSiteManagerWritesTheUniSite) {
    TSitefrm s(fingerSiteVariant());
    EXPECT_EQ(s.windowTitle(), "Finger Site Manager");
    QStringList labels;
    for (const char* n : {"HostLabel", "AddressLabel", "LoginLabel", "PortLabel", "CommentsLabel"})
        labels << s.findChild<QLabel*>(n)->text();
    EXPECT_EQ(labels, (QStringList{"&Host Name:", "Host &address:", "&User to Finger :", "P&ort:", "Co&mments:"}));
    EXPECT_FALSE(s.findChild<QLineEdit*>("PasswordEdit")->isVisibleTo(&s));
    QStringList chooser;
    prompter->pushDialog([&](QDialog& d) {
        chooser << d.windowTitle() << d.findChild<QGroupBox*>("RadioGroup1")->title()
                << d.findChild<QRadioButton*>("FolderRb")->text() << d.findChild<QRadioButton*>("SiteRb")->text();
        d.findChild<QRadioButton*>("SiteRb")->click();
        d.findChild<QPushButton*>("OKBtn")->click();
        return d.result();
    });
    s.findChild<QPushButton*>("NewB")->click();
    EXPECT_EQ(chooser, (QStringList{"New Finger Site", "&Finger Site Manager", "New Finger &Folder", "New Finger &Site"}));
    EXPECT_EQ(s.findChild<QLineEdit*>("PortEdit")->text(), "79");
    s.findChild<QLineEdit*>("HostEdit")->setText("Uni");
    s.findChild<QLineEdit*>("addressedit")->setText("192.168.1.10");
    s.findChild<QLineEdit*>("LoginEdit")->setText("root");
    s.findChild<QPlainTextEdit*>("Memo1")->setPlainText("Computing centre");
    s.findChild<QPushButton*>("SaveB")->click();
    auto slurp = [](const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), {});
    };
    EXPECT_EQ(slurp(dataFile("fingerman.dat")),
              slurp(std::filesystem::path(VN_SOURCE_DIR) / "tests/sites/golden/fingerman_uni.dat"));
}

TEST_F(QueryWindows, WhoisSiteManagerTexts) {
    TSitefrm s(whoisSiteVariant());
    EXPECT_EQ(s.windowTitle(), "Whois Site Manager");
    EXPECT_EQ(s.findChild<QLabel*>("LoginLabel")->text(), "Command &Line:");
    EXPECT_EQ(s.siteFile().filename(), "Whoisman.dat");
    QStringList chooser;
    prompter->pushDialog([&](QDialog& d) {
        chooser << d.windowTitle() << d.findChild<QGroupBox*>("RadioGroup1")->title()
                << d.findChild<QRadioButton*>("FolderRb")->text() << d.findChild<QRadioButton*>("SiteRb")->text();
        d.findChild<QRadioButton*>("SiteRb")->click();
        d.findChild<QPushButton*>("OKBtn")->click();
        return d.result();
    });
    s.findChild<QPushButton*>("NewB")->click();
    EXPECT_EQ(chooser, (QStringList{"New Whois Site", "&Whois Site Manager", "New Whois &Folder", "New Whois &Site"}));
    EXPECT_EQ(s.findChild<QLineEdit*>("PortEdit")->text(), "43");
    s.findChild<QPushButton*>("CAncelEB")->click();
}

// The main window's entries open the four windows (their tools are enabled).
TEST_F(QueryWindows, MainWindowEntriesOpenThem) {
    TMainfrm main;
    main.show();
    main.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
    for (ToolKind kind : {ToolKind::Time, ToolKind::DayTime, ToolKind::Whois, ToolKind::Finger}) {
        ASSERT_TRUE(main.sessionAction(kind)->isEnabled());
        ASSERT_TRUE(main.toolButtonAction(kind)->isEnabled());
        main.sessionAction(kind)->trigger();
    }
    ASSERT_EQ(main.findChildren<TFingerfrm*>().size(), 1);
    EXPECT_EQ(main.findChildren<TWhoisfrm*>().size(), 1);
    EXPECT_EQ(main.findChildren<TDayTimefrm*>().size(), 1);
    EXPECT_EQ(main.findChildren<TTimefrm*>().size(), 1);

    // The active window's keys are its own: Ctrl+F is Quick Finger there.
    TFingerfrm* finger = main.findChildren<TFingerfrm*>()[0];
    prompter->pushDialog([](QDialog&) { return int(QDialog::Rejected); });
    QTest::keyClick(finger->info(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(prompter->asked(), (Asked{"dialog: Quick finger"}));
    EXPECT_EQ(main.findChildren<QMdiSubWindow*>().size(), 4u);

    // Daytime and Time keep their size, frame included; Finger and Whois resize.
    for (QMdiSubWindow* sub : main.findChildren<QMdiSubWindow*>()) {
        const bool fixed = qobject_cast<TDayTimefrm*>(sub->widget()) || qobject_cast<TTimefrm*>(sub->widget());
        EXPECT_EQ(sub->minimumSize() == sub->maximumSize(), fixed) << sub->widget()->windowTitle().toStdString();
    }
}

} // namespace
} // namespace vn
