// The copy routines and the paste between local folders: trees byte for
// byte, the questions, the same-place and sub-folder rules, links and FIFOs,
// and what a cut deletes.
#include "CopyFixture.h"

namespace vn::test {
namespace {

using Local = CopyFixture;

TEST_F(Local, FolderTreeIsCopiedByteForByte) {
    makeTree(dir / "src" / "tree");
    fs::create_directories(dir / "dst");
    PasteResult r = copier.paste(Clipboard{false, {localEntry(folder("src/tree"))}}, {here(), folder("dst")});
    EXPECT_EQ(r.copied, 1) << sink.dump();
    EXPECT_EQ(treeContents(dir / "dst" / "tree"), treeContents(dir / "src" / "tree"));
    EXPECT_TRUE(asked().empty());
    // The total gauge went up to a total that grew with the folders.
    ASSERT_FALSE(sink.totals.empty());
    EXPECT_EQ(sink.totals.back().first, sink.totals.back().second);
    EXPECT_GT(sink.totals.back().second, 5u);
}

TEST_F(Local, FilesKeepTheirOrderAndCopyIsLeftInPlace) {
    fs::create_directories(dir / "src");
    fs::create_directories(dir / "dst");
    writeFile(dir / "src" / "a", "A");
    writeFile(dir / "src" / "b", "B");
    PasteResult r = copier.paste(Clipboard{false, {localEntry(d("src/a")), localEntry(d("src/b"))}},
                                 {here(), folder("dst")});
    EXPECT_EQ(r.copied, 2);
    EXPECT_EQ(readFile(dir / "dst" / "a"), "A");
    EXPECT_EQ(readFile(dir / "dst" / "b"), "B");
    EXPECT_TRUE(fs::exists(dir / "src" / "a"));
}

TEST_F(Local, ReplaceQuestion) {
    fs::create_directories(dir / "src");
    fs::create_directories(dir / "dst");
    writeFile(dir / "src" / "f", "NEW");
    writeFile(dir / "dst" / "f", "OLD");
    prompter.answers = {false};
    EXPECT_EQ(copier.CopiarElement(here(), here(), folder("dst"), d("src/f")), TransferResult::Skipped);
    EXPECT_EQ(readFile(dir / "dst" / "f"), "OLD");
    EXPECT_EQ(asked(), std::vector<std::string>{"yesno: The file " + d("dst/f") +
                                                " already exists.\rDo you want to replace it?"});
    prompter.answers = {true};
    EXPECT_EQ(copier.CopiarElement(here(), here(), folder("dst"), d("src/f")), TransferResult::Copied);
    EXPECT_EQ(readFile(dir / "dst" / "f"), "NEW");
}

TEST_F(Local, ExistingFolderQuestion) {
    fs::create_directories(dir / "src" / "tree");
    fs::create_directories(dir / "dst" / "tree");
    writeFile(dir / "src" / "tree" / "f", "x");
    prompter.answers = {false};
    EXPECT_EQ(copier.CopiarElement(here(), here(), folder("dst"), folder("src/tree")), TransferResult::Skipped);
    EXPECT_FALSE(fs::exists(dir / "dst" / "tree" / "f"));
    EXPECT_EQ(asked(), std::vector<std::string>{"yesno: The folder " + folder("dst/tree") +
                                                " already exists. If you continue all the repeated files will be "
                                                "replaced.\rDo you want to continue?"});
    prompter.answers = {true};
    EXPECT_EQ(copier.CopiarElement(here(), here(), folder("dst"), folder("src/tree")), TransferResult::Copied);
    EXPECT_EQ(readFile(dir / "dst" / "tree" / "f"), "x");
}

TEST_F(Local, CutIntoTheSamePlaceKeepsEverything) {
    // A file into its own folder, a folder into its own parent, and the same
    // folder reached through a link: nothing is copied, nothing deleted.
    fs::create_directories(dir / "data" / "tree");
    writeFile(dir / "data" / "f", "only copy");
    writeFile(dir / "data" / "tree" / "g", "only copy too");
    fs::create_directory_symlink(dir / "data", dir / "alias");
    for (const std::string& target : {folder("data"), folder("alias")}) {
        SCOPED_TRACE(target);
        PasteResult r = copier.paste(Clipboard{true, {localEntry(d("data/f")), localEntry(folder("data/tree"))}},
                                     {here(), target});
        EXPECT_EQ(r.copied, 0) << sink.dump();
        EXPECT_EQ(r.skipped, 2);
        EXPECT_EQ(r.deleted, 0);
        EXPECT_EQ(readFile(dir / "data" / "f"), "only copy");
        EXPECT_EQ(readFile(dir / "data" / "tree" / "g"), "only copy too");
    }
    EXPECT_GE(sink.beeps, 4);
    EXPECT_TRUE(asked().empty()); // no replace or folder question either
}

TEST_F(Local, SubFolderRule) {
    fs::create_directories(dir / "data" / "a" / "inner");
    fs::create_directories(dir / "data" / "ab");
    writeFile(dir / "data" / "a" / "f", "x");
    const std::string message = "message: The folder '" + folder("data/a") +
                                "' can not be copied.\rThe Destination folder is a sub-folder of the Source folder.";
    struct Case {
        std::string dest;
        bool refused;
    };
    const Case cases[] = {
        {folder("data/a/inner"), true},
        {folder("data/a"), true}, // into itself
        {folder("data/ab"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dest);
        prompter.asked.clear();
        TransferResult r = copier.CopiarElement(here(), here(), c.dest, folder("data/a"));
        if (c.refused) {
            EXPECT_EQ(r, TransferResult::Skipped);
            EXPECT_EQ(asked(), std::vector<std::string>{message});
        } else {
            EXPECT_EQ(r, TransferResult::Copied) << sink.dump();
            EXPECT_TRUE(asked().empty());
        }
    }
    EXPECT_EQ(readFile(dir / "data" / "ab" / "a" / "f"), "x");
    EXPECT_FALSE(fs::exists(dir / "data" / "a" / "inner" / "a"));
    EXPECT_FALSE(fs::exists(dir / "data" / "a" / "a"));
}

TEST_F(Local, SubFolderReachedThroughALinkIsRefusedToo) {
    fs::create_directories(dir / "data" / "a" / "inner");
    fs::create_directory_symlink(dir / "data" / "a" / "inner", dir / "shortcut");
    EXPECT_EQ(copier.CopiarElement(here(), here(), folder("shortcut"), folder("data/a")), TransferResult::Skipped);
    EXPECT_FALSE(fs::exists(dir / "data" / "a" / "inner" / "a"));
}

TEST_F(Local, LinksAreCopiedAsLinksAndFifosSkipped) {
    fs::create_directories(dir / "outside" / "big");
    writeFile(dir / "outside" / "big" / "secret", "not part of the tree");
    fs::create_directories(dir / "src" / "tree");
    writeFile(dir / "src" / "tree" / "f", "x");
    fs::create_directory_symlink(dir / "outside" / "big", dir / "src" / "tree" / "dirlink");
    fs::create_directory_symlink("..", dir / "src" / "tree" / "loop"); // a loop, when followed
    ASSERT_EQ(::mkfifo((dir / "src" / "tree" / "pipe").c_str(), 0600), 0);
    fs::create_directories(dir / "dst");
    PasteResult r = copier.paste(Clipboard{true, {localEntry(folder("src/tree"))}}, {here(), folder("dst")});
    // The FIFO was not copied: the tree is not whole, so the cut keeps it.
    EXPECT_EQ(r.skipped, 1) << sink.dump();
    EXPECT_EQ(r.deleted, 0);
    EXPECT_TRUE(fs::is_symlink(dir / "dst" / "tree" / "dirlink"));
    EXPECT_EQ(fs::read_symlink(dir / "dst" / "tree" / "dirlink"), dir / "outside" / "big");
    EXPECT_EQ(fs::read_symlink(dir / "dst" / "tree" / "loop"), "..");
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "dst" / "tree" / "pipe")));
    EXPECT_EQ(readFile(dir / "dst" / "tree" / "f"), "x");
    EXPECT_TRUE(fs::exists(dir / "src" / "tree" / "pipe"));
    EXPECT_TRUE(sink.anyStartsWith("-" + d("src/tree/pipe")));

    // Without the FIFO the tree is whole: the cut deletes the links as links.
    fs::remove(dir / "src" / "tree" / "pipe");
    fs::remove_all(dir / "dst");
    fs::create_directories(dir / "dst");
    r = copier.paste(Clipboard{true, {localEntry(folder("src/tree"))}}, {here(), folder("dst")});
    EXPECT_EQ(r.copied, 1) << sink.dump();
    EXPECT_EQ(r.deleted, 1);
    EXPECT_FALSE(fs::exists(dir / "src" / "tree"));
    EXPECT_EQ(readFile(dir / "outside" / "big" / "secret"), "not part of the tree");
}

TEST_F(Local, CutDeletesOnlyWhatWasCopied) {
    fs::create_directories(dir / "src");
    fs::create_directories(dir / "dst");
    writeFile(dir / "src" / "declined", "mine");
    writeFile(dir / "dst" / "declined", "theirs");
    writeFile(dir / "src" / "moved", "go");
    prompter.answers = {false}; // replace "declined"? No
    PasteResult r = copier.paste(Clipboard{true, {localEntry(d("src/declined")), localEntry(d("src/moved")),
                                                  localEntry(d("src/missing"))}},
                                 {here(), folder("dst")});
    EXPECT_EQ(r.copied, 1);
    EXPECT_EQ(r.skipped, 1);
    EXPECT_EQ(r.failed, 1);
    EXPECT_EQ(r.deleted, 1);
    EXPECT_EQ(readFile(dir / "src" / "declined"), "mine");
    EXPECT_EQ(readFile(dir / "dst" / "declined"), "theirs");
    EXPECT_FALSE(fs::exists(dir / "src" / "moved"));
    EXPECT_EQ(readFile(dir / "dst" / "moved"), "go");
}

TEST_F(Local, CutFollowsRecycleBin) {
    const fs::path xdg = testHome() / "xdg";
    ::setenv("XDG_DATA_HOME", xdg.c_str(), 1);
    fs::create_directories(dir / "src" / "tree");
    fs::create_directories(dir / "dst");
    writeFile(dir / "src" / "tree" / "f", "x");
    writeFile(dir / "src" / "g", "y");
    copier.setRecycleMode(RecycleMode::Keep);
    PasteResult kept = copier.paste(Clipboard{true, {localEntry(d("src/g"))}}, {here(), folder("dst")});
    EXPECT_EQ(kept.copied, 1);
    EXPECT_EQ(kept.notDeleted, 1);
    EXPECT_TRUE(fs::exists(dir / "src" / "g"));
    fs::remove(dir / "dst" / "g");

    copier.setRecycleMode(RecycleMode::Trash);
    PasteResult r = copier.paste(Clipboard{true, {localEntry(folder("src/tree")), localEntry(d("src/g"))}},
                                 {here(), folder("dst")});
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(r.deleted, 2) << sink.dump();
    EXPECT_FALSE(fs::exists(dir / "src" / "tree"));
    EXPECT_FALSE(fs::exists(dir / "src" / "g"));
    // File by file (exactly what was copied), then the emptied folder.
    EXPECT_EQ(readFile(xdg / "Trash" / "files" / "f"), "x");
    EXPECT_EQ(readFile(xdg / "Trash" / "files" / "g"), "y");
}

TEST_F(Local, ReplacementThatFailsKeepsTheOldFile) {
    fs::create_directories(dir / "src");
    fs::create_directories(dir / "dst");
    writeFile(dir / "src" / "f", patternBytes(400000));
    writeFile(dir / "dst" / "f", "OLD");
    prompter.answers = {true};
    PasteResult r;
    {
        FileSizeLimit limit(100000);
        r = copier.paste(Clipboard{true, {localEntry(d("src/f"))}}, {here(), folder("dst")});
    }
    EXPECT_EQ(r.failed, 1) << sink.dump();
    EXPECT_EQ(r.deleted, 0);
    EXPECT_EQ(readFile(dir / "dst" / "f"), "OLD");
    EXPECT_TRUE(fs::exists(dir / "src" / "f"));
    EXPECT_TRUE(sink.anyStartsWith(">ERROR copying " + d("src/f")));
}

TEST_F(Local, CancelStopsThePasteAndKeepsTheSource) {
    fs::create_directories(dir / "src");
    fs::create_directories(dir / "dst");
    writeFile(dir / "src" / "a", "A");
    writeFile(dir / "src" / "b", "B");
    engine.wait().abort();
    PasteResult r = copier.paste(Clipboard{true, {localEntry(d("src/a")), localEntry(d("src/b"))}},
                                 {here(), folder("dst")});
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.deleted, 0);
    EXPECT_TRUE(fs::exists(dir / "src" / "a"));
    EXPECT_FALSE(fs::exists(dir / "dst" / "b"));
}

TEST_F(Local, NothingToPaste) {
    PasteResult r = copier.paste(Clipboard{false, {}}, {here(), folder("")});
    EXPECT_TRUE(r.nothingToPaste);
    EXPECT_EQ(asked(), std::vector<std::string>{"message: There is nothing to paste."});
}

TEST_F(Local, PasteFromTheClipboardFile) {
    fs::create_directories(dir / "src");
    fs::create_directories(dir / "dst");
    writeFile(dir / "src" / "f", "F");
    ASSERT_TRUE(writeClipboard(true, {localEntry(d("src/f"))}));
    auto clip = readClipboard();
    ASSERT_TRUE(clip);
    EXPECT_EQ(copier.paste(*clip, {here(), folder("dst")}).deleted, 1);
    // The file stays; a second paste finds the source gone.
    ASSERT_TRUE(clipboardExists());
    fs::remove(dir / "dst" / "f");
    PasteResult again = copier.paste(*readClipboard(), {here(), folder("dst")});
    EXPECT_EQ(again.failed, 1);
    EXPECT_FALSE(fs::exists(dir / "dst" / "f"));
}

} // namespace
} // namespace vn::test
