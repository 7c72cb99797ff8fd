// The upload window without real servers: rows, folders, enabling, the start's
// refusals, the site picker, and workers whose host cannot be reached or
// never greets (each fails within the time-out and still ends).
#include <gtest/gtest.h>

#include <QAction>
#include <QDialog>
#include <QListWidget>
#include <QSignalSpy>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <limits>

#include "ScriptedPrompter.h"
#include "UploadTestKit.h"
#include "common/ui/Gauges.h"
#include "sites/SiteSecurity.h"

namespace vn::test {
namespace {

TEST(UploadPercent, RoundsAndStaysSafeForHugeAndEmptyJobs) {
    constexpr std::uint64_t GiB = 1ull << 30;
    const std::uint64_t top = std::numeric_limits<std::uint64_t>::max();
    struct Case {
        std::uint64_t sent, total;
        bool done;
        int percent;
    } cases[] = {
        {0, 4000, false, 0},      {1000, 4000, false, 25}, {4000, 4000, true, 100},  {1, 200, false, 1},
        {3 * GiB, 6 * GiB, false, 50}, {5 * GiB, 5 * GiB, true, 100}, {top / 2, top, false, 50},
        {0, 0, false, 0},         {0, 0, true, 100},       {9000, 4000, false, 100},
    };
    for (const Case& c : cases)
        EXPECT_EQ(percentOf(c.sent, c.total, c.done), c.percent) << c.sent << " of " << c.total;
}

TEST(UploadWindow, HostRowsFoldersAndEnabling) {
    ScopedPrompter prompter;
    Tmultipleuploadfrm w;
    EXPECT_EQ(w.windowTitle(), "Upload Files to Multiple Hosts Simultaneously");
    QAction* upload = w.action("Upload1");
    EXPECT_FALSE(upload->isEnabled());

    TSiteRec folder;
    folder.HostName = "Work";
    folder.IsFolder = true;
    EXPECT_FALSE(addPlainHost(w, folder));
    EXPECT_EQ(w.hostTable()->topLevelItemCount(), 0);

    const TSiteRec site = siteFor("Mirror", 2121, "/pub/in", true, "ann", "secret");
    ASSERT_TRUE(addPlainHost(w, site));
    ASSERT_TRUE(addPlainHost(w, site)); // picked twice: two rows, two workers
    EXPECT_TRUE(upload->isEnabled());
    ASSERT_EQ(w.hostTable()->topLevelItemCount(), 2);
    QStringList row;
    for (int c = 0; c < 6; ++c) row << cell(w, 1, c);
    EXPECT_EQ(row, (QStringList{"Mirror - [127.0.0.1]", "ann", "/pub/in", "0", "NO", "YES"}));
    EXPECT_EQ(w.host(1).port, 2121);
    EXPECT_EQ(w.host(1).password, "secret");

    // Nothing selected: the row commands are off.
    EXPECT_FALSE(w.action("ChangeFolder1")->isEnabled());
    EXPECT_FALSE(w.action("CancelTHISUpload1")->isEnabled());
    w.hostTable()->setCurrentItem(w.hostTable()->topLevelItem(0));
    EXPECT_TRUE(w.action("ChangeFolder1")->isEnabled());
    EXPECT_TRUE(w.action("DeleteHost1")->isEnabled());
    EXPECT_FALSE(w.action("CancelTHISUpload1")->isEnabled()); // no worker runs

    // One trailing "/" goes; an empty answer or a cancel changes nothing.
    prompter->pushInput(std::string("/pub/"));
    prompter->pushInput(std::string());
    prompter->pushInput(std::nullopt);
    for (int i = 0; i < 3; ++i) w.changeFolder();
    EXPECT_EQ(w.host(0).folder, "/pub");
    EXPECT_EQ(cell(w, 0, Tmultipleuploadfrm::FolderCol), "/pub");
    EXPECT_EQ(w.host(1).folder, "/pub/in");
    EXPECT_EQ(prompter->asked(), (std::vector<std::string>(3, "input: Change Folder: &New Folder:")));

    w.deleteHost();
    w.hostTable()->setCurrentItem(w.hostTable()->topLevelItem(0));
    EXPECT_TRUE(upload->isEnabled());
    w.deleteHost();
    EXPECT_EQ(w.hostTable()->topLevelItemCount(), 0);
    EXPECT_FALSE(upload->isEnabled());
    EXPECT_EQ(prompter->unexpected(), 0);
}

TEST(UploadWindow, StartRefusesWithoutFilesOrWithAFileThatCannotBeRead) {
    ScopedPrompter prompter;
    Tmultipleuploadfrm w;
    ASSERT_TRUE(addPlainHost(w, siteFor("A", 21, "/", false)));
    EXPECT_FALSE(w.startUpload());
    const fs::path dir = scratchDir("files");
    auto files = makeFiles(dir, 2);
    files.push_back((dir / "gone.bin").string());
    w.setFiles(files);
    EXPECT_EQ(w.files().size(), 3);
    EXPECT_EQ(w.hostTable()->topLevelItemCount(), 0); // the opener clears the hosts
    ASSERT_TRUE(addPlainHost(w, siteFor("A", 21, "/", false)));
    EXPECT_FALSE(w.startUpload());
    EXPECT_EQ(prompter->asked(), (std::vector<std::string>{"message: Sorry, There are not files selected to upload",
                                                            "message: Cannot open file \"" + files[2] + "\"."}));
    EXPECT_FALSE(w.busy());
    EXPECT_EQ(countLines(w, "Creating Thread"), 0);

    // Delete removes the selected entry only.
    w.fileList()->setCurrentRow(2);
    w.deleteFile();
    EXPECT_EQ(w.files(), (QStringList{QString::fromStdString(files[0]), QString::fromStdString(files[1])}));
}

TEST(UploadWindow, AddHostPicksASiteOfTheSiteManager) {
    ScopedPrompter prompter;
    SiteNode folder{};
    folder.rec.HostName = "Mirrors";
    folder.rec.IsFolder = true;
    SiteNode inside{};
    inside.rec = siteFor("Inner", 2100, "/in", true, "bob", "pw");
    folder.children.push_back(inside);
    SiteNode top{};
    top.rec = siteFor("Top", 21, "/top", false, "ann", "pw2");
    ASSERT_TRUE(saveSites(dataFile("siteman.dat"), SiteTree{folder, top}, SiteLayout::Ftp));

    // The site's security choice is kept by its path in the Site Manager.
    ASSERT_TRUE(SiteSecurityStore().set("Mirrors/Inner", FtpSecurity::RequireExplicit));
    Tmultipleuploadfrm w;
    prompter->pushDialog([](QDialog& d) {
        auto* view = d.findChild<QTreeWidget*>("SitesTV");
        auto found = view->findItems("Inner", Qt::MatchExactly | Qt::MatchRecursive);
        if (found.size() != 1) return int(QDialog::Rejected);
        view->setCurrentItem(found[0]);
        return int(QDialog::Accepted);
    });
    prompter->pushDialog([](QDialog&) { return int(QDialog::Rejected); });
    w.addHostFromSites();
    w.addHostFromSites();
    ASSERT_EQ(w.hostTable()->topLevelItemCount(), 1);
    EXPECT_EQ(cell(w, 0, Tmultipleuploadfrm::HostCol), "Inner - [127.0.0.1]");
    EXPECT_EQ(w.host(0).user, "bob");
    EXPECT_EQ(w.host(0).password, "pw");
    EXPECT_EQ(w.host(0).port, 2100);
    EXPECT_TRUE(w.host(0).passive);
    EXPECT_EQ(w.host(0).security, FtpSecurity::RequireExplicit);
    EXPECT_EQ(prompter->unexpected(), 0);
}

// A listener that completes connections but never says a word.
struct SilentServer {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    std::uint16_t port = 0;
    SilentServer() {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd, 8);
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~SilentServer() { ::close(fd); }
};

TEST(UploadWindow, UnreachableAndSilentHostsFailTheirWorkerAndStillEnd) {
    ScopedPrompter prompter;
    shortFtpKeys(2);
    SilentServer silent;
    const fs::path dir = scratchDir("files");
    writeAll(dir / "a.bin", std::string(1000, 'a'));
    writeAll(dir / "b.bin", std::string(3000, 'b'));
    Tmultipleuploadfrm w;
    w.setFiles({(dir / "a.bin").string(), (dir / "b.bin").string()});
    const int closed = pickFreePort();
    ASSERT_TRUE(addPlainHost(w, siteFor("closed", closed, "/", false)));
    ASSERT_TRUE(addPlainHost(w, siteFor("silent", silent.port, "/", true)));
    ASSERT_TRUE(addPlainHost(w, siteFor("closed too", closed, "/", true)));
    QSignalSpy ended(&w, &Tmultipleuploadfrm::jobEnded);
    ASSERT_TRUE(w.startUpload());
    EXPECT_EQ(w.jobBytes(), 4000u);
    EXPECT_EQ(w.gauges()->fileMax(), 12000u);
    EXPECT_EQ(w.gauges()->totalMax(), 3u);
    EXPECT_FALSE(w.action("Upload1")->isEnabled()); // one job at a time
    EXPECT_FALSE(w.startUpload());
    ASSERT_TRUE(waitFor([&] { return ended.count() == 1; }, 20000)) << w.info()->toPlainText().toStdString();

    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(cell(w, r, Tmultipleuploadfrm::FinishedCol), "YES") << r;
        EXPECT_EQ(cell(w, r, Tmultipleuploadfrm::PercentCol), "0") << r;
        EXPECT_FALSE(w.rowRunning(r));
    }
    const std::string log = w.info()->toPlainText().toStdString();
    for (const char* line : {"Creating Thread 1 ...", "Creating Thread 3 ...", "Executing Thread n.2",
                             "Thread 1 [closed] - Ready to connect", "Thread 1 [closed] - Thread Not connected",
                             "Thread 2 [silent] - >ERROR: Timeout", "Thread 2 [silent] - Thread Not connected",
                             "Thread 3 [closed too] - Thread Not connected", "Thread 2 [silent] - Ending Thread..."})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    EXPECT_EQ(countLines(w, "transmitted OK"), 0);
    EXPECT_EQ(w.gauges()->totalDone(), 3u);
    EXPECT_EQ(w.gauges()->fileDone(), 0u);
    EXPECT_TRUE(w.action("Upload1")->isEnabled());
    EXPECT_EQ(prompter->unexpected(), 0);
}

} // namespace
} // namespace vn::test
