// Local file operations: the recursive delete treats links as links and
// special files as entries, the trash takes a folder whole, rename never
// replaces, a replacement is written beside its target and renamed over it.
#include "CopyFixture.h"

#include <cstdlib>

#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "platform/Trash.h"

namespace vn::test {
namespace {

struct LocalFiles : ::testing::Test {
    fs::path dir = scratchDir("local");
    std::string d(const std::string& rel) const { return (dir / rel).string(); }
};

TEST_F(LocalFiles, DeleteRemovesALinkedFolderAsALink) {
    fs::create_directories(dir / "outside");
    writeFile(dir / "outside" / "keep.txt", "precious");
    fs::create_directories(dir / "tree" / "sub");
    writeFile(dir / "tree" / "sub" / "f", "x");
    fs::create_directory_symlink(dir / "outside", dir / "tree" / "sub" / "link");
    fs::create_symlink(dir / "outside" / "keep.txt", dir / "tree" / "filelink");
    LocalResult r = EsborrarDirectori(d("tree") + "/");
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "tree")));
    EXPECT_EQ(readFile(dir / "outside" / "keep.txt"), "precious");
}

TEST_F(LocalFiles, DeleteOfALinkItselfLeavesItsTarget) {
    fs::create_directories(dir / "outside");
    writeFile(dir / "outside" / "keep.txt", "precious");
    fs::create_directory_symlink(dir / "outside", dir / "link");
    LocalResult r = deleteLocal(d("link") + "/", RecycleMode::Delete);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "link")));
    EXPECT_EQ(readFile(dir / "outside" / "keep.txt"), "precious");
}

TEST_F(LocalFiles, DeleteRemovesAFifoWithoutOpeningIt) {
    fs::create_directories(dir / "tree");
    ASSERT_EQ(::mkfifo((dir / "tree" / "pipe").c_str(), 0600), 0); // opening it would block
    LocalResult r = EsborrarDirectori(d("tree"));
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_FALSE(fs::exists(dir / "tree"));
}

TEST_F(LocalFiles, DeleteReportsWhatStayed) {
    LocalResult r = EsborrarDirectori(d("missing"));
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("missing"), std::string::npos);
    EXPECT_FALSE(EsborrarDirectori("").ok);
    EXPECT_FALSE(EsborrarDirectori("/").ok);
}

TEST_F(LocalFiles, DeleteStopsWhenAsked) {
    fs::create_directories(dir / "tree");
    for (int i = 0; i < 5; ++i) writeFile(dir / "tree" / std::to_string(i), "x");
    LocalResult r = EsborrarDirectori(d("tree"), [] { return true; });
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(fs::exists(dir / "tree"));
}

TEST_F(LocalFiles, RecycleBinValues) {
    EXPECT_EQ(recycleModeFrom(0), RecycleMode::Delete);
    EXPECT_EQ(recycleModeFrom(1), RecycleMode::Trash);
    EXPECT_EQ(recycleModeFrom(2), RecycleMode::Keep);
    EXPECT_EQ(recycleModeFrom(-1), RecycleMode::Keep);
    EXPECT_EQ(readRecycleMode(), RecycleMode::Trash); // the default
    IniFile(configFile()).writeInt("FTP", "RecycleBin", 7);
    EXPECT_EQ(readRecycleMode(), RecycleMode::Keep);
}

TEST_F(LocalFiles, TrashTakesAFolderWholeAndKeepTouchesNothing) {
    // A trash on the fixture's own file system.
    const fs::path xdg = testHome() / "xdg";
    ::setenv("XDG_DATA_HOME", xdg.c_str(), 1);
    fs::create_directories(dir / "tree" / "sub");
    writeFile(dir / "tree" / "sub" / "f", "x");
    LocalResult kept = deleteLocal(d("tree") + "/", RecycleMode::Keep);
    EXPECT_TRUE(kept.kept);
    EXPECT_FALSE(kept.ok);
    EXPECT_TRUE(fs::exists(dir / "tree" / "sub" / "f"));
    LocalResult r = deleteLocal(d("tree") + "/", RecycleMode::Trash);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_FALSE(fs::exists(dir / "tree"));
    EXPECT_EQ(readFile(xdg / "Trash" / "files" / "tree" / "sub" / "f"), "x");
    EXPECT_TRUE(fs::exists(xdg / "Trash" / "info" / "tree.trashinfo"));
    ::unsetenv("XDG_DATA_HOME");
}

TEST_F(LocalFiles, FailedTrashIsReportedAndNothingIsDeleted) {
    // A trash that cannot be made: a file where its folder would go.
    const fs::path xdg = testHome() / "xdg-file";
    writeFile(xdg, "not a folder");
    ::setenv("XDG_DATA_HOME", xdg.c_str(), 1);
    writeFile(dir / "f", "keep");
    LocalResult r = deleteLocal(d("f"), RecycleMode::Trash);
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(readFile(dir / "f"), "keep");
}

TEST_F(LocalFiles, RenameNeverReplaces) {
    writeFile(dir / "a", "A");
    writeFile(dir / "b", "B");
    LocalResult r = renameLocal(dir.string(), "a", "b");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(readFile(dir / "a"), "A");
    EXPECT_EQ(readFile(dir / "b"), "B");
    EXPECT_TRUE(renameLocal(dir.string() + "/", "a", "c").ok);
    EXPECT_EQ(readFile(dir / "c"), "A");
    for (const char* bad : {"", "..", "x/y", "../up"}) {
        EXPECT_FALSE(renameLocal(dir.string(), "c", bad).ok) << bad;
        EXPECT_TRUE(fs::exists(dir / "c"));
    }
}

TEST_F(LocalFiles, NewFolder) {
    EXPECT_TRUE(makeLocalFolder(dir.string(), "New").ok);
    EXPECT_TRUE(fs::is_directory(dir / "New"));
    EXPECT_FALSE(makeLocalFolder(dir.string(), "New").ok); // exists
    EXPECT_FALSE(makeLocalFolder(dir.string(), "../escape").ok);
    EXPECT_FALSE(fs::exists(dir.parent_path() / "escape"));
}

TEST_F(LocalFiles, CopyOfALinkIsALink) {
    fs::create_directories(dir / "outside");
    fs::create_directory_symlink(dir / "outside", dir / "link");
    LocalCopyResult r = copyLocalEntry(d("link"), d("copy"), false);
    ASSERT_EQ(r.status, LocalCopyStatus::Copied) << r.error;
    EXPECT_TRUE(fs::is_symlink(dir / "copy"));
    EXPECT_EQ(fs::read_symlink(dir / "copy"), dir / "outside");
}

TEST_F(LocalFiles, CopyRefusesSpecialFilesAndFolders) {
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_EQ(copyLocalEntry(d("pipe"), d("copy"), false).status, LocalCopyStatus::NotCopyable);
    fs::create_directories(dir / "folder");
    EXPECT_EQ(copyLocalEntry(d("folder"), d("copy"), false).status, LocalCopyStatus::NotCopyable);
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "copy")));
}

TEST_F(LocalFiles, AFailedReplacementKeepsTheOldFile) {
    const std::string data = patternBytes(300000);
    writeFile(dir / "src", data);
    writeFile(dir / "dst", "OLD");
    writeFile(dir / "new-src", data);
    LocalCopyResult replaced, fresh;
    {
        FileSizeLimit limit(64 * 1024);
        replaced = copyLocalEntry(d("src"), d("dst"), true);
        fresh = copyLocalEntry(d("new-src"), d("fresh"), false);
    }
    EXPECT_EQ(replaced.status, LocalCopyStatus::Failed);
    EXPECT_EQ(readFile(dir / "dst"), "OLD");
    EXPECT_EQ(fresh.status, LocalCopyStatus::Failed);
    EXPECT_FALSE(fs::exists(dir / "fresh")); // no half file left
    // No temporary file left beside the target.
    for (auto& e : fs::directory_iterator(dir)) EXPECT_EQ(e.path().filename().string().rfind(".vn", 0), std::string::npos);
    // Without the limit the same copy replaces it.
    ASSERT_EQ(copyLocalEntry(d("src"), d("dst"), true).status, LocalCopyStatus::Copied);
    EXPECT_EQ(readFile(dir / "dst"), data);
}

TEST_F(LocalFiles, ACancelledReplacementKeepsTheOldFile) {
    writeFile(dir / "src", patternBytes(3 << 20));
    writeFile(dir / "dst", "OLD");
    LocalCopyResult r = copyLocalEntry(d("src"), d("dst"), true, [](std::uint64_t done, std::uint64_t) {
        return done == 0; // stop after the first chunk
    });
    EXPECT_EQ(r.status, LocalCopyStatus::Cancelled);
    EXPECT_EQ(readFile(dir / "dst"), "OLD");
}

TEST_F(LocalFiles, CopyKeepsPermissionBits) {
    writeFile(dir / "script", "#!/bin/sh\n");
    ::chmod((dir / "script").c_str(), 0750);
    ASSERT_EQ(copyLocalEntry(d("script"), d("copy"), false).status, LocalCopyStatus::Copied);
    struct stat st{};
    ASSERT_EQ(::stat((dir / "copy").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777 & ~0022u, 0750u & ~0022u);
}

TEST(TempFilesTest, EachWindowRemovesOnlyItsOwnFiles) {
    TempFiles a, b;
    const fs::path fa = a.path("temp12.tmp"), fb = b.path("temp12.tmp");
    ASSERT_FALSE(fa.empty());
    ASSERT_FALSE(fb.empty());
    EXPECT_NE(fa, fb); // the same name in two windows is two files
    writeFile(fa, "a");
    writeFile(fb, "b");
    a.clean();
    EXPECT_FALSE(fs::exists(fa));
    EXPECT_EQ(readFile(fb), "b");
    EXPECT_TRUE(a.path("..").empty());
    EXPECT_TRUE(a.path("x/y").empty());
}

TEST(TempFilesTest, FoldersOfEndedInstancesAreSwept) {
    TempFiles mine;
    writeFile(mine.path("x"), "mine");
    // A process id that cannot be running (beyond pid_max).
    fs::create_directories(tempRoot() / "w99999999-0");
    writeFile(tempRoot() / "w99999999-0" / "old", "stale");
    fs::create_directories(tempRoot() / "other");
    TempFiles::sweepStale();
    EXPECT_FALSE(fs::exists(tempRoot() / "w99999999-0"));
    EXPECT_EQ(readFile(mine.path("x")), "mine");
    EXPECT_TRUE(fs::exists(tempRoot() / "other"));
}

} // namespace
} // namespace vn::test
