#pragma once
// The FTP window in the GUI tests: a home folder of its own with a few files,
// an injected mount list, the scripted prompter, and the remote fixtures on
// the scripted fake server and on vsftpd, all on loopback.
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

namespace fs = std::filesystem;
using namespace std::chrono_literals;



inline ScriptedPrompter::DialogHandler quick(uint16_t port, const QString& login, const QString& password,
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
inline void focus(QWidget* window, QWidget* widget) {
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
inline QLineEdit* nameEditor(QAbstractItemView* v) {
    for (QLineEdit* e : v->findChildren<QLineEdit*>("NameEditor"))
        if (e->isVisible()) return e;
    return nullptr;
}

// Types a name into the open editor of the view and ends the edit with `key`.
inline bool typeName(TFTPfrm& w, QAbstractItemView* v, const QString& text, Qt::Key key = Qt::Key_Return) {
    QLineEdit* e = nameEditor(v);
    EXPECT_NE(e, nullptr);
    if (!e) return false;
    e->setText(text);
    QTest::keyClick(e, key);
    return waitIdle(w);
}

inline std::vector<QString> listNames(const TFTPfrm& w) {
    std::vector<QString> out;
    for (const auto& i : w.listModel()->items()) out.push_back(i.display());
    return out;
}

inline const FileItem* listItem(const TFTPfrm& w, const QString& name) {
    for (const auto& i : w.listModel()->items())
        if (i.display() == name) return &i;
    return nullptr;
}

inline QStringList childCaptions(QTreeWidgetItem* node) {
    QStringList out;
    for (int i = 0; i < node->childCount(); ++i) out << node->child(i)->text(0);
    return out;
}

inline void touch(const fs::path& p, const std::string& text = "x") {
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

// ---- remote ----

struct RemoteExplorer : Explorer {
    static std::string listing() {
        return "total 3\r\n"
               "drwxr-xr-x   2 ftp ftp 4096 Jan  5 10:00 src\r\n"
               "-rw-r--r--   1 ftp ftp 6000000000 Mar  1  2001 huge.iso\r\n"
               "lrwxrwxrwx   1 ftp ftp    7 Jan  1 10:00 latest -> src\r\n";
    }
};

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
    // The node of /upload/one/ (its parent opened), current, with the tree focused.
    QTreeWidgetItem* pickFolderOne(TFTPfrm& w) {
        const SessionId sid = w.currentSession();
        w.findNode("/upload/", sid)->setExpanded(true);
        EXPECT_TRUE(waitIdle(w));
        QTreeWidgetItem* one = w.findNode("/upload/one/", sid);
        EXPECT_NE(one, nullptr);
        if (!one) return nullptr;
        w.tree()->setCurrentItem(one);
        EXPECT_TRUE(waitIdle(w));
        focus(&w, w.tree());
        return one;
    }
    void connect(TFTPfrm& w, const QString& remoteDir = {}) {
        prompter->pushDialog(quick(server->port(), "anonymous", "me@example.org", remoteDir));
        w.QuickSBClick();
        ASSERT_TRUE(waitIdle(w, 10s));
        ASSERT_EQ(w.sessionCount() > 0, true) << w.info()->lines().join("\n").toStdString();
    }
};

// A server slow enough that the Abort always lands half-way.
struct OnThrottledVsftpd : OnVsftpd {
    Vsftpd::Options serverOptions() const override {
        Vsftpd::Options o;
        o.maxRateBytesPerSecond = 2 << 20;
        return o;
    }
};

// Shows docs/ in the list with the list focused.
inline void openDocs(TFTPfrm& w, const std::string& homeDir) {
    w.tree()->setCurrentItem(w.findNode(homeDir + "docs/", 0));
    ASSERT_TRUE(waitIdle(w));
    ASSERT_EQ(w.currentDirBytes(), homeDir + "docs/");
    focus(&w, w.list());
}

inline std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace vn::test
