// The explorer's Search window on the offscreen platform: a local and a remote
// search, Cancel, closing during a walk, and a double-click that opens the
// result's folder with the file selected.
#include <gtest/gtest.h>

#include <QAction>
#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <filesystem>
#include <fstream>

#include "FakeFtpServer.h"
#include "ScriptedPrompter.h"
#include "WindowTestUtil.h"
#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/Beeper.h"
#include "ftp/explorer/LocalRoots.h"
#include "ftp/explorer/TFTPfrm.h"
#include "ftp/explorer/TSearchfrm.h"

namespace vn::test {
namespace {

namespace fs = std::filesystem;

ScriptedPrompter::DialogHandler quick(uint16_t port) {
    return [=](QDialog& d) {
        d.findChild<QLineEdit*>("HostEdit")->setText("127.0.0.1");
        d.findChild<QLineEdit*>("LoginEdit")->setText("user");
        d.findChild<QLineEdit*>("PasswordEdit")->setText("pw");
        d.findChild<QLineEdit*>("PortEdit")->setText(QString::number(port));
        d.accept();
        return d.result();
    };
}

QStringList results(TSearchfrm& s) {
    QStringList out;
    for (int i = 0; i < s.results()->count(); ++i) out << s.results()->item(i)->text();
    return out;
}

bool waitUntil(const std::function<bool()>& f, int ms = 10000) {
    for (int i = 0; i < ms / 10; ++i) {
        if (f()) return true;
        QTest::qWait(10);
    }
    return f();
}

QStringList selectedNames(TFTPfrm& w) {
    QStringList out;
    for (const QModelIndex& i : w.currentListView()->selectionModel()->selectedRows())
        out << w.listModel()->data(w.listModel()->index(i.row(), 0), Qt::DisplayRole).toString();
    return out;
}

struct Search : ::testing::Test {
    ScopedPrompter prompter;
    fs::path root = fs::path(dataFolder()) / "tree";
    void SetUp() override {
        setMountProvider([] { return std::vector<MountEntry>{}; });
        IniFile(configFile()).writeInt("FTP", "ShowWelcome", 0);
        setBeepHook([] {});
    }
    void TearDown() override {
        setBeepHook(nullptr);
        setMountProvider(nullptr);
    }
    void file(const std::string& rel) {
        fs::create_directories((root / rel).parent_path());
        std::ofstream(root / rel) << "x";
    }
};

TEST_F(Search, LocalThreeLevelsThenDoubleClickOpensAndSelects) {
    file("readme.txt");
    file("a/README.TXT");
    file("a/b/ReadMe.txt");
    file("a/b/readme.txt.bak");
    TFTPfrm w;
    w.show();
    const std::string start = root.string() + "/";
    w.ObrirSubdirectoris(start, 0);
    ASSERT_TRUE(waitForFolder(w, start));
    w.HabilitarBotons();
    QAction* command = w.action("Search1");
    EXPECT_TRUE(command->isEnabled());
    EXPECT_EQ(command->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    command->trigger();
    TSearchfrm* s = w.searchWindow();
    ASSERT_TRUE(s);
    EXPECT_EQ(s->windowTitle(), "Search");
    EXPECT_EQ(s->panelText(), QString::fromStdString("Current Folder= " + start));
    EXPECT_FALSE(s->cancelButton()->isEnabled());

    // Nothing to search for: said, nothing started.
    s->SearchSBClick();
    EXPECT_EQ(prompter->asked(), (std::vector<std::string>{"message: Please write something to search..."}));
    EXPECT_FALSE(s->searching());

    QSignalSpy ended(s, &TSearchfrm::searchEnded);
    s->textEdit()->setText("readme.txt");
    QTest::keyClick(s->textEdit(), Qt::Key_Return);
    ASSERT_TRUE(ended.wait(10000));
    const QString st = QString::fromStdString(start);
    EXPECT_EQ(results(*s), (QStringList{st + "a/b/ReadMe.txt", st + "a/README.TXT", st + "readme.txt"}));
    EXPECT_TRUE(s->searchButton()->isEnabled());
    EXPECT_TRUE(s->exitButton()->isEnabled());

    QPointer<TSearchfrm> alive(s);
    s->chooseResult(0);
    ASSERT_TRUE(waitUntil([&] { return !alive; }));
    ASSERT_TRUE(waitForFolder(w, start + "a/b/"));
    EXPECT_EQ(selectedNames(w), QStringList{"ReadMe.txt"});
    EXPECT_FALSE(w.searchWindow());
}

struct RemoteSearchWindow : Search {
    std::unique_ptr<FakeFtpServer> server = FakeFtpServer::loginScript();
    std::unique_ptr<TFTPfrm> w;
    void connect(bool passive) {
        if (passive) server->dataPassive().on("PORT", "550 Permission denied.\r\n");
        else server->dataActive().on("PASV", "502 Not implemented.\r\n");
        w = std::make_unique<TFTPfrm>();
        w->show();
        prompter->pushDialog(quick(server->port()));
        w->QuickSBClick();
        ASSERT_TRUE(waitIdle(*w));
        ASSERT_NE(w->currentSession(), 0u);
        if (passive) {
            w->pasvmode1Click();
            ASSERT_TRUE(waitIdle(*w));
            ASSERT_TRUE(w->currentPasv());
        }
    }
    TSearchfrm* open() {
        w->HabilitarBotons();
        w->action("Search1")->trigger();
        return w->searchWindow();
    }
    std::vector<std::string> sentAfterLogin() const {
        std::vector<std::string> out;
        bool after = false;
        for (const auto& c : server->commands()) {
            if (c.rfind("REST 0", 0) == 0) after = true;
            else if (after) out.push_back(c.rfind("PORT ", 0) == 0 ? "PORT" : c);
        }
        return out;
    }
};

TEST_F(RemoteSearchWindow, BothModesFindEveryLevelAndOpenTheResult) {
    for (bool passive : {false, true}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        server = FakeFtpServer::loginScript();
        server->on("CWD", "250 Ok.\r\n")
            .onData("LIST /a/b/", "-rw-r--r-- 1 ftp ftp 12 Jan  5 10:00 readme.txt\r\n")
            .onData("LIST /a/", "drwxr-xr-x 2 ftp ftp 4096 Jan  5 10:00 b\r\n"
                                "-rw-r--r-- 1 ftp ftp 12 Jan  5 10:00 README.TXT\r\n")
            .onData("LIST /", "drwxr-xr-x 2 ftp ftp 4096 Jan  5 10:00 a\r\n"
                              "-rw-r--r-- 1 ftp ftp 12 Jan  5 10:00 ReadMe.txt\r\n");
        connect(passive);
        TSearchfrm* s = open();
        ASSERT_TRUE(s);
        EXPECT_TRUE(s->remote());
        QSignalSpy ended(s, &TSearchfrm::searchEnded);
        s->textEdit()->setText("readme.txt");
        s->SearchSBClick();
        EXPECT_TRUE(w->busy()); // the explorer is busy for the whole walk
        EXPECT_FALSE(w->action("Refresh1")->isEnabled());
        ASSERT_TRUE(ended.wait(10000));
        EXPECT_EQ(results(*s), (QStringList{"/a/b/readme.txt", "/a/README.TXT", "/ReadMe.txt"}));
        for (const auto& c : sentAfterLogin()) EXPECT_NE(c, passive ? "PORT" : "PASV");
        s->chooseResult(0);
        ASSERT_TRUE(waitForFolder(*w, "/a/b/"));
        EXPECT_TRUE(waitUntil([&] { return selectedNames(*w) == QStringList{"readme.txt"}; }));
        w.reset();
    }
}

TEST_F(RemoteSearchWindow, CancelKeepsWhatWasFound) {
    server->on("CWD", "250 Ok.\r\n")
        .on("LIST /b/", "") // this listing never answers
        .onData("LIST /a/", "-rw-r--r-- 1 ftp ftp 12 Jan  5 10:00 f\r\n")
        .onData("LIST /", "drwxr-xr-x 2 ftp ftp 4096 Jan  5 10:00 a\r\n"
                          "drwxr-xr-x 2 ftp ftp 4096 Jan  5 10:00 b\r\n");
    connect(true);
    TSearchfrm* s = open();
    ASSERT_TRUE(s);
    QSignalSpy ended(s, &TSearchfrm::searchEnded);
    s->textEdit()->setText("f");
    s->SearchSBClick();
    ASSERT_TRUE(server->waitForCommand("LIST /b/", std::chrono::seconds(10)));
    ASSERT_TRUE(waitUntil([&] { return s->results()->count() == 1; }));
    EXPECT_TRUE(s->cancelButton()->isEnabled());
    EXPECT_FALSE(s->exitButton()->isEnabled());
    s->CancelSBClick();
    ASSERT_TRUE(ended.wait(10000));
    EXPECT_EQ(results(*s), QStringList{"/a/f"});
    EXPECT_EQ(s->statusText(), "Cancelled...");
    EXPECT_TRUE(s->searchButton()->isEnabled());
    ASSERT_TRUE(waitIdle(*w));
}

TEST_F(RemoteSearchWindow, ClosingDuringAWalkCancelsItAndNothingReachesTheClosedWindow) {
    server->on("CWD", "250 Ok.\r\n")
        .on("LIST /b/", "")
        .onData("LIST /", "drwxr-xr-x 2 ftp ftp 4096 Jan  5 10:00 b\r\n");
    connect(false);
    QPointer<TSearchfrm> s = open();
    ASSERT_TRUE(s);
    s->textEdit()->setText("f");
    s->SearchSBClick();
    ASSERT_TRUE(server->waitForCommand("LIST /b/", std::chrono::seconds(10)));
    s->close();
    ASSERT_TRUE(waitUntil([&] { return !s; }));
    ASSERT_TRUE(waitIdle(*w, std::chrono::seconds(10)));
    EXPECT_FALSE(w->searchWindow());
    // The explorer goes on as before.
    w->HabilitarBotons();
    EXPECT_TRUE(w->action("Search1")->isEnabled());
}

} // namespace
} // namespace vn::test
