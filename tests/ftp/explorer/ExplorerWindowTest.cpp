// The explorer window end to end on the offscreen platform: local roots and
// folders on temporary folders with an injected mount list; remote folders on
// vsftpd and on the scripted fake server, all on loopback.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QRegularExpression>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPointer>
#include <QProgressBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "FakeFtpServer.h"
#include "RealFtpServers.h"
#include "ScriptedPrompter.h"
#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/Beeper.h"
#include "common/ui/InfoBox.h"
#include "ftp/explorer/FileList.h"
#include "ftp/explorer/LocalRoots.h"
#include "ftp/explorer/TFTPfrm.h"
#include "shell/TSysfrm.h"

namespace vn::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool waitIdle(TFTPfrm& w, std::chrono::milliseconds limit = 5s) {
    auto end = std::chrono::steady_clock::now() + limit;
    do {
        QTest::qWait(10);
        if (!w.busy() && !w.mouseTimer()->isActive()) return true;
    } while (std::chrono::steady_clock::now() < end);
    return false;
}

ScriptedPrompter::DialogHandler quick(uint16_t port, const QString& login, const QString& password,
                                      const QString& remoteDir = {}) {
    return [=](QDialog& d) {
        d.findChild<QLineEdit*>("HostEdit")->setText("127.0.0.1");
        d.findChild<QLineEdit*>("LoginEdit")->setText(login);
        d.findChild<QLineEdit*>("PasswordEdit")->setText(password);
        d.findChild<QLineEdit*>("PortEdit")->setText(QString::number(port));
        d.findChild<QLineEdit*>("remotediredit")->setText(remoteDir);
        d.accept();
        return d.result();
    };
}

// Gives a widget the keyboard focus inside its (offscreen) window.
void focus(QWidget* window, QWidget* widget) {
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
    widget->setFocus();
    for (int i = 0; i < 100 && !widget->hasFocus(); ++i) {
        QTest::qWait(10);
        widget->setFocus();
    }
    EXPECT_TRUE(widget->hasFocus());
}

std::vector<QString> listNames(const TFTPfrm& w) {
    std::vector<QString> out;
    for (const auto& i : w.listModel()->items()) out.push_back(i.display);
    return out;
}

const FileItem* listItem(const TFTPfrm& w, const QString& name) {
    for (const auto& i : w.listModel()->items())
        if (i.display == name) return &i;
    return nullptr;
}

QStringList childCaptions(QTreeWidgetItem* node) {
    QStringList out;
    for (int i = 0; i < node->childCount(); ++i) out << node->child(i)->text(0);
    return out;
}

void touch(const fs::path& p, const std::string& text = "x") {
    fs::create_directories(p.parent_path());
    std::ofstream(p) << text;
}

struct Explorer : ::testing::Test {
    ScopedPrompter prompter;
    int beeps = 0;
    fs::path home;
    QByteArray oldHome;
    std::vector<MountEntry> mounts;

    void SetUp() override {
        home = fs::path(::testing::TempDir()) / ("vn-home-" + std::to_string(::getpid()) + "-" +
                                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(home);
        fs::create_directories(home / "docs" / "inner");
        fs::create_directories(home / ".hidden" / "sub");
        touch(home / "docs" / "a.txt", "hello");
        touch(home / "docs" / "big.bin", std::string(5000, 'b'));
        touch(home / ".profile");
        oldHome = qgetenv("HOME");
        qputenv("HOME", QByteArray::fromStdString(home.string()));
        setMountProvider([this] { return mounts; });
        IniFile(configFile()).writeInt("FTP", "ShowWelcome", 0);
        setBeepHook([this] { ++beeps; });
    }
    void TearDown() override {
        setBeepHook(nullptr);
        setMountProvider(nullptr);
        setLocalOpener(nullptr);
        qputenv("HOME", oldHome);
        fs::remove_all(home);
    }
    std::string homeDir() const { return home.string() + "/"; }
};

TEST_F(Explorer, LocalRootsHomeFirstThenRootAndMounts) {
    mounts = {{"/proc", "proc", "proc", ""},
              {"/run/user/1", "tmpfs", "tmpfs", ""},
              {home.string() + "/docs", "ext4", "/dev/sdz1", "DATA"},
              {"/media/nonexistent-stick", "vfat", "/dev/sdy1", ""},
              {"/srv/dead-share", "nfs4", "host:/x", ""}};
    TFTPfrm w;
    QTreeWidget* t = w.tree();
    ASSERT_EQ(t->topLevelItemCount(), 5);
    EXPECT_EQ(t->topLevelItem(0)->text(0), QString::fromStdString("Home (" + home.string() + ")"));
    EXPECT_EQ(t->topLevelItem(1)->text(0), "(/)");
    EXPECT_EQ(t->topLevelItem(2)->text(0), QString::fromStdString("DATA (" + home.string() + "/docs)"));
    EXPECT_EQ(t->topLevelItem(3)->text(0), "(/media/nonexistent-stick)");
    EXPECT_EQ(t->topLevelItem(4)->text(0), "(/srv/dead-share)");
    // Removable and network mounts are never looked at: a placeholder stands in.
    for (int i : {3, 4}) {
        EXPECT_EQ(w.nodeInfo(t->topLevelItem(i))->kind, NodeKind::RemovableDrive);
        ASSERT_EQ(t->topLevelItem(i)->childCount(), 1);
        EXPECT_TRUE(w.isPlaceholder(t->topLevelItem(i)->child(0)));
    }
    // Home is expanded, selected and listed; hidden folders stay out of the tree
    // but are in the list.
    QTreeWidgetItem* h = t->topLevelItem(0);
    EXPECT_TRUE(h->isExpanded());
    EXPECT_EQ(t->currentItem(), h);
    EXPECT_EQ(childCaptions(h), QStringList{"docs"});
    EXPECT_EQ(w.currentDirBytes(), homeDir());
    EXPECT_EQ(w.currentSession(), 0u);
    ASSERT_NE(listItem(w, ".hidden"), nullptr);
    const FileItem* profile = listItem(w, ".profile");
    ASSERT_NE(profile, nullptr);
    EXPECT_EQ(profile->kind, ItemKind::LocalHiddenFile);
    EXPECT_EQ(profile->attribs[4], QLatin1Char('h'));
    EXPECT_EQ(listItem(w, "docs")->kind, ItemKind::LocalFolder);
    EXPECT_EQ(listItem(w, "docs")->type, "Folder");
    EXPECT_EQ(listItem(w, "docs")->attribs, "_d___w");
}

TEST_F(Explorer, SelectingAFolderListsItAfterTheDeferredLoad) {
    TFTPfrm w;
    QTreeWidgetItem* docs = w.findNode(homeDir() + "docs/", 0);
    ASSERT_NE(docs, nullptr);
    w.tree()->setCurrentItem(docs);
    EXPECT_TRUE(w.mouseTimer()->isActive());
    EXPECT_EQ(w.currentDirBytes(), homeDir()); // not yet
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(w.currentDirBytes(), homeDir() + "docs/");
    EXPECT_EQ(listNames(w), (std::vector<QString>{"inner", "a.txt", "big.bin"}));
    EXPECT_EQ(w.statusText(), QString::fromStdString(homeDir() + "docs/ - [Total Files : 3] - [Selected Files : 0]"));
    const FileItem* a = listItem(w, "a.txt");
    EXPECT_EQ(a->size, "5");
    EXPECT_EQ(a->type, ".txt");
    EXPECT_EQ(a->path, homeDir() + "docs/");
    EXPECT_TRUE(QRegularExpression("^\\d\\d/\\d\\d/\\d{4} \\d{1,2}:\\d\\d$").match(a->modified).hasMatch());

    // Sorting by size puts the folder first, then the largest file.
    w.ListColumnClick(1);
    EXPECT_EQ(listNames(w), (std::vector<QString>{"inner", "big.bin", "a.txt"}));
    int before = beeps;
    w.ListColumnClick(4); // "Atribs" never sorts
    EXPECT_EQ(beeps, before + 1);
    w.ListColumnClick(0);
    EXPECT_EQ(listNames(w), (std::vector<QString>{"inner", "a.txt", "big.bin"}));
}

TEST_F(Explorer, OpeningAFolderFromTheListSelectsItsNodeAndUpReturns) {
    std::vector<QString> opened;
    setLocalOpener([&](const QString& p) {
        opened.push_back(p);
        return true;
    });
    TFTPfrm w;
    ASSERT_TRUE(w.selectListItem("docs"));
    w.ListDblClick();
    EXPECT_EQ(w.currentDirBytes(), homeDir() + "docs/");
    ASSERT_NE(w.tree()->currentItem(), nullptr);
    EXPECT_EQ(w.tree()->currentItem()->text(0), "docs");
    ASSERT_TRUE(w.selectListItem("a.txt"));
    w.ListDblClick();
    EXPECT_EQ(opened, (std::vector<QString>{QString::fromStdString(homeDir() + "docs/a.txt")}));
    w.UpSBClick();
    EXPECT_EQ(w.currentDirBytes(), homeDir());
    int before = beeps;
    w.UpSBClick(); // a root has no parent
    EXPECT_EQ(beeps, before + 1);
}

TEST_F(Explorer, NamelessNodesCannotBeRenamedOrDeleted) {
    TFTPfrm w;
    QTreeWidgetItem* root = w.tree()->topLevelItem(0);
    w.tree()->setCurrentItem(root);
    ASSERT_TRUE(waitIdle(w));
    focus(&w, w.tree());
    int before = beeps;
    w.RenameSBClick();
    w.DeleteSBClick();
    EXPECT_EQ(beeps, before + 2);
    EXPECT_TRUE(prompter->asked().empty());
    EXPECT_EQ(w.tree()->topLevelItem(0), root);
}

TEST_F(Explorer, RenamingALocalFolderNode) {
    TFTPfrm w;
    QTreeWidgetItem* docs = w.findNode(homeDir() + "docs/", 0);
    w.tree()->setCurrentItem(docs);
    ASSERT_TRUE(waitIdle(w));
    focus(&w, w.tree());
    prompter->pushInput("papers");
    w.RenameSBClick();
    EXPECT_TRUE(fs::is_directory(home / "papers"));
    EXPECT_EQ(docs->text(0), "papers");
    EXPECT_EQ(w.currentDirBytes(), homeDir() + "papers/");
    EXPECT_EQ(w.nodeInfo(docs)->DirNom, "papers");
}

TEST_F(Explorer, SelectAllInvertAndViews) {
    TFTPfrm w;
    int n = w.listModel()->rowCount();
    ASSERT_GT(n, 2);
    w.SelectAllSBClick();
    EXPECT_TRUE(w.statusText().endsWith(QStringLiteral("[Selected Files : %1]").arg(n)));
    w.InvertSelectionSBClick();
    EXPECT_TRUE(w.statusText().endsWith("[Selected Files : 0]"));
    EXPECT_EQ(w.viewStyle(), TFTPfrm::ViewStyle::Report);
    w.button("viewIconSB")->click();
    EXPECT_EQ(w.viewStyle(), TFTPfrm::ViewStyle::LargeIcons);
    EXPECT_EQ(w.iconList()->viewMode(), QListView::IconMode);
    w.button("viewListSB")->click();
    EXPECT_EQ(w.iconList()->viewMode(), QListView::ListMode);
    EXPECT_FALSE(w.gridShown());
    w.ShowGridSBClick();
    EXPECT_TRUE(w.list()->showGrid());
    EXPECT_TRUE(w.action("ShowGrid1")->isChecked());
}

TEST_F(Explorer, GaugesScaleSixtyFourBitCounts) {
    TFTPfrm w;
    const std::uint64_t total = 6'000'000'000ULL;
    w.setFileProgress(total / 2, total);
    EXPECT_EQ(w.fileGauge()->value(), w.fileGauge()->maximum() / 2);
    EXPECT_EQ(w.fileGauge()->toolTip(), "3000000000 of 6000000000");
    w.ActivartotalGauge(4);
    w.IncrementarTotalGauge();
    EXPECT_EQ(w.totalGauge()->toolTip(), "1 of 4");
    EXPECT_EQ(w.totalGauge()->value(), w.totalGauge()->maximum() / 4);
}

TEST_F(Explorer, SystemInformationOfTheLocalFolder) {
    mounts = {{"/", "ext4", "/dev/sda1", ""}};
    setMeminfoReader([] { return std::string("MemTotal: 200 kB\nMemAvailable: 50 kB\n"); });
    TFTPfrm w;
    QString kind, total, memory, heading;
    prompter->pushDialog([&](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "System Information");
        auto* s = qobject_cast<TSysfrm*>(&d);
        heading = s->heading();
        kind = s->kindText();
        total = s->totalText();
        memory = s->memoryText();
        return static_cast<int>(QDialog::Accepted);
    });
    w.System1Click();
    setMeminfoReader(nullptr);
    EXPECT_EQ(heading, QString::fromStdString("Current drive: " + homeDir()));
    EXPECT_EQ(kind, "FIXED DRIVE");
    EXPECT_TRUE(total.startsWith("Total Disk Space : ") && total.endsWith(" Kb")) << total.toStdString();
    EXPECT_EQ(memory, "Used Memory : 75 %");

    mounts.clear(); // no mount holds the folder
    prompter->pushDialog([&](QDialog& d) {
        kind = qobject_cast<TSysfrm*>(&d)->kindText();
        total = qobject_cast<TSysfrm*>(&d)->totalText();
        return static_cast<int>(QDialog::Accepted);
    });
    w.System1Click();
    EXPECT_EQ(kind, "ERROR");
    EXPECT_EQ(total, "");
}

TEST_F(Explorer, InformationBoxClearAndSave) {
    TFTPfrm w;
    w.info()->addLine("first");
    w.info()->addLine("second");
    fs::path target = home / "saved.log";
    QString suggested;
    prompter->pushDialog([&](QDialog& d) {
        auto* f = qobject_cast<QFileDialog*>(&d);
        suggested = f->selectedFiles().value(0);
        f->selectFile(QString::fromStdString(target.string()));
        return static_cast<int>(QDialog::Accepted);
    });
    w.SaveLog1Click();
    EXPECT_TRUE(suggested.endsWith("varnelo.log"));
    std::ifstream in(target, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, "first\r\nsecond\r\n");
    w.Clear1Click();
    EXPECT_EQ(w.info()->lineCount(), 0);
}

TEST_F(Explorer, ShortcutsBelongToTheirWindow) {
    TFTPfrm a, b;
    for (const char* name : {"QuickConnection1", "MoveUp1", "Refresh1", "Abort1"})
        EXPECT_EQ(a.action(name)->shortcutContext(), Qt::WidgetWithChildrenShortcut) << name;
    EXPECT_EQ(a.action("Delete1")->shortcutContext(), Qt::WidgetShortcut);
    EXPECT_EQ(a.action("Clear1")->shortcut(), a.action("Delete1")->shortcut());
    EXPECT_EQ(a.action("pasvmode1")->text(), "&Passive (PASV) Mode");
    EXPECT_FALSE(a.action("UploadtoMultipleHosts1")->isEnabled());
}

// ---- remote ----

struct RemoteExplorer : Explorer {
    static std::string listing() {
        return "total 3\r\n"
               "drwxr-xr-x   2 ftp ftp 4096 Jan  5 10:00 src\r\n"
               "-rw-r--r--   1 ftp ftp 6000000000 Mar  1  2001 huge.iso\r\n"
               "lrwxrwxrwx   1 ftp ftp    7 Jan  1 10:00 latest -> src\r\n";
    }
};

TEST_F(RemoteExplorer, ConnectBuildsTheServerNodeAndTheChainToTheWorkingFolder) {
    FakeFtpServer server;
    server.login()
        .on("PWD", "257 \"/pub/linux\" is the current directory.\r\n")
        .dataActive()
        .onList(listing())
        .on("CWD", "250 Ok.\r\n");
    TFTPfrm w;
    prompter->pushDialog(quick(server.port(), "user", "pw"));
    w.QuickSBClick();
    ASSERT_TRUE(waitIdle(w));
    auto servers = w.serverNodes();
    ASSERT_EQ(servers.size(), 1u);
    QTreeWidgetItem* s = servers[0];
    EXPECT_EQ(s->text(0), "127.0.0.1[FTP]");
    // Local roots sort before every server.
    EXPECT_EQ(w.tree()->indexOfTopLevelItem(s), w.tree()->topLevelItemCount() - 1);
    ASSERT_EQ(childCaptions(s), QStringList{"pub"});
    QTreeWidgetItem* leaf = s->child(0)->child(0);
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(leaf->text(0), "linux");
    EXPECT_EQ(w.nodeInfo(leaf)->Path, "/pub/linux/");
    EXPECT_TRUE(w.nodeInfo(leaf)->DirNom.empty());
    EXPECT_EQ(w.tree()->currentItem(), leaf);
    EXPECT_TRUE(leaf->isExpanded());
    EXPECT_TRUE(s->isExpanded());
    EXPECT_TRUE(s->child(0)->isExpanded());
    EXPECT_EQ(childCaptions(leaf), (QStringList{"latest", "src"}));
    EXPECT_EQ(w.currentDirBytes(), "/pub/linux/");
    EXPECT_EQ(listNames(w), (std::vector<QString>{"latest", "src", "huge.iso"}));
    const FileItem* huge = listItem(w, "huge.iso");
    EXPECT_EQ(huge->size, "6000000000");
    EXPECT_EQ(huge->sizeKey, 6000000000LL);
    EXPECT_EQ(huge->modified, "Mar  1  2001");
    EXPECT_EQ(huge->attribs, "-rw-r--r--");
    EXPECT_EQ(listItem(w, "latest")->type, "Link");
    // The chain and the server node have no name: no rename.
    focus(&w, w.tree());
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(w.tree()->currentItem(), leaf);
    int before = beeps;
    w.RenameSBClick();
    EXPECT_EQ(beeps, before + 1);
    // Clicking "Modified" on a remote folder beeps and keeps the order.
    w.ListColumnClick(3);
    EXPECT_EQ(beeps, before + 2);
    EXPECT_EQ(listNames(w), (std::vector<QString>{"latest", "src", "huge.iso"}));
}

TEST_F(RemoteExplorer, AServerThatClosesDuringAListingTakesOnlyItsNode) {
    FakeFtpServer server;
    server.login().dataActive().onList(listing()).on("CWD", "250 Ok.\r\n");
    TFTPfrm w;
    prompter->pushDialog(quick(server.port(), "user", "pw"));
    w.QuickSBClick();
    ASSERT_TRUE(waitIdle(w));
    QTreeWidgetItem* src = w.findNode("/src/", w.currentSession());
    ASSERT_NE(src, nullptr);
    server.onClose("LIST", ""); // gone without a word
    NodeId id = w.nodeIdOf(src);
    src->setExpanded(true);
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(w.nodeById(id), nullptr);
    EXPECT_EQ(w.sessionCount(), 0);
    EXPECT_GT(w.tree()->topLevelItemCount(), 0); // the local roots stay
    EXPECT_EQ(w.currentSession(), 0u);
}

TEST_F(RemoteExplorer, ClosingDuringAnOperationCancelsAndClosesAfterTheUnwind) {
    FakeFtpServer server;
    server.login().dataActive().onList(listing()).on("CWD", "250 Ok.\r\n");
    auto* w = new TFTPfrm;
    w->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<TFTPfrm> alive(w);
    prompter->pushDialog(quick(server.port(), "user", "pw"));
    w->QuickSBClick();
    ASSERT_TRUE(waitIdle(*w));
    server.on("LIST", ""); // the listing never answers
    w->RefreshSBClick();
    ASSERT_TRUE(w->busy());
    prompter->pushYesNo(true);
    w->close();
    ASSERT_TRUE(alive); // not while the worker is inside the wait
    for (int i = 0; i < 300 && alive; ++i) QTest::qWait(10);
    EXPECT_FALSE(alive);
}

TEST_F(RemoteExplorer, AFailedDeleteLeavesItsItem) {
    FakeFtpServer server;
    server.login().dataActive().onList(listing()).on("CWD", "250 Ok.\r\n").on("DELE", "550 Denied.\r\n");
    TFTPfrm w;
    w.show();
    prompter->pushDialog(quick(server.port(), "user", "pw"));
    w.QuickSBClick();
    ASSERT_TRUE(waitIdle(w));
    focus(&w, w.list());
    ASSERT_TRUE(w.selectListItem("huge.iso"));
    prompter->pushYesNo(true);
    w.DeleteSBClick();
    ASSERT_TRUE(waitIdle(w));
    EXPECT_NE(listItem(w, "huge.iso"), nullptr);
    EXPECT_TRUE(w.info()->lines().contains(">Error deleting file"));
}

struct OnVsftpd : RemoteExplorer {
    std::unique_ptr<Vsftpd> server;
    void SetUp() override {
        RemoteExplorer::SetUp();
        server = std::make_unique<Vsftpd>();
        ASSERT_TRUE(server->ready()) << server->error();
        makeDirs(server->uploadDir() / "one" / "two");
        touch(server->uploadDir() / "one" / "file.txt", "1");
        touch(server->root() / "readme.txt", "r");
    }
    void makeDirs(const fs::path& p) {
        fs::create_directories(p);
        for (fs::path q = p; q != server->uploadDir() && q.has_relative_path(); q = q.parent_path())
            fs::permissions(q, fs::perms::all);
    }
    void connect(TFTPfrm& w, const QString& remoteDir = {}) {
        prompter->pushDialog(quick(server->port(), "anonymous", "me@example.org", remoteDir));
        w.QuickSBClick();
        ASSERT_TRUE(waitIdle(w, 10s));
        ASSERT_EQ(w.sessionCount() > 0, true) << w.info()->lines().join("\n").toStdString();
    }
};

TEST_F(OnVsftpd, ExpandingAndSelectingFoldersListsThem) {
    TFTPfrm w;
    connect(w);
    EXPECT_EQ(w.currentDirBytes(), "/");
    ASSERT_NE(listItem(w, "readme.txt"), nullptr);
    SessionId sid = w.currentSession();
    QTreeWidgetItem* upload = w.findNode("/upload/", sid);
    ASSERT_NE(upload, nullptr);
    upload->setExpanded(true);
    ASSERT_TRUE(waitIdle(w));
    upload = w.findNode("/upload/", sid);
    ASSERT_EQ(childCaptions(upload), QStringList{"one"});
    QTreeWidgetItem* one = upload->child(0);
    w.tree()->setCurrentItem(one);
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(w.currentDirBytes(), "/upload/one/");
    EXPECT_EQ(listNames(w), (std::vector<QString>{"two", "file.txt"}));
    EXPECT_EQ(listItem(w, "two")->kind, ItemKind::RemoteFolder);
    EXPECT_EQ(listItem(w, "file.txt")->path, "/upload/one/");
    // Up goes to the parent through CDUP.
    w.UpSBClick();
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(w.currentDirBytes(), "/upload/");
    EXPECT_TRUE(w.info()->lines().contains(">CDUP"));
}

TEST_F(OnVsftpd, InitialRemoteFolderOpensTheWholePath) {
    TFTPfrm w;
    connect(w, "/upload/one");
    ASSERT_TRUE(waitIdle(w, 10s));
    EXPECT_EQ(w.currentDirBytes(), "/upload/one/");
    ASSERT_NE(w.tree()->currentItem(), nullptr);
    EXPECT_EQ(w.tree()->currentItem()->text(0), "one");
    EXPECT_EQ(listNames(w), (std::vector<QString>{"two", "file.txt"}));
}

TEST_F(OnVsftpd, PassiveSwitchAppliesToTheWholeSession) {
    TFTPfrm w;
    connect(w);
    EXPECT_FALSE(w.currentPasv());
    w.pasvmode1Click();
    ASSERT_TRUE(waitIdle(w));
    EXPECT_TRUE(w.currentPasv());
    for (QTreeWidgetItem* s : w.serverNodes()) {
        EXPECT_TRUE(w.nodeInfo(s)->Pasv);
        for (int i = 0; i < s->childCount(); ++i) {
            if (!w.isPlaceholder(s->child(i))) {
                EXPECT_TRUE(w.nodeInfo(s->child(i))->Pasv);
            }
        }
    }
    w.info()->clearLines();
    w.RefreshSBClick();
    ASSERT_TRUE(waitIdle(w));
    EXPECT_TRUE(w.info()->lines().contains(">PASV"));
    EXPECT_NE(listItem(w, "readme.txt"), nullptr);
}

TEST_F(OnVsftpd, NewFolderRenameAndDeleteActOnTheCurrentFolder) {
    TFTPfrm w;
    w.show();
    connect(w);
    // Open /upload from the list (its node is not the selected one).
    ASSERT_TRUE(w.selectListItem("upload"));
    w.ListDblClick();
    ASSERT_TRUE(waitIdle(w));
    ASSERT_EQ(w.currentDirBytes(), "/upload/");
    const fs::path up = server->uploadDir();

    prompter->pushInput("made");
    w.NovaCarpetaSBClick();
    ASSERT_TRUE(waitIdle(w));
    EXPECT_TRUE(fs::is_directory(up / "made"));
    EXPECT_NE(listItem(w, "made"), nullptr);

    focus(&w, w.list());
    ASSERT_TRUE(w.selectListItem("made"));
    prompter->pushInput("renamed");
    w.RenameSBClick();
    ASSERT_TRUE(waitIdle(w));
    EXPECT_TRUE(fs::is_directory(up / "renamed"));
    EXPECT_FALSE(fs::exists(up / "made"));
    EXPECT_NE(listItem(w, "renamed"), nullptr);

    // A folder with nested content goes recursively.
    focus(&w, w.list());
    ASSERT_TRUE(w.selectListItem("one"));
    prompter->pushYesNo(true);
    w.DeleteSBClick();
    ASSERT_TRUE(waitIdle(w));
    EXPECT_FALSE(fs::exists(up / "one"));
    EXPECT_EQ(listItem(w, "one"), nullptr);
    EXPECT_EQ(w.findNode("/upload/one/", w.currentSession()), nullptr);
    EXPECT_NE(listItem(w, "renamed"), nullptr);
}

TEST_F(OnVsftpd, DeletingAFolderNodeFromTheTree) {
    TFTPfrm w;
    w.show();
    connect(w);
    SessionId sid = w.currentSession();
    QTreeWidgetItem* upload = w.findNode("/upload/", sid);
    upload->setExpanded(true);
    ASSERT_TRUE(waitIdle(w));
    QTreeWidgetItem* one = w.findNode("/upload/one/", sid);
    ASSERT_NE(one, nullptr);
    w.tree()->setCurrentItem(one);
    ASSERT_TRUE(waitIdle(w));
    focus(&w, w.tree());
    prompter->pushYesNo(true);
    w.DeleteSBClick();
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(prompter->asked().back(), "yesno: Do you confirm that you want to delete 'one'?");
    EXPECT_FALSE(fs::exists(server->uploadDir() / "one"));
    EXPECT_EQ(w.findNode("/upload/one/", sid), nullptr);
    EXPECT_EQ(w.currentDirBytes(), "/upload/");
}

TEST_F(OnVsftpd, TwoServersSideBySideAndLogoutRemovesOnlyItsNode) {
    Vsftpd second;
    ASSERT_TRUE(second.ready()) << second.error();
    TFTPfrm w;
    connect(w);
    prompter->pushDialog(quick(second.port(), "anonymous", "me@example.org"));
    w.QuickSBClick();
    ASSERT_TRUE(waitIdle(w, 10s));
    auto servers = w.serverNodes();
    ASSERT_EQ(servers.size(), 2u);
    SessionId first = w.nodeInfo(servers[0])->session;
    SessionId other = w.nodeInfo(servers[1])->session;
    EXPECT_NE(first, other);
    // Both show "/", each its own.
    EXPECT_NE(w.findNode("/", first), w.findNode("/", other));
    prompter->pushYesNo(true);
    w.QuitSBClick(); // the current (second) session
    ASSERT_TRUE(waitIdle(w));
    servers = w.serverNodes();
    ASSERT_EQ(servers.size(), 1u);
    EXPECT_EQ(w.nodeInfo(servers[0])->session, first);
}

} // namespace
} // namespace vn::test

namespace vn::test {
namespace {

TEST_F(OnVsftpd, OpeningARemoteFileDownloadsItIntoTempAndKeepsTheSource) {
    // Even with delete-after-download on, the temporary copy never costs the source.
    IniFile(configFile()).writeInt("FTP", "DeleteFileAfterDownload", 1);
    std::vector<QString> opened;
    setLocalOpener([&](const QString& p) {
        opened.push_back(p);
        return true;
    });
    TFTPfrm w;
    connect(w, "/upload/one");
    ASSERT_TRUE(waitIdle(w));
    ASSERT_EQ(w.currentDirBytes(), "/upload/one/");
    ASSERT_TRUE(w.selectListItem("file.txt"));
    prompter->pushYesNo(true);
    w.ListDblClick();
    ASSERT_TRUE(waitIdle(w));
    const fs::path local = dataFile("TEMP") / "file.txt";
    EXPECT_EQ(opened, (std::vector<QString>{QString::fromStdString(local.string())}));
    std::ifstream in(local);
    std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(got, "1");
    EXPECT_TRUE(fs::exists(server->uploadDir() / "one" / "file.txt"));
    EXPECT_FALSE(w.info()->lines().contains(">DELE /upload/one/file.txt"));
    auto asked = prompter->asked();
    ASSERT_FALSE(asked.empty());
    EXPECT_NE(std::find(asked.begin(), asked.end(),
                        "yesno: The file 'file.txt' is remote.\rDo you really want to download it to a temporal "
                        "folder and execute it?"),
              asked.end());
}

} // namespace
} // namespace vn::test
