// Opening beneath the base folder (with openat2 and with the walk that follows
// no link) and the temporary file that replaces a target only on success.
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TftpTestKit.h"
#include "tftp/TftpFiles.h"

using namespace vn::tftp;
using namespace vn::tftp::test;

namespace {

class BeneathTest : public testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        setForceBeneathWalk(GetParam());
        fs::create_directories(base() / "sub");
        makeFile(base() / "file.bin", 100);
        makeFile(base() / "sub" / "inner.bin", 10);
        makeFile(outside_.path() / "secret", 10);
        fs::create_symlink(outside_.path() / "secret", base() / "out-link");
        fs::create_symlink(outside_.path(), base() / "out-dir");
        fs::create_symlink("/etc/passwd", base() / "abs-link");
        ::mkfifo((base() / "fifo").c_str(), 0600);
        int err = 0;
        folder_ = BaseFolder::open(base(), err);
        ASSERT_TRUE(folder_) << err;
    }
    void TearDown() override { setForceBeneathWalk(false); }
    fs::path base() const { return base_.path() / "base"; }

    TempDir base_, outside_;
    std::shared_ptr<const BaseFolder> folder_;
};

} // namespace

TEST_P(BeneathTest, OnlyRegularFilesBeneathTheBaseOpen) {
    struct Case {
        const char* name;
        enum { Opens, Missing, Escapes, NotRegular } expect;
    };
    const Case cases[] = {
        {"file.bin", Case::Opens},
        {"sub/inner.bin", Case::Opens},
        {"/etc/passwd", Case::Missing}, // base/etc/passwd
        {"missing", Case::Missing},
        {"out-link", Case::Escapes},
        {"out-dir/secret", Case::Escapes},
        {"abs-link", Case::Escapes},
        {"fifo", Case::NotRegular},
        {"sub", Case::NotRegular},
    };
    for (const Case& c : cases) {
        const NameCheck n = checkRequestName(c.name);
        ASSERT_TRUE(n.ok) << c.name;
        OpenResult r = openBeneathForRead(folder_->fd(), n.relative);
        if (r.fd >= 0) ::close(r.fd);
        switch (c.expect) {
        case Case::Opens: EXPECT_GE(r.fd, 0) << c.name; break;
        case Case::Missing: EXPECT_EQ(r.err, ENOENT) << c.name; break;
        case Case::Escapes: EXPECT_TRUE(r.escapes) << c.name << " err " << r.err; break;
        case Case::NotRegular: EXPECT_TRUE(r.notRegular) << c.name; break;
        }
        if (c.expect != Case::Opens) {
            EXPECT_LT(r.fd, 0) << c.name;
        }
    }
}

TEST_P(BeneathTest, UploadsLandOnlyBeneathTheBase) {
    std::string leaf;
    OpenResult r = openParentBeneath(folder_->fd(), "out-dir/x", leaf);
    EXPECT_LT(r.fd, 0);
    EXPECT_TRUE(r.escapes);
    r = openParentBeneath(folder_->fd(), "out-link", leaf);
    EXPECT_LT(r.fd, 0);
    EXPECT_TRUE(r.notRegular); // a link is never replaced
    r = openParentBeneath(folder_->fd(), "sub", leaf);
    EXPECT_TRUE(r.notRegular);
    r = openParentBeneath(folder_->fd(), "nofolder/x", leaf);
    EXPECT_EQ(r.err, ENOENT);
    r = openParentBeneath(folder_->fd(), "sub/new.bin", leaf);
    ASSERT_GE(r.fd, 0);
    EXPECT_EQ(leaf, "new.bin");
    int err = 0;
    TempFile t = TempFile::createIn(r.fd, leaf, err);
    ASSERT_TRUE(t.valid()) << err;
    ASSERT_EQ(::write(t.fd(), "abc", 3), 3);
    EXPECT_EQ(t.commit(), 0);
    EXPECT_EQ(readAll(base() / "sub" / "new.bin"), "abc");
    EXPECT_EQ(readAll(outside_.path() / "secret").size(), 10u);
}

INSTANTIATE_TEST_SUITE_P(Openat2AndWalk, BeneathTest, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Walk" : "Openat2"; });

TEST(TftpTempFile, ReplacesTheTargetOnlyOnCommit) {
    TempDir d;
    const fs::path target = d.path() / "target.bin";
    makeFile(target, 1000, 7);
    ::chmod(target.c_str(), 0600);
    const std::string before = readAll(target);
    std::string firstTemp;
    {
        int err = 0;
        TempFile t = TempFile::createFor(target, err);
        ASSERT_TRUE(t.valid()) << err;
        firstTemp = t.tempName();
        EXPECT_EQ(firstTemp.rfind(".tftp-", 0), 0u);
        ASSERT_EQ(::write(t.fd(), "partial", 7), 7);
        // Dropped without commit: the target is as it was, and no temporary file stays.
    }
    EXPECT_EQ(readAll(target), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(d.path()), fs::directory_iterator()), 1);

    int err = 0;
    TempFile t = TempFile::createFor(target, err);
    ASSERT_TRUE(t.valid());
    EXPECT_NE(t.tempName(), firstTemp); // unpredictable names
    ASSERT_EQ(::write(t.fd(), "new", 3), 3);
    EXPECT_EQ(t.commit(), 0);
    EXPECT_EQ(readAll(target), "new");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u); // the old file's permissions
    EXPECT_EQ(std::distance(fs::directory_iterator(d.path()), fs::directory_iterator()), 1);
}

TEST(TftpTempFile, RefusesFoldersMissingFoldersAndLinks) {
    TempDir d;
    int err = 0;
    EXPECT_FALSE(TempFile::createFor(d.path(), err).valid());
    fs::create_directory(d.path() / "dir");
    EXPECT_FALSE(TempFile::createFor(d.path() / "dir", err).valid());
    EXPECT_EQ(err, EISDIR);
    EXPECT_FALSE(TempFile::createFor(d.path() / "no" / "x", err).valid());
    EXPECT_EQ(err, ENOENT);
    fs::create_symlink("/etc/passwd", d.path() / "link");
    EXPECT_FALSE(TempFile::createFor(d.path() / "link", err).valid());
}
