// Custom and quick commands from the FTP window: the submenu lists the stored
// commands, "%f" runs over the selected items with questions asked through
// the prompter, the reply goes to a message box, Abort ends a reply that
// never comes, and line breaks never reach the server.
#include <gtest/gtest.h>

#include <QAction>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QMenu>
#include <QTableView>
#include <QTest>

#include <algorithm>
#include <fstream>

#include "FakeFtpServer.h"
#include "RealFtpServers.h"
#include "ScriptedPrompter.h"
#include "WindowTestUtil.h"
#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/Beeper.h"
#include "common/ui/InfoBox.h"
#include "ftp/engine/custom/CommandStore.h"
#include "ftp/explorer/FileList.h"
#include "ftp/explorer/LocalRoots.h"
#include "ftp/explorer/TFTPfrm.h"

namespace vn::test {
namespace {

using namespace std::chrono_literals;

ScriptedPrompter::DialogHandler quick(uint16_t port, const QString& login = "user",
                                      const QString& password = "secret") {
    return [=](QDialog& d) {
        d.findChild<QLineEdit*>("HostEdit")->setText("127.0.0.1");
        d.findChild<QLineEdit*>("LoginEdit")->setText(login);
        d.findChild<QLineEdit*>("PasswordEdit")->setText(password);
        d.findChild<QLineEdit*>("PortEdit")->setText(QString::number(port));
        d.accept();
        return d.result();
    };
}

struct CommandsWindow : ::testing::Test {
    ScopedPrompter prompter;
    int beeps = 0;
    void SetUp() override {
        setMountProvider([] { return std::vector<MountEntry>{}; });
        IniFile(configFile()).writeInt("FTP", "ShowWelcome", 0);
        setBeepHook([this] { ++beeps; });
    }
    void TearDown() override {
        setBeepHook(nullptr);
        setMountProvider(nullptr);
    }
    void connect(TFTPfrm& w, uint16_t port, const QString& login = "user", const QString& password = "secret") {
        prompter->pushDialog(quick(port, login, password));
        w.QuickSBClick();
        ASSERT_TRUE(waitIdle(w));
        ASSERT_NE(w.currentSession(), 0u);
        prompter->clearAsked();
    }
    static void select(TFTPfrm& w, std::initializer_list<const char*> names) {
        auto* sel = w.list()->selectionModel();
        sel->clearSelection();
        for (const char* n : names) {
            int row = -1;
            for (int r = 0; r < w.listModel()->rowCount(); ++r)
                if (w.listModel()->item(r).name == n) row = r;
            ASSERT_GE(row, 0) << n;
            sel->select(w.listModel()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    static QAction* entry(TFTPfrm& w, const QString& text) {
        emit w.customCommandsMenu()->aboutToShow();
        for (QAction* a : w.customCommandsMenu()->actions())
            if (a->text() == text) return a;
        ADD_FAILURE() << text.toStdString();
        return nullptr;
    }
    static std::vector<std::string> after(const FakeFtpServer& s, const std::string& from) {
        auto c = s.commands();
        auto it = std::find_if(c.begin(), c.end(), [&](const std::string& l) { return l.rfind(from, 0) == 0; });
        return {it == c.end() ? c.end() : it + 1, c.end()};
    }
};

const char* kListing = "-rw-r--r--   1 ftp ftp   10 Jan  5 10:00 a.txt\r\n"
                       "-rw-r--r--   1 ftp ftp   20 Jan  5 10:00 b.txt\r\n"
                       "-rw-r--r--   1 ftp ftp   30 Jan  5 10:00 c d.txt\r\n";

TEST_F(CommandsWindow, EntriesFollowTheSession) {
    TFTPfrm w;
    w.show();
    w.updateCommands();
    EXPECT_FALSE(w.action("QuickCommand1")->isEnabled());
    EXPECT_FALSE(w.customCommandsMenu()->isEnabled());
    EXPECT_TRUE(w.action("NewCustomCommand1")->isEnabled());
    EXPECT_EQ(w.action("NewCustomCommand1")->shortcut(), QKeySequence(Qt::ALT | Qt::CTRL | Qt::Key_N));
    EXPECT_EQ(w.action("Options2")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    // Nothing stored: the five defaults, in menu order, storing nothing.
    emit w.customCommandsMenu()->aboutToShow();
    QStringList texts;
    for (QAction* a : w.customCommandsMenu()->actions()) texts << a->text();
    EXPECT_EQ(texts, (QStringList{"HELP", "HELP SITE", "SITE PSWD \"%[Old Passwd]\" \"%[New Passwd]\"",
                                  "SITE CHMOD %[Attributes] %f", "SITE INDEX %[File]"}));
    EXPECT_FALSE(IniFile(configFile()).hasKey("Commands", "Total"));

    auto server = FakeFtpServer::loginScript();
    server->dataActive().onList(kListing).on("CWD", "250 Ok.\r\n");
    connect(w, server->port());
    EXPECT_TRUE(w.action("QuickCommand1")->isEnabled());
    EXPECT_TRUE(w.customCommandsMenu()->isEnabled());
}

TEST_F(CommandsWindow, PerFileCommandOverTheSelection) {
    auto server = FakeFtpServer::loginScript();
    server->dataActive().onList(kListing).on("CWD", "250 Ok.\r\n").on("SITE CHMOD", "200 SITE CHMOD command ok.\r\n");
    TFTPfrm w;
    w.show();
    connect(w, server->port());
    select(w, {"a.txt", "c d.txt"});
    prompter->pushInput("644");
    prompter->pushInput("600");
    QAction* chmod = entry(w, "SITE CHMOD %[Attributes] %f");
    ASSERT_TRUE(chmod);
    chmod->trigger();
    EXPECT_TRUE(w.busy());
    EXPECT_FALSE(w.action("QuickCommand1")->isEnabled());
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(after(*server, "REST 0"), (std::vector<std::string>{"SITE CHMOD 644 a.txt", "SITE CHMOD 600 c d.txt"}));
    const std::string q = "input: Custom Command Parameter: &Please enter 'Attributes':";
    EXPECT_EQ(prompter->asked(), (std::vector<std::string>{q, q, "message: 200 SITE CHMOD command ok."}));
    EXPECT_TRUE(w.info()->lines().contains(">SITE CHMOD 600 c d.txt"));
    EXPECT_EQ(w.info()->lines().count("--->200 SITE CHMOD command ok."), 2);
    EXPECT_EQ(prompter->unexpected(), 0);
}

TEST_F(CommandsWindow, RefusedAndInjectedCommandsSendNothing) {
    IniFile ini(configFile());
    CommandStore::write(ini, {"SITE %x", "SITE EXEC %[Program]"});
    auto server = FakeFtpServer::loginScript();
    server->dataActive().onList(kListing).on("CWD", "250 Ok.\r\n").on("SITE", "200 Ok.\r\n");
    TFTPfrm w;
    w.show();
    connect(w, server->port());
    entry(w, "SITE %x")->trigger();
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(prompter->asked(), (std::vector<std::string>{"message: The sentence has an incorrect format"}));

    prompter->clearAsked();
    prompter->pushInput("ls\r\nDELE a.txt");
    entry(w, "SITE EXEC %[Program]")->trigger();
    ASSERT_TRUE(waitIdle(w));
    prompter->pushInput("NOOP\nDELE b.txt");
    w.action("QuickCommand1")->trigger();
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(w.info()->lines().count(">ERROR: Line breaks are not allowed in a command; nothing was sent."), 2);
    EXPECT_TRUE(after(*server, "REST 0").empty());
    // The connection is still in step: the next command gets its own reply.
    prompter->pushInput("SITE HELLO");
    w.action("QuickCommand1")->trigger();
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(after(*server, "REST 0"), (std::vector<std::string>{"SITE HELLO"}));
    EXPECT_EQ(prompter->asked().back(), "message: 200 Ok.");
    EXPECT_EQ(prompter->unexpected(), 0);
}

TEST_F(CommandsWindow, AbortEndsAReplyThatNeverComes) {
    IniFile(configFile()).writeInt("FTP", "RxTOut", 600);
    auto server = FakeFtpServer::loginScript();
    server->dataActive().onList(kListing).on("CWD", "250 Ok.\r\n").on("STAT", "211-Status:\r\n connected\r\n");
    TFTPfrm w;
    w.show();
    connect(w, server->port());
    prompter->pushInput("STAT");
    w.action("QuickCommand1")->trigger();
    ASSERT_TRUE(server->waitForCommand("STAT", 10s));
    EXPECT_TRUE(w.busy());
    EXPECT_TRUE(w.action("Abort1")->isEnabled());
    w.action("Abort1")->trigger();
    ASSERT_TRUE(waitIdle(w));
    EXPECT_TRUE(w.info()->lines().contains("--CANCELED--"));
    // No message box for an aborted command, and the session stays.
    EXPECT_EQ(prompter->asked(), (std::vector<std::string>{"input: Quick Command: &Please enter the command to execute:"}));
    EXPECT_EQ(w.sessionCount(), 1);
    // An empty quick command does nothing.
    prompter->pushInput("");
    w.action("QuickCommand1")->trigger();
    EXPECT_FALSE(w.busy());
    EXPECT_EQ(prompter->unexpected(), 0);
}

TEST_F(CommandsWindow, ServerClosingEndsTheCommandAndTheSession) {
    IniFile(configFile()).writeInt("FTP", "RxTOut", 600);
    auto server = FakeFtpServer::loginScript();
    server->dataActive().onList(kListing).on("CWD", "250 Ok.\r\n").onClose("HELP", "214-Commands:\r\n USER");
    TFTPfrm w;
    w.show();
    connect(w, server->port());
    entry(w, "HELP")->trigger();
    ASSERT_TRUE(waitIdle(w, 20s));
    EXPECT_EQ(w.sessionCount(), 0);
    EXPECT_TRUE(prompter->asked().empty());
}

TEST_F(CommandsWindow, DoItRunsTheChosenCommand) {
    auto server = FakeFtpServer::loginScript();
    server->dataActive().onList(kListing).on("CWD", "250 Ok.\r\n").on("HELP SITE", "214 No SITE help.\r\n");
    TFTPfrm w;
    w.show();
    connect(w, server->port());
    prompter->pushDialog([](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "New Commands");
        d.findChild<QListWidget*>("ListBox1")->setCurrentRow(1); // "HELP SITE"
        d.findChild<QPushButton*>("DoItBtn")->click();
        return d.result();
    });
    w.action("NewCustomCommand1")->trigger();
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(after(*server, "REST 0"), (std::vector<std::string>{"HELP SITE"}));
    EXPECT_EQ(prompter->asked().back(), "message: 214 No SITE help.");
    EXPECT_EQ(IniFile(configFile()).readInt("Commands", "Total", 0), 5);
}

template <class Server>
struct RealCommandsWindow : CommandsWindow {};
using Servers = ::testing::Types<Vsftpd, PyFtpd>;
TYPED_TEST_SUITE(RealCommandsWindow, Servers);

TYPED_TEST(RealCommandsWindow, HelpAndSizeOfEachSelectedFile) {
    TypeParam server;
    ASSERT_TRUE(server.ready()) << server.error();
    for (auto [name, size] : {std::pair{"one.txt", 5}, std::pair{"two.txt", 7}, std::pair{"three.txt", 9}})
        std::ofstream(server.root() / name) << std::string(static_cast<std::size_t>(size), 'x');
    IniFile ini(configFile());
    CommandStore::write(ini, {"HELP", "SIZE %f"});
    TFTPfrm w;
    w.show();
    this->connect(w, server.port(), "anonymous", "me@example.org");
    this->entry(w, "HELP")->trigger();
    ASSERT_TRUE(waitIdle(w));
    auto asked = this->prompter->asked();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].rfind("message: 214-", 0), 0u) << asked[0];
    EXPECT_NE(asked[0].find('\r'), std::string::npos);
    this->select(w, {"one.txt", "three.txt"});
    this->entry(w, "SIZE %f")->trigger();
    ASSERT_TRUE(waitIdle(w));
    QStringList log = w.info()->lines();
    EXPECT_TRUE(log.contains(">SIZE one.txt"));
    EXPECT_TRUE(log.contains("--->213 5"));
    EXPECT_TRUE(log.contains(">SIZE three.txt"));
    EXPECT_TRUE(log.contains("--->213 9"));
    EXPECT_FALSE(log.contains(">SIZE two.txt"));
    EXPECT_EQ(this->prompter->asked().back(), "message: 213 9");
    EXPECT_EQ(this->prompter->unexpected(), 0);
}

} // namespace
} // namespace vn::test
