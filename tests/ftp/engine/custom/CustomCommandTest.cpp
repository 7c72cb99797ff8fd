// Custom and quick commands against the scripted server: what goes out, what
// is asked, what the log and the message box show, and how a reply that never
// ends is left (the connection's end, Abort).
#include "EngineFixture.h"

#include <functional>
#include <thread>

#include "ftp/engine/custom/CustomCommand.h"

namespace vn::test {
namespace {

using namespace std::chrono_literals;
using End = CustomCommand::End;

// Answers input boxes from a queue and records every question.
class InputScript : public Prompter {
public:
    bool askYesNo(const std::string&) override { return false; }
    void message(const std::string& text) override {
        std::lock_guard l(m);
        asked.push_back("message: " + text);
    }
    std::optional<std::string> input(const std::string& caption, const std::string& prompt,
                                     const std::string& initial) override {
        std::lock_guard l(m);
        asked.push_back("input: " + caption + ": " + prompt + " [" + initial + "]");
        if (onInput) onInput();
        if (answers.empty()) return std::nullopt;
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
    std::mutex m;
    std::deque<std::optional<std::string>> answers;
    std::vector<std::string> asked;
    std::function<void()> onInput;
};

struct Custom : EngineFixture {
    FakeFtpServer server;
    InputScript script;
    CustomCommand command{engine, script};

    SessionId connect() {
        auto id = engine.ConnectarAServidor(params(server.port()));
        EXPECT_TRUE(id);
        sink.lines.clear();
        engine.wait().lowerCancel();
        return id.value_or(0);
    }
    // What the client sent after logging in.
    std::vector<std::string> sentAfterLogin() const {
        std::vector<std::string> out;
        bool after = false;
        for (const auto& c : server.commands()) {
            if (after) out.push_back(c);
            if (c.rfind("REST 0", 0) == 0) after = true;
        }
        return out;
    }
};

TEST_F(Custom, MultiLineHelpShowsTheOtherLines) {
    server.login().on("HELP", "214-The following commands are recognized.\r\n ABOR ACCT ALLO\r\n CWD  DELE\r\n"
                              "214 Help OK.\r\n");
    SessionId id = connect();
    auto r = command.run(id, "HELP", {});
    EXPECT_EQ(r.end, End::Done);
    EXPECT_EQ(r.sent, 1);
    EXPECT_EQ(sink.log(), (std::vector<std::string>{">HELP", "--->214 Help OK."}));
    EXPECT_EQ(script.asked, (std::vector<std::string>{
                                "message: 214-The following commands are recognized.\r ABOR ACCT ALLO\r CWD  DELE"}));
}

TEST_F(Custom, OneLineReplyIsShownItself) {
    server.login().on("NOOP", "200 NOOP ok.\r\n");
    SessionId id = connect();
    auto r = command.quick(id, "NOOP");
    EXPECT_EQ(r.end, End::Done);
    EXPECT_EQ(script.asked, (std::vector<std::string>{"message: 200 NOOP ok."}));
}

TEST_F(Custom, ReplyEndsOnlyAtItsOwnCodeSoTheNextCommandIsNotOffByOne) {
    // A middle line that looks final ("200 ...") does not end a "211-" reply.
    server.login()
        .on("STAT", "211-Status of the server:\r\n200 files seen\r\n     Logged in as user\r\n211 End of status\r\n")
        .on("SYST", "215 UNIX Type: L8\r\n");
    SessionId id = connect();
    auto r = command.quick(id, "STAT");
    ASSERT_EQ(r.end, End::Done);
    EXPECT_EQ(r.shown, "211-Status of the server:\r200 files seen\r     Logged in as user");
    auto s = command.quick(id, "SYST");
    EXPECT_EQ(s.shown, "215 UNIX Type: L8");
    EXPECT_EQ(sink.log().back(), "--->215 UNIX Type: L8");
}

TEST_F(Custom, TextBeforeTheReplyIsKeptAndAPreliminaryReplyIsFinal) {
    server.login().on("SITE A", "hello there\r\n250 Done.\r\n").on("SITE B", "150 Working.\r\n");
    SessionId id = connect();
    EXPECT_EQ(command.quick(id, "SITE A").shown, "hello there");
    EXPECT_EQ(command.quick(id, "SITE B").shown, "150 Working.");
}

TEST_F(Custom, PerFileCommandAsksForEveryFile) {
    server.login().on("SITE CHMOD", "200 SITE CHMOD command ok.\r\n");
    SessionId id = connect();
    script.answers = {"644", "600", "755"};
    auto r = command.run(id, "SITE CHMOD %[Attributes] %f", {"a.txt", "name with blanks", "caf\xc3\xa9"});
    EXPECT_EQ(r.end, End::Done);
    EXPECT_EQ(r.sent, 3);
    EXPECT_EQ(sentAfterLogin(), (std::vector<std::string>{"SITE CHMOD 644 a.txt", "SITE CHMOD 600 name with blanks",
                                                          "SITE CHMOD 755 caf\xc3\xa9"}));
    const std::string q = "input: Custom Command Parameter: &Please enter 'Attributes': []";
    EXPECT_EQ(script.asked, (std::vector<std::string>{q, q, q, "message: 200 SITE CHMOD command ok."}));
    EXPECT_EQ(sink.count("--->200 SITE CHMOD command ok."), 3);
}

TEST_F(Custom, FileInTheMiddleAndACancelledQuestionGivesAnEmptyAnswer) {
    server.login().on("SITE", "200 Ok.\r\n");
    SessionId id = connect();
    script.answers = {std::nullopt, "x"};
    auto r = command.run(id, "SITE COPY %f %[To]/%f.bak", {"one", "two"});
    EXPECT_EQ(r.end, End::Done);
    EXPECT_EQ(sentAfterLogin(), (std::vector<std::string>{"SITE COPY one /one.bak", "SITE COPY two x/two.bak"}));
}

TEST_F(Custom, PerFileWithNothingSelectedSendsNothing) {
    server.login();
    SessionId id = connect();
    EXPECT_EQ(command.run(id, "SITE CHMOD %[Attributes] %f", {}).end, End::Nothing);
    EXPECT_TRUE(script.asked.empty());
    EXPECT_TRUE(sentAfterLogin().empty());
}

TEST_F(Custom, MalformedCommandIsRefusedBeforeAnythingIsAskedOrSent) {
    server.login();
    SessionId id = connect();
    for (const char* text : {"SITE %x %[Name]", "SITE %[Name] %", "SITE %[Name", "SITE 50%"}) {
        SCOPED_TRACE(text);
        script.asked.clear();
        script.answers = {"y"};
        auto r = command.run(id, text, {"a"});
        EXPECT_EQ(r.end, End::FormatError);
        EXPECT_EQ(script.asked, (std::vector<std::string>{"message: The sentence has an incorrect format"}));
    }
    EXPECT_TRUE(sentAfterLogin().empty());
    EXPECT_TRUE(sink.log().empty());
}

TEST_F(Custom, LineBreaksAreRefusedAndNothingMoreIsSent) {
    server.login().on("SITE", "200 Ok.\r\n").on("DELE", "250 Deleted.\r\n");
    SessionId id = connect();
    struct Case {
        const char* name;
        std::function<CustomCommand::Result()> run;
        std::vector<std::string> sent;
    } cases[] = {
        {"prompt with CR LF",
         [&] {
             script.answers = {"644 a\r\nDELE b"};
             return command.run(id, "SITE CHMOD %[Attributes] a", {});
         },
         {}},
        {"prompt with a lone LF on the second file",
         [&] {
             script.answers = {"644", "600\nDELE c", "700"};
             return command.run(id, "SITE CHMOD %[Attributes] %f", {"a", "b", "c"});
         },
         {"SITE CHMOD 644 a"}},
        {"file name with CR",
         [&] { return command.run(id, "SITE INDEX %f", {"evil\rDELE x"}); }, {}},
        {"quick command", [&] { return command.quick(id, "NOOP\r\nDELE important"); }, {}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = sentAfterLogin().size();
        sink.lines.clear();
        auto r = c.run();
        EXPECT_EQ(r.end, End::Refused);
        auto sent = sentAfterLogin();
        EXPECT_EQ(std::vector<std::string>(sent.begin() + static_cast<long>(before), sent.end()), c.sent);
        EXPECT_TRUE(sink.has(">ERROR: Line breaks are not allowed in a command; nothing was sent."));
    }
    // Nothing was smuggled in: the next command gets its own answer.
    EXPECT_EQ(command.quick(id, "SITE HELLO").shown, "200 Ok.");
    for (const auto& c : server.commands()) EXPECT_NE(c.rfind("DELE", 0), 0u) << c;
}

TEST_F(Custom, ReplyLoopEndsWhenTheServerClosesMidReply) {
    FtpSettings s;
    s.RxTOut = 600; // only the close can end the read
    configure(s);
    server.login().onClose("HELP", "214-The following commands are recognized.\r\n ABOR");
    SessionId id = connect();
    auto started = std::chrono::steady_clock::now();
    auto r = command.run(id, "HELP", {});
    EXPECT_EQ(r.end, End::Failed);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 60s);
    EXPECT_EQ(engine.connection(id)->lastOutcome(), Outcome::PeerClosed);
    EXPECT_TRUE(engine.connection(id)->ended());
    EXPECT_TRUE(script.asked.empty()); // no message box
    engine.finishOperation();
    EXPECT_FALSE(engine.connection(id)); // the session is torn down
    EXPECT_EQ(sink.closed, (std::vector<SessionId>{id}));
}

TEST_F(Custom, AbortEndsAReplyThatNeverEnds) {
    FtpSettings s;
    s.RxTOut = 600;
    configure(s);
    server.login().on("STAT", "211-Status:\r\n connected\r\n");
    SessionId id = connect();
    std::thread aborter([&] {
        if (server.waitForCommand("STAT", 10s)) std::this_thread::sleep_for(50ms);
        engine.wait().abort();
    });
    auto r = command.quick(id, "STAT");
    aborter.join();
    EXPECT_EQ(r.end, End::Failed);
    EXPECT_EQ(engine.connection(id)->lastOutcome(), Outcome::Aborted);
    EXPECT_TRUE(sink.has("--CANCELED--"));
    EXPECT_TRUE(script.asked.empty());
}

TEST_F(Custom, AbortWhileAskingSendsNothing) {
    server.login();
    SessionId id = connect();
    script.onInput = [&] { engine.wait().abort(); };
    script.answers = {"644"};
    auto r = command.run(id, "SITE CHMOD %[Attributes] x", {});
    EXPECT_EQ(r.end, End::Failed);
    EXPECT_TRUE(sentAfterLogin().empty());
}

TEST_F(Custom, QuickCommandGoesAsTypedWithoutPlaceholders) {
    server.login().on("SITE", "200 Ok.\r\n");
    SessionId id = connect();
    auto r = command.quick(id, "SITE 100% %f %[x]");
    EXPECT_EQ(r.end, End::Done);
    EXPECT_EQ(sentAfterLogin(), (std::vector<std::string>{"SITE 100% %f %[x]"}));
    EXPECT_EQ(command.quick(id, "").end, End::Nothing);
}

TEST_F(Custom, AClosedSessionIsReported) {
    server.login();
    SessionId id = connect();
    engine.DesConnecta(id);
    EXPECT_EQ(command.quick(id, "NOOP").end, End::NoSession);
    EXPECT_EQ(command.run(id, "HELP", {}).end, End::NoSession);
}

} // namespace
} // namespace vn::test
