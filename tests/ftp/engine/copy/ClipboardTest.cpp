// "copy.dat": the bytes Copy and Cut write, and a reader that refuses forged,
// truncated and oversized files as a whole.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TestHome.h"
#include "TransferFixture.h"
#include "ftp/engine/copy/Clipboard.h"
#include "ftp/engine/copy/CopyPaths.h"

namespace vn::test {
namespace {

namespace fs = std::filesystem;

ClipEntry localFile(std::string path) { return ClipEntry{0, "", std::move(path), false, -1}; }

TEST(Clipboard, TwoLocalFilesGiveElevenLines) {
    ASSERT_TRUE(writeClipboard(false, {localFile("/data/a.txt"), localFile("/data/b.bin")}));
    EXPECT_EQ(readFile(clipboardFile()),
              "COPY\r\n"
              "-1\r\n\r\n/data/a.txt\r\n0\r\n-1\r\n"
              "-1\r\n\r\n/data/b.bin\r\n0\r\n-1\r\n");
}

TEST(Clipboard, RemoteFolderEntryAndCutMarker) {
    ClipEntry e{42, "10.0.0.7", "/pub/docs/", true, 2121};
    ASSERT_TRUE(writeClipboard(true, {e}));
    EXPECT_EQ(readFile(clipboardFile()), "CUT\r\n42\r\n10.0.0.7\r\n/pub/docs/\r\n1\r\n2121\r\n");
    std::string error;
    auto clip = readClipboard(&error);
    ASSERT_TRUE(clip) << error;
    EXPECT_TRUE(clip->cut);
    ASSERT_EQ(clip->entries.size(), 1u);
    EXPECT_EQ(clip->entries[0], e);
    EXPECT_TRUE(clip->entries[0].folder());
    EXPECT_FALSE(clip->entries[0].local());
}

TEST(Clipboard, PathsAreWrittenAsTheirBytes) {
    const std::string name = "/home/u/\xC3\xA9t\xC3\xA9 \xFF.txt"; // UTF-8 and a byte that is not
    ASSERT_TRUE(writeClipboard(false, {localFile(name)}));
    auto clip = readClipboard();
    ASSERT_TRUE(clip);
    EXPECT_EQ(clip->entries.at(0).path, name);
}

TEST(Clipboard, AcceptedLayouts) {
    struct Case {
        const char* what;
        std::string bytes;
        bool cut;
        std::size_t entries;
    };
    const Case cases[] = {
        {"CR LF", "COPY\r\n-1\r\n\r\n/a\r\n0\r\n-1\r\n", false, 1},
        {"LF alone", "CUT\n-1\n\n/a/\n0\n-1\n7\n127.0.0.1\n/b\n1\n40000\n", true, 2},
        {"no line end after the last line", "COPY\r\n-1\r\n\r\n/a\r\n0\r\n-1", false, 1},
        {"marker only", "CUT\r\n", true, 0},
        {"empty file", "", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string error;
        auto clip = parseClipboard(c.bytes, &error);
        ASSERT_TRUE(clip) << error;
        EXPECT_EQ(clip->cut, c.cut);
        EXPECT_EQ(clip->entries.size(), c.entries);
    }
}

TEST(Clipboard, MalformedFilesAreRefusedWhole) {
    const std::string ok = "-1\r\n\r\n/a\r\n0\r\n-1\r\n";
    struct Case {
        const char* what;
        std::string bytes;
    };
    const Case cases[] = {
        {"unknown marker", "MOVE\r\n" + ok},
        {"marker in lower case", "copy\r\n" + ok},
        {"truncated entry", "COPY\r\n" + ok + "-1\r\n\r\n/b\r\n"},
        {"a stray empty line", "COPY\r\n" + ok + "\r\n"},
        {"session not a number", "COPY\r\nabc\r\n1.2.3.4\r\n/a\r\n0\r\n-1\r\n"},
        {"session with a sign", "COPY\r\n+5\r\n1.2.3.4\r\n/a\r\n0\r\n-1\r\n"},
        {"session below -1", "COPY\r\n-2\r\n\r\n/a\r\n0\r\n-1\r\n"},
        {"session zero", "COPY\r\n0\r\n1.2.3.4\r\n/a\r\n0\r\n-1\r\n"},
        {"session too large", "COPY\r\n18446744073709551616\r\n1.2.3.4\r\n/a\r\n0\r\n-1\r\n"},
        {"session line empty", "COPY\r\n\r\n1.2.3.4\r\n/a\r\n0\r\n-1\r\n"},
        {"local entry with an address", "COPY\r\n-1\r\n1.2.3.4\r\n/a\r\n0\r\n-1\r\n"},
        {"remote entry without an address", "COPY\r\n5\r\n\r\n/a\r\n0\r\n-1\r\n"},
        {"address with a blank", "COPY\r\n5\r\n1.2.3.4 x\r\n/a\r\n0\r\n-1\r\n"},
        {"relative path", "COPY\r\n-1\r\n\r\na/b\r\n0\r\n-1\r\n"},
        {"empty path", "COPY\r\n-1\r\n\r\n\r\n0\r\n-1\r\n"},
        {"the root alone", "COPY\r\n-1\r\n\r\n/\r\n0\r\n-1\r\n"},
        {"dot-dot part", "COPY\r\n-1\r\n\r\n/data/../etc/passwd\r\n0\r\n-1\r\n"},
        {"dot part", "COPY\r\n-1\r\n\r\n/data/./a\r\n0\r\n-1\r\n"},
        {"double slash", "COPY\r\n-1\r\n\r\n/data//a\r\n0\r\n-1\r\n"},
        {"stray CR inside a path", "COPY\r\n-1\r\n\r\n/a\rb\r\n0\r\n-1\r\n"},
        {"NUL inside a path", std::string("COPY\r\n-1\r\n\r\n/a\0b\r\n0\r\n-1\r\n", 27)},
        {"passive flag 2", "COPY\r\n-1\r\n\r\n/a\r\n2\r\n-1\r\n"},
        {"port not a number", "COPY\r\n-1\r\n\r\n/a\r\n0\r\nport\r\n"},
        {"port out of range", "COPY\r\n-1\r\n\r\n/a\r\n0\r\n70000\r\n"},
        {"port below -1", "COPY\r\n-1\r\n\r\n/a\r\n0\r\n-5\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string error;
        EXPECT_FALSE(parseClipboard(c.bytes, &error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(Clipboard, MissingFileIsNoClipboardAndNoError) {
    std::string error = "stale";
    EXPECT_FALSE(clipboardExists());
    EXPECT_FALSE(readClipboard(&error));
    EXPECT_TRUE(error.empty());
}

TEST(Clipboard, HugeFileIsRefusedUnread) {
    int fd = ::open(clipboardFile().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(kMaxClipboardBytes + 1)), 0); // sparse: nothing on disk
    ::close(fd);
    std::string error;
    EXPECT_FALSE(readClipboard(&error));
    EXPECT_NE(error.find("larger than"), std::string::npos) << error;
}

TEST(Clipboard, AFifoInItsPlaceIsNotRead) {
    ASSERT_EQ(::mkfifo(clipboardFile().c_str(), 0600), 0);
    std::string error;
    EXPECT_FALSE(readClipboard(&error)); // never blocks on the FIFO
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
}

TEST(Clipboard, AnEntryThatWouldForgeLinesIsNotWritten) {
    ASSERT_TRUE(writeClipboard(false, {localFile("/data/keep")}));
    const std::string before = readFile(clipboardFile());
    const std::vector<ClipEntry> bad[] = {
        {localFile("/data/x\r\n-1\r\n\r\n/home/u\r\n0\r\n-1")},
        {localFile("/data/a\nb")},
        {localFile("relative")},
        {ClipEntry{0, "1.2.3.4", "/a", false, -1}},
        {ClipEntry{3, "", "/a", false, -1}},
    };
    for (const auto& entries : bad) {
        std::string error;
        EXPECT_FALSE(writeClipboard(true, entries, &error));
        EXPECT_FALSE(error.empty());
    }
    EXPECT_EQ(readFile(clipboardFile()), before);
}

TEST(CopyPaths, SubFolderComparesWholeComponents) {
    struct Case {
        const char* folder;
        const char* path;
        bool below;
    };
    const Case cases[] = {
        {"/data/a", "/data/ab/", false},
        {"/data/a/", "/data/ab", false},
        {"/data/a", "/data/a", true},
        {"/data/a/", "/data/a/", true},
        {"/data/a", "/data/a/x/y/", true},
        {"/data/a/", "/data/", false},
        {"/Data/a", "/data/a/x", false}, // case counts
        {"/", "/anything/", true},
        {"", "/a", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.folder) + " / " + c.path);
        EXPECT_EQ(isSameOrBelow(c.folder, c.path), c.below);
    }
}

TEST(CopyPaths, NamesAndPaths) {
    EXPECT_EQ(lastComponent("/a/b/"), "b");
    EXPECT_EQ(lastComponent("/a/b"), "b");
    EXPECT_EQ(lastComponent("/"), "");
    EXPECT_EQ(withSlash("/a"), "/a/");
    EXPECT_EQ(withSlash("/a/"), "/a/");
    EXPECT_EQ(withoutSlash("/a/"), "/a");
    EXPECT_EQ(withoutSlash("/"), "/");
    for (const char* bad : {"", ".", "..", "a/b", "../x", "a\nb", "a\rb"}) EXPECT_FALSE(isSafeComponent(bad)) << bad;
    EXPECT_FALSE(isSafeComponent(std::string("a\0b", 3)));
    for (const char* good : {"a", ".hidden", "..x", "a b", "\xC3\xA9"}) EXPECT_TRUE(isSafeComponent(good)) << good;
}

} // namespace
} // namespace vn::test
