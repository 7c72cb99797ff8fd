// The drop planner as a table: what each kind of item or folder becomes, from
// and to this machine and a server, without any widget.
#include "ftp/explorer/CopyPlanner.h"

#include <gtest/gtest.h>

namespace vn::test {
namespace {

const Place local{};
const Place server{3, "192.0.2.1"};
const Place other{4, "192.0.2.2"};

TEST(CopyPlanner, ListItemsTable) {
    struct Case {
        const char* what;
        DropItem item;
        Place from, to;
        CopyJob job;
    } cases[] = {
        {"local file to a server", {ItemKind::LocalFile, "a.txt"}, local, server,
         {false, local, server, "/pub/", "/home/u/a.txt"}},
        {"hidden local file", {ItemKind::LocalHiddenFile, ".rc"}, local, server,
         {false, local, server, "/pub/", "/home/u/.rc"}},
        {"local folder: an element, with a slash", {ItemKind::LocalFolder, "docs"}, local, server,
         {false, local, server, "/pub/", "/home/u/docs/"}},
        {"remote folder: a tree named after itself", {ItemKind::RemoteFolder, "src"}, server, local,
         {true, server, local, "/pub/src", "/home/u/src"}},
        {"remote file", {ItemKind::RemoteFile, "x.iso"}, server, local, {false, server, local, "/pub/", "/home/u/x.iso"}},
        {"remote link: copied as what it is, never walked", {ItemKind::RemoteLink, "latest"}, server, other,
         {false, server, other, "/pub/", "/home/u/latest"}},
        {"server to server folder", {ItemKind::RemoteFolder, "a b"}, server, other,
         {true, server, other, "/pub/a b", "/home/u/a b"}},
    };
    for (const Case& c : cases) {
        auto jobs = planItems({c.item}, c.from, "/home/u/", c.to, "/pub/");
        ASSERT_EQ(jobs.size(), 1u) << c.what;
        EXPECT_EQ(jobs[0], c.job) << c.what;
    }
}

TEST(CopyPlanner, TreeFolderTable) {
    struct Case {
        const char* what;
        Place from, to;
        CopyJob job;
    } cases[] = {
        {"local folder onto a server", local, server, {false, local, server, "/pub/", "/home/u/docs/"}},
        {"local folder onto a local folder", local, local, {false, local, local, "/pub/", "/home/u/docs/"}},
        // Whatever the target: a remote folder is walked as a tree.
        {"remote folder onto this machine", server, local, {true, server, local, "/pub/docs", "/home/u/docs/"}},
        {"remote folder onto another server", server, other, {true, server, other, "/pub/docs", "/home/u/docs/"}},
    };
    for (const Case& c : cases) EXPECT_EQ(planFolder(c.from, "/home/u/docs/", "docs", c.to, "/pub/"), c.job) << c.what;
}

TEST(CopyPlanner, DesktopPathsAndOrder) {
    auto jobs = planDesktop({"/tmp/a", "/tmp/dir"}, server, "/pub/");
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0], (CopyJob{false, local, server, "/pub/", "/tmp/a"}));
    EXPECT_EQ(jobs[1].path, "/tmp/dir");
    EXPECT_TRUE(planItems({}, local, "/", server, "/").empty());
    auto many = planItems({{ItemKind::LocalFile, "1"}, {ItemKind::RemoteFolder, "2"}}, server, "/d/", local, "/t/");
    ASSERT_EQ(many.size(), 2u);
    EXPECT_EQ(many[0].path, "/d/1");
    EXPECT_TRUE(many[1].tree);
}

TEST(CopyPlanner, OnlyFoldersAndRemoteLinksOpenAsFolders) {
    EXPECT_TRUE(opensAsFolder(ItemKind::LocalFolder));
    EXPECT_TRUE(opensAsFolder(ItemKind::RemoteFolder));
    EXPECT_TRUE(opensAsFolder(ItemKind::RemoteLink));
    EXPECT_FALSE(opensAsFolder(ItemKind::LocalFile));
    EXPECT_FALSE(opensAsFolder(ItemKind::LocalHiddenFile));
    EXPECT_FALSE(opensAsFolder(ItemKind::RemoteFile));
}

// What a run of copies ends with: a message only when items failed and the
// user did not abort.
TEST(CopyPlanner, CopyOutcomeTable) {
    struct Case {
        std::vector<TransferResult> results;
        const char* message;
    } cases[] = {
        {{}, ""},
        {{TransferResult::Copied, TransferResult::Skipped}, ""},
        {{TransferResult::Failed}, "1 item could not be copied."},
        {{TransferResult::Copied, TransferResult::Failed, TransferResult::Failed}, "2 items could not be copied."},
        {{TransferResult::Failed, TransferResult::Cancelled}, ""},
    };
    for (const Case& c : cases) {
        CopyTally t;
        for (TransferResult r : c.results) t.add(r);
        EXPECT_EQ(copyFailureMessage(t.failed, t.cancelled), c.message) << c.results.size();
    }
    CopyTally t;
    t.add(TransferResult::Copied);
    t.add(TransferResult::Skipped);
    t.add(TransferResult::Failed);
    EXPECT_EQ(t.copied, 1);
    EXPECT_EQ(t.skipped, 1);
    EXPECT_EQ(t.failed, 1);
    EXPECT_FALSE(t.cancelled);
}

} // namespace
} // namespace vn::test
