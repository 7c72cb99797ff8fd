// Connect, login, keep-alive and logout against the scripted fake server.
#include "EngineFixture.h"

#include <chrono>
#include <thread>

#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "platform/Resolver.h"
#include "common/History.h"

namespace vn::test {
namespace {

using namespace std::chrono_literals;
using Session = EngineFixture;


bool sent(FakeFtpServer& s, const std::string& prefix) {
    for (const auto& c : s.commands())
        if (c.rfind(prefix, 0) == 0) return true;
    return false;
}

struct ResetLookup {
    ~ResetLookup() { setLookupFunction(nullptr); }
};

TEST_F(Session, LoginShowsTheExactLog) {
    auto server = FakeFtpServer::loginScript();
    auto id = engine.ConnectarAServidor(params(server->port(), "user", "secret"));
    ASSERT_TRUE(id);
    std::vector<std::string> expected = {
        ">Connecting socket to 127.0.0.1 [FTP]",
        ">Socket connected.",
        "--->220 Fake FTP ready",
        ">USER user",
        "--->331 Password required.",
        ">PASS ******",
        "--->230 Logged in.",
        ">FEAT",
        "--->502 Command not implemented.",
        "-The server lists no features: LIST and PASV are used.",
        ">PWD",
        "--->257 \"/\" is the current directory.",
        ">REST 0",
        "--->350 Restarting at 0.",
        "-This Server can resume broken downloads.",
    };
    EXPECT_EQ(sink.log(), expected);
    ASSERT_EQ(sink.opened.size(), 1u);
    EXPECT_EQ(sink.opened[0].caption, "127.0.0.1[FTP]");
    EXPECT_EQ(sink.opened[0].workingDir, "/");
    EXPECT_EQ(sink.opened[0].dotted, "127.0.0.1");
    EXPECT_EQ(prompter.asked, std::vector<std::string>{"message: 220 Fake FTP ready\r230 Logged in."});
    IniFile ini(configFile());
    EXPECT_EQ(History(ini, "FTP").entries(), std::vector<std::string>{"127.0.0.1"});
    EXPECT_FALSE(engine.connecting());
}

TEST_F(Session, MultiLineGreetingAndPassReplyAreReadWhole) {
    FakeFtpServer server;
    server.send("220-Welcome to the archive\r\nthis line has no code\r\n220 Ready\r\n")
        .reply("USER", "331 Password required.\r\n")
        .reply("PASS", "230-Hello user\r\n   enjoy\r\n230 Logged in.\r\n")
        .on("PWD", "257 \"/home/user\" is current\r\n")
        .on("REST", "502 No.\r\n");
    auto id = engine.ConnectarAServidor(params(server.port()));
    ASSERT_TRUE(id);
    EXPECT_TRUE(sink.has("--->this line has no code"));
    EXPECT_TRUE(sink.has("--->   enjoy"));
    EXPECT_TRUE(sink.has("-This Server can not resume broken downloads."));
    EXPECT_EQ(prompter.asked, std::vector<std::string>{
                                  "message: 220-Welcome to the archive\rthis line has no code\r220 Ready\r"
                                  "230-Hello user\r   enjoy\r230 Logged in."});
    EXPECT_EQ(sink.opened.at(0).workingDir, "/home/user/");
}

TEST_F(Session, LoginOutcomes) {
    struct Case {
        const char* name;
        std::string userReply;
        std::string passReply; // empty: PASS must not be sent
        bool loggedIn;
        const char* errorLine; // nullptr: no ">ERROR" line
    } cases[] = {
        {"USER 230 needs no password", "230 Welcome.\r\n", "", true, nullptr},
        {"PASS 332 needs an account", "331 Password.\r\n", "332 Need account.\r\n", false, nullptr},
        {"PASS refused", "331 Password.\r\n", "530 Login incorrect.\r\n", false, ">ERROR with password"},
        {"PASS preliminary", "331 Password.\r\n", "150 Hm.\r\n", false, ">ERROR with password"},
        {"USER refused", "530 Not allowed.\r\n", "", false, ">ERROR with USER"},
        {"USER garbage", "hello there\r\n", "", false, ">ERROR with USER"},
        {"USER empty line", "\r\n", "", false, ">ERROR with USER"},
        {"PASS garbage", "331 Password.\r\n", "what?\r\n", false, ">ERROR with password"},
        {"PASS multi-line refusal", "331 Password.\r\n", "530-No\r\n230 not this\r\n530 End\r\n", false,
         ">ERROR with password"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sink.lines.clear();
        engine.wait().lowerCancel();
        FakeFtpServer server;
        server.send("220 Hi\r\n").reply("USER", c.userReply);
        if (!c.passReply.empty()) server.reply("PASS", c.passReply);
        server.on("PWD", "257 \"/\"\r\n").on("REST", "350 ok\r\n");
        auto id = engine.ConnectarAServidor(params(server.port()));
        EXPECT_EQ(id.has_value(), c.loggedIn);
        EXPECT_EQ(sent(server, "PASS"), !c.passReply.empty());
        EXPECT_EQ(sink.has("--NOT CONNECTED-- "), !c.loggedIn);
        if (c.errorLine) EXPECT_TRUE(sink.has(c.errorLine));
        else EXPECT_FALSE(sink.anyStartsWith(">ERROR"));
        if (id) engine.DesConnecta(*id);
    }
}

TEST_F(Session, GreetingThatIsNotACompletionIsServiceUnavailable) {
    for (const char* greeting : {"120 Service ready in 5 minutes.\r\n", "421 Too many users.\r\n"}) {
        sink.lines.clear();
        FakeFtpServer server;
        server.send(greeting);
        std::string first(greeting, std::string(greeting).size() - 2);
        EXPECT_FALSE(engine.ConnectarAServidor(params(server.port())));
        EXPECT_TRUE(sink.has("--->" + first + " Service Unavailable"));
        EXPECT_FALSE(sent(server, "USER"));
    }
}

TEST_F(Session, RepliesSplitAcrossSegments) {
    FakeFtpServer server;
    server.send("22").pause(50ms).send("0 Spli").pause(50ms).send("t\r").pause(50ms).send("\n")
        .expect("USER").send("331 Pass").pause(50ms).send("word.\r\n")
        .reply("PASS", "230 In.\r\n").on("PWD", "257 \"/x\"\r\n").on("REST", "350 Ok\r\n");
    ASSERT_TRUE(engine.ConnectarAServidor(params(server.port())));
    EXPECT_TRUE(sink.has("--->220 Split"));
    EXPECT_TRUE(sink.has("--->331 Password."));
}

TEST_F(Session, SilentServerTimesOut) {
    FtpSettings s;
    s.RxTOut = 1;
    configure(s);
    FakeFtpServer server;
    server.silence();
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(engine.ConnectarAServidor(params(server.port())));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 3s);
    EXPECT_TRUE(sink.has(">ERROR: Timeout"));
    EXPECT_TRUE(sink.has("--CANCELED--"));
    EXPECT_TRUE(engine.wait().cancelled());
}

TEST_F(Session, ServerClosingDuringLoginFailsCleanly) {
    FakeFtpServer server;
    server.send("220 Hi\r\n").expect("USER").closeConnection();
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(engine.ConnectarAServidor(params(server.port())));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);
    EXPECT_TRUE(sink.has("--CANCELED--"));
    EXPECT_TRUE(engine.sessionIds().empty());
}

TEST_F(Session, AbortEndsAHangingConnectWithinASecond) {
    HangingConnectTarget target;
    if (!target.hangs()) GTEST_SKIP() << "this kernel does not leave the connect pending";
    std::thread aborter([this] {
        std::this_thread::sleep_for(300ms);
        engine.wait().abort();
    });
    auto t0 = std::chrono::steady_clock::now();
    auto id = engine.connectWithRetries(params(target.port()), {}, RetryStyle::Quick);
    auto took = std::chrono::steady_clock::now() - t0;
    aborter.join();
    EXPECT_FALSE(id);
    EXPECT_LT(took, 1300ms);
    EXPECT_TRUE(sink.has("--CANCELED--"));
    EXPECT_EQ(sink.count(">Connecting socket to 127.0.0.1 [FTP]"), 1); // no further attempt
}

TEST_F(Session, AbortDuringAReplyRead) {
    FakeFtpServer server;
    server.send("220 Hi\r\n").expect("USER").silence();
    std::thread aborter([&] {
        server.waitForCommand("USER", 5s);
        std::this_thread::sleep_for(100ms);
        engine.wait().abort();
    });
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(engine.connectWithRetries(params(server.port()), {}, RetryStyle::Quick));
    aborter.join();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);
    EXPECT_TRUE(sink.has("--CANCELED--"));
    EXPECT_EQ(server.connections(), 1);
}

TEST_F(Session, AbortDuringTheLookup) {
    ResetLookup reset;
    setLookupFunction([](const std::string&) {
        std::this_thread::sleep_for(3s);
        return LookupResult{LookupResult::Found, "127.0.0.1", 0};
    });
    std::thread aborter([this] {
        std::this_thread::sleep_for(200ms);
        engine.wait().abort();
    });
    ConnectParams p = params(21);
    p.host = "ftp.example.org";
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(engine.connectWithRetries(p, {}, RetryStyle::Quick));
    aborter.join();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 1s);
    EXPECT_TRUE(sink.has("--CANCELED--"));
    EXPECT_EQ(sink.count(">Connecting socket to ftp.example.org [FTP]"), 1);
    EXPECT_FALSE(sink.has(">Trying again..."));
}

TEST_F(Session, NamesAreLookedUpAndUnknownNamesConnectNowhere) {
    ResetLookup reset;
    std::vector<std::string> looked;
    std::mutex m;
    auto server = FakeFtpServer::loginScript();
    setLookupFunction([&](const std::string& host) {
        std::lock_guard l(m);
        looked.push_back(host);
        if (host == "3com.example") return LookupResult{LookupResult::Found, "127.0.0.1", 0};
        return LookupResult{LookupResult::NotFound, "", -2};
    });
    ConnectParams p = params(server->port());
    p.host = "3com.example"; // starts with a digit, yet a name
    ASSERT_TRUE(engine.ConnectarAServidor(p));
    p.host = "no-such-host.invalid";
    sink.lines.clear();
    EXPECT_FALSE(engine.ConnectarAServidor(p));
    EXPECT_EQ(looked, (std::vector<std::string>{"3com.example", "no-such-host.invalid"}));
    EXPECT_EQ(server->connections(), 1); // the unknown name reached no server
    EXPECT_TRUE(sink.has(">ERROR -2 : socket not connected."));
    EXPECT_FALSE(sink.has(">Socket connected."));
}

TEST_F(Session, RetriesPerAddressThenAlternates) {
    FtpSettings s;
    s.CxRT = 3;
    configure(s);
    uint16_t port = FakeFtpServer::refusingPort();
    ConnectParams p = params(port);
    EXPECT_FALSE(engine.connectWithRetries(p, {"", "127.0.0.2"}, RetryStyle::SiteManager));
    auto log = sink.log();
    std::vector<std::string> attempts;
    for (const auto& l : log)
        if (l.rfind(">Connecting", 0) == 0 || l.rfind(">Trying", 0) == 0) attempts.push_back(l);
    std::vector<std::string> expected = {
        ">Connecting socket to 127.0.0.1 [FTP]",
        ">Trying again to connect to 127.0.0.1",
        ">Connecting socket to 127.0.0.1 [FTP]",
        ">Trying again to connect to 127.0.0.1",
        ">Connecting socket to 127.0.0.1 [FTP]",
        ">Trying to connect to alternate address 127.0.0.2",
        ">Connecting socket to 127.0.0.2 [FTP]",
        ">Trying again to connect to 127.0.0.2",
        ">Connecting socket to 127.0.0.2 [FTP]",
        ">Trying again to connect to 127.0.0.2",
        ">Connecting socket to 127.0.0.2 [FTP]",
    };
    EXPECT_EQ(attempts, expected);
    EXPECT_TRUE(sink.has(">ERROR 111 : socket not connected."));
    EXPECT_TRUE(sink.has("111")); // the notification's own error number

    sink.lines.clear();
    EXPECT_FALSE(engine.connectWithRetries(p, {}, RetryStyle::Quick));
    EXPECT_EQ(sink.count(">Trying again..."), 2);
}

TEST_F(Session, LineBreaksInLoginDataAreRefusedBeforeAnythingIsSent) {
    auto server = FakeFtpServer::loginScript();
    for (auto [login, password] : {std::pair{"user\r\nDELE x", "pw"}, std::pair{"user", "pw\nRMD /"}}) {
        sink.lines.clear();
        EXPECT_FALSE(engine.ConnectarAServidor(params(server->port(), login, password)));
        EXPECT_TRUE(sink.anyStartsWith(">ERROR"));
    }
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(server->connections(), 0);
}

TEST_F(Session, TwoSessionsLogoutOfOne) {
    auto a = FakeFtpServer::loginScript();
    auto b = FakeFtpServer::loginScript();
    auto ida = engine.ConnectarAServidor(params(a->port()));
    auto idb = engine.ConnectarAServidor(params(b->port()));
    ASSERT_TRUE(ida && idb);
    EXPECT_NE(*ida, *idb);
    engine.DesConnecta(*ida);
    EXPECT_EQ(sink.closed, std::vector<SessionId>{*ida});
    EXPECT_TRUE(sink.has(">CONNECTION with 127.0.0.1[FTP] has been CLOSED"));
    EXPECT_EQ(engine.sessionIds(), std::vector<SessionId>{*idb});
    EXPECT_FALSE(sent(*a, "QUIT")); // logging out sends no QUIT
    sink.lines.clear();
    engine.fesNOOP(*idb);
    EXPECT_EQ(sink.log(), (std::vector<std::string>{">NOOP 127.0.0.1", "--->200 NOOP ok."}));
}

TEST_F(Session, QuitRoundReachesEveryServer) {
    auto a = FakeFtpServer::loginScript();
    FakeFtpServer b;
    b.login().onClose("QUIT", "500 Not now.\r\n");
    ASSERT_TRUE(engine.ConnectarAServidor(params(a->port())));
    ASSERT_TRUE(engine.ConnectarAServidor(params(b.port())));
    sink.lines.clear();
    engine.quitAll();
    EXPECT_EQ(sink.log(), (std::vector<std::string>{">QUIT", "--->221 Goodbye.", ">QUIT", "--->500 Not now.",
                                                    ">Error Logging Out"}));
    EXPECT_TRUE(engine.sessionIds().empty());
    EXPECT_TRUE(a->waitForCommand("QUIT", 1s));
    EXPECT_TRUE(b.waitForCommand("QUIT", 1s));
}

TEST_F(Session, ServerGoneWhileIdleEndsTheSessionOnce) {
    FakeFtpServer server;
    server.login().onClose("NOOP", "421 Timeout.\r\n");
    auto id = engine.ConnectarAServidor(params(server.port()));
    ASSERT_TRUE(id);
    engine.fesNOOP(*id);     // answered, then the server closes
    engine.finishOperation();
    EXPECT_TRUE(sink.closed.empty()); // nothing noticed the close yet
    engine.wait().lowerCancel();
    engine.fesNOOP(*id);     // the send or the read meets the end of the connection
    engine.finishOperation();
    engine.finishOperation();
    EXPECT_EQ(sink.closed, std::vector<SessionId>{*id});
    EXPECT_EQ(sink.count(">CONNECTION with 127.0.0.1[FTP] has been CLOSED"), 1);
    EXPECT_TRUE(engine.sessionIds().empty());
}

TEST_F(Session, WelcomeBoxFollowsShowWelcome) {
    FtpSettings s;
    s.ShowWelcome = false;
    configure(s);
    auto server = FakeFtpServer::loginScript();
    ASSERT_TRUE(engine.ConnectarAServidor(params(server->port())));
    EXPECT_TRUE(prompter.asked.empty());
}

} // namespace
} // namespace vn::test

namespace vn::test {
namespace {

// The engine reaches no global file for what it is handed: an engine of an
// upload worker or a test keeps its history where it is told.
TEST(SessionServices, TheHistoryIsTheOneHandedIn) {
    RecordingSink sink;
    PlainPrompter prompter;
    std::vector<std::string> remembered;
    FtpServices services;
    services.rememberHost = [&](const std::string& host) { remembered.push_back(host); };
    services.resumeFile = "/nonexistent/rest.ini";
    FtpEngine engine(sink, prompter, services);
    EXPECT_EQ(engine.services().resumeFile, "/nonexistent/rest.ini");
    engine.applySettings({});
    auto server = FakeFtpServer::loginScript();
    ConnectParams p;
    p.host = "127.0.0.1";
    p.port = server->port();
    p.login = "user";
    p.password = "pw";
    ASSERT_TRUE(engine.ConnectarAServidor(p));
    EXPECT_EQ(remembered, std::vector<std::string>{"127.0.0.1"});
    IniFile ini(configFile());
    EXPECT_TRUE(History(ini, "FTP").entries().empty());

    // The standard services are the data folder's.
    const FtpServices standard = FtpServices::standard();
    EXPECT_EQ(standard.resumeFile, dataFile("rest.ini"));
    EXPECT_EQ(standard.tempFolder, dataFile("TEMP"));
    standard.rememberHost("ftp.example.org");
    EXPECT_EQ(History(ini, "FTP").entries(), std::vector<std::string>{"ftp.example.org"});
}

} // namespace
} // namespace vn::test
