// The remote folder and file commands: exact exchanges against the scripted
// fake server, and the real effect on disk against vsftpd.
#include "EngineFixture.h"

#include <filesystem>
#include <functional>
#include <fstream>

#include "RealFtpServers.h"

namespace vn::test {
namespace {

namespace fs = std::filesystem;

struct Commands : EngineFixture {
    FakeFtpServer server;
    SessionId connect() {
        auto id = engine.ConnectarAServidor(params(server.port()));
        EXPECT_TRUE(id);
        sink.lines.clear();
        return id.value_or(0);
    }
    // What the client sent after logging in, without the PORT arguments.
    std::vector<std::string> sentAfterLogin() const {
        std::vector<std::string> out;
        bool after = false;
        for (const auto& c : server.commands()) {
            if (c.rfind("REST 0", 0) == 0) {
                after = true;
                continue;
            }
            if (!after) continue;
            out.push_back(c.rfind("PORT ", 0) == 0 ? "PORT" : c);
        }
        return out;
    }
};

TEST_F(Commands, EachCommandLogsAndJudgesItsReply) {
    server.login().on("MKD /pub/new", "257 \"/pub/new\" created.\r\n").on("MKD /pub/no", "550 Denied.\r\n");
    SessionId id = connect();
    EXPECT_TRUE(engine.fesMKD(id, "/pub/new"));
    EXPECT_EQ(sink.log(), (std::vector<std::string>{">MKD /pub/new", "--->257 \"/pub/new\" created."}));
    sink.lines.clear();
    EXPECT_FALSE(engine.fesMKD(id, "/pub/no"));
    EXPECT_EQ(sink.log(), (std::vector<std::string>{">MKD /pub/no", "--->550 Denied.", ">Error creating Directory"}));
}

TEST_F(Commands, FailureLinesOfTheTable) {
    struct Case {
        std::function<bool(FtpEngine&, SessionId)> run;
        std::vector<std::string> log;
    } cases[] = {
        {[](FtpEngine& e, SessionId id) { return e.fesRMD(id, "/x"); }, {">RMD /x", "--->502 Command not implemented."}},
        {[](FtpEngine& e, SessionId id) { return e.fesDELETEFILE(id, "/x"); },
         {">DELE /x", "--->502 Command not implemented.", ">Error deleting file"}},
        {[](FtpEngine& e, SessionId id) { return e.fesMKD(id, "/x"); },
         {">MKD /x", "--->502 Command not implemented.", ">Error creating Directory"}},
    };
    server.login();
    SessionId id = connect();
    for (auto& c : cases) {
        sink.lines.clear();
        EXPECT_FALSE(c.run(engine, id));
        EXPECT_EQ(sink.log(), c.log);
    }
}

TEST_F(Commands, RenameRefusedAtRnfrSendsNoRnto) {
    server.login().on("RNFR", "550 No such file.\r\n").on("RNTO", "250 Renamed.\r\n");
    SessionId id = connect();
    EXPECT_FALSE(engine.fesRENAME(id, "/a", "/b"));
    EXPECT_EQ(sentAfterLogin(), (std::vector<std::string>{"RNFR /a"}));
    EXPECT_EQ(sink.log(), (std::vector<std::string>{">RNFR /a", "--->550 No such file."}));
}

TEST_F(Commands, RenameWithALineBreakInTheNewNameSendsNothing) {
    server.login().on("RNFR", "350 Ready.\r\n").on("RNTO", "250 Renamed.\r\n");
    SessionId id = connect();
    EXPECT_FALSE(engine.fesRENAME(id, "/a", "/b\r\nDELE /c"));
    EXPECT_TRUE(sentAfterLogin().empty());
}

TEST_F(Commands, CdupRefusedStillAsksWhereTheServerIs) {
    server.login().on("CDUP", "550 Top.\r\n");
    SessionId id = connect();
    EXPECT_FALSE(engine.fesCDUP(id));
    EXPECT_EQ(sink.log(), (std::vector<std::string>{">CDUP", "--->550 Top.", ">Error changing to Parent Directory",
                                                    ">PWD", "--->257 \"/\" is the current directory."}));
    EXPECT_EQ(engine.sessionInfo(id)->workingDir, "/");
}

TEST_F(Commands, SystShowsTheReplyOrBeeps) {
    server.login();
    SessionId id = connect();
    EXPECT_EQ(engine.fesSYST(id), "215 UNIX Type: L8");
    ASSERT_FALSE(prompter.asked.empty());
    EXPECT_EQ(prompter.asked.back(), "message: 215 UNIX Type: L8");

    FakeFtpServer refusing;
    refusing.login().on("SYST", "500 What?\r\n");
    auto other = engine.ConnectarAServidor(params(refusing.port()));
    ASSERT_TRUE(other);
    int before = sink.beeps;
    EXPECT_EQ(engine.fesSYST(*other), "");
    EXPECT_EQ(sink.beeps, before + 1);
}

TEST_F(Commands, ACancelIsAFailureNotASuccess) {
    server.login().on("DELE", "250 Deleted.\r\n").on("RMD", "250 Removed.\r\n");
    SessionId id = connect();
    engine.wait().raiseCancel();
    EXPECT_FALSE(engine.fesDELETEFILE(id, "/a"));
    EXPECT_FALSE(engine.fesRMD(id, "/a"));
    EXPECT_FALSE(engine.EsborrarDirectoriRemot(id, "/a"));
    EXPECT_TRUE(sink.log().empty());
}

TEST_F(Commands, RemovingAnEmptyFolderSendsOnlyRmd) {
    server.login().on("RMD", "250 Removed.\r\n");
    SessionId id = connect();
    EXPECT_TRUE(engine.EsborrarDirectoriRemot(id, "/a"));
    EXPECT_EQ(sentAfterLogin(), (std::vector<std::string>{"RMD /a"}));
}

TEST_F(Commands, RemovingAFolderDeletesItsContentsDepthFirst) {
    const std::string listing =
        "total 3\r\n"
        "-rw-r--r--   1 ftp ftp   10 Jan  5 10:00 f.txt\r\n"
        "lrwxrwxrwx   1 ftp ftp    7 Jan  5 10:00 lnk -> f.txt\r\n"
        "drwxr-xr-x   2 ftp ftp 4096 Jan  5 10:00 sub\r\n"
        "drwxr-xr-x   2 ftp ftp 4096 Jan  5 10:00 ..\r\n"
        "-rw-r--r--   1 ftp ftp   10 Jan  5 10:00 ../escape\r\n";
    // The first RMD of /a is refused (a script step); every later RMD succeeds.
    server.login()
        .reply("PWD", "257 \"/\" is the current directory.\r\n")
        .reply("REST 0", "350 Restarting at 0.\r\n")
        .reply("RMD /a", "550 Not empty.\r\n")
        .dataActive()
        .onData("LIST /a", listing)
        .on("DELE", "250 Deleted.\r\n")
        .on("RMD", "250 Removed.\r\n");
    SessionId id = connect();
    EXPECT_TRUE(engine.EsborrarDirectoriRemot(id, "/a"));
    EXPECT_EQ(sentAfterLogin(), (std::vector<std::string>{"RMD /a", "PORT", "TYPE A", "LIST /a", "DELE /a/f.txt",
                                                           "DELE /a/lnk", "RMD /a/sub/", "RMD /a"}));
    // The hostile name was left alone, with a line saying so.
    bool named = false;
    for (const auto& l : sink.log())
        if (l.find("../escape") != std::string::npos) named = true;
    EXPECT_TRUE(named);
}

TEST_F(Commands, AFileThatStaysFailsTheFolder) {
    server.login()
        .dataActive()
        .onData("LIST /a", "-rw-r--r--   1 ftp ftp   10 Jan  5 10:00 keep\r\n")
        .on("DELE", "550 Permission denied.\r\n")
        .on("RMD /a", "550 Not empty.\r\n");
    SessionId id = connect();
    EXPECT_FALSE(engine.EsborrarDirectoriRemot(id, "/a"));
    EXPECT_TRUE(sink.has(">ERROR deleting."));
}

// ---- vsftpd ----

struct OnVsftpd : EngineFixture {
    Vsftpd server;
    SessionId id = 0;
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_TRUE(server.ready()) << server.error();
        ConnectParams p = params(server.port(), "anonymous", "test@example.org");
        auto got = engine.ConnectarAServidor(p);
        ASSERT_TRUE(got);
        id = *got;
    }
    // Folders the test makes must be writable by the server's anonymous user.
    void makeDirs(const fs::path& p) {
        fs::create_directories(p);
        for (fs::path q = p; q != server.uploadDir() && q.has_relative_path(); q = q.parent_path())
            fs::permissions(q, fs::perms::all);
    }
    void write(const fs::path& p, const std::string& text) {
        makeDirs(p.parent_path());
        std::ofstream(p) << text;
    }
};

TEST_F(OnVsftpd, MkdRenameDeleteAndRmdChangeTheDisk) {
    const fs::path up = server.uploadDir();
    ASSERT_TRUE(engine.fesMKD(id, "/upload/new"));
    EXPECT_TRUE(fs::is_directory(up / "new"));
    ASSERT_TRUE(engine.fesRENAME(id, "/upload/new", "/upload/renamed"));
    EXPECT_TRUE(fs::is_directory(up / "renamed"));
    EXPECT_FALSE(fs::exists(up / "new"));
    write(up / "renamed" / "file.txt", "x");
    EXPECT_FALSE(engine.fesRMD(id, "/upload/renamed"));
    ASSERT_TRUE(engine.fesDELETEFILE(id, "/upload/renamed/file.txt"));
    ASSERT_TRUE(engine.fesRMD(id, "/upload/renamed"));
    EXPECT_FALSE(fs::exists(up / "renamed"));
    EXPECT_FALSE(engine.fesDELETEFILE(id, "/upload/none.txt"));
}

TEST_F(OnVsftpd, RecursiveDeleteRemovesNestedContent) {
    const fs::path t = server.uploadDir() / "tree";
    write(t / "a.txt", "a");
    write(t / "with blank.txt", "b");
    write(t / "one" / "two" / "three" / "deep.bin", "d");
    makeDirs(t / "one" / "empty");
    fs::create_symlink("a.txt", t / "link");
    ASSERT_TRUE(engine.EsborrarDirectoriRemot(id, "/upload/tree"));
    EXPECT_FALSE(fs::exists(t));
    EXPECT_TRUE(fs::exists(server.uploadDir()));
}

TEST_F(OnVsftpd, CdupGoesToTheParent) {
    ASSERT_TRUE(engine.fesCWD(id, "/upload"));
    EXPECT_TRUE(engine.fesCDUP(id));
    EXPECT_EQ(engine.sessionInfo(id)->workingDir, "/");
}

} // namespace
} // namespace vn::test
