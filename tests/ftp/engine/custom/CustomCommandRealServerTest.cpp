// Custom commands against real servers on loopback: multi-line replies (HELP,
// STAT), "%f" over several files with a prompted verb, and SITE CHMOD's real
// effect on pyftpdlib.
#include "EngineFixture.h"

#include <sys/stat.h>

#include <fstream>

#include "RealFtpServers.h"
#include "ftp/engine/custom/CustomCommand.h"

namespace vn::test {
namespace {

namespace fs = std::filesystem;

class Answers : public Prompter {
public:
    bool askYesNo(const std::string&) override { return false; }
    void message(const std::string& text) override { messages.push_back(text); }
    std::optional<std::string> input(const std::string&, const std::string& prompt, const std::string&) override {
        prompts.push_back(prompt);
        if (answers.empty()) return std::nullopt;
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
    std::deque<std::string> answers;
    std::vector<std::string> prompts, messages;
};

template <class Server>
struct RealCustom : EngineFixture {
    Answers answers;
    CustomCommand command{engine, answers};
};

using Servers = ::testing::Types<Vsftpd, PyFtpd>;
TYPED_TEST_SUITE(RealCustom, Servers);

void writeFile(const fs::path& p, std::size_t size) {
    std::ofstream(p, std::ios::binary) << std::string(size, 'v');
}

TYPED_TEST(RealCustom, MultiLineRepliesAndOneCommandPerFile) {
    TypeParam server;
    ASSERT_TRUE(server.ready()) << server.error();
    writeFile(server.root() / "one.txt", 11);
    writeFile(server.root() / "two words.txt", 2222);
    auto id = this->engine.ConnectarAServidor(this->params(server.port(), "anonymous", "me@example.org"));
    ASSERT_TRUE(id);

    for (const char* verb : {"HELP", "STAT"}) {
        SCOPED_TRACE(verb);
        this->sink.lines.clear();
        this->answers.messages.clear();
        auto r = this->command.run(*id, verb, {});
        ASSERT_EQ(r.end, CustomCommand::End::Done) << server.log();
        auto log = this->sink.log();
        ASSERT_EQ(log.size(), 2u);
        EXPECT_EQ(log[0], std::string(">") + verb);
        // The final line carries the opening line's code and a blank.
        ASSERT_EQ(this->answers.messages.size(), 1u);
        const std::string& shown = this->answers.messages[0];
        ASSERT_GE(shown.size(), 4u);
        EXPECT_EQ(shown[3], '-');
        EXPECT_EQ(log[1].substr(0, 7), "--->" + shown.substr(0, 3));
        EXPECT_NE(shown.find('\r'), std::string::npos) << shown; // several lines
    }

    this->sink.lines.clear();
    this->answers.answers = {"SIZE", "SIZE"};
    auto r = this->command.run(*id, "%[Verb] /%f", {"one.txt", "two words.txt"});
    ASSERT_EQ(r.end, CustomCommand::End::Done);
    EXPECT_EQ(this->answers.prompts, (std::vector<std::string>(2, "&Please enter 'Verb':")));
    EXPECT_EQ(this->sink.log(), (std::vector<std::string>{">SIZE /one.txt", "--->213 11", ">SIZE /two words.txt",
                                                          "--->213 2222"}));
    EXPECT_EQ(this->answers.messages.back(), "213 2222");
    this->engine.fesQUIT(*id);
}

TEST(RealCustomChmod, SiteChmodChangesEachSelectedFile) {
    PyFtpd server;
    ASSERT_TRUE(server.ready()) << server.error();
    RecordingSink sink;
    Answers answers;
    FtpEngine engine(sink, answers);
    engine.applySettings({});
    engine.wait().lowerCancel();
    for (const char* n : {"a.txt", "b.txt", "c.txt"}) {
        writeFile(server.root() / n, 1);
        ::chmod((server.root() / n).c_str(), 0644);
    }
    auto id = engine.ConnectarAServidor(EngineFixture::params(server.port(), "anonymous", "me@example.org"));
    ASSERT_TRUE(id);
    ASSERT_TRUE(engine.fesCWD(*id, "/"));
    answers.answers = {"600", "640"};
    CustomCommand command(engine, answers);
    auto r = command.run(*id, "SITE CHMOD %[Attributes] %f", {"a.txt", "c.txt"});
    ASSERT_EQ(r.end, CustomCommand::End::Done) << server.log();
    auto mode = [&](const char* n) { return fs::status(server.root() / n).permissions() & fs::perms::mask; };
    EXPECT_EQ(mode("a.txt"), static_cast<fs::perms>(0600));
    EXPECT_EQ(mode("b.txt"), static_cast<fs::perms>(0644));
    EXPECT_EQ(mode("c.txt"), static_cast<fs::perms>(0640));
    engine.fesQUIT(*id);
}

} // namespace
} // namespace vn::test
