// The explorer's pieces without the window: they see it only through
// ExplorerHost, which a fake plays here.
#include <gtest/gtest.h>

#include <QWidget>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "ftp/explorer/FolderNavigator.h"

namespace vn::test {
namespace {

namespace fs = std::filesystem;

class NullSink : public FtpSink {
public:
    void log(const std::string&) override {}
};

struct FakeHost : ExplorerHost {
    QWidget widget;
    OperationRunner runner;
    int beeps = 0, refreshes = 0;
    QString status = QStringLiteral("unset");

    QWidget* hostWidget() override { return &widget; }
    bool busy() const override { return runner.busy(); }
    bool windowOpen() const override { return true; }
    OperationRunner& operations() override { return runner; }
    void refreshCommands() override { ++refreshes; }
    void beep() override { ++beeps; }
    void log(const QString&) override {}
    void setStatus(const QString& text) override { status = text; }
    void startTotalGauge(std::uint64_t) override {}
    void hideGauges() override {}
    TransferMode transferMode() const override { return TransferMode::Auto; }
    void pressTransferType(int) override {}
    bool treeHasFocus() const override { return false; }
};

struct Pieces : ::testing::Test {
    fs::path dir = fs::path(::testing::TempDir()) / ("vn-pieces-" + std::to_string(::getpid()));
    NullSink sink;
    FakeHost host;
    FtpEngine engine{sink, host.runner.prompter()};
    FtpTransfer transfer{engine};
    TempFiles temp;
    ExplorerTree tree;
    FileListPane list{[this] { return host.busy(); }};
    ExplorerParts parts{host, engine, transfer, temp, tree, list};
    FolderNavigator nav{parts, nullptr};

    void SetUp() override {
        host.runner.useWait(engine.wait());
        fs::remove_all(dir);
        fs::create_directories(dir / "sub");
        std::ofstream(dir / "a.txt") << "a";
    }
    void TearDown() override {
        host.runner.stop();
        fs::remove_all(dir);
    }
    std::string folder() const { return dir.string() + "/"; }
};

TEST_F(Pieces, TheNavigatorShowsALocalFolderAndNeverClaimsOneThatFailed) {
    ASSERT_TRUE(nav.showLocal(dir.string()));
    EXPECT_EQ(nav.dir(), folder());
    EXPECT_FALSE(nav.remote());
    EXPECT_EQ(parts.model().rowCount(), 2);
    EXPECT_EQ(host.status, QString::fromStdString(folder()) + " - [Total Files : 2] - [Selected Files : 0]");
    // A file, or a folder that is gone: no status names a folder the list does not show.
    for (const fs::path& p : {dir / "a.txt", dir / "gone"}) {
        host.status = QStringLiteral("unset");
        EXPECT_FALSE(nav.showLocal(p.string())) << p;
        EXPECT_EQ(host.status, QString()) << p;
        EXPECT_EQ(nav.dir(), folder()) << p;
    }
}

TEST_F(Pieces, ASessionOpensItsWorkingFolderAndHandsBackWhenItCloses) {
    ASSERT_TRUE(nav.showLocal(dir.string()));
    SessionInfo info;
    info.id = 7;
    info.host = "127.0.0.1";
    info.siteName = "FTP";
    info.dotted = "127.0.0.1";
    info.workingDir = "/pub";
    info.passive = true;
    ListingEntry e;
    e.name = "readme";
    e.kind = ListingEntry::Kind::File;
    std::vector<ListingEntry> entries{e};
    tree.addServerChain(info, "user", &entries);
    nav.sessionOpened(info, entries);
    EXPECT_EQ(nav.dir(), "/pub/");
    EXPECT_EQ(nav.session(), 7u);
    EXPECT_EQ(nav.ip(), "127.0.0.1");
    EXPECT_TRUE(nav.pasv());
    EXPECT_EQ(nav.place().session, 7u);
    EXPECT_EQ(parts.model().rowCount(), 1);
    // Another session closing changes nothing.
    nav.sessionClosed(8);
    EXPECT_EQ(nav.dir(), "/pub/");
    tree.removeServer(7);
    nav.sessionClosed(7);
    EXPECT_FALSE(nav.remote());
    EXPECT_EQ(parts.model().rowCount(), 0);
}

TEST_F(Pieces, SortingByDateIsRefusedForARemoteFolderOnly) {
    ASSERT_TRUE(nav.showLocal(dir.string()));
    nav.sortList(3);
    EXPECT_EQ(host.beeps, 0);
    nav.sortList(7);
    EXPECT_EQ(host.beeps, 1);
}

} // namespace
} // namespace vn::test
