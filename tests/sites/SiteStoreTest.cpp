#include "SiteFileTestUtil.h"
#include "TestHome.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>

#include <sys/resource.h>
#include <sys/stat.h>

namespace vn {
namespace {

namespace fs = std::filesystem;

void put(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string get(const fs::path& p) { return test::fileBytes(p.string()); }

unsigned mode(const fs::path& p) {
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0) return 0;
    return st.st_mode & 07777;
}

std::vector<std::string> entries(const fs::path& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

SiteTree oneSite(const std::string& name) {
    return {SiteNode{{.HostName = name, .Address = "192.0.2.9", .Password = "pw", .Port = 21}, {}}};
}

const std::string kGood = writeSites(oneSite("Good"), SiteLayout::Ftp);
// Two sites announced, the second one cut off: reading keeps only the first.
const std::string kBroken = "2\r\n" + writeSites(oneSite("First"), SiteLayout::Ftp).substr(3) + "-----\r\n0\r\nNo";

// Files written by a process with a small file size limit fail with EFBIG,
// even for root; SIGXFSZ would otherwise end the test.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim = old_;
        lim.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

TEST(SiteSave, WritesTheBytesWithMode0600) {
    fs::path file = test::scratchDir("save") / "siteman.dat";
    ::umask(0);
    std::string error;
    ASSERT_TRUE(saveSites(file, oneSite("A"), SiteLayout::Ftp, &error)) << error;
    ::umask(022);
    EXPECT_EQ(get(file), writeSites(oneSite("A"), SiteLayout::Ftp));
    EXPECT_EQ(mode(file), 0600u);
    EXPECT_EQ(entries(file.parent_path()), (std::vector<std::string>{"siteman.dat"}));
}

TEST(SiteSave, ReplacingMakesAnExistingFile0600) {
    fs::path file = test::scratchDir("mode") / "pingman.dat";
    put(file, "old");
    ::chmod(file.c_str(), 0644);
    ASSERT_TRUE(saveSites(file, oneSite("A"), SiteLayout::Ping));
    EXPECT_EQ(mode(file), 0600u);
}

TEST(SiteSave, FailureLeavesTheOldFile) {
    fs::path dir = test::scratchDir("fail");
    fs::path file = dir / "siteman.dat";
    put(file, kGood);
    SiteTree big;
    for (int i = 0; i < 200; ++i) big.push_back(oneSite("site" + std::to_string(i))[0]);
    std::string error;
    {
        FileSizeLimit limit(1024);
        EXPECT_FALSE(saveSites(file, big, SiteLayout::Ftp, &error));
    }
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(get(file), kGood);
    EXPECT_EQ(entries(dir), (std::vector<std::string>{"siteman.dat"}));  // no temporary file left
}

TEST(SiteSave, MissingFolderIsNotCreated) {
    fs::path dir = test::scratchDir("nofolder") / "absent";
    std::string error;
    EXPECT_FALSE(saveSites(dir / "siteman.dat", oneSite("A"), SiteLayout::Ftp, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(fs::exists(dir));
}

TEST(SiteLoad, MissingFileIsAnEmptyCleanTree) {
    auto r = loadSites(test::scratchDir("missing") / "siteman.dat", SiteLayout::Ftp);
    EXPECT_TRUE(r.clean);
    EXPECT_FALSE(r.exists);
    EXPECT_TRUE(r.tree.empty());
}

TEST(SiteLoad, UnreadableFileIsNotClean) {
    fs::path dir = test::scratchDir("unreadable") / "siteman.dat";
    fs::create_directories(dir);  // a folder where the file should be
    auto r = loadSites(dir, SiteLayout::Ftp);
    EXPECT_FALSE(r.clean);
    EXPECT_TRUE(r.exists);
    EXPECT_FALSE(r.warnings.empty());
}

TEST(SiteStore, CleanFileGetsNoBackup) {
    fs::path file = test::scratchDir("clean") / "siteman.dat";
    put(file, kGood);
    SiteStore store(file, SiteLayout::Ftp);
    auto r = store.load();
    EXPECT_TRUE(r.clean);
    EXPECT_TRUE(store.loadedClean());
    ASSERT_TRUE(store.save(oneSite("New")));
    EXPECT_FALSE(fs::exists(store.backupPath()));
}

TEST(SiteStore, MissingFileGetsNoBackup) {
    fs::path file = test::scratchDir("new") / "fingerman.dat";
    SiteStore store(file, SiteLayout::Finger);
    store.load();
    ASSERT_TRUE(store.save(oneSite("New")));
    EXPECT_FALSE(fs::exists(store.backupPath()));
    EXPECT_EQ(store.load().tree, oneSite("New"));
}

TEST(SiteStore, BrokenFileIsBackedUpOnceBeforeItIsReplaced) {
    fs::path file = test::scratchDir("broken") / "siteman.dat";
    put(file, kBroken);
    SiteStore store(file, SiteLayout::Ftp);
    auto r = store.load();
    EXPECT_FALSE(r.clean);
    EXPECT_FALSE(store.loadedClean());
    EXPECT_EQ(test::shape(r.tree), "First");
    EXPECT_EQ(store.backupPath(), fs::path(file.string() + ".bak"));
    EXPECT_FALSE(fs::exists(store.backupPath()));  // reading alone changes nothing

    ASSERT_TRUE(store.save(r.tree)) << store.lastError();
    EXPECT_EQ(get(store.backupPath()), kBroken);
    EXPECT_EQ(mode(store.backupPath()), 0600u);
    EXPECT_EQ(get(file), writeSites(r.tree, SiteLayout::Ftp));

    // Later saves leave the backup alone: it keeps the original.
    ASSERT_TRUE(store.save(oneSite("Second")));
    ASSERT_TRUE(store.save(oneSite("Third")));
    EXPECT_EQ(get(store.backupPath()), kBroken);
    EXPECT_EQ(get(file), writeSites(oneSite("Third"), SiteLayout::Ftp));

    // Reading back what was saved (as the Telnet manager does) is clean; no new backup.
    EXPECT_TRUE(store.load().clean);
    ASSERT_TRUE(store.save(oneSite("Fourth")));
    EXPECT_EQ(get(store.backupPath()), kBroken);
}

TEST(SiteStore, SaveWithoutLoadStillBacksUpABrokenFile) {
    fs::path file = test::scratchDir("noload") / "telnetman.dat";
    put(file, "not a site file");
    SiteStore store(file, SiteLayout::Telnet);
    ASSERT_TRUE(store.save(oneSite("A")));
    EXPECT_EQ(get(store.backupPath()), "not a site file");
}

TEST(SiteStore, BackupFailureKeepsTheFile) {
    fs::path dir = test::scratchDir("bakfail");
    fs::path file = dir / "siteman.dat";
    std::string broken = kBroken + std::string(4096, 'x');
    put(file, broken);
    SiteStore store(file, SiteLayout::Ftp);
    store.load();
    {
        FileSizeLimit limit(1024);
        EXPECT_FALSE(store.save(oneSite("A")));
    }
    EXPECT_FALSE(store.lastError().empty());
    EXPECT_EQ(get(file), broken);
    EXPECT_EQ(entries(dir), (std::vector<std::string>{"siteman.dat"}));
    // Once it can be made, the next save makes it.
    ASSERT_TRUE(store.save(oneSite("A")));
    EXPECT_EQ(get(store.backupPath()), broken);
}

TEST(SiteStore, SaveFailureReportsAndKeepsTheFile) {
    fs::path file = test::scratchDir("storefail") / "Whoisman.dat";
    std::string good = writeSites(oneSite("Keep"), SiteLayout::Whois);
    put(file, good);
    SiteStore store(file, SiteLayout::Whois);
    store.load();
    SiteTree big;
    for (int i = 0; i < 200; ++i) big.push_back(oneSite("s" + std::to_string(i))[0]);
    {
        FileSizeLimit limit(512);
        EXPECT_FALSE(store.save(big));
    }
    EXPECT_FALSE(store.lastError().empty());
    EXPECT_EQ(get(file), good);
}

} // namespace
} // namespace vn
