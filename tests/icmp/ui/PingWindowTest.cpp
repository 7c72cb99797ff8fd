#include "icmp/ui/TPingfrm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QClipboard>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QPointer>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressBar>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <netdb.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <future>

#include "ScriptedPrompter.h"
#include "WindowTestSupport.h"
#include "common/ui/Beeper.h"
#include "common/ui/HelpService.h"
#include "icmp/ui/ReportPrinter.h"
#include "icmp/ui/TOptionsPingfrm.h"
#include "icmp/ui/TTraceroutefrm.h"
#include "platform/Resolver.h"
#include "common/History.h"
#include "shell/TMainfrm.h"
#include "sites/SiteFile.h"
#include "sites/ui/TNewSitefrm.h"
#include "sites/ui/TSitefrm.h"
#include "UrlCatcher.h"

namespace vn::icmp {
namespace {

using namespace test;

#define SKIP_WITHOUT_RAW() \
    if (!rawAllowed()) GTEST_SKIP() << "this run may not open raw ICMP sockets (needs root or CAP_NET_RAW)"

struct PingWindow : ::testing::Test {
    vn::test::ScopedPrompter prompter;
    void SetUp() override { setBeepHook([] {}); }
    void TearDown() override {
        setBeepHook(nullptr);
        setLookupFunction(nullptr);
    }
    std::vector<std::string> history() {
        IniFile ini(configFile());
        return History(ini, "ping").entries();
    }
};

TEST_F(PingWindow, LoopbackEchoRowsStatisticsDoOnlyAndCopy) {
    SKIP_WITHOUT_RAW();
    writeSettings(/*doOnly*/ true, 3, /*doLast*/ false, 5, /*interval*/ 50);
    TPingfrm w;
    w.client().setBackendChoice(BackendChoice::Raw);
    EXPECT_EQ(w.windowTitle(), "Varnelo FTP - Ping");
    EXPECT_EQ(w.statusText(), "Not Pinging");
    EXPECT_EQ(w.averageLabel()->text(), "Average Time : 0ms");
    EXPECT_EQ(w.lostLabel()->text(), "Lost Packets: 0");
    EXPECT_EQ(w.totalLabel()->text(), "Total Packets: 0");
    EXPECT_FALSE(w.action("Stop1")->isEnabled());
    EXPECT_FALSE(w.action("Print1")->isEnabled());
    EXPECT_FALSE(w.action("Copy1")->isEnabled());

    prompter->pushInput("127.0.0.1");
    w.action("Quick1")->trigger();
    EXPECT_TRUE(w.busy());
    EXPECT_EQ(w.statusText(), "Pinging");
    EXPECT_TRUE(w.action("Stop1")->isEnabled());
    EXPECT_FALSE(w.action("Quick1")->isEnabled());
    EXPECT_FALSE(w.action("SiteManager1")->isEnabled());
    EXPECT_FALSE(w.ttlBox()->isEnabled());
    EXPECT_FALSE(w.timeoutBox()->isEnabled());
    // The host is remembered as soon as the session starts.
    EXPECT_EQ(history(), std::vector<std::string>{"127.0.0.1"});

    // Only 3: three rows, the fourth reply ends the session unlisted.
    ASSERT_TRUE(waitFor([&] { return !w.busy(); }));
    EXPECT_EQ(w.statusText(), "Not Pinging");
    QTableWidget* list = w.list();
    ASSERT_EQ(list->rowCount(), 3);
    for (int r = 0; r < 3; ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(cell(list, r, 0), QString::number(r + 1));
        bool ttlIsNumber = false;
        EXPECT_GT(cell(list, r, 1).toInt(&ttlIsNumber), 0);
        EXPECT_TRUE(ttlIsNumber);
        EXPECT_TRUE(cell(list, r, 2).endsWith(" ms")) << cell(list, r, 2).toStdString();
        EXPECT_EQ(cell(list, r, 3), "127.0.0.1");
        EXPECT_EQ(cell(list, r, 4), "Echo");
    }
    EXPECT_EQ(w.totalLabel()->text(), "Total Packets: 3");
    EXPECT_EQ(w.lostLabel()->text(), "Lost Packets: 0");
    EXPECT_TRUE(w.averageLabel()->text().startsWith("Average Time : "));
    EXPECT_TRUE(w.averageLabel()->text().endsWith(" ms"));
    EXPECT_EQ(w.totalGauge()->maximum(), 3);
    EXPECT_EQ(w.totalGauge()->value(), 3);
    EXPECT_EQ(w.totalGauge()->toolTip(), "Ping Statistics [Blue=OK - Red=Lost]");
    EXPECT_TRUE(w.ttlBox()->isEnabled());
    EXPECT_TRUE(w.action("Print1")->isEnabled());

    // Copy rows 1 and 3: two lines joined by one CR, no trailing one.
    QApplication::clipboard()->setText("before");
    w.copySelection();  // nothing selected: the clipboard is left alone
    EXPECT_EQ(QApplication::clipboard()->text(), "before");
    list->selectRow(0);
    list->selectionModel()->select(list->model()->index(2, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    ASSERT_TRUE(w.action("Copy1")->isEnabled());
    w.action("Copy1")->trigger();
    auto line = [&](int r) {
        return QStringLiteral("Number: %1  TTL: %2  Time: %3  Host: %4")
            .arg(cell(list, r, 0), cell(list, r, 1), cell(list, r, 2), cell(list, r, 3));
    };
    EXPECT_EQ(QApplication::clipboard()->text(), line(0) + "\r" + line(2));

    // Print: without a printer the user is told, nothing waits.
    if (QPrinterInfo::defaultPrinter().isNull()) {
        prompter->clearAsked();
        w.action("Print1")->trigger();
        EXPECT_EQ(prompter->asked(), std::vector<std::string>{std::string("message: ") + kNoPrinterText});
    }
    EXPECT_EQ(prompter->unexpected(), 0);
}

TEST_F(PingWindow, DoLastKeepsTheLastRowsWhileNumberingGoesOnThroughClearAndStop) {
    SKIP_WITHOUT_RAW();
    writeSettings(false, 5, /*doLast*/ true, 2, /*interval*/ 10);
    TPingfrm w;
    w.client().setBackendChoice(BackendChoice::Raw);
    prompter->pushInput("LOCALHOST");
    w.quickStart();
    ASSERT_TRUE(waitFor([&] { return w.session().count() >= 4; }));
    EXPECT_LE(w.list()->rowCount(), 2);
    // Clear during the session: the list empties, the numbering goes on.
    w.action("ClearRows1")->trigger();
    EXPECT_EQ(w.list()->rowCount(), 0);
    const auto clearedAt = w.session().count();
    ASSERT_TRUE(waitFor([&] { return w.session().count() >= clearedAt + 3; }));
    w.action("Stop1")->trigger();
    EXPECT_EQ(w.statusText(), "Not Pinging");
    ASSERT_TRUE(waitFor([&] { return !w.busy(); }, 3s));
    const QTableWidget* list = w.list();
    ASSERT_EQ(list->rowCount(), 2);
    EXPECT_EQ(cell(list, 1, 0).toULongLong(), w.session().count());
    EXPECT_EQ(cell(list, 0, 0).toULongLong() + 1, cell(list, 1, 0).toULongLong());
    EXPECT_GT(cell(list, 0, 0).toULongLong(), clearedAt);
    EXPECT_EQ(cell(list, 1, 3), "127.0.0.1");
    // Stopped: nothing more arrives.
    const auto stoppedAt = w.session().count();
    QTest::qWait(100);
    EXPECT_EQ(w.session().count(), stoppedAt);
    EXPECT_EQ(history(), std::vector<std::string>{"LOCALHOST"});
}

TEST_F(PingWindow, AHostThatDoesNotResolveGivesOneBoxAndStops) {
    std::atomic<int> asked{0};
    setLookupFunction([&](const std::string&) {
        ++asked;
        LookupResult r;
        r.status = LookupResult::NotFound;
        r.error = EAI_NONAME;
        return r;
    });
    writeSettings(false, 5, false, 5, /*interval*/ 0);
    TPingfrm w;
    prompter->pushInput("no-such-host.invalid");
    w.quickStart();
    ASSERT_TRUE(waitFor([&] { return !w.busy(); }, 5s));
    QTest::qWait(50);
    EXPECT_EQ(asked.load(), 1);
    EXPECT_EQ(prompter->asked(),
              (std::vector<std::string>{"input: Quick Ping: &Please enter the Host address to Ping:",
                                        "message: Socket Error # " + std::to_string(EAI_NONAME) + "\r\n" +
                                            gai_strerror(EAI_NONAME)}));
    EXPECT_EQ(w.list()->rowCount(), 0);
    EXPECT_EQ(w.statusText(), "Not Pinging");
    EXPECT_FALSE(w.session().running());
}

// An exchange that is still resolving its host when the window closes: the
// close aborts it and the window goes at once. Both windows.
template <class Window>
void closeDuringAnExchange(vn::test::ScriptedPrompter& prompter) {
    auto release = std::make_shared<std::promise<void>>();
    std::shared_future<void> released = release->get_future().share();
    std::atomic<bool> resolving{false};
    setLookupFunction([released, &resolving](const std::string&) {
        resolving = true;
        released.wait();
        return LookupResult{};
    });
    writeSettings(false, 5, false, 5, 1000, 30000);
    QPointer<Window> w = new Window;
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
    prompter.pushInput("slow.invalid");
    w->quickStart();
    ASSERT_TRUE(waitFor([&] { return resolving.load(); }, 5s));
    ASSERT_TRUE(w->busy());
    const auto t0 = std::chrono::steady_clock::now();
    w->close();
    EXPECT_TRUE(waitFor([&] { return w.isNull(); }, 3s));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 3s);
    release->set_value();
    if (w) delete w.data();
    EXPECT_EQ(prompter.asked().size(), 1u);  // the quick prompt, no error box
}

TEST_F(PingWindow, ClosingDuringAnExchangeEndsItAtOnce) { closeDuringAnExchange<TPingfrm>(*prompter); }

TEST_F(PingWindow, ClosingATraceDuringAnExchangeEndsItAtOnce) { closeDuringAnExchange<TTraceroutefrm>(*prompter); }

TEST_F(PingWindow, SetTtlAndTheBoxRules) {
    TPingfrm w;
    EXPECT_EQ(w.ttlBox()->value(), 255);
    EXPECT_EQ(w.timeoutBox()->value(), 5000);
    prompter->pushInput("abc");
    w.action("SetTTL1")->trigger();
    EXPECT_EQ(w.ttlBox()->value(), 255);
    prompter->pushInput("64");
    w.action("SetTTL1")->trigger();
    EXPECT_EQ(w.ttlBox()->value(), 64);
    prompter->pushInput("");
    w.action("SetTTL1")->trigger();
    EXPECT_EQ(w.ttlBox()->value(), 64);
    EXPECT_EQ(prompter->asked(), (std::vector<std::string>{"input: Ping: &Please enter the new TTL value:",
                                                          "message: 'abc' is not a valid integer value",
                                                          "input: Ping: &Please enter the new TTL value:",
                                                          "input: Ping: &Please enter the new TTL value:"}));
    // Leaving a box below 1 puts its default back.
    w.ttlBox()->setValue(0);
    emit w.ttlBox()->editingFinished();
    EXPECT_EQ(w.ttlBox()->value(), 255);
    w.timeoutBox()->setValue(0);
    emit w.timeoutBox()->editingFinished();
    EXPECT_EQ(w.timeoutBox()->value(), 5000);
    // The grid follows its command.
    EXPECT_TRUE(w.list()->showGrid());
    w.action("ViewGrid1")->trigger();
    EXPECT_FALSE(w.list()->showGrid());
    EXPECT_FALSE(w.action("ViewGrid1")->isChecked());
}

TEST_F(PingWindow, OptionsAreWrittenOnOkAndReadAgainEitherWay) {
    TPingfrm w;
    EXPECT_FALSE(w.settings().doOnly);
    prompter->pushDialog([](QDialog& d) {
        auto& o = dynamic_cast<TOptionsPingfrm&>(d);
        EXPECT_EQ(o.windowTitle(), "Ping Options");
        o.doOnly()->setChecked(true);
        o.only()->setValue(7);
        o.interval()->setValue(250);
        o.disableThinking()->setChecked(true);
        o.OKClick();
        return o.result();
    });
    w.showOptions();
    EXPECT_TRUE(w.settings().doOnly);
    EXPECT_EQ(w.settings().only, 7);
    EXPECT_EQ(w.settings().interval, 250);
    EXPECT_TRUE(w.settings().disableThinking);
    IniFile ini(configFile());
    EXPECT_EQ(ini.readInt("Ping", "DoOnly", -1), 1);
    EXPECT_EQ(ini.readInt("Ping", "Only", -1), 7);
    // Cancel writes nothing, but the window reads the file again.
    ini.writeInt("Ping", "Only", 9);
    prompter->pushDialog([](QDialog& d) {
        dynamic_cast<TOptionsPingfrm&>(d).doOnly()->setChecked(false);
        return int(QDialog::Rejected);
    });
    w.showOptions();
    EXPECT_TRUE(w.settings().doOnly);
    EXPECT_EQ(w.settings().only, 9);
}

TEST_F(PingWindow, TheSiteManagerStartsWithTheSitesTtl) {
    SKIP_WITHOUT_RAW();
    writeSettings(true, 1, false, 5, 0);
    SiteNode site;
    site.rec.HostName = "Here";
    site.rec.Address = "127.0.0.1";
    site.rec.Port = 64;
    ASSERT_TRUE(saveSites(dataFile("pingman.dat"), SiteTree{site}, SiteLayout::Ping));
    TPingfrm w;
    prompter->pushDialog([](QDialog& d) {
        auto& s = dynamic_cast<TSitefrm&>(d);
        EXPECT_EQ(s.windowTitle(), "Ping Site Manager");
        EXPECT_EQ(s.siteFile().filename(), "pingman.dat");
        QTreeWidget* tree = s.findChild<QTreeWidget*>();
        EXPECT_TRUE(tree && tree->topLevelItemCount() == 1);
        if (!tree || tree->topLevelItemCount() != 1) return int(QDialog::Rejected);
        tree->setCurrentItem(tree->topLevelItem(0));
        s.ConnectBClick();
        return s.result();
    });
    w.action("SiteManager1")->trigger();
    EXPECT_EQ(w.ttlBox()->value(), 64);
    ASSERT_TRUE(waitFor([&] { return !w.busy(); }));
    ASSERT_EQ(w.list()->rowCount(), 1);
    EXPECT_EQ(cell(w.list(), 0, 3), "127.0.0.1");
    EXPECT_EQ(history(), std::vector<std::string>{"127.0.0.1"});
    EXPECT_EQ(prompter->unexpected(), 0);
}

// The Ping variant of the site manager: its texts, the TTL on the port line
// (1 to 255, 255 for a new site), and the 12-line record it writes.
TEST_F(PingWindow, ThePingSiteManagerKeepsTheTtlOnThePortLine) {
    TSitefrm dialog(pingSiteVariant());
    EXPECT_EQ(dialog.windowTitle(), "Ping Site Manager");
    EXPECT_EQ(dialog.findChild<QLabel*>("PortLabel")->text(), "&TTL:");
    EXPECT_FALSE(dialog.findChild<QLabel*>("LoginLabel")->isVisibleTo(&dialog));
    prompter->pushDialog([](QDialog& d) {
        auto& chooser = dynamic_cast<TNewSitefrm&>(d);
        EXPECT_EQ(chooser.windowTitle(), "New Ping Site");
        EXPECT_EQ(chooser.findChild<QGroupBox*>("RadioGroup1")->title(), "&New Ping Site");
        EXPECT_EQ(chooser.findChild<QRadioButton*>("FolderRb")->text(), "New Ping &Folder");
        EXPECT_EQ(chooser.findChild<QRadioButton*>("SiteRb")->text(), "New Ping &Site");
        chooser.chooseFolder(false);
        return int(QDialog::Accepted);
    });
    dialog.NewBClick();
    auto* port = dialog.findChild<QLineEdit*>("PortEdit");
    EXPECT_EQ(port->text(), "255");
    dialog.findChild<QLineEdit*>("HostEdit")->setText("Here");
    dialog.findChild<QLineEdit*>("addressedit")->setText("127.0.0.1");
    for (const char* refused : {"0", "256"}) {
        port->setText(refused);
        prompter->clearAsked();
        dialog.SaveBClick();
        EXPECT_TRUE(dialog.editing()) << refused;
        EXPECT_EQ(prompter->asked().size(), 1u) << refused;
    }
    port->setText("64");
    dialog.SaveBClick();
    EXPECT_FALSE(dialog.editing());

    std::ifstream in(dataFile("pingman.dat"), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    std::vector<std::string> lines;
    std::istringstream split(bytes.str());
    for (std::string l; std::getline(split, l);) lines.push_back(l.empty() || l.back() != '\r' ? l : l.substr(0, l.size() - 1));
    auto first = std::find(lines.begin(), lines.end(), "-----");
    ASSERT_NE(first, lines.end());
    EXPECT_EQ(std::vector<std::string>(first, lines.end()),
              (std::vector<std::string>{"-----", "0", "Node", "Here", "127.0.0.1", "64", "", "", "", "0", "0", "",
                                        "-----"}));
    // Read back, the TTL is the site's.
    SiteReadResult back = loadSites(dataFile("pingman.dat"), SiteLayout::Ping);
    ASSERT_EQ(back.tree.size(), 1u);
    EXPECT_EQ(back.tree[0].rec.Port, 64);
}

TEST_F(PingWindow, HistoryEntriesOfferTheQuickPromptFilledIn) {
    IniFile ini(configFile());
    History(ini, "ping").AfegirComAVisitat("first.example");
    History(ini, "ping").AfegirComAVisitat("second.example");
    TPingfrm w;
    QMenu* menu = w.historyMenu();
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu->title(), "&Last Hosts pinged");
    emit w.sessionMenu()->aboutToShow();
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_EQ(menu->actions()[0]->text(), "second.example");
    EXPECT_TRUE(menu->isEnabled());
    prompter->pushInput(std::nullopt);
    menu->actions()[1]->trigger();
    EXPECT_EQ(prompter->asked(),
              std::vector<std::string>{"input: Quick Ping: &Please enter the Host address to Ping:"});
    EXPECT_FALSE(w.busy());
}

TEST(PingReport, LayoutAndPaintingToAFile) {
    PrintReport r{"Varnelo FTP - Ping", "Varnelo FTP - Ping :   Ping Results", {"row a", "row b"},
                  {"Average Time : 1 ms", "Lost Packets: 0 [0 %]", "Total Packets: 2", "OK Packets : 2 [100 %]"}};
    std::vector<PrintItem> items = printLayout(r);
    std::vector<int> ys;
    for (const PrintItem& i : items) ys.push_back(i.y);
    EXPECT_EQ(ys, (std::vector<int>{60, 260, 320, 480, 540, 600, 660}));
    EXPECT_TRUE(items[0].bold && items[0].italic && items[0].underline);
    EXPECT_EQ(items[0].points, 16);
    EXPECT_EQ(items[1].points, 12);
    EXPECT_FALSE(items[1].bold);
    EXPECT_EQ(items[3].points, 14);
    EXPECT_TRUE(items[3].bold);
    for (const PrintItem& i : items) EXPECT_EQ(i.x, 100);

    QTemporaryDir dir;
    const QString file = dir.filePath("report.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    ASSERT_TRUE(paintReport(r, printer));
    EXPECT_GT(std::filesystem::file_size(file.toStdString()), 500u);
}

// ---------------------------------------------------------------- main window

TEST_F(PingWindow, TheMainWindowsEntriesOpenPingAndTraceroute) {
    TMainfrm m;
    ASSERT_TRUE(m.sessionAction(ToolKind::Ping)->isEnabled());
    ASSERT_TRUE(m.toolButtonAction(ToolKind::Traceroute)->isEnabled());
    m.sessionAction(ToolKind::Ping)->trigger();
    m.toolButtonAction(ToolKind::Traceroute)->trigger();
    QCoreApplication::processEvents();
    const auto pings = m.findChildren<TPingfrm*>();
    const auto traces = m.findChildren<TTraceroutefrm*>();
    ASSERT_EQ(pings.size(), 1);
    ASSERT_EQ(traces.size(), 1);
    EXPECT_EQ(pings[0]->windowTitle(), "Varnelo FTP - Ping");
    EXPECT_EQ(traces[0]->windowTitle(), "Varnelo FTP - Traceroute");
}

// ---------------------------------------------------------------- help


TEST_F(PingWindow, F1OpensThePingPageAndTracerouteItsTopic) {
    const QString folder = QStringLiteral(VN_SOURCE_DIR "/docs/help");
    QFile page(QDir(folder).filePath("ping.html"));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QByteArray html = page.readAll();
    for (const char* topic : {"id=\"traceroute\"", "id=\"sites\"", "id=\"permission\"", "ping_group_range"})
        EXPECT_TRUE(html.contains(topic)) << topic;
    QFile index(QDir(folder).filePath("index.html"));
    ASSERT_TRUE(index.open(QIODevice::ReadOnly));
    EXPECT_TRUE(index.readAll().contains("href=\"ping.html\""));

    vn::test::UrlCatcher catcher;
    setHelpFolder(folder);
    TPingfrm ping;
    ping.action("Contents1")->trigger();
    TTraceroutefrm trace;
    trace.action("Contents1")->trigger();
    setHelpFolder(QString());
    ASSERT_EQ(catcher.urls.size(), 2);
    EXPECT_EQ(catcher.urls[0].fileName(), "ping.html");
    EXPECT_EQ(catcher.urls[1].fileName(), "ping.html");
    EXPECT_EQ(catcher.urls[1].fragment(), "traceroute");
}

} // namespace
} // namespace vn::icmp

