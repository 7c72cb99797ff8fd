// The freedesktop trash: the layout other desktop tools read, unique names,
// and a failure that never loses the file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

#include "TestHome.h"
#include "platform/Trash.h"

namespace vn::test {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void put(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

struct Trash : ::testing::Test {
    fs::path dir = scratchDir("trash");
    fs::path data = dir / "xdg";
    std::optional<std::string> old;
    void SetUp() override {
        if (const char* o = std::getenv("XDG_DATA_HOME")) old = o;
        setenv("XDG_DATA_HOME", data.c_str(), 1);
    }
    void TearDown() override {
        if (old) setenv("XDG_DATA_HOME", old->c_str(), 1);
        else unsetenv("XDG_DATA_HOME");
    }
};

TEST_F(Trash, MovesTheFileAndWritesItsInfo) {
    EXPECT_EQ(homeTrash(), data / "Trash");
    fs::path f = dir / "my report 100%.txt";
    put(f, "contents");
    TrashResult r = moveToTrash(f);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_FALSE(fs::exists(f));
    EXPECT_EQ(r.trashedAs, data / "Trash" / "files" / "my report 100%.txt");
    EXPECT_EQ(slurp(r.trashedAs), "contents");
    std::string info = slurp(data / "Trash" / "info" / "my report 100%.txt.trashinfo");
    std::string head = "[Trash Info]\nPath=" + trashInfoPath(f.string()) + "\nDeletionDate=";
    ASSERT_EQ(info.rfind(head, 0), 0u) << info;
    std::string date = info.substr(head.size());
    ASSERT_EQ(date.size(), 20u) << date; // YYYY-MM-DDThh:mm:ss and the newline
    EXPECT_EQ(date[4], '-');
    EXPECT_EQ(date[10], 'T');
    EXPECT_EQ(date[19], '\n');
    struct stat st;
    ASSERT_EQ(stat((data / "Trash").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(Trash, SameNameTwiceGetsTwoEntries) {
    fs::create_directories(dir / "a");
    fs::create_directories(dir / "b");
    put(dir / "a" / "x.tar.gz", "first");
    put(dir / "b" / "x.tar.gz", "second");
    TrashResult one = moveToTrash(dir / "a" / "x.tar.gz");
    TrashResult two = moveToTrash(dir / "b" / "x.tar.gz");
    ASSERT_TRUE(one.ok && two.ok) << one.error << two.error;
    EXPECT_NE(one.trashedAs, two.trashedAs);
    EXPECT_EQ(slurp(one.trashedAs), "first");
    EXPECT_EQ(slurp(two.trashedAs), "second");
    EXPECT_EQ(two.trashedAs.filename(), "x.tar.2.gz");
    EXPECT_NE(slurp(data / "Trash" / "info" / "x.tar.2.gz.trashinfo").find(trashInfoPath((dir / "b" / "x.tar.gz").string())),
              std::string::npos);
}

TEST_F(Trash, FailureLeavesTheFileInPlace) {
    put(dir / "plain", "I am a file, not a folder");
    setenv("XDG_DATA_HOME", (dir / "plain" / "data").c_str(), 1);
    fs::path f = dir / "keep.me";
    put(f, "still here");
    TrashResult r = moveToTrash(f);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(slurp(f), "still here");
    EXPECT_FALSE(moveToTrash(dir / "missing").ok);
}

TEST(TrashInfo, PathIsPercentEncoded) {
    EXPECT_EQ(trashInfoPath("/home/u/a b%c.txt"), "/home/u/a%20b%25c.txt");
    EXPECT_EQ(trashInfoPath("/t/caf\xC3\xA9"), "/t/caf%C3%A9");
    EXPECT_EQ(trashInfoPath("/t/n\nx"), "/t/n%0Ax");
}

} // namespace
} // namespace vn::test
