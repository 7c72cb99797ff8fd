// Copies against the scripted fake server: hostile listings, refused
// transfers and what a cut then keeps, replacements that fail, stale
// sessions, server-to-server through the window's TEMP folder.
#include "CopyFixture.h"

#include "ftp/engine/transfer/ResumeStore.h"

namespace vn::test {
namespace {

std::string fileLine(const std::string& name, std::size_t size = 5) {
    return "-rw-r--r--    1 ftp      ftp      " + std::to_string(size) + " Jan 01 00:00 " + name + "\r\n";
}
std::string folderLine(const std::string& name) {
    return "drwxr-xr-x    2 ftp      ftp      4096 Jan 01 00:00 " + name + "\r\n";
}
std::string opening(std::size_t bytes) {
    return "150 Opening BINARY mode data connection (" + std::to_string(bytes) + " bytes).\r\n";
}

struct FakeCopy : CopyFixture {
    std::unique_ptr<FakeFtpServer> a = FakeFtpServer::loginScript();
    std::unique_ptr<FakeFtpServer> b = FakeFtpServer::loginScript();

    static int count(const FakeFtpServer& s, const std::string& prefix) {
        int n = 0;
        for (const auto& c : s.commands())
            if (c.rfind(prefix, 0) == 0) ++n;
        return n;
    }
    int logCount(const std::string& line) const {
        auto v = sink.log();
        return static_cast<int>(std::count(v.begin(), v.end(), line));
    }
    std::vector<std::string> filesIn(const fs::path& p) {
        std::vector<std::string> out;
        for (auto& e : fs::directory_iterator(p)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
};

TEST_F(FakeCopy, HostileNamesInAListingNeverLeaveTheDestination) {
    a->dataActive()
        .onList(fileLine("ok.txt") + fileLine("../x") + fileLine("a/b") + folderLine("..") + folderLine("../../up") +
                folderLine("."))
        .onData("RETR", "hello", opening(5));
    SessionId id = connect(a->port(), false);
    fs::create_directories(dir / "dst");
    PasteResult r = copier.paste(Clipboard{false, {remoteEntry(id, "/hostile/")}}, {here(), folder("dst")});
    EXPECT_EQ(r.copied, 1) << sink.dump();
    EXPECT_EQ(filesIn(dir / "dst"), std::vector<std::string>{"hostile"});
    EXPECT_EQ(filesIn(dir / "dst" / "hostile"), std::vector<std::string>{"ok.txt"});
    EXPECT_EQ(readFile(dir / "dst" / "hostile" / "ok.txt"), "hello");
    EXPECT_EQ(filesIn(dir), std::vector<std::string>{"dst"});
    EXPECT_FALSE(fs::exists(dir.parent_path() / "up"));
    for (const auto& c : a->commands()) EXPECT_EQ(c.find(".."), std::string::npos) << c;
}

TEST_F(FakeCopy, AServerThatNestsForeverIsStopped) {
    a->dataActive().onList(folderLine("sub"));
    SessionId id = connect(a->port(), false);
    fs::create_directories(dir / "dst");
    PasteResult r = copier.paste(Clipboard{false, {remoteEntry(id, "/deep/")}}, {here(), folder("dst")});
    EXPECT_EQ(r.failed, 1);
    EXPECT_TRUE(sink.anyStartsWith(">ERROR: Folders nested deeper than 64 levels;")) << sink.dump();
    EXPECT_LE(count(*a, "LIST"), FtpCopier::kMaxDepth + 1);
}

TEST_F(FakeCopy, CutWhoseUploadIsRefusedKeepsItsSource) {
    FtpSettings s;
    s.RxRT = 1;
    configure(s);
    a->dataActive().on("STOR", "553 Could not create file.\r\n").on("MKD", "257 Created.\r\n");
    SessionId id = connect(a->port(), false);
    fs::create_directories(dir / "src" / "tree");
    writeFile(dir / "src" / "f", "mine");
    writeFile(dir / "src" / "tree" / "g", "mine too");
    PasteResult r = copier.paste(Clipboard{true, {localEntry(d("src/f")), localEntry(folder("src/tree"))}},
                                 {remote(id), "/in/"});
    EXPECT_EQ(r.failed, 2) << sink.dump();
    EXPECT_EQ(r.deleted, 0);
    EXPECT_EQ(readFile(dir / "src" / "f"), "mine");
    EXPECT_EQ(readFile(dir / "src" / "tree" / "g"), "mine too");
    EXPECT_EQ(count(*a, "STOR /in/f"), 2); // RxRT = 1: one retry
    EXPECT_EQ(count(*a, "STOR /in/tree/g"), 2);
    EXPECT_EQ(logCount(">Trying again..."), 2);
}

TEST_F(FakeCopy, CutWhoseDownloadFailsKeepsItsSource) {
    FtpSettings s;
    s.TxRT = 2;
    configure(s);
    a->dataActive().on("RETR", "550 Failed to open file.\r\n").on("DELE", "250 Deleted.\r\n");
    SessionId id = connect(a->port(), false);
    fs::create_directories(dir / "dst");
    PasteResult r = copier.paste(Clipboard{true, {remoteEntry(id, "/pub/f")}}, {here(), folder("dst")});
    EXPECT_EQ(r.failed, 1);
    EXPECT_EQ(count(*a, "RETR /pub/f"), 3); // TxRT = 2: two retries
    EXPECT_EQ(logCount(">Trying again..."), 2);
    EXPECT_EQ(count(*a, "DELE"), 0);
    EXPECT_FALSE(fs::exists(dir / "dst" / "f"));
}

TEST_F(FakeCopy, FailedDownloadOverAFileKeepsTheOldOneAndResumesLater) {
    FtpSettings s;
    s.TxRT = 0;
    s.DeleteFileAfterDownload = true;
    configure(s);
    const std::string data = patternBytes(50000);
    // 426 after part of the data: a cut transfer, never a whole file.
    a->dataActive()
        .onData("RETR", data.substr(0, 20000), opening(data.size()), "426 Connection closed; transfer aborted.\r\n")
        .on("DELE", "250 Deleted.\r\n");
    SessionId id = connect(a->port(), false);
    transfer.SeleccionaTYPE(id, TransferMode::Binary, "f");
    copier.setTransferMode(TransferMode::Binary);
    fs::create_directories(dir / "dst");
    writeFile(dir / "dst" / "f", "OLD");
    prompter.answers = {true};
    EXPECT_EQ(copier.CopiarElement(remote(id), here(), folder("dst"), "/pub/f"), TransferResult::Failed)
        << sink.dump();
    EXPECT_TRUE(sink.has(">ERROR with RETR command.")) << sink.dump();
    EXPECT_EQ(readFile(dir / "dst" / "f"), "OLD");
    EXPECT_EQ(asked(), std::vector<std::string>{"yesno: " + FtpCopier::replaceQuestion(d("dst/f"))});
    EXPECT_EQ(count(*a, "DELE"), 0);
    // What arrived waits beside it, hidden, with its record.
    auto recs = ResumeStore().records();
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].destination, d("dst/f"));
    EXPECT_EQ(recs[0].marker, 20000u);
    EXPECT_EQ(readFile(recs[0].partial), data.substr(0, 20000));
    EXPECT_EQ(fs::path(recs[0].partial).parent_path(), dir / "dst");

    // The next paste offers Smart Resume, continues at 20000, replaces the
    // old file and only then deletes the source.
    b->dataActive()
        .on("REST 20000", "350 Restarting at 20000.\r\n")
        .onData("RETR", data.substr(20000), opening(data.size()))
        .on("DELE", "250 Deleted.\r\n");
    SessionId id2 = connect(b->port(), false);
    sink.resumeAnswers = {FtpSink::ResumeAnswer::Resume};
    prompter.answers.clear();
    EXPECT_EQ(copier.CopiarElement(remote(id2), here(), folder("dst"), "/pub/f"), TransferResult::Copied)
        << sink.dump();
    EXPECT_EQ(readFile(dir / "dst" / "f"), data);
    EXPECT_EQ(filesIn(dir / "dst"), std::vector<std::string>{"f"}); // no partial file left
    EXPECT_TRUE(ResumeStore().records().empty());
    EXPECT_EQ(count(*b, "REST 20000"), 1);
    EXPECT_EQ(count(*b, "DELE /pub/f"), 1);
}

TEST_F(FakeCopy, ServerToServerNeverDeletesOnBehalfOfItsTemporaryFile) {
    FtpSettings s;
    s.DeleteFileAfterDownload = true;
    s.DeleteFileAfterUpload = true;
    configure(s);
    const std::string data = patternBytes(123457);
    a->dataActive().onData("RETR", data, opening(data.size())).on("DELE", "250 Deleted.\r\n");
    b->dataActive().onUpload("STOR");
    SessionId ia = connect(a->port(), false), ib = connect(b->port(), false);
    PasteResult r = copier.paste(Clipboard{true, {remoteEntry(ia, "/pub/f.bin")}}, {remote(ib), "/in/"});
    EXPECT_EQ(r.copied, 1) << sink.dump();
    ASSERT_EQ(b->uploads().size(), 1u);
    EXPECT_TRUE(b->uploads()[0] == data);
    EXPECT_EQ(count(*b, "STOR /in/f.bin"), 1);
    // The one DELE is the cut's, after the copy; the temporary file is gone.
    EXPECT_EQ(count(*a, "DELE"), 1);
    EXPECT_EQ(r.deleted, 1);
    EXPECT_FALSE(sink.anyStartsWith("File ")) << sink.dump(); // no local delete-after-upload
    EXPECT_TRUE(temp.folder().empty() || filesIn(temp.folder()).empty());
    EXPECT_EQ(FtpCopier::serverTempName(312, 344), "temp312344.tmp");
    // Total gauge: download, upload and the deletion.
    ASSERT_FALSE(sink.totals.empty());
    EXPECT_EQ(sink.totals.front(), (std::pair<std::uint64_t, std::uint64_t>(0, 3)));
    EXPECT_EQ(sink.totals.back(), (std::pair<std::uint64_t, std::uint64_t>(3, 3)));
}

TEST_F(FakeCopy, ServerToServerRetryCounts) {
    FtpSettings s;
    s.RxRT = 1;
    s.TxRT = 1;
    configure(s);
    a->dataActive().onData("RETR", "data", opening(4));
    b->dataActive().on("STOR", "553 Could not create file.\r\n");
    SessionId ia = connect(a->port(), false), ib = connect(b->port(), false);
    EXPECT_EQ(copier.CopiarElement(remote(ia), remote(ib), "/in/", "/pub/f"), TransferResult::Failed);
    EXPECT_EQ(count(*a, "RETR"), 1);
    EXPECT_EQ(count(*b, "STOR"), 2);
    EXPECT_TRUE(temp.folder().empty() || filesIn(temp.folder()).empty());
}

TEST_F(FakeCopy, CutWithDeleteAfterTransferDeletesEachSourceOnce) {
    FtpSettings s;
    s.DeleteFileAfterDownload = true;
    s.DeleteFileAfterUpload = true;
    s.RecycleBin = false;
    configure(s);
    a->dataActive().onData("RETR", "data", opening(4)).on("DELE", "250 Deleted.\r\n").onUpload("STOR");
    SessionId id = connect(a->port(), false);
    fs::create_directories(dir / "dst");
    writeFile(dir / "up", "U");
    PasteResult down = copier.paste(Clipboard{true, {remoteEntry(id, "/pub/f")}}, {here(), folder("dst")});
    PasteResult up = copier.paste(Clipboard{true, {localEntry(d("up"))}}, {remote(id), "/in/"});
    EXPECT_EQ(down.deleted, 1);
    EXPECT_EQ(up.deleted, 1);
    EXPECT_EQ(count(*a, "DELE /pub/f"), 1);
    EXPECT_FALSE(fs::exists(dir / "up"));
    EXPECT_FALSE(sink.anyStartsWith(">ERROR")) << sink.dump();
}

TEST_F(FakeCopy, StaleOrMismatchedSessionsAreSkipped) {
    a->dataActive().onData("RETR", "data", opening(4));
    SessionId id = connect(a->port(), false);
    fs::create_directories(dir / "dst");
    Clipboard clip{true,
                   {ClipEntry{id + 1000, "127.0.0.1", "/f", false, -1}, ClipEntry{id, "10.9.9.9", "/g", true, 21}}};
    PasteResult r = copier.paste(clip, {here(), folder("dst")});
    EXPECT_EQ(r.failed, 2);
    EXPECT_EQ(r.deleted, 0);
    EXPECT_TRUE(sink.has(">ERROR: The connection to 127.0.0.1 of /f is no longer open; it was not copied."))
        << sink.dump();
    EXPECT_TRUE(sink.has(">ERROR: The connection to 10.9.9.9 of /g is no longer open; it was not copied."));
    EXPECT_EQ(count(*a, "RETR"), 0);
    EXPECT_EQ(count(*a, "DELE"), 0);
    EXPECT_TRUE(filesIn(dir / "dst").empty());

    // A destination whose session ended: nothing at all.
    engine.DesConnecta(id);
    writeFile(dir / "f", "x");
    PasteResult none = copier.paste(Clipboard{true, {localEntry(d("f"))}}, {remote(id), "/in/"});
    EXPECT_EQ(none.failed, 1);
    EXPECT_TRUE(fs::exists(dir / "f"));
}

TEST_F(FakeCopy, LocalFolderMayGoToAServerFolderOfTheSameName) {
    a->dataActive().on("MKD", "257 Created.\r\n").onUpload("STOR");
    SessionId id = connect(a->port(), false);
    fs::create_directories(dir / "same");
    writeFile(dir / "same" / "f", "F");
    // The server folder has the local folder's own path: another file system.
    EXPECT_EQ(copier.CopiarElement(here(), remote(id), folder("same"), folder("same")), TransferResult::Copied)
        << sink.dump();
    EXPECT_TRUE(asked().empty());
    EXPECT_EQ(count(*a, "MKD " + d("same/same")), 1);
    EXPECT_EQ(count(*a, "STOR " + d("same/same/f")), 1);
}

TEST_F(FakeCopy, TwoSessionsOfOneServerShareItsFiles) {
    a->dataActive().onList(fileLine("f")).onData("RETR", "data", opening(4)).on("MKD", "257 Created.\r\n");
    SessionId s1 = connect(a->port(), false), s2 = connect(a->port(), false);
    // A folder into its own sub-folder, and a file onto itself, from the other session.
    EXPECT_EQ(copier.CopiarElement(remote(s1), remote(s2), "/a/b/", "/a/"), TransferResult::Skipped);
    EXPECT_EQ(asked(), std::vector<std::string>{"message: " + FtpCopier::subFolderMessage("/a/")});
    PasteResult r = copier.paste(Clipboard{true, {remoteEntry(s1, "/a/f")}}, {remote(s2), "/a/"});
    EXPECT_EQ(r.skipped, 1);
    EXPECT_EQ(count(*a, "LIST"), 0);
    EXPECT_EQ(count(*a, "RETR"), 0);
    EXPECT_EQ(count(*a, "DELE"), 0);
    // "/a" may go into "/ab/".
    a->onUpload("STOR");
    EXPECT_EQ(copier.CopiarDirectori(remote(s1), remote(s2), "/ab/a", "/a/"), TransferResult::Copied) << sink.dump();
    EXPECT_EQ(count(*a, "MKD /ab/a"), 1);
}

} // namespace
} // namespace vn::test

namespace vn::test {
namespace {

// ---- what a cut deletes ----

// A file the server folder gains while the copy runs is never deleted: the
// cut deletes what was copied, then the folder only if it is empty, and says
// what stays.
TEST_F(FakeCopy, CutFromTheServerKeepsWhatArrivedDuringTheCopy) {
    const std::string data = patternBytes(20000);
    a->dataActive()
        .onData("LIST /sub", fileLine("a.txt", data.size()), "150 Here comes the listing.\r\n", "226 Done.\r\n")
        .onData("RETR /sub/a.txt", data, opening(data.size()))
        .on("DELE", "250 Deleted.\r\n")
        .on("RMD", "550 Remove directory operation failed.\r\n");
    SessionId id = connect(a->port(), false);
    fs::create_directories(dir / "dst");
    bool added = false;
    sink.onProgress = [&](std::uint64_t, std::uint64_t) {
        if (added) return;
        added = true;
        // Someone uploads late.txt into /sub meanwhile.
        a->onData("LIST /sub", fileLine("late.txt"), "150 Here comes the listing.\r\n", "226 Done.\r\n");
    };
    PasteResult r = copier.paste(Clipboard{true, {remoteEntry(id, "/sub/")}}, {here(), folder("dst")});
    sink.onProgress = nullptr;
    ASSERT_TRUE(added);
    EXPECT_EQ(sha256Of(dir / "dst" / "sub" / "a.txt"), sha256OfBytes(data));
    EXPECT_EQ(count(*a, "RETR /sub/a.txt"), 1);
    EXPECT_EQ(count(*a, "DELE /sub/a.txt"), 1);
    EXPECT_EQ(count(*a, "DELE /sub/late.txt"), 0) << sink.dump();
    EXPECT_EQ(count(*a, "DELE"), 1);
    EXPECT_EQ(r.notDeleted, 1);
    EXPECT_TRUE(sink.has("-The folder /sub stays: it holds late.txt, which was not copied.")) << sink.dump();
}

TEST_F(FakeCopy, CutToTheServerKeepsWhatArrivedDuringTheCopy) {
    a->dataActive().onUpload("STOR").on("MKD", "257 Created.\r\n");
    SessionId id = connect(a->port(), false);
    fs::create_directories(dir / "src" / "tree");
    const std::string data = patternBytes(300000);
    writeFile(dir / "src" / "tree" / "a.bin", data);
    bool added = false;
    sink.onProgress = [&](std::uint64_t, std::uint64_t) {
        if (added) return;
        added = true;
        writeFile(dir / "src" / "tree" / "late.txt", "not uploaded");
    };
    PasteResult r = copier.paste(Clipboard{true, {localEntry(folder("src/tree"))}}, {remote(id), "/in/"});
    sink.onProgress = nullptr;
    ASSERT_TRUE(added);
    ASSERT_EQ(a->uploads().size(), 1u);
    EXPECT_EQ(sha256OfBytes(a->uploads()[0]), sha256OfBytes(data));
    EXPECT_EQ(count(*a, "STOR /in/tree/late.txt"), 0);
    // The uploaded file went; what came meanwhile and its folder stay.
    EXPECT_FALSE(fs::exists(dir / "src" / "tree" / "a.bin"));
    EXPECT_EQ(readFile(dir / "src" / "tree" / "late.txt"), "not uploaded");
    EXPECT_EQ(r.notDeleted, 1);
    EXPECT_TRUE(sink.has("-The folder " + d("src/tree") + " stays: it holds late.txt, which was not copied."))
        << sink.dump();
}

// Children first, then their folder: every RMD meets an empty folder, and
// the cut lists nothing again.
TEST_F(FakeCopy, CutEmptiesEachFolderBeforeRemovingIt) {
    const std::string listing = "150 Here comes the listing.\r\n";
    a->dataActive()
        .onData("LIST /sub/inner", fileLine("b.txt", 3), listing, "226 Done.\r\n")
        .onData("LIST /sub", fileLine("a.txt", 3) + folderLine("inner"), listing, "226 Done.\r\n")
        .onData("RETR", "abc", opening(3))
        .on("DELE", "250 Deleted.\r\n")
        .on("RMD", "250 Removed.\r\n");
    SessionId id = connect(a->port(), false);
    fs::create_directories(dir / "dst");
    PasteResult r = copier.paste(Clipboard{true, {remoteEntry(id, "/sub/")}}, {here(), folder("dst")});
    EXPECT_EQ(r.deleted, 1) << sink.dump();
    std::vector<std::string> removals;
    for (const auto& c : a->commands())
        if (c.rfind("DELE", 0) == 0 || c.rfind("RMD", 0) == 0) removals.push_back(c);
    EXPECT_EQ(removals, (std::vector<std::string>{"DELE /sub/a.txt", "DELE /sub/inner/b.txt", "RMD /sub/inner",
                                                  "RMD /sub"}));
    EXPECT_EQ(count(*a, "LIST"), 2);
    EXPECT_FALSE(sink.anyStartsWith("--->550")) << sink.dump();
    EXPECT_EQ(readFile(dir / "dst" / "sub" / "inner" / "b.txt"), "abc");
}

// ---- retries ----

// The retry counts are named from the server's side: "Reception re-tries"
// (RxRT) for what the server receives, our uploads; "Transmission re-tries"
// (TxRT) for what it transmits, our downloads.
TEST_F(FakeCopy, UploadsRetryRxRtTimesAndDownloadsTxRtTimes) {
    FtpSettings s;
    s.RxRT = 1;
    s.TxRT = 3;
    configure(s);
    a->dataActive().on("STOR", "553 Could not create file.\r\n").on("RETR", "550 Failed to open file.\r\n");
    SessionId id = connect(a->port(), false);
    writeFile(dir / "up.bin", "x");
    fs::create_directories(dir / "dst");
    EXPECT_EQ(copier.CopiarElement(here(), remote(id), "/in/", d("up.bin")), TransferResult::Failed);
    EXPECT_EQ(copier.CopiarElement(remote(id), here(), folder("dst"), "/pub/f"), TransferResult::Failed);
    EXPECT_EQ(count(*a, "STOR /in/up.bin"), 1 + 1);
    EXPECT_EQ(count(*a, "RETR /pub/f"), 1 + 3);
}

// A retry after a cut download continues from where it stopped.
TEST_F(FakeCopy, ARetryContinuesTheCutDownloadWithoutAsking) {
    FtpSettings s;
    s.TxRT = 1;
    configure(s);
    const std::string data = patternBytes(40000);
    a->dataActive()
        .onData("RETR", data.substr(0, 15000), opening(data.size()), "426 Transfer aborted.\r\n")
        .on("REST 15000", "350 Restarting at 15000.\r\n");
    SessionId id = connect(a->port(), false);
    fs::create_directories(dir / "dst");
    bool switched = false;
    sink.onProgress = [&](std::uint64_t done, std::uint64_t) {
        if (done < 15000 || switched) return;
        switched = true;
        a->onData("RETR", data.substr(15000), opening(data.size()));
    };
    EXPECT_EQ(copier.CopiarElement(remote(id), here(), folder("dst"), "/pub/f"), TransferResult::Copied)
        << sink.dump();
    sink.onProgress = nullptr;
    EXPECT_TRUE(sink.resumeAsked.empty());
    EXPECT_EQ(count(*a, "REST 15000"), 1);
    EXPECT_EQ(sha256Of(dir / "dst" / "f"), sha256OfBytes(data));
}

} // namespace
} // namespace vn::test
