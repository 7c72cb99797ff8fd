// Logins and listings against real servers on loopback, in both data-connection
// modes: what LIST yields must be what the server's folder holds.
#include "../EngineFixture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "RealFtpServers.h"

namespace vn::test {
namespace {

namespace fs = std::filesystem;
using Kind = ListingEntry::Kind;

struct Expected {
    Kind kind;
    std::uint64_t size; // files only
};

// The fixture tree: names with blanks and non-ASCII bytes, a symlink, an empty
// folder and a sparse file above 4 GiB.
std::map<std::string, Expected> makeFixture(const fs::path& root) {
    std::map<std::string, Expected> e;
    auto file = [&](const std::string& name, const std::string& data) {
        FILE* f = std::fopen((root / name).c_str(), "wb");
        std::fwrite(data.data(), 1, data.size(), f);
        std::fclose(f);
        e[name] = {Kind::File, data.size()};
    };
    file("plain.txt", "hello\n");
    file("name with  blanks.dat", std::string(3000, 'x'));
    file("caf\xc3\xa9 \xe2\x82\xac.txt", "utf-8 name");
    fs::create_directory(root / "empty folder");
    e["empty folder"] = {Kind::Folder, 0};
    fs::create_directory(root / "sub");
    e["sub"] = {Kind::Folder, 0};
    fs::create_symlink("plain.txt", root / "link to plain");
    e["link to plain"] = {Kind::Link, 0};
    int fd = ::open((root / "sparse.bin").c_str(), O_CREAT | O_WRONLY, 0644);
    const std::uint64_t big = (5ull << 30) + 123;
    EXPECT_EQ(::ftruncate(fd, static_cast<off_t>(big)), 0);
    ::close(fd);
    e["sparse.bin"] = {Kind::File, big};
    for (auto& p : fs::recursive_directory_iterator(root))
        ::chmod(p.path().c_str(), fs::is_directory(p.symlink_status()) ? 0755 : 0644);
    return e;
}

template <class Server>
struct RealListing : EngineFixture {};

using Servers = ::testing::Types<Vsftpd, PyFtpd>;
TYPED_TEST_SUITE(RealListing, Servers);

TYPED_TEST(RealListing, ListsWhatTheFolderHoldsInBothModes) {
    TypeParam server;
    ASSERT_TRUE(server.ready()) << server.error();
    auto expected = makeFixture(server.root());
    std::error_code ec;
    fs::remove_all(server.root() / "upload", ec); // not part of the comparison
    if (fs::exists(server.root() / "upload")) expected.erase("upload");
    for (bool passive : {false, true}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        ConnectParams p = this->params(server.port(), "anonymous", "me@example.org");
        p.passive = passive;
        auto id = this->engine.ConnectarAServidor(p);
        ASSERT_TRUE(id);
        auto entries = this->engine.fesLIST(*id, "/", true);
        ASSERT_TRUE(entries);
        std::map<std::string, Expected> got;
        for (const auto& en : *entries) got[en.name] = {en.kind, en.kind == Kind::File ? en.sizeValue : 0};
        got.erase("upload");
        ASSERT_EQ(got.size(), expected.size());
        // pyftpdlib's MLSD describes what a link points to, not the link.
        const bool followsLinks = this->engine.features(*id)->mlsd;
        for (auto [name, want] : expected) {
            ASSERT_TRUE(got.count(name)) << name;
            if (followsLinks && want.kind == Kind::Link) want = expected.at("plain.txt");
            EXPECT_EQ(got[name].kind, want.kind) << name;
            EXPECT_EQ(got[name].size, want.size) << name;
        }
        // The empty folder lists as empty, in the same mode.
        auto empty = this->engine.fesLIST(*id, "/empty folder", false);
        ASSERT_TRUE(empty);
        EXPECT_TRUE(empty->empty());
        // A folder that does not exist is refused, or (vsftpd) sent as an empty listing.
        auto none = this->engine.fesLIST(*id, "/no such folder", false);
        if (none) {
            EXPECT_TRUE(none->empty());
        }
        auto names = this->engine.FindLIST(*id, "/");
        ASSERT_TRUE(names);
        EXPECT_GE(names->size(), expected.size());
        this->engine.fesQUIT(*id);
    }
}

TYPED_TEST(RealListing, LoginWelcomeNoopAndQuit) {
    RealServerOptions o;
    o.banner = "Welcome to the test archive.";
    TypeParam server(o);
    ASSERT_TRUE(server.ready()) << server.error();
    auto id = this->engine.ConnectarAServidor(this->params(server.port(), "anonymous", "me@example.org"));
    ASSERT_TRUE(id);
    EXPECT_TRUE(this->sink.has("--->220 Welcome to the test archive."));
    EXPECT_TRUE(this->sink.has(">PASS **************"));
    EXPECT_EQ(this->sink.opened.at(0).workingDir, "/");
    this->sink.lines.clear();
    this->engine.fesNOOP(*id);
    ASSERT_EQ(this->sink.log().size(), 2u);
    EXPECT_EQ(this->sink.log()[0], ">NOOP 127.0.0.1");
    EXPECT_EQ(this->sink.log()[1].rfind("--->200", 0), 0u);
    this->engine.fesQUIT(*id);
    EXPECT_TRUE(this->sink.has(">QUIT"));
    EXPECT_FALSE(this->sink.has(">Error Logging Out"));
}

TYPED_TEST(RealListing, LocalUserPasswordIsChecked) {
    TypeParam server;
    ASSERT_TRUE(server.ready()) << server.error();
    if (!server.localUserAvailable()) GTEST_SKIP() << "no local user (not root)";
    auto wrong = this->engine.ConnectarAServidor(this->params(server.port(), server.localUser(), "wrong"));
    EXPECT_FALSE(wrong);
    EXPECT_TRUE(this->sink.has(">ERROR with password"));
    EXPECT_TRUE(this->sink.has("--NOT CONNECTED-- "));
    this->sink.lines.clear();
    auto right = this->engine.ConnectarAServidor(
        this->params(server.port(), server.localUser(), server.localPassword()));
    ASSERT_TRUE(right);
    EXPECT_FALSE(this->sink.anyStartsWith(">ERROR"));
}

// As in the window: the working folder is listed at login (TYPE A), then the
// resume probe. pyftpdlib refuses REST in ASCII mode but resumes binary
// transfers; the log must say it can.
struct ListsAtLogin : RecordingSink {
    FtpEngine* engine = nullptr;
    void sessionOpened(const SessionInfo& info) override {
        RecordingSink::sessionOpened(info);
        engine->fesLIST(info.id, info.workingDir, true);
    }
};

TYPED_TEST(RealListing, TheResumeProbeFollowsTheFirstListing) {
    TypeParam server;
    ASSERT_TRUE(server.ready()) << server.error();
    for (bool passive : {false, true}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        ListsAtLogin sink;
        PlainPrompter prompter;
        FtpEngine engine(sink, prompter);
        sink.engine = &engine;
        engine.applySettings({});
        ConnectParams p = this->params(server.port(), "anonymous", "me@example.org");
        p.passive = passive;
        auto id = engine.ConnectarAServidor(p);
        ASSERT_TRUE(id);
        // MLSD where the server lists it (pyftpdlib), LIST otherwise (vsftpd).
        EXPECT_TRUE(sink.has(engine.features(*id)->mlsd ? ">MLSD /" : ">LIST /"));
        EXPECT_TRUE(sink.has("-This Server can resume broken downloads."));
        EXPECT_FALSE(sink.has("-This Server can not resume broken downloads."));
        engine.fesQUIT(*id);
    }
}

} // namespace
} // namespace vn::test
