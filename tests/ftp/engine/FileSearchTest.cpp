// Finding files by name: the matching rule, the local walk (order, hidden
// entries, link cycles, Cancel) and the remote walk against scripted servers
// (data mode, hostile names, a folder that contains itself, Cancel).
#include "EngineFixture.h"

#include <atomic>
#include <filesystem>
#include <fstream>

#include "ftp/engine/FileSearch.h"

namespace vn::test {
namespace {

namespace fs = std::filesystem;

struct Found : SearchSink {
    std::vector<std::string> paths, folders;
    std::function<void()> onFound;
    void searching(const std::string& folder) override { folders.push_back(folder); }
    void found(const std::string& folder, const std::string& name) override {
        paths.push_back(folder + name);
        if (onFound) onFound();
    }
};

TEST(SearchMatch, WholeNameIgnoringCase) {
    struct Case {
        const char* name;
        const char* text;
        bool match;
    };
    const Case cases[] = {
        {"README.TXT", "readme.txt", true},
        {"ReadMe.txt", "readme.txt", true},
        {"readme.txt.bak", "readme.txt", false},
        {"readme.tx", "readme.txt", false},
        {"a*.txt", "a*.txt", true},         // no wildcards: "*" is a character
        {"abc.txt", "a*.txt", false},
        {"\xC3\x89t\xC3\xA9.txt", "\xC3\xA9T\xC3\x89.TXT", true}, // "Été" / "éTÉ"
        {"caf\xE9.txt", "caf\xC3\xA9.txt", false}, // Latin-1 byte is no "é"
        {"caf\xE9.txt", "CAF\xE9.TXT", true},
        {"", "", true},
    };
    for (const auto& c : cases) EXPECT_EQ(searchNameMatches(c.name, c.text), c.match) << c.name << " / " << c.text;
}

struct LocalTree : ::testing::Test {
    fs::path root = fs::temp_directory_path() / ("vn-search-" + std::to_string(::getpid()) + "-" +
                                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
    void SetUp() override {
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override { fs::remove_all(root); }
    void file(const std::string& rel) {
        fs::create_directories((root / rel).parent_path());
        std::ofstream(root / rel) << "x";
    }
    std::string start() const { return root.string() + "/"; }
};

TEST_F(LocalTree, ThreeLevelsInWalkOrder) {
    file("b/readme.txt");
    file("a/ReadMe.TXT");
    file("a/b/README.txt");
    file("a/b/c/readme.txt");
    file("a/b/c/readme.txt.bak");
    file("z.txt");
    file("readme.txt");
    file(".hidden/readme.txt");
    file(".readme.txt");
    fs::create_directories(root / "d/readme.txt"); // a folder never matches
    Found sink;
    FileSearch search("readme.txt", sink, {});
    SearchSummary s = search.local(start());
    EXPECT_EQ(s.outcome, Outcome::Done);
    // Each folder's names in the list's order, letter case aside.
    EXPECT_EQ(sink.paths, (std::vector<std::string>{start() + "a/b/c/readme.txt", start() + "a/b/README.txt",
                                                    start() + "a/ReadMe.TXT", start() + "b/readme.txt",
                                                    start() + "readme.txt"}));
    EXPECT_EQ(s.matches, 5u);
    EXPECT_EQ(sink.folders.front(), start());
}

TEST_F(LocalTree, LinkCyclesAndLinksOutAreNotFollowed) {
    file("in/readme.txt");
    fs::create_directories(root / "outside");
    std::ofstream(root / "outside/readme.txt") << "x";
    fs::create_directories(root / "start/sub");
    std::ofstream(root / "start/sub/readme.txt") << "x";
    fs::create_directory_symlink("..", root / "start/sub/up");        // a cycle
    fs::create_directory_symlink(root / "start", root / "start/self"); // another
    fs::create_directory_symlink(root / "outside", root / "start/out"); // leaves the start folder
    fs::create_symlink(root / "outside/readme.txt", root / "start/README.TXT"); // a link to a file is a file
    Found sink;
    FileSearch search("readme.txt", sink, {});
    SearchSummary s = search.local(root.string() + "/start/");
    EXPECT_EQ(s.outcome, Outcome::Done);
    const std::string st = root.string() + "/start/";
    EXPECT_EQ(sink.paths, (std::vector<std::string>{st + "README.TXT", st + "sub/readme.txt"}));
    for (const auto& f : sink.folders) EXPECT_EQ(f.rfind(st, 0), 0u) << f;
}

TEST_F(LocalTree, CancelStopsAfterTheCurrentEntry) {
    for (int i = 0; i < 5; ++i) file("f" + std::to_string(i) + "/readme.txt");
    Found sink;
    std::atomic<bool> cancel{false};
    sink.onFound = [&] { cancel = true; };
    FileSearch search("readme.txt", sink, [&] { return cancel.load(); });
    SearchSummary s = search.local(start());
    EXPECT_EQ(s.outcome, Outcome::Aborted);
    EXPECT_EQ(sink.paths, (std::vector<std::string>{start() + "f0/readme.txt"}));
}

TEST(LocalSystemFolders, PseudoFileSystemsAreNotSearched) {
    if (!fs::exists("/proc/1")) GTEST_SKIP() << "no /proc";
    Found sink;
    FileSearch search("status", sink, {});
    EXPECT_EQ(search.local("/proc/").outcome, Outcome::Done);
    // /proc's own files are looked at; none of its process folders is read.
    EXPECT_EQ(sink.folders, std::vector<std::string>{"/proc/"});
    EXPECT_TRUE(sink.paths.empty());
}

TEST_F(LocalTree, AMissingStartFolderFails) {
    Found sink;
    FileSearch search("x", sink, {});
    EXPECT_EQ(search.local(start() + "nothing/").outcome, Outcome::Failed);
    EXPECT_TRUE(sink.paths.empty());
}

// ---- remote, scripted ----

const char* kRoot = "drwxr-xr-x 2 ftp ftp 4096 Jan  5 10:00 a\r\n"
                    "-rw-r--r-- 1 ftp ftp 12 Jan  5 10:00 README.TXT\r\n"
                    "lrwxrwxrwx 1 ftp ftp 12 Jan  5 10:00 readme.txt -> /etc/passwd\r\n"
                    "-rw-r--r-- 1 ftp ftp 12 Jan  5 10:00 readme.txt.bak\r\n"
                    "drwxr-xr-x 2 ftp ftp 4096 Jan  5 10:00 z\r\n";
const char* kA = "-rw-r--r-- 1 ftp ftp 12 Jan  5 10:00 ReadMe.txt\r\n"
                 "drwxr-xr-x 2 ftp ftp 4096 Jan  5 10:00 b\r\n";
const char* kAB = "-rw-r--r-- 1 ftp ftp 12 Jan  5 10:00 readme.txt\r\n";
// Names that would leave the folder, an empty name and a "d" that names itself.
const char* kHostile = "drwxr-xr-x 2 ftp ftp 4096 Jan  5 10:00 ..\r\n"
                       "drwxr-xr-x 2 ftp ftp 4096 Jan  5 10:00 .\r\n"
                       "drwxr-xr-x 2 ftp ftp 4096 Jan  5 10:00 ../../etc\r\n"
                       "-rw-r--r-- 1 ftp ftp 12 Jan  5 10:00 ../readme.txt\r\n"
                       "-rw-r--r-- 1 ftp ftp 12 Jan  5 10:00 x/readme.txt\r\n"
                       "drwxr-xr-x 2 ftp ftp 4096 Jan  5 10:00 /\r\n"
                       "-rw-r--r-- 1 ftp ftp 12 Jan  5 10:00 \r\n"
                       "-rw-r--r-- 1 ftp ftp 12 Jan  5 10:00 readme.txt\r\n";

struct RemoteSearch : EngineFixture {
    std::unique_ptr<FakeFtpServer> server;
    void SetUp() override {
        FtpSettings s;
        s.RxTOut = s.CxTOut = s.TxTOut = 10;
        configure(s);
    }
    SessionId connect(bool passive) {
        ConnectParams p = params(server->port());
        p.passive = passive;
        auto id = engine.ConnectarAServidor(p);
        EXPECT_TRUE(id);
        return id.value_or(0);
    }
    std::vector<std::string> lists() const {
        std::vector<std::string> out;
        for (const auto& c : server->commands())
            if (c.rfind("LIST", 0) == 0) out.push_back(c);
        return out;
    }
    std::vector<std::string> modes() const {
        std::vector<std::string> out;
        for (const auto& c : server->commands())
            if (c.rfind("PORT", 0) == 0 || c == "PASV") out.push_back(c.substr(0, 4));
        return out;
    }
};

TEST_F(RemoteSearch, ThreeLevelsInWalkOrderInTheSessionsMode) {
    for (bool passive : {false, true}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        server = FakeFtpServer::loginScript();
        // Behind NAT only one mode works: the session's.
        if (passive) server->dataPassive().on("PORT", "550 Permission denied.\r\n");
        else server->dataActive().on("PASV", "502 Not implemented.\r\n");
        server->onData("LIST /pub/a/b/", kAB).onData("LIST /pub/a/", kA).onData("LIST /pub/z/", "")
            .onData("LIST /pub/", kRoot);
        SessionId id = connect(passive);
        Found sink;
        FileSearch search("readme.txt", sink, [this] { return engine.wait().cancelled(); });
        SearchSummary s = search.remote(engine, id, "/pub/");
        EXPECT_EQ(s.outcome, Outcome::Done);
        EXPECT_EQ(sink.paths, (std::vector<std::string>{"/pub/a/ReadMe.txt", "/pub/a/b/readme.txt", "/pub/README.TXT",
                                                        "/pub/readme.txt"}));
        EXPECT_EQ(lists(), (std::vector<std::string>{"LIST /pub/", "LIST /pub/a/", "LIST /pub/a/b/", "LIST /pub/z/"}));
        for (const auto& m : modes()) EXPECT_EQ(m, passive ? "PASV" : "PORT");
        engine.fesQUIT(id);
    }
}

TEST_F(RemoteSearch, HostileNamesNeverLeaveTheStartFolder) {
    server = FakeFtpServer::loginScript();
    server->dataPassive().onData("LIST /s/", kHostile);
    SessionId id = connect(true);
    Found sink;
    FileSearch search("readme.txt", sink, [this] { return engine.wait().cancelled(); });
    SearchSummary s = search.remote(engine, id, "/s");
    EXPECT_EQ(s.outcome, Outcome::Done);
    EXPECT_EQ(sink.paths, (std::vector<std::string>{"/s/readme.txt"}));
    EXPECT_EQ(lists(), (std::vector<std::string>{"LIST /s/"}));
    EXPECT_EQ(sink.folders, (std::vector<std::string>{"/s/"}));
}

TEST_F(RemoteSearch, AFolderThatContainsItselfEndsAtTheDepthLimit) {
    server = FakeFtpServer::loginScript();
    // A server that shows a link to its parent as a folder.
    server->dataPassive().onData("LIST /s/", "drwxr-xr-x 2 ftp ftp 4096 Jan  5 10:00 loop\r\n"
                                             "-rw-r--r-- 1 ftp ftp 12 Jan  5 10:00 f\r\n");
    SessionId id = connect(true);
    Found sink;
    FileSearch search("f", sink, [this] { return engine.wait().cancelled(); });
    SearchSummary s = search.remote(engine, id, "/s/");
    EXPECT_EQ(s.outcome, Outcome::Done);
    EXPECT_EQ(s.tooDeep, 1u);
    EXPECT_EQ(lists().size(), static_cast<std::size_t>(FileSearch::kMaxDepth + 1));
    ASSERT_EQ(sink.paths.size(), static_cast<std::size_t>(FileSearch::kMaxDepth + 1));
    // Deepest first: each folder's match comes after its sub-folder's.
    EXPECT_EQ(sink.paths.back(), "/s/f");
}

TEST_F(RemoteSearch, CancelStopsAfterTheCurrentEntryAndKeepsTheResults) {
    server = FakeFtpServer::loginScript();
    server->dataPassive().onData("LIST /s/", "-rw-r--r-- 1 ftp ftp 12 Jan  5 10:00 f\r\n"
                                             "drwxr-xr-x 2 ftp ftp 4096 Jan  5 10:00 a\r\n"
                                             "drwxr-xr-x 2 ftp ftp 4096 Jan  5 10:00 b\r\n");
    SessionId id = connect(true);
    Found sink;
    sink.onFound = [this] { engine.wait().raiseCancel(); };
    FileSearch search("f", sink, [this] { return engine.wait().cancelled(); });
    SearchSummary s = search.remote(engine, id, "/s/");
    EXPECT_EQ(s.outcome, Outcome::Aborted);
    EXPECT_EQ(sink.paths, (std::vector<std::string>{"/s/f"}));
    EXPECT_EQ(lists(), (std::vector<std::string>{"LIST /s/"}));
}

TEST_F(RemoteSearch, AnUnreadableFolderIsCountedAndTheWalkGoesOn) {
    server = FakeFtpServer::loginScript();
    server->dataPassive()
        .on("LIST /s/locked/", "550 Permission denied.\r\n")
        .onData("LIST /s/open/", "-rw-r--r-- 1 ftp ftp 12 Jan  5 10:00 f\r\n")
        .onData("LIST /s/", "drwxr-xr-x 2 ftp ftp 4096 Jan  5 10:00 locked\r\n"
                            "drwxr-xr-x 2 ftp ftp 4096 Jan  5 10:00 open\r\n");
    SessionId id = connect(true);
    Found sink;
    FileSearch search("f", sink, [this] { return engine.wait().cancelled(); });
    SearchSummary s = search.remote(engine, id, "/s/");
    EXPECT_EQ(s.outcome, Outcome::Done);
    EXPECT_EQ(s.unreadable, 1u);
    EXPECT_EQ(sink.paths, (std::vector<std::string>{"/s/open/f"}));
}

TEST_F(RemoteSearch, ALostConnectionEndsTheWalk) {
    server = FakeFtpServer::loginScript();
    server->dataPassive().onClose("LIST", "421 Bye.\r\n");
    SessionId id = connect(true);
    Found sink;
    FileSearch search("f", sink, [this] { return engine.wait().cancelled(); });
    SearchSummary s = search.remote(engine, id, "/s/");
    EXPECT_NE(s.outcome, Outcome::Done);
    EXPECT_TRUE(sink.paths.empty());
}

} // namespace
} // namespace vn::test
