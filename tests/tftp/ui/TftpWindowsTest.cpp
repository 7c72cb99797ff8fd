// The TFTP client and server windows on the offscreen platform, against the
// real peers: the client window with tftpd-hpa, the server window with atftp
// and curl, each also opened from the main window.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QPointer>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <QTreeView>
#include <QUrl>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <iostream>

#include "ScriptedPrompter.h"
#include "TftpTestKit.h"
#include "common/DataFolder.h"
#include "common/History.h"
#include "common/IniFile.h"
#include "common/History.h"
#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/Beeper.h"
#include "common/ui/Gauges.h"
#include "common/ui/InfoBox.h"
#include "shell/TMainfrm.h"
#include "tftp/TftpSettings.h"
#include "tftp/ui/LocalBrowser.h"
#include "tftp/ui/TTFTPServerfrm.h"
#include "tftp/ui/TTrivialFTPfrm.h"
#include "tftp/ui/TftpWidgets.h"
#include "UrlCatcher.h"

namespace vn::tftp::test {
namespace {

using namespace std::chrono_literals;
using vn::test::ScopedPrompter;

bool waitFor(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QTest::qWait(10);
    }
    return true;
}

QStringList logLines(const ToolWindow& w) { return w.info()->toPlainText().split(QLatin1Char('\n')); }

bool logHas(const ToolWindow& w, const QString& part) {
    for (const QString& l : logLines(w))
        if (l.contains(part)) return true;
    return false;
}

// The server's reports arrive queued from its threads.
bool waitLog(const ToolWindow& w, const QString& part) {
    return waitFor([&] { return logHas(w, part); }, 5000);
}

// A UDP socket on 127.0.0.1 held busy for the port-in-use case.
struct HeldPort {
    int fd = -1;
    std::uint16_t port = 0;
    HeldPort() {
        fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~HeldPort() { ::close(fd); }
};

std::string request(std::uint16_t opcode, const std::string& name, const std::string& mode = "octet") {
    std::string d;
    d += static_cast<char>(opcode >> 8);
    d += static_cast<char>(opcode & 0xff);
    d += name;
    d += '\0';
    d += mode;
    d += '\0';
    return d;
}


struct Windows : ::testing::Test {
    ScopedPrompter prompter;
    std::atomic<int> beeps{0};
    void SetUp() override {
        setBeepHook([this] { ++beeps; });
    }
    void TearDown() override { setBeepHook(nullptr); }
    static void serverIni(std::uint16_t port, const fs::path& base) {
        IniFile ini(iniPath());
        ini.writeInt(kServerSection, kPortKey, port);
        ini.writeString(kServerSection, TTFTPServerfrm::kBindAddressKey, "127.0.0.1");
        if (!base.empty()) ini.writeString(kServerSection, kBaseFolderKey, base.string());
    }
};

// ---- Pure parts ----------------------------------------------------------------

TEST(TftpProgressText, BytesAndRate) {
    struct Case {
        std::uint64_t bytes;
        double seconds;
        const char* text;
    } cases[] = {
        {0, 0, "0 bytes"},
        {4096, 0.05, "4096 bytes"},                  // too early for a rate
        {1000, 1.0, "1000 bytes - 1000 bytes/s"},
        {1536, 1.0, "1536 bytes - 1.5 KB/s"},
        {10485760, 2.0, "10485760 bytes - 5.0 MB/s"},
        {3ull << 30, 1.0, "3221225472 bytes - 3.0 GB/s"},
    };
    for (const Case& c : cases) EXPECT_EQ(progressText(c.bytes, c.seconds), QString::fromLatin1(c.text));
}

// ---- The client window -----------------------------------------------------------

struct ClientWindow : Windows {
    TftpdHpa server;
    TempDir local;
    std::unique_ptr<TTrivialFTPfrm> w;
    void SetUp() override {
        Windows::SetUp();
        ASSERT_TRUE(server.ready()) << server.log();
        w = std::make_unique<TTrivialFTPfrm>();
        w->show();
        w->portBox()->setValue(server.port());
        ASSERT_TRUE(w->browser()->openFolder(local.path().string()));
        w->hostEdit()->setText(QStringLiteral("127.0.0.1"));
    }
    bool transfer(const std::function<void()>& start) {
        QSignalSpy ended(w.get(), &TTrivialFTPfrm::transferEnded);
        start();
        return waitFor([&] { return ended.count() > 0; });
    }
};

TEST_F(ClientWindow, GetsAndPutsFilesAgainstTftpdHpa) {
    makeFile(server.root() / "boot.img", 300000, 7);
    EXPECT_FALSE(w->action("GetFile1")->isEnabled());
    w->remoteNameEdit()->setText(QStringLiteral("boot.img"));
    // The remote name is copied into the new local name.
    EXPECT_EQ(w->newLocalNameEdit()->text(), QStringLiteral("boot.img"));
    w->newLocalNameEdit()->setText(QStringLiteral("copy.img"));
    ASSERT_TRUE(w->action("GetFile1")->isEnabled());
    ASSERT_TRUE(transfer([&] { w->action("GetFile1")->trigger(); }));
    ASSERT_EQ(w->lastResult().outcome, Outcome::Done) << w->lastResult().error;
    EXPECT_TRUE(sameContent(server.root() / "boot.img", local.path() / "copy.img"));
    EXPECT_EQ(w->statusText(), QStringLiteral("Transaction Completed"));
    EXPECT_TRUE(w->progressLabel()->text().startsWith(QStringLiteral("300000 bytes"))) << w->progressLabel()->text().toStdString();
    // The list shows the new file, selected: Put is possible now.
    ASSERT_NE(w->browser()->selectedItem(), nullptr);
    EXPECT_EQ(w->browser()->selectedItem()->name, "copy.img");
    EXPECT_TRUE(w->action("PutFile1")->isEnabled());

    // Put under its own name, then under a typed one.
    makeFile(local.path() / "up.bin", 70000, 9);
    w->browser()->refresh();
    ASSERT_TRUE(w->browser()->selectName(QStringLiteral("up.bin")));
    ASSERT_TRUE(transfer([&] { w->action("PutFile1")->trigger(); }));
    ASSERT_EQ(w->lastResult().outcome, Outcome::Done) << w->lastResult().error;
    EXPECT_TRUE(sameContent(local.path() / "up.bin", server.root() / "up.bin"));

    prompter->pushInput(std::string("renamed.bin"));
    ASSERT_TRUE(transfer([&] { w->action("PutAs1")->trigger(); }));
    ASSERT_EQ(w->lastResult().outcome, Outcome::Done) << w->lastResult().error;
    EXPECT_TRUE(sameContent(local.path() / "up.bin", server.root() / "renamed.bin"));
    EXPECT_EQ(prompter->asked(), (std::vector<std::string>{
                                     "input: VarneloFTP Suite - TFTP Client: &Enter the new remote file name:"}));
    EXPECT_TRUE(logHas(*w, QStringLiteral("Put renamed.bin: 70000 bytes")));
    // Each transfer that went through remembered its host, newest first.
    IniFile ini(configFile());
    EXPECT_EQ(History(ini, TTrivialFTPfrm::kHistorySection).entries(),
              (std::vector<std::string>{"127.0.0.1", "127.0.0.1", "127.0.0.1"}));
}

TEST_F(ClientWindow, AFailedTransferIsNotRemembered) {
    w->hostEdit()->setText(QStringLiteral("no-such-host.invalid"));
    w->remoteNameEdit()->setText(QStringLiteral("boot.img"));
    ASSERT_TRUE(transfer([&] { w->action("GetFile1")->trigger(); }));
    prompter->clearAsked();
    EXPECT_NE(w->lastResult().outcome, Outcome::Done);
    IniFile ini(configFile());
    EXPECT_TRUE(History(ini, TTrivialFTPfrm::kHistorySection).entries().empty());
}

TEST_F(ClientWindow, ProgressShowsBytesAndRateAFewTimesASecond) {
    // 512-byte blocks: thousands of blocks, a handful of window updates.
    w->blockBox()->setValue(512);
    makeFile(local.path() / "many.bin", 4 << 20, 11);
    w->browser()->refresh();
    ASSERT_TRUE(w->browser()->selectName(QStringLiteral("many.bin")));
    QSignalSpy statuses(w->statusBar(), &QStatusBar::messageChanged);
    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(transfer([&] { w->PutFileSBClick(); }));
    const qint64 ms = t.elapsed();
    ASSERT_EQ(w->lastResult().outcome, Outcome::Done) << w->lastResult().error;
    EXPECT_TRUE(sameContent(local.path() / "many.bin", server.root() / "many.bin"));
    // At most one byte count per 200 ms, plus the first, the last and "Transaction Completed".
    EXPECT_LE(statuses.count(), ms / 200 + 4) << ms << " ms";
    EXPECT_EQ(w->statusText(), QStringLiteral("Transaction Completed"));
    EXPECT_EQ(w->gauges()->fileDone(), std::uint64_t(4 << 20));
    EXPECT_EQ(w->gauges()->fileMax(), std::uint64_t(4 << 20));
    // The line under Get File: bytes, and a rate once a tenth of a second has passed.
    EXPECT_TRUE(w->progressLabel()->text().startsWith(QStringLiteral("4194304 bytes")));
    if (w->lastResult().seconds >= 0.1) {
        EXPECT_TRUE(w->progressLabel()->text().contains(QStringLiteral("/s")));
    }
}

TEST_F(ClientWindow, ServerErrorReachesTheErrorBoxAndLeavesTheLocalFile) {
    std::ofstream(local.path() / "missing") << "keep me";
    w->remoteNameEdit()->setText(QStringLiteral("missing"));
    ASSERT_TRUE(transfer([&] { w->GetFileSBClick(); }));
    EXPECT_EQ(w->lastResult().outcome, Outcome::Failed);
    // tftpd-hpa's own words.
    ASSERT_EQ(prompter->asked().size(), 1u);
    EXPECT_EQ(prompter->asked()[0], "message: File not found");
    EXPECT_EQ(readAll(local.path() / "missing"), "keep me");
    EXPECT_EQ(w->statusText(), QStringLiteral("Transaction Completed"));
    // The window takes commands again.
    EXPECT_TRUE(w->action("GetFile1")->isEnabled());
}

TEST_F(ClientWindow, AbortEndsASilentTransferAtOnce) {
    RawPeer silent;
    w->portBox()->setValue(silent.port());
    w->timeoutBox()->setValue(20000);
    w->remoteNameEdit()->setText(QStringLiteral("never"));
    QSignalSpy ended(w.get(), &TTrivialFTPfrm::transferEnded);
    EXPECT_FALSE(w->action("Abort1")->isEnabled());
    w->GetFileSBClick();
    ASSERT_TRUE(silent.recv(3s).has_value()); // the RRQ
    ASSERT_TRUE(w->busy());
    EXPECT_TRUE(w->action("Abort1")->isEnabled());
    EXPECT_FALSE(w->action("GetFile1")->isEnabled());
    QElapsedTimer t;
    t.start();
    w->action("Abort1")->trigger();
    ASSERT_TRUE(waitFor([&] { return ended.count() > 0; }, 3000));
    EXPECT_LT(t.elapsed(), 2000);
    EXPECT_EQ(w->lastResult().outcome, Outcome::Aborted);
    EXPECT_TRUE(prompter->asked().empty()); // no error box for the user's own Abort
    EXPECT_FALSE(fs::exists(local.path() / "never"));
    EXPECT_FALSE(w->action("Abort1")->isEnabled());
    EXPECT_TRUE(w->action("GetFile1")->isEnabled());
}

TEST_F(ClientWindow, ClosingDuringATransferEndsItAndCloses) {
    RawPeer silent;
    w->portBox()->setValue(silent.port());
    w->timeoutBox()->setValue(20000);
    w->remoteNameEdit()->setText(QStringLiteral("never"));
    w->GetFileSBClick();
    ASSERT_TRUE(silent.recv(3s).has_value());
    QElapsedTimer t;
    t.start();
    w->close(); // refused while the transfer unwinds, then done
    ASSERT_TRUE(waitFor([&] { return w->closeState() == ToolWindow::CloseState::Closed; }, 3000))
        << int(w->closeState());
    EXPECT_LT(t.elapsed(), 2000);
    EXPECT_FALSE(w->busy());
    EXPECT_TRUE(prompter->asked().empty());
    EXPECT_FALSE(fs::exists(local.path() / "never"));
}

TEST_F(ClientWindow, OptionBoxesStoreAboveZeroOnly) {
    IniFile ini(iniPath());
    w->timeoutBox()->setValue(4500);
    EXPECT_EQ(ini.readInt(kClientSection, kTimeOutKey, 0), 4500);
    w->timeoutBox()->setValue(0);
    EXPECT_EQ(ini.readInt(kClientSection, kTimeOutKey, 0), 4500);
    EXPECT_EQ(w->settings().timeoutMs, 4500);
    w->blockBox()->setValue(1428);
    EXPECT_EQ(ini.readInt(kClientSection, kRequestedBlockKey, 0), 1428);
    w->fileTypeBox()->setCurrentIndex(1);
    EXPECT_EQ(ini.readInt(kClientSection, kFileTypeKey, 0), 1);
    EXPECT_EQ(w->settings().mode, Mode::NetAscii);

    // A new window reads them back, and a netascii transfer moves the bytes unchanged.
    TTrivialFTPfrm again;
    EXPECT_EQ(again.timeoutBox()->value(), 4500);
    EXPECT_EQ(again.blockBox()->value(), 1428);
    EXPECT_EQ(again.fileTypeBox()->currentIndex(), 1);
    std::ofstream(server.root() / "lines.txt") << "a\nb\rc";
    w->remoteNameEdit()->setText(QStringLiteral("lines.txt"));
    ASSERT_TRUE(transfer([&] { w->GetFileSBClick(); }));
    ASSERT_EQ(w->lastResult().outcome, Outcome::Done) << w->lastResult().error;
    EXPECT_EQ(w->lastResult().blockSize, 1428);
    // tftpd-hpa sends netascii (CR LF, CR NUL); the client keeps the bytes it got.
    EXPECT_EQ(readAll(local.path() / "lines.txt"), std::string("a\r\nb\r\0c", 7));
}

TEST_F(ClientWindow, DesktopDropSetsTheRemoteName) {
    const fs::path dropped = local.path() / "dropped.txt";
    std::ofstream(dropped) << "x";
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(dropped.string()))});
    QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w->remoteNameEdit(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(2, 2), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w->remoteNameEdit(), &drop);
    EXPECT_EQ(w->remoteNameEdit()->text().toStdString(), dropped.string());
    EXPECT_EQ(w->newLocalNameEdit()->text().toStdString(), dropped.string());
}

TEST_F(ClientWindow, ADownloadNeverLandsOutsideTheCurrentFolder) {
    fs::create_directories(server.root() / "sub");
    makeFile(server.root() / "sub" / "deep.bin", 600, 3);
    w->remoteNameEdit()->setText(QStringLiteral("sub/deep.bin"));
    w->newLocalNameEdit()->setText(QStringLiteral("../escaped.bin"));
    ASSERT_TRUE(transfer([&] { w->GetFileSBClick(); }));
    ASSERT_EQ(w->lastResult().outcome, Outcome::Done) << w->lastResult().error;
    EXPECT_FALSE(fs::exists(local.path().parent_path() / "escaped.bin"));
    EXPECT_TRUE(sameContent(server.root() / "sub" / "deep.bin", local.path() / "escaped.bin"));
}

TEST_F(Windows, LocalBrowserOpensFoldersSortsAndCountsForPut) {
    TempDir dir;
    fs::create_directories(dir.path() / "sub");
    makeFile(dir.path() / "b.bin", 10, 1);
    makeFile(dir.path() / "a.bin", 3000, 2);
    makeFile(dir.path() / "sub" / "inner.bin", 5, 3);
    TTrivialFTPfrm w;
    w.show();
    LocalBrowser& b = *w.browser();
    ASSERT_TRUE(b.openFolder(dir.path().string()));
    EXPECT_EQ(b.folder(), dir.path().string() + "/");
    // Folders first, then by name.
    ASSERT_EQ(b.model()->rowCount(), 3);
    EXPECT_EQ(b.model()->item(0).name, "sub");
    EXPECT_EQ(b.model()->item(1).name, "a.bin");
    EXPECT_EQ(b.summary(), QString::fromStdString(dir.path().string() + "/ - [Total Files : 3] - [Selected Files : 0]"));
    // Put needs a file and a host.
    w.hostEdit()->setText(QStringLiteral("127.0.0.1"));
    ASSERT_TRUE(b.selectName(QStringLiteral("sub")));
    EXPECT_FALSE(w.action("PutFile1")->isEnabled());
    ASSERT_TRUE(b.selectName(QStringLiteral("b.bin")));
    EXPECT_TRUE(w.action("PutFile1")->isEnabled());
    EXPECT_TRUE(w.action("PutAs1")->isEnabled());
    EXPECT_TRUE(b.summary().endsWith(QStringLiteral("[Selected Files : 1]")));
    w.hostEdit()->clear();
    EXPECT_FALSE(w.action("PutFile1")->isEnabled());
    // A click on "Size (bytes)" sorts by size (the largest first, as in the FTP
    // window), keeping the selection; "Atribs" only beeps.
    b.list()->header()->sectionClicked(2); // by type first, so the size sort is seen to act
    b.list()->header()->sectionClicked(1);
    EXPECT_EQ(b.model()->sortColumn(), SortColumn::Size);
    EXPECT_EQ(b.model()->item(1).name, "a.bin");
    EXPECT_EQ(b.model()->item(2).name, "b.bin");
    ASSERT_NE(b.selectedItem(), nullptr);
    EXPECT_EQ(b.selectedItem()->name, "b.bin");
    const int before = beeps;
    b.list()->header()->sectionClicked(4);
    EXPECT_EQ(beeps, before + 1);
    // A double-click on a folder opens it.
    emit b.list()->doubleClicked(b.model()->index(0, 0));
    EXPECT_EQ(b.folder(), (dir.path() / "sub").string() + "/");
    ASSERT_EQ(b.model()->rowCount(), 1);
    EXPECT_EQ(b.model()->item(0).name, "inner.bin");
}

// ---- The server window -----------------------------------------------------------

struct ServerWindow : Windows {
    TempDir base;
    std::uint16_t port = freeUdpPort();
    std::unique_ptr<TTFTPServerfrm> open() {
        serverIni(port, base.path());
        auto w = std::make_unique<TTFTPServerfrm>();
        w->show();
        return w;
    }
    std::string baseText() const { return base.path().string() + "/"; }
};

TEST_F(ServerWindow, ServesAtftpAndCurlWithItsLogLines) {
    auto w = open();
    ASSERT_TRUE(w->server().running());
    EXPECT_TRUE(waitLog(*w, QStringLiteral("TFTP Server Started at Port %1").arg(port)));
    EXPECT_EQ(w->baseFolderEdit()->text().toStdString(), baseText());
    TempDir client;

    makeFile(base.path() / "served.bin", 5000, 4);
    RunResult r = run({"atftp", "--option", "blksize 1428", "-g", "-r", "served.bin", "-l",
                       (client.path() / "served.bin").string(), "127.0.0.1", std::to_string(port)},
                      20s, client.path());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(sameContent(base.path() / "served.bin", client.path() / "served.bin"));
    ASSERT_TRUE(waitFor([&] { return logHas(*w, QStringLiteral("Transfer Complete - Success")); }));
    EXPECT_TRUE(logHas(*w, QString::fromStdString("Sending File " + baseText() + "served.bin From 127.0.0.1 [Port ")));

    makeFile(client.path() / "put.bin", 1024, 5);
    r = run({"curl", "-sS", "-T", (client.path() / "put.bin").string(),
             "tftp://127.0.0.1:" + std::to_string(port) + "/put.bin"},
            20s, client.path());
    ASSERT_EQ(r.status, 0) << r.output;
    ASSERT_TRUE(waitFor([&] { return logLines(*w).count(QStringLiteral("Transfer Complete - Success")) == 2; }));
    EXPECT_TRUE(sameContent(client.path() / "put.bin", base.path() / "put.bin"));
    EXPECT_TRUE(logHas(*w, QStringLiteral("Getting File put.bin From 127.0.0.1 [Port ")));

    // A refused request is a log line; the server keeps listening.
    r = run({"curl", "-sS", "-o", (client.path() / "x").string(), "tftp://127.0.0.1:" + std::to_string(port) + "/nothing"},
            20s, client.path());
    EXPECT_NE(r.status, 0);
    ASSERT_TRUE(waitFor([&] { return logHas(*w, QStringLiteral("ERROR: File doesn't exist [Remote client tried to get ")); }));
    EXPECT_TRUE(w->server().running());
}

TEST_F(ServerWindow, APortInUseIsALogLineAndAnotherPortCanBeChosen) {
    HeldPort held;
    port = held.port;
    auto w = open();
    EXPECT_FALSE(w->server().running());
    EXPECT_TRUE(waitLog(*w, QStringLiteral("ERROR: Unable to start the TFTP Server at Port %1").arg(held.port)))
        << w->info()->toPlainText().toStdString();
    EXPECT_EQ(w->closeState(), ToolWindow::CloseState::Open);
    ASSERT_TRUE(w->action("Start1")->isEnabled());
    EXPECT_FALSE(w->action("Stop1")->isEnabled());

    const std::uint16_t other = freeUdpPort();
    w->portBox()->setValue(other);
    EXPECT_EQ(IniFile(iniPath()).readInt(kServerSection, kPortKey, 0), other);
    w->action("Start1")->trigger();
    ASSERT_TRUE(w->server().running());
    EXPECT_EQ(w->server().port(), other);
    EXPECT_TRUE(waitLog(*w, QStringLiteral("TFTP Server Started at Port %1").arg(other)));
    EXPECT_FALSE(w->action("Start1")->isEnabled());
    EXPECT_TRUE(w->action("Stop1")->isEnabled());
}

TEST_F(ServerWindow, ClosingDuringATransferStopsItAtOnce) {
    auto w = open();
    ASSERT_TRUE(w->server().running());
    makeFile(base.path() / "big.bin", 200000, 6);
    RawPeer peer;
    peer.sendTo(port, request(1, "big.bin"));
    std::uint16_t from = 0;
    auto first = peer.recv(3s, &from);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(opcodeOf(*first), 3); // DATA 1; the peer never answers it
    ASSERT_EQ(w->server().activeTransfers(), 1u);

    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(w->close());
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_FALSE(w->server().running());
    EXPECT_EQ(w->server().activeTransfers(), 0u);
    // The peer is told: an ERROR arrives (after any repeat of the block).
    bool gotError = false;
    while (auto d = peer.recv(2s))
        if (opcodeOf(*d) == 5) {
            gotError = true;
            break;
        }
    EXPECT_TRUE(gotError);
    w.reset();
    QTest::qWait(50); // queued reports are dropped with the window
}

TEST_F(ServerWindow, BaseFolderTypedBrowsedAndSetAsDefault) {
    auto w = open();
    const int before = beeps;
    // A folder that does not exist falls back to the home folder, with a beep.
    w->baseFolderEdit()->setText(QString::fromStdString((base.path() / "nope").string()));
    w->applyBaseFolder();
    EXPECT_EQ(beeps, before + 1);
    EXPECT_EQ(w->baseFolderEdit()->text().toStdString(), homeFolder().string() + (homeFolder().string().back() == '/' ? "" : "/"));
    EXPECT_EQ(w->server().baseFolder(), w->baseFolderEdit()->text().toStdString());

    // The folder dialog.
    fs::create_directories(base.path() / "chosen");
    const QString chosen = QString::fromStdString((base.path() / "chosen").string());
    prompter->pushDialog([&](QDialog& d) {
        auto& fd = static_cast<QFileDialog&>(d);
        fd.setDirectory(chosen);
        fd.selectFile(chosen);
        return int(QDialog::Accepted);
    });
    w->browseBaseFolder();
    EXPECT_EQ(w->baseFolderEdit()->text(), chosen + "/");
    EXPECT_EQ(w->server().baseFolder(), (chosen + "/").toStdString());
    EXPECT_EQ(beeps, before + 1);

    // A folder dropped from the desktop; a dropped file stands for its folder.
    fs::create_directories(base.path() / "dropped");
    std::ofstream(base.path() / "dropped" / "f.txt") << "x";
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString((base.path() / "dropped" / "f.txt").string()))});
    QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w->baseFolderEdit(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(2, 2), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w->baseFolderEdit(), &drop);
    EXPECT_EQ(w->server().baseFolder(), (base.path() / "dropped").string() + "/");
    EXPECT_EQ(w->baseFolderEdit()->text().toStdString(), w->server().baseFolder());
    w->baseFolderEdit()->setText(chosen);
    w->applyBaseFolder();

    // Only the button writes the default.
    EXPECT_EQ(IniFile(iniPath()).readString(kServerSection, kBaseFolderKey, ""), base.path().string());
    w->setDefaultBaseFolder();
    EXPECT_EQ(IniFile(iniPath()).readString(kServerSection, kBaseFolderKey, ""), (chosen + "/").toStdString());
    EXPECT_EQ(prompter->asked().back(), "message: " + (chosen + "/").toStdString() + " has been set as defalut Base Folder.");
}

TEST_F(ServerWindow, AMissingDefaultFolderFallsBackWithABeep) {
    serverIni(port, base.path() / "gone");
    TTFTPServerfrm w;
    EXPECT_EQ(beeps, 1);
    bool fellBack = false;
    EXPECT_EQ(w.server().baseFolder(), effectiveBaseFolder("", fellBack));
    EXPECT_EQ(w.baseFolderEdit()->text().toStdString(), w.server().baseFolder());
    EXPECT_TRUE(w.server().running());
}

// ---- From the main window --------------------------------------------------------

TEST_F(Windows, TheMainWindowsEntriesOpenBothWindows) {
    TempDir base;
    serverIni(freeUdpPort(), base.path());
    TMainfrm main;
    main.show();
    ASSERT_TRUE(main.sessionAction(ToolKind::TFTPClient)->isEnabled());
    ASSERT_TRUE(main.sessionAction(ToolKind::TFTPServer)->isEnabled());
    ASSERT_TRUE(main.toolButtonAction(ToolKind::TFTPClient)->isEnabled());
    main.sessionAction(ToolKind::TFTPClient)->trigger();
    main.toolButtonAction(ToolKind::TFTPServer)->trigger();
    QCoreApplication::processEvents();
    auto clients = main.findChildren<TTrivialFTPfrm*>();
    auto servers = main.findChildren<TTFTPServerfrm*>();
    ASSERT_EQ(clients.size(), 1);
    ASSERT_EQ(servers.size(), 1);
    EXPECT_EQ(clients[0]->windowTitle(), QStringLiteral("Varnelo FTP Suite - TFTP Client"));
    EXPECT_EQ(servers[0]->windowTitle(), QStringLiteral("Varnelo FTP Suite - TFTP Server"));
    EXPECT_TRUE(servers[0]->server().running());
    QPointer<TTFTPServerfrm> server = servers[0];
    server->closeWindow();
    ASSERT_TRUE(waitFor([&] { return server.isNull(); }));
}

// Both windows as a user sees them, for a look at the layout.
TEST_F(Windows, ScreenshotOfBothWindowsInTheMainWindow) {
    TempDir base;
    serverIni(freeUdpPort(), base.path());
    TMainfrm main;
    main.resize(1100, 640);
    main.show();
    QWidget* client = main.openTool(ToolKind::TFTPClient);
    QWidget* server = main.openTool(ToolKind::TFTPServer);
    ASSERT_TRUE(client && server);
    client->parentWidget()->setGeometry(0, 0, 720, 480);
    server->parentWidget()->setGeometry(725, 0, 340, 480);
    QTest::qWait(100);
    const QString path = QDir(QCoreApplication::applicationDirPath()).filePath("tftp_windows.png");
    ASSERT_TRUE(main.grab().save(path));
    std::cout << "screenshot: " << path.toStdString() << "\n";
}

TEST_F(Windows, HelpMenusOpenTheGuideAndTheWebSite) {
    vn::test::UrlCatcher urls;
    serverIni(0, {});
    TTFTPServerfrm server; // port 0: not listening, nothing bound
    TTrivialFTPfrm client;
    for (ToolWindow* w : {static_cast<ToolWindow*>(&server), static_cast<ToolWindow*>(&client)}) {
        ASSERT_TRUE(w->action("Visit1"));
        EXPECT_EQ(w->action("Visit1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_W));
        EXPECT_EQ(w->action("Contents1")->shortcut(), QKeySequence(Qt::Key_F1));
        w->action("Visit1")->trigger();
    }
    EXPECT_EQ(urls.urls.size(), 2);
    EXPECT_EQ(client.identity().helpPage, QStringLiteral("tftp.html"));
    EXPECT_EQ(server.identity().helpPage, QStringLiteral("tftpserver.html"));
    EXPECT_TRUE(QFile::exists(QStringLiteral(VN_SOURCE_DIR "/docs/help/tftp.html")));
    EXPECT_TRUE(QFile::exists(QStringLiteral(VN_SOURCE_DIR "/docs/help/tftpserver.html")));
}

} // namespace
} // namespace vn::tftp::test

