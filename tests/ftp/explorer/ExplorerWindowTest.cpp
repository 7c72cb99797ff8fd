// The explorer window end to end on the offscreen platform: local roots and
// folders on temporary folders with an injected mount list; remote folders on
// vsftpd and on the scripted fake server, all on loopback.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QRadioButton>
#include <QSplitter>
#include <QTemporaryDir>
#include <QUrl>
#include <QRegularExpression>
#include <QDragEnterEvent>
#include <QLabel>
#include <QMimeData>
#include <QUrl>
#include <QPushButton>
#include <QTimer>
#include <QLineEdit>
#include <QListView>
#include <QPointer>
#include <QProgressBar>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "FakeFtpServer.h"
#include "RealFtpServers.h"
#include "ScriptedPrompter.h"
#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/Beeper.h"
#include "common/ui/HelpService.h"
#include "common/ui/InfoBox.h"
#include "ftp/explorer/FileList.h"
#include "ftp/explorer/LocalRoots.h"
#include "ftp/explorer/TFTPfrm.h"
#include "WindowTestUtil.h"
#include "ftp/explorer/TSysfrm.h"

namespace vn::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;


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

// The open in-place name editor of a view; null when none is open.
QLineEdit* nameEditor(QAbstractItemView* v) {
    for (QLineEdit* e : v->findChildren<QLineEdit*>("NameEditor"))
        if (e->isVisible()) return e;
    return nullptr;
}

// Types a name into the open editor of the view and ends the edit with `key`.
bool typeName(TFTPfrm& w, QAbstractItemView* v, const QString& text, Qt::Key key = Qt::Key_Return) {
    QLineEdit* e = nameEditor(v);
    EXPECT_NE(e, nullptr);
    if (!e) return false;
    e->setText(text);
    QTest::keyClick(e, key);
    return waitIdle(w);
}

std::vector<QString> listNames(const TFTPfrm& w) {
    std::vector<QString> out;
    for (const auto& i : w.listModel()->items()) out.push_back(i.display());
    return out;
}

const FileItem* listItem(const TFTPfrm& w, const QString& name) {
    for (const auto& i : w.listModel()->items())
        if (i.display() == name) return &i;
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

// A folder that fails to open (gone since the tree showed it) is never
// claimed by the status bar as an empty folder.
TEST_F(Explorer, AFolderThatFailsToOpenGetsNoStatus) {
    TFTPfrm w;
    QTreeWidgetItem* docs = w.findNode(homeDir() + "docs/", 0);
    ASSERT_NE(docs, nullptr);
    docs->setExpanded(true);
    QTreeWidgetItem* inner = w.findNode(homeDir() + "docs/inner/", 0);
    ASSERT_NE(inner, nullptr);
    fs::remove_all(home / "docs" / "inner");
    w.tree()->setCurrentItem(inner);
    ASSERT_TRUE(waitIdle(w));
    EXPECT_FALSE(w.statusText().contains("Total Files")) << w.statusText().toStdString();
    // The next folder that opens has its status again.
    w.tree()->setCurrentItem(docs);
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(w.statusText(), QString::fromStdString(homeDir() + "docs/ - [Total Files : 2] - [Selected Files : 0]"));
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
    w.RenameSBClick();
    EXPECT_TRUE(w.treeEditing());
    ASSERT_TRUE(typeName(w, w.tree(), "papers"));
    EXPECT_FALSE(w.treeEditing());
    EXPECT_TRUE(prompter->asked().empty());
    EXPECT_TRUE(fs::is_directory(home / "papers"));
    EXPECT_TRUE(fs::exists(home / "papers" / "a.txt"));
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
    // Not the default port: shown.
    EXPECT_EQ(s->text(0), QStringLiteral("127.0.0.1:%1[FTP]").arg(server.port()));
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
        server = std::make_unique<Vsftpd>(serverOptions());
        ASSERT_TRUE(server->ready()) << server->error();
        makeDirs(server->uploadDir() / "one" / "two");
        touch(server->uploadDir() / "one" / "file.txt", "1");
        touch(server->root() / "readme.txt", "r");
    }
    virtual Vsftpd::Options serverOptions() const { return {}; }
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
    // vsftpd lists EPSV, which passive mode then uses.
    EXPECT_TRUE(w.info()->lines().contains(">EPSV"));
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

    focus(&w, w.list());
    w.NovaCarpetaSBClick();
    ASSERT_TRUE(typeName(w, w.list(), "made"));
    EXPECT_TRUE(fs::is_directory(up / "made"));
    EXPECT_NE(listItem(w, "made"), nullptr);
    EXPECT_EQ(listItem(w, ""), nullptr);
    QTreeWidgetItem* uploadNode = w.findNode("/upload/", w.currentSession());
    ASSERT_NE(uploadNode, nullptr);
    EXPECT_TRUE(uploadNode->isExpanded());
    EXPECT_TRUE(childCaptions(uploadNode).contains("made"));

    focus(&w, w.list());
    ASSERT_TRUE(w.selectListItem("made"));
    w.RenameSBClick();
    ASSERT_TRUE(typeName(w, w.list(), "renamed"));
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
    // Two servers on one host: their ports tell them apart.
    EXPECT_EQ(servers[0]->text(0), QStringLiteral("127.0.0.1:%1[FTP]").arg(server->port()));
    EXPECT_EQ(servers[1]->text(0), QStringLiteral("127.0.0.1:%1[FTP]").arg(second.port()));
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
    // Inside this window's own folder below "TEMP".
    ASSERT_EQ(opened.size(), 1u);
    const fs::path local = opened[0].toStdString();
    EXPECT_EQ(local.filename(), "file.txt");
    EXPECT_EQ(local.string().rfind(dataFile("TEMP").string() + "/", 0), 0u);
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

// ---- names edited in place, tree commands, layout, help ----

namespace vn::test {
namespace {

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    UrlCatcher() { QDesktopServices::setUrlHandler("file", this, "open"); }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler("file"); }
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

// Shows docs/ in the list with the list focused.
void openDocs(TFTPfrm& w, const std::string& homeDir) {
    w.tree()->setCurrentItem(w.findNode(homeDir + "docs/", 0));
    ASSERT_TRUE(waitIdle(w));
    ASSERT_EQ(w.currentDirBytes(), homeDir + "docs/");
    focus(&w, w.list());
}

// A paste whose copies fail says so in a message box, not only in the log.
TEST_F(RemoteExplorer, APasteThatFailsSaysHowManyItemsFailed) {
    FakeFtpServer server;
    server.login().dataActive().onList(listing()).on("CWD", "250 Ok.\r\n").on("STOR", "553 Could not create file.\r\n");
    TFTPfrm w;
    w.show();
    openDocs(w, homeDir());
    focus(&w, w.list());
    ASSERT_TRUE(w.selectListItem("a.txt"));
    w.CopySBClick();
    prompter->pushDialog(quick(server.port(), "user", "pw"));
    w.QuickSBClick();
    ASSERT_TRUE(waitIdle(w));
    ASSERT_EQ(w.sessionCount(), 1);
    prompter->clearAsked();
    w.PAsteSBClick();
    ASSERT_TRUE(waitIdle(w));
    EXPECT_TRUE(server.waitForCommand("STOR", 1s));
    const auto asked = prompter->asked();
    EXPECT_NE(std::find(asked.begin(), asked.end(), "message: 1 item could not be copied."), asked.end())
        << w.info()->lines().join("\n").toStdString();
}

// A drop whose copies fail ends with the same message a failed paste shows.
TEST_F(RemoteExplorer, ADropThatFailsSaysHowManyItemsFailed) {
    struct Case {
        std::vector<std::string> dropped;
        const char* message;
    } cases[] = {
        {{"a.txt"}, "message: 1 item could not be copied."},
        {{"a.txt", "big.bin"}, "message: 2 items could not be copied."},
    };
    for (const Case& c : cases) {
        FakeFtpServer server;
        server.login().dataActive().onList(listing()).on("CWD", "250 Ok.\r\n").on("STOR",
                                                                                  "553 Could not create file.\r\n");
        TFTPfrm w;
        w.show();
        prompter->pushDialog(quick(server.port(), "user", "pw"));
        w.QuickSBClick();
        ASSERT_TRUE(waitIdle(w));
        ASSERT_EQ(w.sessionCount(), 1);
        prompter->clearAsked();
        std::vector<std::string> paths;
        for (const std::string& name : c.dropped) paths.push_back(homeDir() + "docs/" + name);
        w.FerDropEnList(paths, -1);
        ASSERT_TRUE(waitIdle(w));
        EXPECT_TRUE(server.waitForCommand("STOR", 1s));
        const auto asked = prompter->asked();
        EXPECT_NE(std::find(asked.begin(), asked.end(), c.message), asked.end())
            << c.message << "\n" << w.info()->lines().join("\n").toStdString();
    }
}

TEST_F(Explorer, TreeRenameInPlaceRefusesWhatItMustNot) {
    struct Case {
        const char* text;
        Qt::Key key;
        const char* message; // "" for none
    };
    // Escape cancels; an empty or unchanged name keeps the old one; a path or
    // the name of an existing folder is an error and replaces nothing.
    const Case cases[] = {{"other", Qt::Key_Escape, ""},
                          {"", Qt::Key_Return, ""},
                          {"docs", Qt::Key_Return, ""},
                          {"a/b", Qt::Key_Return, "message: Error renaming file!"},
                          {"taken", Qt::Key_Return, "message: Error renaming file!"}};
    fs::create_directories(home / "taken");
    touch(home / "taken" / "keep.txt");
    TFTPfrm w;
    QTreeWidgetItem* docs = w.findNode(homeDir() + "docs/", 0);
    ASSERT_NE(docs, nullptr);
    w.tree()->setCurrentItem(docs);
    ASSERT_TRUE(waitIdle(w));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        prompter->clearAsked();
        focus(&w, w.tree());
        w.RenameSBClick();
        ASSERT_TRUE(typeName(w, w.tree(), c.text, c.key));
        EXPECT_FALSE(w.treeEditing());
        EXPECT_EQ(docs->text(0), "docs");
        EXPECT_EQ(w.nodeInfo(docs)->DirNom, "docs");
        EXPECT_TRUE(fs::exists(home / "docs" / "a.txt"));
        EXPECT_TRUE(fs::exists(home / "taken" / "keep.txt"));
        std::vector<std::string> expected;
        if (*c.message) expected.push_back(c.message);
        EXPECT_EQ(prompter->asked(), expected);
    }
    EXPECT_FALSE(fs::exists(home / "other"));
    // The renamed node's children are reloaded under the new path.
    focus(&w, w.tree());
    w.RenameSBClick();
    ASSERT_TRUE(typeName(w, w.tree(), "papers"));
    docs->setExpanded(true);
    ASSERT_EQ(childCaptions(docs), QStringList{"inner"});
    EXPECT_EQ(w.nodeInfo(docs->child(0))->Path, homeDir() + "papers/");
    EXPECT_EQ(w.currentDirBytes(), homeDir() + "papers/");
}

TEST_F(Explorer, ListRenameInPlaceActsOnTheCurrentFolderAndNeverOverwrites) {
    TFTPfrm w;
    openDocs(w, homeDir());
    ASSERT_TRUE(w.selectListItem("a.txt"));
    w.RenameSBClick();
    EXPECT_TRUE(w.listEditing());
    ASSERT_TRUE(typeName(w, w.list(), "b.txt"));
    EXPECT_FALSE(w.listEditing());
    EXPECT_TRUE(fs::exists(home / "docs" / "b.txt"));
    EXPECT_FALSE(fs::exists(home / "docs" / "a.txt"));
    EXPECT_NE(listItem(w, "b.txt"), nullptr);
    EXPECT_EQ(w.currentDirBytes(), homeDir() + "docs/");

    focus(&w, w.list());
    ASSERT_TRUE(w.selectListItem("b.txt"));
    w.RenameSBClick();
    ASSERT_TRUE(typeName(w, w.list(), "big.bin"));
    EXPECT_EQ(prompter->asked(), std::vector<std::string>{"message: Error renaming file!"});
    std::ifstream in(home / "docs" / "big.bin");
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}).size(), 5000u);
    EXPECT_TRUE(fs::exists(home / "docs" / "b.txt"));

    // A folder renamed from the list is renamed in the tree too.
    focus(&w, w.list());
    ASSERT_TRUE(w.selectListItem("inner"));
    w.RenameSBClick();
    ASSERT_TRUE(typeName(w, w.list(), "core"));
    EXPECT_TRUE(fs::is_directory(home / "docs" / "core"));
    EXPECT_NE(w.findNode(homeDir() + "docs/core/", 0), nullptr);
    EXPECT_EQ(w.findNode(homeDir() + "docs/inner/", 0), nullptr);
}

TEST_F(Explorer, LocalNewFolderIsNamedInPlace) {
    struct Case {
        const char* text;
        Qt::Key key;
        bool made;
        const char* message;
    };
    const Case cases[] = {{"ignored", Qt::Key_Escape, false, ""},
                          {"", Qt::Key_Return, false, ""},
                          {"in/side", Qt::Key_Return, false, "message: Error Creating Folder!"},
                          {"inner", Qt::Key_Return, false, "message: Error Creating Folder!"},
                          {"fresh", Qt::Key_Return, true, ""}};
    touch(home / "docs" / "inner" / "keep.txt");
    TFTPfrm w;
    openDocs(w, homeDir());
    const int before = w.listModel()->rowCount();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        prompter->clearAsked();
        focus(&w, w.list());
        w.NovaCarpetaSBClick();
        // A nameless folder item, last, being edited.
        ASSERT_EQ(w.listModel()->rowCount(), before + 1);
        const FileItem& fresh = w.listModel()->item(before);
        EXPECT_TRUE(fresh.name.empty());
        EXPECT_EQ(fresh.kind, ItemKind::LocalFolder);
        EXPECT_EQ(fresh.type, "Folder");
        EXPECT_EQ(fresh.path, homeDir() + "docs/");
        EXPECT_TRUE(w.listEditing());
        ASSERT_TRUE(typeName(w, w.list(), c.text, c.key));
        EXPECT_EQ(listItem(w, ""), nullptr);
        EXPECT_EQ(w.listModel()->rowCount(), before + (c.made ? 1 : 0));
        if (*c.text) {
            EXPECT_EQ(fs::is_directory(home / "docs" / c.text), c.made || std::string(c.text) == "inner");
        }
        std::vector<std::string> expected;
        if (*c.message) expected.push_back(c.message);
        EXPECT_EQ(prompter->asked(), expected);
    }
    EXPECT_TRUE(fs::exists(home / "docs" / "inner" / "keep.txt"));
    EXPECT_NE(listItem(w, "fresh"), nullptr);
    QTreeWidgetItem* docs = w.findNode(homeDir() + "docs/", 0);
    EXPECT_TRUE(docs->isExpanded());
    EXPECT_EQ(childCaptions(docs), (QStringList{"fresh", "inner"}));
}

TEST_F(Explorer, EscapeOnTheListRemovesAnAbandonedNewFolder) {
    TFTPfrm w;
    openDocs(w, homeDir());
    const int before = w.listModel()->rowCount();
    w.NovaCarpetaSBClick();
    QLineEdit* e = nameEditor(w.list());
    ASSERT_NE(e, nullptr);
    e->setText("");
    QTest::keyClick(e, Qt::Key_Tab); // leaves the editor with no name
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(w.listModel()->rowCount(), before);
    EXPECT_FALSE(w.listEditing());
}

TEST_F(Explorer, ClipboardCommandsFollowTheSelectionAndTheClipboardFile) {
    TFTPfrm w;
    w.show();
    openDocs(w, homeDir());
    ASSERT_TRUE(w.selectListItem("a.txt"));
    w.list()->setFocus();
    w.HabilitarBotons();
    EXPECT_TRUE(w.action("Copy1")->isEnabled());
    EXPECT_TRUE(w.action("Cut1")->isEnabled());
    EXPECT_FALSE(w.action("Paste1")->isEnabled()); // no "copy.dat" yet
    EXPECT_EQ(w.action("Copy1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_C));
    EXPECT_EQ(w.action("Cut1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_X));
    EXPECT_EQ(w.action("Paste1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_V));
    w.CopySBClick();
    w.HabilitarBotons();
    EXPECT_TRUE(w.action("Paste1")->isEnabled());
    // Cut marks the selected items (drawn dimmed); the next Copy clears every mark.
    w.CutSBClick();
    EXPECT_TRUE(listItem(w, "a.txt")->cutMark);
    EXPECT_FALSE(listItem(w, "big.bin")->cutMark);
    w.CopySBClick();
    EXPECT_FALSE(listItem(w, "a.txt")->cutMark);
}

// One click on a file, in a window that is not the active one, is enough for
// Copy and Cut, and Ctrl+C then copies.
TEST_F(Explorer, OneClickOnAFileEnablesCopyAndCut) {
    TFTPfrm w;
    w.show();
    openDocs(w, homeDir());
    QWidget other;
    other.show();
    other.activateWindow();
    QApplication::setActiveWindow(&other);
    ASSERT_FALSE(w.isActiveWindow());
    int row = -1;
    for (int r = 0; r < w.listModel()->rowCount(); ++r)
        if (w.listModel()->item(r).display() == "a.txt") row = r;
    ASSERT_GE(row, 0);
    const QRect cell = w.list()->visualRect(w.listModel()->index(row, 0));
    QTest::mouseClick(w.list()->viewport(), Qt::LeftButton, {}, cell.center());
    ASSERT_EQ(w.list()->selectionModel()->selectedRows().size(), 1);
    EXPECT_TRUE(w.action("Copy1")->isEnabled());
    EXPECT_TRUE(w.action("Cut1")->isEnabled());
    // The window comes to the front with its selection: Ctrl+C copies.
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.isActiveWindow(); }));
    QTest::keyClick(w.list(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(fs::exists(dataFile("copy.dat")));
}

TEST_F(Explorer, FullExpandNeverFollowsASymlinkedFolderAndAbortStopsIt) {
    fs::create_symlink(home / "docs", home / "docs" / "inner" / "loop");
    fs::create_directories(home / "docs" / "inner" / "deep" / "deeper");
    TFTPfrm w;
    QTreeWidget* t = w.tree();
    ASSERT_GE(t->topLevelItemCount(), 2);
    QTreeWidgetItem* root = t->topLevelItem(1); // "/", walked after home
    w.FullExpand1Click();
    // Home is walked completely first; stop once the walk has reached "/".
    for (int i = 0; i < 500 && !root->isExpanded(); ++i) QTest::qWait(2);
    ASSERT_TRUE(root->isExpanded());
    w.AbortSBClick();
    QTreeWidgetItem* loop = w.findNode(homeDir() + "docs/inner/loop/", 0);
    ASSERT_NE(loop, nullptr);
    EXPECT_TRUE(w.nodeInfo(loop)->symlink);
    EXPECT_FALSE(loop->isExpanded());
    QTreeWidgetItem* deeper = w.findNode(homeDir() + "docs/inner/deep/deeper/", 0);
    ASSERT_NE(deeper, nullptr);
    EXPECT_TRUE(w.findNode(homeDir() + "docs/inner/deep/", 0)->isExpanded());
    // Nothing more is opened after Abort.
    auto countExpanded = [&] {
        int n = 0;
        std::vector<QTreeWidgetItem*> stack{root};
        while (!stack.empty()) {
            QTreeWidgetItem* it = stack.back();
            stack.pop_back();
            if (it->isExpanded()) ++n;
            for (int i = 0; i < it->childCount(); ++i) stack.push_back(it->child(i));
        }
        return n;
    };
    const int opened = countExpanded();
    QTest::qWait(100);
    EXPECT_EQ(countExpanded(), opened);

    // Full collapse closes everything and selects the root above the current folder.
    t->setCurrentItem(w.findNode(homeDir() + "docs/inner/", 0));
    ASSERT_TRUE(waitIdle(w));
    ASSERT_EQ(w.currentDirBytes(), homeDir() + "docs/inner/");
    w.FullCollapse1Click();
    for (int i = 0; i < t->topLevelItemCount(); ++i) EXPECT_FALSE(t->topLevelItem(i)->isExpanded());
    EXPECT_FALSE(w.findNode(homeDir() + "docs/", 0)->isExpanded());
    EXPECT_EQ(t->currentItem(), t->topLevelItem(0));
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(w.currentDirBytes(), homeDir());
}

TEST_F(Explorer, CollapsingAboveTheCurrentFolderSelectsAndReloadsIt) {
    TFTPfrm w;
    QTreeWidgetItem* docs = w.findNode(homeDir() + "docs/", 0);
    docs->setExpanded(true);
    w.tree()->setCurrentItem(w.findNode(homeDir() + "docs/inner/", 0));
    ASSERT_TRUE(waitIdle(w));
    ASSERT_EQ(w.currentDirBytes(), homeDir() + "docs/inner/");
    // An unrelated node leaves the list alone.
    fs::create_directories(home / "other" / "sub");
    QTreeWidgetItem* home0 = w.tree()->topLevelItem(0);
    w.tree()->topLevelItem(1)->setExpanded(true);
    w.tree()->topLevelItem(1)->setExpanded(false);
    EXPECT_FALSE(w.mouseTimer()->isActive());
    EXPECT_EQ(w.currentDirBytes(), homeDir() + "docs/inner/");
    // The node above is selected and listed after 100 ms.
    docs->setExpanded(false);
    EXPECT_EQ(w.tree()->currentItem(), docs);
    EXPECT_TRUE(w.mouseTimer()->isActive());
    EXPECT_EQ(w.mouseTimer()->interval(), 100);
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(w.currentDirBytes(), homeDir() + "docs/");
    EXPECT_EQ(listNames(w), (std::vector<QString>{"inner", "a.txt", "big.bin"}));
    EXPECT_TRUE(home0->isExpanded());
}

TEST_F(Explorer, TreeWidthAndInfoHeightAreKeptAtClose) {
    IniFile(configFile()).writeInt("FTP", "TreeWidth", 180);
    IniFile(configFile()).writeInt("FTP", "InfoHeight", 70);
    auto* w = new TFTPfrm;
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    EXPECT_EQ(w->treeSplitter()->sizes().value(0), 180);
    EXPECT_EQ(w->infoSplitter()->sizes().value(1), 70);
    const int across = w->treeSplitter()->sizes().value(0) + w->treeSplitter()->sizes().value(1);
    const int down = w->infoSplitter()->sizes().value(0) + w->infoSplitter()->sizes().value(1);
    w->treeSplitter()->setSizes({across - 150, 150});
    w->infoSplitter()->setSizes({down - 90, 90});
    const int tree = w->treeSplitter()->sizes().value(0), info = w->infoSplitter()->sizes().value(1);
    w->close();
    IniFile ini(configFile());
    EXPECT_EQ(ini.readInt("FTP", "TreeWidth", 0), tree);
    EXPECT_EQ(ini.readInt("FTP", "InfoHeight", 0), info);
    EXPECT_EQ(tree, across - 150);
    EXPECT_EQ(info, 90);
}

TEST_F(Explorer, MenusRunTheEnablingRuleWhenTheyOpen) {
    TFTPfrm w;
    QMenu* edit = nullptr;
    QMenu* file = nullptr;
    for (QMenu* m : w.findChildren<QMenu*>()) {
        if (m->title() == "&Edit") edit = m;
        if (m->title() == "&File") file = m;
    }
    ASSERT_TRUE(edit && file);
    // Each menu, the list pop-up included: Delete is enabled by a tree
    // selection, which only the rule run by the opening menu sees.
    QMenu* popup = nullptr;
    for (QMenu* m : w.findChildren<QMenu*>())
        if (m->actions().contains(w.action("Abort2"))) popup = m;
    ASSERT_NE(popup, nullptr);
    for (QMenu* m : {edit, file, w.ftpMenu(), popup}) {
        SCOPED_TRACE(m->title().toStdString());
        focus(&w, w.list());
        w.HabilitarBotons();
        ASSERT_FALSE(w.action("Delete1")->isEnabled());
        focus(&w, w.tree());
        EXPECT_FALSE(w.action("Delete1")->isEnabled());
        emit m->aboutToShow();
        EXPECT_TRUE(w.action("Delete1")->isEnabled());
    }
}

TEST_F(Explorer, GaugesLineUpWithTheTreeAndTheList) {
    TFTPfrm w;
    w.resize(800, 500);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.treeSplitter()->setSizes({230, 560});
    w.ActivartotalGauge(3);
    QTest::qWait(20);
    auto check = [&] {
        const int handle = w.treeSplitter()->handle(1)->geometry().x();
        const int bar = w.treeSplitter()->handleWidth();
        EXPECT_EQ(w.totalGauge()->geometry().x(), 0);
        EXPECT_EQ(w.totalGauge()->width(), handle);
        EXPECT_EQ(w.fileGauge()->x(), handle + bar + 1);
        EXPECT_EQ(w.fileGauge()->x() + w.fileGauge()->width(), w.gaugePanel()->width() - 2);
    };
    check();
    w.treeSplitter()->setSizes({300, 490}); // a moved splitter
    QTest::qWait(20);
    check();
    w.resize(900, 500);
    QTest::qWait(20);
    check();
}

TEST_F(Explorer, F1OpensTheExplorersPageOfTheGuide) {
    UrlCatcher catcher;
    QTemporaryDir help;
    ASSERT_TRUE(help.isValid());
    QFile page(QDir(help.path()).filePath("ftp.html"));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write("<html><title>x</title></html>");
    page.close();
    setHelpFolder(help.path());
    TFTPfrm w;
    focus(&w, w.tree());
    QTest::keyClick(w.tree(), Qt::Key_F1);
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0], QUrl::fromLocalFile(QDir(help.path()).filePath("ftp.html")));
    setHelpFolder(QDir(help.path()).filePath("missing"));
    int before = beeps;
    w.action("Contents1")->trigger();
    EXPECT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(beeps, before + 1);
    EXPECT_TRUE(prompter->asked().empty());
    setHelpFolder(QString());
}

TEST_F(Explorer, TreePopUpShowsLogoutOnlyOnARemoteNode) {
    FakeFtpServer server;
    server.login().dataActive().onList(RemoteExplorer::listing()).on("CWD", "250 Ok.\r\n");
    TFTPfrm w;
    w.show();
    prompter->pushDialog(quick(server.port(), "user", "pw"));
    w.QuickSBClick();
    ASSERT_TRUE(waitIdle(w));
    QTreeWidget* t = w.tree();
    QAction* logout = w.action("Logout1");
    QAction* upload = w.action("UploadtoMultipleHosts1");
    auto popupOn = [&](QWidget* view, QPoint at) {
        emit static_cast<QAbstractItemView*>(view)->customContextMenuRequested(at);
        QTest::qWait(10);
        for (QMenu* m : w.findChildren<QMenu*>())
            if (m->isVisible()) m->hide();
    };
    QTreeWidgetItem* server0 = w.serverNodes().at(0);
    struct Case {
        QTreeWidgetItem* node;
        bool logoutShown;
    };
    for (Case c : {Case{t->topLevelItem(0), false}, Case{server0, true}, Case{server0->child(0), true}}) {
        SCOPED_TRACE(c.node->text(0).toStdString());
        t->scrollToItem(c.node);
        popupOn(t, t->visualItemRect(c.node).center());
        EXPECT_EQ(logout->isVisible(), c.logoutShown);
        EXPECT_FALSE(upload->isVisible());
    }
    popupOn(w.list(), QPoint(5, 5));
    EXPECT_FALSE(logout->isVisible());
    EXPECT_TRUE(upload->isVisible());
}

TEST_F(RemoteExplorer, TheQuickDialogsTransferTypePressesItsButton) {
    struct Case {
        const char* radio;
        const char* action;
    };
    for (Case c : {Case{"AsciiRb", "ASCIImode1"}, Case{"BinaryRb", "Binarymode1"}, Case{"AutoRb", "Automode1"}}) {
        SCOPED_TRACE(c.radio);
        FakeFtpServer server;
        server.login().dataActive().onList(listing()).on("CWD", "250 Ok.\r\n");
        TFTPfrm w;
        // Start from another type so the choice is what presses it.
        w.action(std::string(c.action) == "Binarymode1" ? "ASCIImode1" : "Binarymode1")->trigger();
        prompter->pushDialog([&](QDialog& d) {
            d.findChild<QRadioButton*>(c.radio)->setChecked(true);
            return quick(server.port(), "user", "pw")(d);
        });
        w.QuickSBClick();
        ASSERT_TRUE(waitIdle(w));
        ASSERT_EQ(w.sessionCount(), 1);
        EXPECT_TRUE(w.action(c.action)->isChecked());
    }
}

TEST_F(RemoteExplorer, WhileBusyTheKeyboardCannotMoveTheSelection) {
    FakeFtpServer server;
    server.login().dataActive().onList(listing()).on("CWD", "250 Ok.\r\n");
    TFTPfrm w;
    prompter->pushDialog(quick(server.port(), "user", "pw"));
    w.QuickSBClick();
    ASSERT_TRUE(waitIdle(w));
    focus(&w, w.list());
    ASSERT_TRUE(w.selectListItem("latest"));
    // TYPE never answers. (A LIST left unanswered would test the engine's late
    // reply read instead, which outlasts a first Abort.)
    server.on("TYPE", "");
    w.RefreshSBClick();
    ASSERT_TRUE(w.busy());
    QTest::keyClick(w.list(), Qt::Key_Down);
    EXPECT_TRUE(w.keyboardSelecting());
    auto selected = [&] {
        auto rows = w.list()->selectionModel()->selectedRows();
        return rows.size() == 1 ? w.listModel()->item(rows[0].row()).display() : QString();
    };
    EXPECT_EQ(selected(), "latest"); // the key was swallowed
    // A selection the user makes meanwhile is refused; the program's own goes through.
    w.list()->selectionModel()->select(w.listModel()->index(2, 0),
                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    EXPECT_EQ(selected(), "latest");
    ASSERT_TRUE(w.selectListItem("src"));
    EXPECT_EQ(selected(), "src");
    // A key during the wait does not undo an Abort: the operation still ends.
    w.AbortSBClick();
    QTest::keyClick(w.list(), Qt::Key_A);
    EXPECT_TRUE(waitIdle(w, 3s)) << w.info()->lines().join("\n").toStdString();
}

TEST_F(RemoteExplorer, AFailedOrAbandonedRemoteNewFolderLeavesNothing) {
    FakeFtpServer server;
    server.login().dataActive().onList(listing()).on("CWD", "250 Ok.\r\n").on("MKD", "550 Denied.\r\n");
    TFTPfrm w;
    prompter->pushDialog(quick(server.port(), "user", "pw"));
    w.QuickSBClick();
    ASSERT_TRUE(waitIdle(w));
    focus(&w, w.list());
    const int before = w.listModel()->rowCount();
    w.NovaCarpetaSBClick();
    EXPECT_EQ(w.listModel()->item(before).kind, ItemKind::RemoteFolder);
    EXPECT_EQ(w.listModel()->item(before).attribs, "drwxr-xr-x");
    w.info()->clearLines();
    ASSERT_TRUE(typeName(w, w.list(), "x", Qt::Key_Escape));
    EXPECT_EQ(w.listModel()->rowCount(), before);
    EXPECT_FALSE(w.info()->lines().join("\n").contains("MKD"));
    focus(&w, w.list());
    w.NovaCarpetaSBClick();
    ASSERT_TRUE(typeName(w, w.list(), "x"));
    EXPECT_TRUE(w.info()->lines().join("\n").contains(">MKD /x"));
    EXPECT_EQ(w.listModel()->rowCount(), before);
    EXPECT_EQ(listItem(w, ""), nullptr);
    EXPECT_EQ(prompter->asked().back(), "message: Error Creating Folder!");
}

TEST_F(OnVsftpd, RenamingARemoteFolderNodeInPlace) {
    TFTPfrm w;
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
    w.RenameSBClick();
    ASSERT_TRUE(typeName(w, w.tree(), "uno"));
    EXPECT_TRUE(fs::is_directory(server->uploadDir() / "uno"));
    EXPECT_FALSE(fs::exists(server->uploadDir() / "one"));
    EXPECT_EQ(one->text(0), "uno");
    EXPECT_EQ(w.nodeInfo(one)->DirNom, "uno");
    EXPECT_EQ(w.currentDirBytes(), "/upload/uno/");
    EXPECT_EQ(listNames(w), (std::vector<QString>{"two", "file.txt"}));
    EXPECT_NE(w.findNode("/upload/uno/two/", sid), nullptr);
    EXPECT_EQ(prompter->unexpected(), 0) << prompter->asked().back();
}

} // namespace
} // namespace vn::test

#include "ExplorerWindowTest.moc"

namespace vn::test {
namespace {

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST_F(OnVsftpd, CopyAndCutThroughTheClipboardBothWays) {
    TFTPfrm w;
    w.show();
    connect(w);
    SessionId sid = w.currentSession();
    // Local to server: copy docs/a.txt, paste into /upload.
    QTreeWidgetItem* homeNode = w.findNode(homeDir(), 0);
    ASSERT_NE(homeNode, nullptr);
    w.tree()->setCurrentItem(homeNode);
    ASSERT_TRUE(waitForFolder(w, homeDir()));
    ASSERT_TRUE(w.selectListItem("docs"));
    w.ListDblClick();
    ASSERT_TRUE(waitIdle(w));
    ASSERT_EQ(w.currentDirBytes(), homeDir() + "docs/");
    ASSERT_TRUE(w.selectListItem("a.txt"));
    w.list()->setFocus();
    w.CopySBClick();
    ASSERT_TRUE(fs::exists(dataFile("copy.dat")));
    QTreeWidgetItem* upload = w.findNode("/upload/", sid);
    ASSERT_NE(upload, nullptr);
    w.tree()->setCurrentItem(upload);
    ASSERT_TRUE(waitForFolder(w, "/upload/"));
    w.PAsteSBClick();
    ASSERT_TRUE(waitIdle(w, 10s));
    EXPECT_EQ(readAll(server->uploadDir() / "a.txt"), "hello");
    EXPECT_NE(listItem(w, "a.txt"), nullptr); // the list shows the pasted file
    EXPECT_TRUE(fs::exists(home / "docs" / "a.txt")); // a copy keeps its source

    // Server to local with Cut: the remote source goes once the copy is done.
    ASSERT_TRUE(w.selectListItem("a.txt"));
    w.list()->setFocus();
    w.CutSBClick();
    homeNode = w.findNode(homeDir(), 0);
    w.tree()->setCurrentItem(homeNode);
    ASSERT_TRUE(waitForFolder(w, homeDir()));
    w.PAsteSBClick();
    ASSERT_TRUE(waitIdle(w, 10s));
    EXPECT_EQ(readAll(home / "a.txt"), "hello");
    EXPECT_FALSE(fs::exists(server->uploadDir() / "a.txt"));
    EXPECT_NE(listItem(w, "a.txt"), nullptr);
    EXPECT_EQ(prompter->unexpected(), 0) << ::testing::PrintToString(prompter->asked());
}

// A folder cut away from a server leaves no node behind: the tree has no
// folder to click that the server no longer has.
TEST_F(OnVsftpd, ACutFolderLeavesTheTree) {
    TFTPfrm w;
    w.show();
    connect(w);
    SessionId sid = w.currentSession();
    QTreeWidgetItem* upload = w.findNode("/upload/", sid);
    ASSERT_NE(upload, nullptr);
    w.tree()->setCurrentItem(upload);
    ASSERT_TRUE(waitForFolder(w, "/upload/"));
    upload->setExpanded(true);
    ASSERT_TRUE(waitIdle(w));
    ASSERT_NE(w.findNode("/upload/one/", sid), nullptr);
    ASSERT_TRUE(w.selectListItem("one"));
    w.list()->setFocus();
    w.CutSBClick();
    w.tree()->setCurrentItem(w.findNode(homeDir(), 0));
    ASSERT_TRUE(waitForFolder(w, homeDir()));
    w.PAsteSBClick();
    ASSERT_TRUE(waitIdle(w, 10s));
    ASSERT_TRUE(fs::exists(home / "one" / "file.txt"));
    ASSERT_FALSE(fs::exists(server->uploadDir() / "one"));
    EXPECT_EQ(w.findNode("/upload/one/", sid), nullptr);
    EXPECT_EQ(w.findNode("/upload/one/two/", sid), nullptr);
    EXPECT_NE(w.findNode("/upload/", sid), nullptr);
}

TEST_F(Explorer, ReadOnlyLocalFileIsDeletedOnlyWhenConfirmed) {
    IniFile(configFile()).writeInt("FTP", "RecycleBin", 0);
    fs::permissions(home / "docs" / "a.txt", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    TFTPfrm w;
    w.show();
    openDocs(w, homeDir());
    ASSERT_TRUE(waitIdle(w));
    for (bool yes : {false, true}) {
        ASSERT_TRUE(w.selectListItem("a.txt"));
        w.list()->setFocus();
        prompter->pushYesNo(true); // the delete question
        prompter->pushYesNo(yes);  // the read-only question
        w.DeleteSBClick();
        ASSERT_TRUE(waitIdle(w));
        EXPECT_EQ(fs::exists(home / "docs" / "a.txt"), !yes);
        EXPECT_EQ(listItem(w, "a.txt") != nullptr, !yes);
    }
    auto asked = prompter->asked();
    EXPECT_EQ(std::count(asked.begin(), asked.end(),
                         "yesno: The file 'a.txt' is ReadOnly. Do you really want to delete it?"),
              2);
}

TEST_F(Explorer, LocalDeleteFollowsRecycleBin) {
    IniFile(configFile()).writeInt("FTP", "RecycleBin", 0);
    TFTPfrm w;
    w.show();
    ASSERT_TRUE(w.selectListItem("docs"));
    w.ListDblClick();
    ASSERT_TRUE(w.selectListItem("a.txt"));
    w.list()->setFocus();
    prompter->pushYesNo(false);
    w.DeleteSBClick();
    ASSERT_TRUE(waitIdle(w));
    EXPECT_TRUE(fs::exists(home / "docs" / "a.txt")); // No keeps it
    ASSERT_TRUE(w.selectListItem("a.txt"));
    w.list()->setFocus();
    prompter->pushYesNo(true);
    w.DeleteSBClick();
    ASSERT_TRUE(waitIdle(w));
    EXPECT_FALSE(fs::exists(home / "docs" / "a.txt"));
    EXPECT_EQ(listItem(w, "a.txt"), nullptr);
    auto asked = prompter->asked();
    EXPECT_EQ(std::count(asked.begin(), asked.end(),
                         "yesno: Do you confirm that you want to delete this/these element/s?"),
              2);
}

} // namespace
} // namespace vn::test

namespace vn::test {
namespace {

TEST_F(OnVsftpd, DesktopFolderDroppedOnARemoteListIsUploadedWithItsContents) {
    TFTPfrm w;
    w.show();
    connect(w, "/upload");
    ASSERT_TRUE(waitIdle(w));
    ASSERT_EQ(w.currentDirBytes(), "/upload/");
    const std::string gone = homeDir() + "no-longer-there";
    w.FerDropEnList({homeDir() + "docs", gone}, -1);
    ASSERT_TRUE(waitIdle(w, 10s));
    EXPECT_EQ(readAll(server->uploadDir() / "docs" / "a.txt"), "hello");
    EXPECT_EQ(readAll(server->uploadDir() / "docs" / "big.bin"), std::string(5000, 'b'));
    EXPECT_TRUE(fs::is_directory(server->uploadDir() / "docs" / "inner"));
    EXPECT_NE(listItem(w, "docs"), nullptr);
    auto asked = prompter->asked();
    EXPECT_NE(std::find(asked.begin(), asked.end(), "message: Item " + gone + " is not a file or a folder"),
              asked.end());
    EXPECT_TRUE(fs::exists(home / "docs" / "a.txt")); // a drop copies, never moves
}

TEST_F(Explorer, ListItemsDraggedOntoAFolderItemAreCopiedIntoIt) {
    TFTPfrm w;
    w.show();
    openDocs(w, homeDir());
    ASSERT_TRUE(waitIdle(w));
    ASSERT_TRUE(w.selectListItem("a.txt"));
    int target = -1;
    for (int r = 0; r < w.list()->model()->rowCount(); ++r)
        if (w.list()->model()->index(r, 0).data().toString() == "inner") target = r;
    ASSERT_GE(target, 0);
    w.ListDragDrop(w.list(), target);
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(readAll(home / "docs" / "inner" / "a.txt"), "hello");
    EXPECT_TRUE(fs::exists(home / "docs" / "a.txt"));
    // Onto no item: only the beep.
    int before = beeps;
    ASSERT_TRUE(w.selectListItem("a.txt"));
    w.ListDragDrop(w.list(), -1);
    EXPECT_EQ(beeps, before + 1);
}

TEST_F(Explorer, FilePropertiesOfALocalFolderShowsNoSize) {
    TFTPfrm w;
    w.show();
    openDocs(w, homeDir());
    ASSERT_TRUE(waitIdle(w));
    ASSERT_TRUE(w.selectListItem("inner"));
    QString sizeLine = "unset", title;
    prompter->pushDialog([&](QDialog& d) {
        title = d.windowTitle();
        if (auto* l = d.findChild<QLabel*>("SizeLabel")) sizeLine = l->text();
        return static_cast<int>(QDialog::Accepted);
    });
    w.FileProperties1Click();
    EXPECT_EQ(title, "File Properties");
    EXPECT_EQ(sizeLine, "");
}

// A remote file's properties: the listing's text, or SIZE and MDTM's exact
// values when FEAT lists them.
TEST_F(RemoteExplorer, FilePropertiesOfARemoteFileAskSizeAndTimeWhenTheServerHasThem) {
    struct Case {
        const char* name;
        const char* feat;
        QString size, modified;
    };
    const Case cases[] = {
        {"no FEAT", nullptr, "Size : 6000000000 Bytes", "Last Modification : Mar  1  2001"},
        {"SIZE and MDTM", "211-Features:\r\n MDTM\r\n SIZE\r\n211 End.\r\n", "Size : 6000000123 Bytes",
         "Last Modification : " + formatLocalTime(983449496)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFtpServer server;
        server.login()
            .on("PWD", "257 \"/pub\"\r\n")
            .dataActive()
            .onList(listing())
            .on("CWD", "250 Ok.\r\n")
            .on("SIZE", "213 6000000123\r\n")
            .on("MDTM", "213 20010301122456\r\n");
        if (c.feat) server.on("FEAT", c.feat);
        TFTPfrm w;
        prompter->pushDialog(quick(server.port(), "user", "pw"));
        w.QuickSBClick();
        ASSERT_TRUE(waitIdle(w));
        ASSERT_TRUE(w.selectListItem("huge.iso"));
        QString size, modified;
        prompter->pushDialog([&](QDialog& d) {
            size = d.findChild<QLabel*>("SizeLabel")->text();
            modified = d.findChild<QLabel*>("ModifiedLabel")->text();
            return static_cast<int>(QDialog::Accepted);
        });
        w.FileProperties1Click();
        ASSERT_TRUE(waitIdle(w));
        EXPECT_EQ(size, c.size);
        EXPECT_EQ(modified, c.modified);
        const std::vector<std::string> sent = server.commands();
        EXPECT_EQ(std::find(sent.begin(), sent.end(), "SIZE /pub/huge.iso") != sent.end(), c.feat != nullptr);
    }
}

} // namespace
} // namespace vn::test

namespace vn::test {
namespace {

// A server slow enough that the Abort always lands half-way.
struct OnThrottledVsftpd : OnVsftpd {
    Vsftpd::Options serverOptions() const override {
        Vsftpd::Options o;
        o.maxRateBytesPerSecond = 2 << 20;
        return o;
    }
};

TEST_F(OnThrottledVsftpd, InterruptedDownloadResumesAfterSmartResume) {
    // 6 MiB that is never zero, so the local copy is compared byte for byte.
    const fs::path source = server->uploadDir() / "big.dat";
    {
        std::ofstream out(source, std::ios::binary);
        std::vector<std::uint64_t> block(1 << 16);
        for (std::uint64_t b = 0; b < 12; ++b) {
            for (std::size_t i = 0; i < block.size(); ++i) block[i] = (b << 32) | (i + 1);
            out.write(reinterpret_cast<const char*>(block.data()), block.size() * sizeof block[0]);
        }
    }
    const auto total = fs::file_size(source);
    TFTPfrm w;
    w.show();
    connect(w, "/upload");
    ASSERT_TRUE(waitIdle(w));
    ASSERT_TRUE(w.selectListItem("big.dat"));
    w.list()->setFocus();
    w.CopySBClick();
    const fs::path target = home / "big.dat";
    w.tree()->setCurrentItem(w.findNode(homeDir(), 0));
    ASSERT_TRUE(waitIdle(w));
    // Abort once part of the file has arrived (in the hidden partial file
    // beside the target: the target itself appears only when whole).
    auto partialFile = [&] {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(home, ec)) {
            const std::string n = e.path().filename().string();
            if (n.rfind(".big.dat.", 0) == 0 && n.size() > 7 && n.substr(n.size() - 7) == ".vnpart") return e.path();
        }
        return fs::path();
    };
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        std::error_code ec;
        const fs::path p = partialFile();
        const auto size = p.empty() ? 0 : fs::file_size(p, ec); // not there yet: an error, not a size
        if (!ec && size > (1u << 20)) {
            w.AbortSBClick();
            poll.stop();
        }
    });
    ASSERT_TRUE(waitForFolder(w, homeDir()));
    poll.start();
    w.PAsteSBClick();
    ASSERT_TRUE(w.busy()) << "the paste did not start";
    ASSERT_TRUE(waitIdle(w, 20s));
    poll.stop();
    EXPECT_FALSE(fs::exists(target)) << "a partial download never stands under the final name";
    std::error_code ec;
    const fs::path partialPath = partialFile();
    ASSERT_FALSE(partialPath.empty()) << w.info()->lines().join("\n").toStdString();
    const auto partial = fs::file_size(partialPath, ec);
    ASSERT_FALSE(ec) << w.info()->lines().join("\n").toStdString();
    // The throttled server cannot have sent it all by the time the Abort landed.
    ASSERT_LT(partial, total);
    ASSERT_GT(partial, 0u);

    // Pasting again asks Smart Resume; resuming completes the same bytes.
    bool asked = false;
    prompter->pushDialog([&](QDialog& d) {
        asked = d.windowTitle() == "Smart Resume";
        if (auto* b = d.findChild<QPushButton*>("ResumeBtn")) b->click();
        return d.result();
    });
    w.PAsteSBClick();
    ASSERT_TRUE(waitIdle(w, 30s));
    EXPECT_TRUE(asked);
    ASSERT_EQ(fs::file_size(target), total);
    EXPECT_TRUE(readAll(target) == readAll(source));
    EXPECT_FALSE(fs::exists(partialPath));
    bool sawRest = false;
    for (const QString& l : w.info()->lines())
        if (l.startsWith(">REST ") && l != ">REST 0") sawRest = true;
    EXPECT_TRUE(sawRest);
}

} // namespace
} // namespace vn::test

namespace vn::test {
namespace {

TEST_F(Explorer, DesktopDropOnTheListCopiesIntoTheCurrentFolder) {
    const fs::path outside = home.parent_path() / (home.filename().string() + "-desktop");
    fs::remove_all(outside);
    touch(outside / "dropped.txt", "from the desktop");
    TFTPfrm w;
    w.resize(800, 600);
    w.show();
    openDocs(w, homeDir());
    ASSERT_TRUE(waitIdle(w));
    QMimeData data;
    data.setData(QStringLiteral("text/uri-list"),
                 QUrl::fromLocalFile(QString::fromStdString((outside / "dropped.txt").string())).toEncoded() + "\r\n");
    QWidget* viewport = w.list()->viewport();
    // Below the last row: no item under the pointer, so the current folder.
    const QPoint pos(5, viewport->height() - 5);
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(pos, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDragMoveEvent move(pos, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    QDropEvent drop(QPointF(pos), actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction); // the desktop never deletes its file
    QTest::qWait(20);
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(readAll(home / "docs" / "dropped.txt"), "from the desktop");
    EXPECT_TRUE(fs::exists(outside / "dropped.txt"));
    EXPECT_NE(listItem(w, "dropped.txt"), nullptr);
    fs::remove_all(outside);
}

// Upload to Multiple Hosts hands over the selected local files, a name without
// an extension included; a folder is named in a message and left out.
TEST_F(Explorer, UploadToMultipleHostsHandsOverTheSelectedFiles) {
    touch(home / "docs" / "a.txt");
    touch(home / "docs" / "README");
    fs::create_directories(home / "docs" / "sub");
    TFTPfrm w;
    openDocs(w, homeDir());
    QAction* upload = w.action("UploadtoMultipleHosts1");
    ASSERT_NE(upload, nullptr);
    std::vector<std::string> handed;
    int handedOver = 0;
    QObject::connect(&w, &TFTPfrm::uploadToMultipleHosts, [&](const std::vector<std::string>& files) {
        handed = files;
        ++handedOver;
    });
    QAbstractItemView* view = w.currentListView();
    for (int r = 0; r < w.listModel()->rowCount(); ++r)
        if (const std::string& n = w.listModel()->item(r).name; n == "a.txt" || n == "README" || n == "sub")
            view->selectionModel()->select(view->model()->index(r, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    w.updateCommands();
    ASSERT_TRUE(upload->isEnabled());
    prompter->clearAsked();
    upload->trigger();
    EXPECT_EQ(handedOver, 1);
    const std::string docs = homeDir() + "docs/";
    std::sort(handed.begin(), handed.end());
    EXPECT_EQ(handed, (std::vector<std::string>{docs + "README", docs + "a.txt"}));
    EXPECT_EQ(prompter->asked(), (std::vector<std::string>{"message: You can only use files with the multiple upload "
                                                            "option.\rThe Folder: \"" +
                                                            docs + "sub\" will not be used."}));
}

} // namespace
} // namespace vn::test
