// Transfers against the scripted fake server: what real servers won't do
// (refused REST, refused RETR, no SIZE, a size announced short, a failing
// final reply), local file errors, and the delete-after-transfer rules.
#include "TransferFixture.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>

#include "common/IniFile.h"
#include "platform/Trash.h"

namespace vn::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Answer = FtpSink::ResumeAnswer;
using Progress = std::pair<std::uint64_t, std::uint64_t>;

const std::string kMid = "\xC2\xB7";

std::string opening(const std::string& name, std::size_t bytes) {
    return "150 Opening BINARY mode data connection for " + name + " (" + std::to_string(bytes) + " bytes).\r\n";
}

struct FakeTransfer : TransferFixture {
    std::unique_ptr<FakeFtpServer> server = FakeFtpServer::loginScript();
    fs::path dir = scratchDir("transfer");

    SessionId connect(bool passive = true, TransferMode mode = TransferMode::Binary) {
        auto id = engine.ConnectarAServidor(params(server->port(), passive));
        EXPECT_TRUE(id);
        if (!id) return 0;
        EXPECT_TRUE(transfer.SeleccionaTYPE(*id, mode, "file"));
        sink.clear();
        prompter.asked.clear(); // the welcome box
        return *id;
    }
    std::string local(const char* name) const { return (dir / name).string(); }
    int count(const std::string& prefix) const {
        int n = 0;
        for (const auto& c : server->commands())
            if (c.rfind(prefix, 0) == 0) ++n;
        return n;
    }
    void record(const std::string& type, const std::string& src, const std::string& dst, std::uint64_t marker) {
        ASSERT_TRUE(ResumeStore().append({type, "127.0.0.1", src, dst, marker, {}, {}, {}, {}}, todayLocal()));
    }

};

TEST_F(FakeTransfer, DownloadReadsToTheEndWhateverTheReplyAnnounces) {
    // In ASCII mode a file is longer on the wire than its size on the server.
    const std::string data = patternBytes(3000);
    for (bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        server = FakeFtpServer::loginScript();
        if (passive) server->dataPassive();
        else server->dataActive();
        server->onData("RETR", data, opening("f.txt", 1000));
        SessionId id = connect(passive);
        fs::remove(local("f.txt"));
        EXPECT_EQ(transfer.fesGET(id, "f.txt", local("f.txt")), TransferResult::Copied) << sink.dump();
        EXPECT_EQ(readFile(local("f.txt")), data);
        EXPECT_TRUE(sink.has(">File '" + local("f.txt") + "' transmitted OK.")) << sink.dump();
        EXPECT_TRUE(sink.has(kMid + ") 3000 Bytes received."));
        ASSERT_FALSE(sink.progress.empty());
        EXPECT_EQ(sink.progress.front(), Progress(0, 1000));
        EXPECT_EQ(sink.progress.back().first, 3000u);
        EXPECT_GE(sink.progress.back().second, 3000u); // the gauge never shows more than full
    }
}

TEST_F(FakeTransfer, DownloadLogsItsLinesInOrder) {
    const std::string data = patternBytes(5000);
    server->dataPassive().onData("RETR", data, opening("f.bin", 5000));
    SessionId id = connect();
    ASSERT_EQ(transfer.fesGET(id, "f.bin", local("f.bin")), TransferResult::Copied);
    auto log = sink.log();
    auto at = std::find(log.begin(), log.end(), ">RETR f.bin");
    ASSERT_NE(at, log.end()) << sink.dump();
    std::vector<std::string> tail(at, log.end());
    ASSERT_EQ(tail.size(), 8u) << sink.dump();
    EXPECT_EQ(tail[1], "--->" + opening("f.bin", 5000).substr(0, opening("f.bin", 5000).size() - 2));
    EXPECT_EQ(tail[2].rfind("Transmitting file... [", 0), 0u) << tail[2]; // replaced in place
    EXPECT_EQ(tail[3], kMid + ") 5000 Bytes received.");
    EXPECT_EQ(tail[4], "--->226 Transfer complete.");
    EXPECT_EQ(tail[5], ">File '" + local("f.bin") + "' transmitted OK.");
    EXPECT_EQ(tail[6].rfind(kMid + ")Time needed = ", 0), 0u) << tail[6];
    EXPECT_EQ(tail[7].rfind(kMid + ")Speed = ", 0), 0u) << tail[7];
    EXPECT_GT(sink.replacements, 0);
}

TEST_F(FakeTransfer, ProgressIsThrottledButTheLastStateIsShown) {
    const std::string data = patternBytes(2 << 20);
    server->dataPassive().onData("RETR", data, opening("f.bin", data.size()));
    SessionId id = connect();
    transfer.setProgressInterval(std::chrono::hours(1));
    ASSERT_EQ(transfer.fesGET(id, "f.bin", local("f.bin")), TransferResult::Copied);
    // The opening state and the final one, nothing in between.
    ASSERT_EQ(sink.progress.size(), 2u);
    EXPECT_EQ(sink.progress.back().first, data.size());
    EXPECT_TRUE(sink.has(kMid + ") " + std::to_string(data.size()) + " Bytes received."));
}

TEST_F(FakeTransfer, RefusedRestRestartsFromByteZero) {
    const std::string data = patternBytes(4000);
    server->dataPassive().on("REST 100", "502 REST not understood.\r\n").onData("RETR", data, opening("f.bin", 4000));
    SessionId id = connect();
    // A partial file that is NOT the data's beginning.
    const std::string partial = leavePartial("f.bin", local("f.bin"), std::string(100, 'x'), 100);
    sink.resumeAnswers.push_back(Answer::Resume);
    EXPECT_EQ(transfer.fesGET(id, "f.bin", local("f.bin")), TransferResult::Copied) << sink.dump();
    EXPECT_EQ(readFile(local("f.bin")), data); // not "xxx..." + data
    EXPECT_TRUE(sink.has(">REST 100"));
    EXPECT_TRUE(sink.has("-The server refused REST: the whole file is transferred."));
    EXPECT_EQ(sink.resumeAsked, (std::vector<std::string>{local("f.bin")}));
    EXPECT_FALSE(fs::exists(partial));
    EXPECT_TRUE(restRecords().empty());
}

TEST_F(FakeTransfer, AcceptedRestAppendsToThePartialFileAndRenamesIt) {
    const std::string data = patternBytes(4000);
    server->dataPassive().on("REST 100", "350 Restarting at 100.\r\n").onData("RETR", data.substr(100), opening("f.bin", 4000));
    SessionId id = connect();
    const std::string partial = leavePartial("f.bin", local("f.bin"), data.substr(0, 100), 100);
    sink.resumeAnswers.push_back(Answer::Resume);
    EXPECT_EQ(transfer.fesGET(id, "f.bin", local("f.bin")), TransferResult::Copied) << sink.dump();
    EXPECT_EQ(readFile(local("f.bin")), data);
    ASSERT_FALSE(sink.progress.empty());
    EXPECT_EQ(sink.progress.front().first, 100u);
    EXPECT_TRUE(restRecords().empty());
    EXPECT_FALSE(fs::exists(partial));
}

TEST_F(FakeTransfer, ResumeOnlyFromThePartialFileTheRecordNames) {
    const std::string data = patternBytes(4000);
    struct Case {
        const char* what;
        std::uint64_t marker;
        std::size_t partialSize;
        bool withTime;
        std::function<void(const std::string&)> meanwhile; // done to the partial file before the paste
        std::string rest; // "" when no resume may happen
    } cases[] = {
        {"longer than the marker: cut back to it", 100, 1000, true, nullptr, "REST 100"},
        {"the program stopped: its own size", 100, 300, false, nullptr, "REST 300"},
        {"shorter than the marker", 1000, 100, true, nullptr, ""},
        {"written by someone else since", 100, 300, true,
         [](const std::string& p) {
             std::ofstream(p, std::ios::app) << "x";
             struct timespec t[2] = {{0, UTIME_OMIT}, {12345, 0}};
             ::utimensat(AT_FDCWD, p.c_str(), t, AT_SYMLINK_NOFOLLOW);
         },
         ""},
        {"replaced by another file", 100, 300, true,
         [](const std::string& p) {
             fs::remove(p);
             writeFile(p, patternBytes(300, 9));
         },
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        server = FakeFtpServer::loginScript();
        const std::size_t at = c.rest.empty() ? 0 : std::stoul(c.rest.substr(5));
        server->dataPassive().on("REST", "350 Ok.\r\n").onData("RETR", data.substr(at), opening("f.bin", 4000));
        SessionId id = connect();
        fs::remove(local("f.bin"));
        const std::string partial =
            leavePartial("f.bin", local("f.bin"), data.substr(0, c.partialSize), c.marker, c.withTime);
        if (c.meanwhile) c.meanwhile(partial);
        if (!c.rest.empty()) sink.resumeAnswers.push_back(Answer::Resume);
        EXPECT_EQ(transfer.fesGET(id, "f.bin", local("f.bin")), TransferResult::Copied) << sink.dump();
        EXPECT_EQ(count("REST") - count("REST 0"), c.rest.empty() ? 0 : 1); // "REST 0": the login's probe
        if (!c.rest.empty()) {
            EXPECT_EQ(count(c.rest), 1);
        }
        EXPECT_EQ(sink.resumeAsked.size(), c.rest.empty() ? 0u : 1u);
        // Never the server's tail on another file's head.
        EXPECT_EQ(readFile(local("f.bin")), data);
        EXPECT_TRUE(restRecords().empty());
        sink.clear();
        fs::remove(partial);
    }
}

TEST_F(FakeTransfer, SmartResumeAnswers) {
    const std::string data = patternBytes(1000);
    struct Case {
        Answer answer;
        TransferResult result;
        bool retr;
        bool kept; // the partial file and its record stay
    } cases[] = {
        {Answer::DontTransfer, TransferResult::Skipped, false, true},
        {Answer::TransferAll, TransferResult::Copied, true, false},
    };
    for (const auto& c : cases) {
        server = FakeFtpServer::loginScript();
        server->dataPassive().onData("RETR", data, opening("f.bin", 1000));
        SessionId id = connect();
        fs::remove(local("f.bin"));
        const std::string partial = leavePartial("f.bin", local("f.bin"), data.substr(0, 7), 7);
        sink.resumeAnswers.push_back(c.answer);
        EXPECT_EQ(transfer.fesGET(id, "f.bin", local("f.bin")), c.result);
        EXPECT_EQ(count("RETR"), c.retr ? 1 : 0);
        EXPECT_EQ(count("REST 7"), 0);
        EXPECT_TRUE(prompter.asked.empty()); // no replace question on top
        EXPECT_EQ(fs::exists(partial), c.kept);
        EXPECT_EQ(restRecords().size(), c.kept ? 1u : 0u);
        if (c.kept) EXPECT_FALSE(fs::exists(local("f.bin")));
        else EXPECT_EQ(readFile(local("f.bin")), data);
        fs::remove(partial);
        ResumeStore().remove("RETR", "127.0.0.1", "f.bin", local("f.bin"));
    }
}

TEST_F(FakeTransfer, RefusedRetrLeavesTheLocalFileAlone) {
    server->dataPassive().on("RETR", "550 No such file.\r\n");
    SessionId id = connect();
    writeFile(local("keep.bin"), "precious");
    prompter.answers.push_back(true); // replace it
    EXPECT_EQ(transfer.fesGET(id, "keep.bin", local("keep.bin")), TransferResult::Failed);
    EXPECT_EQ(readFile(local("keep.bin")), "precious");
    EXPECT_TRUE(sink.has(">ERROR with RETR command."));
    EXPECT_FALSE(sink.anyStartsWith(">File '"));
    EXPECT_EQ(prompter.asked,
              (std::vector<std::string>{"yesno: The file " + local("keep.bin") +
                                        " already exists.\rDo you want to replace it?"}));
    // And no empty file left behind when there was none.
    EXPECT_EQ(transfer.fesGET(id, "new.bin", local("new.bin")), TransferResult::Failed);
    EXPECT_FALSE(fs::exists(local("new.bin")));
}

TEST_F(FakeTransfer, DeclinedReplaceSendsNoTransferCommand) {
    server->dataPassive().onData("RETR", "new");
    SessionId id = connect();
    writeFile(local("old.bin"), "old");
    EXPECT_EQ(transfer.fesGET(id, "old.bin", local("old.bin")), TransferResult::Skipped);
    EXPECT_EQ(readFile(local("old.bin")), "old");
    EXPECT_EQ(count("RETR"), 0);
    EXPECT_EQ(count("PASV"), 0);
    EXPECT_EQ(count("PORT"), 0);
}

TEST_F(FakeTransfer, AsciiModeNeverResumes) {
    const std::string text = "line one\r\nline two\r\n";
    server->dataPassive().onData("RETR", text, "150 Opening ASCII mode data connection.\r\n");
    SessionId id = connect(true, TransferMode::Auto); // "file" has no extension: I
    ASSERT_TRUE(transfer.SeleccionaTYPE(id, TransferMode::Auto, "notes.txt"));
    EXPECT_EQ(transfer.typeInForce(id), 'A');
    const std::string partial = leavePartial("notes.txt", local("notes.txt"), "line", 4);
    EXPECT_EQ(transfer.fesGET(id, "notes.txt", local("notes.txt")), TransferResult::Copied);
    EXPECT_TRUE(sink.resumeAsked.empty());
    EXPECT_EQ(count("REST") - count("REST 0"), 0);
    EXPECT_EQ(readFile(local("notes.txt")), text);
    EXPECT_FALSE(fs::exists(partial));
    EXPECT_TRUE(server->waitForCommand("TYPE A", 1s));
}

TEST_F(FakeTransfer, FailedFinalReplyIsNoSuccessAndDeletesNothing) {
    FtpSettings s;
    s.DeleteFileAfterDownload = true;
    configure(s);
    server->dataPassive().onData("RETR", patternBytes(100), opening("f.bin", 100), "426 Transfer aborted.\r\n");
    server->on("DELE", "250 Deleted.\r\n");
    SessionId id = connect();
    EXPECT_EQ(transfer.fesGET(id, "f.bin", local("f.bin")), TransferResult::Failed);
    EXPECT_TRUE(sink.has(">ERROR with RETR command."));
    EXPECT_FALSE(sink.anyStartsWith(">File '"));
    EXPECT_EQ(count("DELE"), 0);
}

TEST_F(FakeTransfer, ServerDroppingTheSessionIsAFailureNotACancel) {
    server->dataPassive().onClose("RETR", "150 Opening data connection.\r\n");
    SessionId id = connect();
    EXPECT_EQ(transfer.fesGET(id, "f.bin", local("f.bin")), TransferResult::Failed) << sink.dump();
    EXPECT_FALSE(sink.anyStartsWith(">File '"));
}

TEST_F(FakeTransfer, DeleteAfterDownloadRemovesTheRemoteFile) {
    FtpSettings s;
    s.DeleteFileAfterDownload = true;
    configure(s);
    server->dataPassive().onData("RETR", "abc", opening("f.bin", 3)).on("DELE", "250 Deleted.\r\n");
    SessionId id = connect();
    EXPECT_EQ(transfer.fesGET(id, "/pub/f.bin", local("f.bin")), TransferResult::Copied);
    EXPECT_EQ(count("DELE /pub/f.bin"), 1);
    EXPECT_TRUE(sink.has(">DELE /pub/f.bin"));
}

TEST_F(FakeTransfer, LineBreaksInARemoteNameSendNothing) {
    server->dataPassive();
    SessionId id = connect();
    EXPECT_EQ(transfer.fesGET(id, "a\r\nDELE b", local("x")), TransferResult::Failed);
    writeFile(local("up"), "x");
    EXPECT_EQ(transfer.fesPUT(id, local("up"), "a\nDELE b"), TransferResult::Failed);
    EXPECT_EQ(count("PASV"), 0);
    EXPECT_EQ(count("DELE"), 0);
    EXPECT_FALSE(fs::exists(local("x")));
}

// ---- uploads ----

TEST_F(FakeTransfer, UploadSendsTheWholeFileInBothModes) {
    const std::string data = patternBytes(300000);
    writeFile(local("up.bin"), data);
    for (bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        server = FakeFtpServer::loginScript();
        if (passive) server->dataPassive();
        else server->dataActive();
        server->onUpload();
        SessionId id = connect(passive);
        EXPECT_EQ(transfer.fesPUT(id, local("up.bin"), "up.bin"), TransferResult::Copied) << sink.dump();
        ASSERT_EQ(server->uploads().size(), 1u);
        EXPECT_EQ(server->uploads()[0], data);
        EXPECT_TRUE(sink.has(">File 'up.bin' transmitted OK."));
        EXPECT_TRUE(sink.has(kMid + ") 300000 Bytes sent."));
        EXPECT_EQ(sink.progress.front(), Progress(0, 300000));
    }
}

TEST_F(FakeTransfer, UploadResumesAtTheRemoteSize) {
    const std::string data = patternBytes(1000);
    writeFile(local("up.bin"), data);
    struct Case {
        const char* name;
        std::string sizeReply; // "" : SIZE unknown to the server
        std::string restReply;
        std::string uploaded;
        bool rest;
    } cases[] = {
        {"resumed at SIZE, not at the marker", "213 40\r\n", "350 Restarting.\r\n", data.substr(40), true},
        {"no SIZE: the whole file", "", "350 Restarting.\r\n", data, false},
        {"REST refused: the whole file", "213 40\r\n", "502 No REST for STOR.\r\n", data, true},
        {"remote larger than local: the whole file", "213 5000\r\n", "350 Restarting.\r\n", data, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server = FakeFtpServer::loginScript();
        server->dataPassive().onUpload().on("REST 40", c.restReply);
        if (!c.sizeReply.empty()) server->on("SIZE", c.sizeReply);
        SessionId id = connect();
        recordUpload(local("up.bin"), "up.bin", 600); // more than the server really got
        sink.resumeAnswers.push_back(Answer::Resume);
        EXPECT_EQ(transfer.fesPUT(id, local("up.bin"), "up.bin"), TransferResult::Copied) << sink.dump();
        EXPECT_EQ(count("SIZE up.bin"), 1);
        EXPECT_EQ(count("REST 40"), c.rest ? 1 : 0);
        EXPECT_EQ(count("REST 600"), 0);
        ASSERT_EQ(server->uploads().size(), 1u);
        EXPECT_EQ(server->uploads()[0], c.uploaded);
    }
}

TEST_F(FakeTransfer, RefusedStorLeavesNoResumeRecord) {
    server->dataPassive().on("STOR", "553 Could not create file.\r\n");
    SessionId id = connect();
    writeFile(local("up.bin"), patternBytes(5000));
    EXPECT_EQ(transfer.fesPUT(id, local("up.bin"), "up.bin"), TransferResult::Failed);
    EXPECT_TRUE(sink.has(">ERROR with STOR command."));
    EXPECT_TRUE(restRecords().empty());
}

TEST_F(FakeTransfer, MissingOrFolderSourceSendsNothing) {
    server->dataPassive().onUpload();
    SessionId id = connect();
    fs::create_directories(dir / "a folder");
    for (std::string path : {local("missing.bin"), local("a folder")}) {
        SCOPED_TRACE(path);
        sink.clear();
        EXPECT_EQ(transfer.fesPUT(id, path, "x"), TransferResult::Failed);
        EXPECT_TRUE(sink.has(">ERROR with file " + path)) << sink.dump();
    }
    EXPECT_EQ(count("STOR"), 0);
    EXPECT_EQ(count("PASV"), 0);
}

TEST_F(FakeTransfer, UnreadableSourceFailsTheUploadAndTheServerSeesNoCompleteFile) {
    // Reading the process's own memory at address 0 fails with EIO: a source
    // that opens but cannot be read.
    FtpSettings s;
    s.DeleteFileAfterUpload = true;
    configure(s);
    server->dataPassive().onUpload("STOR", "150 Ok to send data.\r\n", "426 Connection reset.\r\n");
    SessionId id = connect();
    EXPECT_EQ(transfer.fesPUT(id, "/proc/self/mem", "mem"), TransferResult::Failed);
    EXPECT_TRUE(sink.anyStartsWith(">ERROR reading file /proc/self/mem (")) << sink.dump();
    EXPECT_FALSE(sink.anyStartsWith(">File '"));
    EXPECT_FALSE(sink.anyStartsWith("File /proc/self/mem"));
}

TEST_F(FakeTransfer, FailedUploadNeverDeletesItsSource) {
    FtpSettings s;
    s.DeleteFileAfterUpload = true;
    s.RecycleBin = false;
    configure(s);
    server->dataPassive().onUpload("STOR", "150 Ok to send data.\r\n", "451 Local error in processing.\r\n");
    SessionId id = connect();
    writeFile(local("up.bin"), "data");
    EXPECT_EQ(transfer.fesPUT(id, local("up.bin"), "up.bin"), TransferResult::Failed);
    EXPECT_TRUE(fs::exists(local("up.bin")));
    EXPECT_TRUE(sink.has(">ERROR with STOR command."));
}

struct ScopedEnv {
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_) setenv(name_, old_->c_str(), 1);
        else unsetenv(name_);
    }
    const char* name_;
    std::optional<std::string> old_;
};

TEST_F(FakeTransfer, DeleteAfterUploadByRecycleBin) {
    struct Case {
        bool recycleBin;
        bool trashUsable;
        std::string line; // after "File " + path
        bool gone, inTrash;
    } cases[] = {
        {true, true, " has been successfully sent to Recycle Bin", true, true},
        {false, true, " has been deleted successfully", true, false},
        {true, false, "", false, false}, // the trash cannot be made: the file stays
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(n);
        fs::path xdg = dir / ("xdg" + std::to_string(n));
        if (!c.trashUsable) writeFile(dir / "not-a-folder", "x"), xdg = dir / "not-a-folder" / "data";
        ScopedEnv env("XDG_DATA_HOME", xdg.string());
        FtpSettings s;
        s.DeleteFileAfterUpload = true;
        s.RecycleBin = c.recycleBin;
        configure(s);
        server = FakeFtpServer::loginScript();
        server->dataPassive().onUpload();
        SessionId id = connect();
        std::string path = local(("up" + std::to_string(n++) + ".bin").c_str());
        writeFile(path, "payload");
        EXPECT_EQ(transfer.fesPUT(id, path, "up.bin"), TransferResult::Copied);
        EXPECT_EQ(fs::exists(path), !c.gone);
        if (!c.line.empty()) EXPECT_TRUE(sink.has("File " + path + c.line)) << sink.dump();
        else EXPECT_TRUE(sink.anyStartsWith(">ERROR: File " + path + " could not be sent to Recycle Bin")) << sink.dump();
        EXPECT_EQ(fs::exists(xdg / "Trash" / "files" / fs::path(path).filename()), c.inTrash);
    }
}

// ---- a full disk ----

// The download runs in a child whose file size limit is 256 KiB (SIGXFSZ
// ignored, so writes past it fail with EFBIG, as on a full disk).
TEST_F(FakeTransfer, FullDiskFailsTheDownloadAndKeepsTheRemoteFile) {
    const std::string data = patternBytes(1 << 20);
    server->dataPassive().onData("RETR", data, opening("big.bin", data.size())).on("DELE", "250 Deleted.\r\n");
    const uint16_t port = server->port();
    const std::string path = local("big.bin");
    const fs::path report = dir / "child.log";
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit rl{256 * 1024, 256 * 1024};
        setrlimit(RLIMIT_FSIZE, &rl);
        TransferSink s;
        PlainPrompter p;
        FtpEngine e(s, p);
        FtpSettings st;
        st.DeleteFileAfterDownload = true;
        e.applySettings(st);
        FtpTransfer t(e);
        int code = 0;
        auto id = e.ConnectarAServidor(params(port, true));
        if (!id) code = 10;
        else if (!t.SeleccionaTYPE(*id, TransferMode::Binary, "big.bin")) code = 11;
        else {
            TransferResult r = t.fesGET(*id, "big.bin", path);
            if (r != TransferResult::Failed) code = 20 + static_cast<int>(r);
            else if (s.anyStartsWith(">File '")) code = 30;
            else if (!s.anyStartsWith(">ERROR writing file " + path + " (")) code = 31;
        }
        rl = {RLIM_INFINITY, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &rl);
        writeFile(report, s.dump());
        _exit(code);
    }
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + 30s;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            FAIL() << "the child did not finish";
        }
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << readFile(report);
    EXPECT_EQ(count("DELE"), 0);
    // Nothing under the final name; the partial file beside it holds what fit.
    EXPECT_FALSE(fs::exists(path));
    auto recs = restRecords();
    ASSERT_EQ(recs.size(), 1u);
    std::uint64_t size = fs::file_size(recs[0].partial);
    EXPECT_LE(size, 256u * 1024);
    EXPECT_EQ(readFile(recs[0].partial), data.substr(0, size));
    // Space freed, the download can continue from what is on the disk.
    EXPECT_GT(recs[0].marker, 0u);
    EXPECT_LE(recs[0].marker, size);
}

} // namespace
} // namespace vn::test

namespace vn::test {
namespace {

// ---- no byte lost ----

// A binary download with fewer bytes than its 150 reply announced is cut,
// whatever the 226 says: a failure with its record, and the next transfer
// resumes it to the whole file.
TEST_F(FakeTransfer, ShortBinaryTransferIsNeverOk) {
    const std::string data = "hello world"; // 11 bytes
    server->dataPassive().onData("RETR", data.substr(0, 5), opening("f.bin", 11));
    SessionId id = connect();
    EXPECT_EQ(transfer.fesGET(id, "f.bin", local("short.bin")), TransferResult::Failed) << sink.dump();
    EXPECT_TRUE(sink.has(">ERROR: 5 of the 11 bytes of 'f.bin' arrived.")) << sink.dump();
    EXPECT_FALSE(sink.anyStartsWith(">File '"));
    EXPECT_FALSE(fs::exists(local("short.bin")));
    auto recs = restRecords();
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].marker, 5u);
    EXPECT_EQ(readFile(recs[0].partial), "hello");

    server = FakeFtpServer::loginScript();
    server->dataPassive().on("REST 5", "350 Restarting at 5.\r\n").onData("RETR", data.substr(5), opening("f.bin", 11));
    engine.finishOperation();
    SessionId again = connect();
    sink.resumeAnswers.push_back(Answer::Resume);
    EXPECT_EQ(transfer.fesGET(again, "f.bin", local("short.bin")), TransferResult::Copied) << sink.dump();
    EXPECT_EQ(sha256Of(fs::path(local("short.bin"))), sha256OfBytes(data));
    EXPECT_TRUE(restRecords().empty());
}

TEST_F(FakeTransfer, AnnouncedSizeOnlyScalesTheGaugeInAsciiMode) {
    server->dataPassive().onData("RETR", "hello", "150 Opening ASCII mode data connection for f.txt (11 bytes).\r\n");
    SessionId id = connect(true, TransferMode::Ascii);
    EXPECT_EQ(transfer.fesGET(id, "f.txt", local("f.txt")), TransferResult::Copied) << sink.dump();
    EXPECT_EQ(readFile(local("f.txt")), "hello");
}

// A 426 after part of the data: the bytes that came are kept for a resume
// (with an error line), nothing stands under the final name.
TEST_F(FakeTransfer, AbortedReplyAfterPartialDataKeepsWhatCame) {
    const std::string data = patternBytes(30000);
    server->dataPassive().onData("RETR", data.substr(0, 12000), opening("f.bin", 30000),
                                 "426 Connection closed; transfer aborted.\r\n");
    SessionId id = connect();
    EXPECT_EQ(transfer.fesGET(id, "f.bin", local("cut.bin")), TransferResult::Failed);
    EXPECT_TRUE(sink.has(">ERROR with RETR command.")) << sink.dump();
    EXPECT_FALSE(fs::exists(local("cut.bin")));
    auto recs = restRecords();
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].marker, 12000u);
    EXPECT_FALSE(recs[0].mtime.empty());
    EXPECT_EQ(readFile(recs[0].partial), data.substr(0, 12000));
}

// TYPE goes out only when the type changes (a listing sets its own), and
// nothing about resuming is sent for files there is nothing to resume of.
TEST_F(FakeTransfer, OneTypePerChangeAndNoRestPerFile) {
    server->dataPassive().onData("RETR", "abc", opening("f", 3)).onList("");
    SessionId id = connect(); // TYPE I once
    for (int i = 0; i < 3; ++i) {
        const std::string name = "f" + std::to_string(i) + ".bin";
        ASSERT_TRUE(transfer.SeleccionaTYPE(id, TransferMode::Binary, name));
        ASSERT_EQ(transfer.fesGET(id, name, local(name.c_str())), TransferResult::Copied) << sink.dump();
    }
    EXPECT_EQ(count("TYPE"), 1);
    EXPECT_EQ(count("REST"), 1); // the login's probe only
    ASSERT_TRUE(engine.fesLIST(id, "/", false));
    EXPECT_EQ(count("TYPE A"), 1);
    ASSERT_TRUE(transfer.SeleccionaTYPE(id, TransferMode::Binary, "g.bin"));
    EXPECT_EQ(count("TYPE I"), 2); // back after the listing
    EXPECT_EQ(transfer.fesGET(id, "g.bin", local("g.bin")), TransferResult::Copied);
    EXPECT_EQ(readFile(local("g.bin")), "abc");
}

// A link planted under the target's name is replaced, never written through.
TEST_F(FakeTransfer, ALinkAtTheTargetIsNeverFollowed) {
    server->dataPassive().onData("RETR", "payload", opening("f.bin", 7));
    SessionId id = connect();
    const fs::path outside = dir / "outside.txt";
    writeFile(outside, "keep me");
    fs::remove(local("link.bin"));
    fs::create_symlink(outside, local("link.bin"));
    prompter.answers.push_back(true); // replace it
    EXPECT_EQ(transfer.fesGET(id, "f.bin", local("link.bin")), TransferResult::Copied) << sink.dump();
    EXPECT_EQ(readFile(outside), "keep me");
    EXPECT_FALSE(fs::is_symlink(local("link.bin")));
    EXPECT_EQ(readFile(local("link.bin")), "payload");
}

TEST(PartialNames, AreUnguessableAndNeverReuseAnEntry) {
    const fs::path d = scratchDir("names");
    const std::string target = (d / "file.bin").string();
    const std::string a = randomSiblingName(target, ".vnpart"), b = randomSiblingName(target, ".vnpart");
    EXPECT_NE(a, b);
    EXPECT_EQ(fs::path(a).parent_path(), d);
    EXPECT_EQ(fs::path(a).filename().string().rfind(".file.bin.", 0), 0u);
    EXPECT_EQ(fs::path(a).filename().string().size(), std::string(".file.bin.").size() + 16 + 7);
    // What createSibling opens is always a new file of its own.
    std::string path;
    int fd = createSibling(target, ".vnpart", 0644, path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    struct stat st{};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_size, 0);
}

} // namespace
} // namespace vn::test
