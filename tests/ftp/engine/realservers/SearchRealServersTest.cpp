// Searching a three-level tree on real servers in both data modes, with a
// cycle made of symlinks in the tree: every match, in walk order, and the
// walk ends inside the start folder.
#include "../EngineFixture.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "RealFtpServers.h"
#include "ftp/engine/FileSearch.h"

namespace vn::test {
namespace {

namespace fs = std::filesystem;

struct Found : SearchSink {
    std::vector<std::string> paths, folders;
    void searching(const std::string& folder) override { folders.push_back(folder); }
    void found(const std::string& folder, const std::string& name) override { paths.push_back(folder + name); }
};

template <class Server>
struct RealSearch : EngineFixture {};

using Servers = ::testing::Types<Vsftpd, PyFtpd>;
TYPED_TEST_SUITE(RealSearch, Servers);

TYPED_TEST(RealSearch, FindsEveryLevelInBothModesAndEndsOnALinkCycle) {
    TypeParam server;
    ASSERT_TRUE(server.ready()) << server.error();
    const fs::path t = server.root() / "tree";
    fs::create_directories(t / "a/b");
    for (const char* f : {"ReadMe.txt", "a/README.TXT", "a/b/readme.txt", "a/b/readme.txt.bak", "a/other"})
        std::ofstream(t / f) << "x";
    fs::create_directory(t / "a/readme.txt"); // a folder never matches
    fs::create_directory_symlink("..", t / "a/b/up"); // a cycle
    fs::create_directory_symlink("../..", t / "a/b/top");
    for (auto& p : fs::recursive_directory_iterator(t))
        if (!fs::is_symlink(p.symlink_status())) // chmod would follow the link
            ::chmod(p.path().c_str(), fs::is_directory(p.symlink_status()) ? 0755 : 0644);
    ::chmod(t.c_str(), 0755);
    for (bool passive : {false, true}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        ConnectParams p = this->params(server.port(), "anonymous", "me@example.org");
        p.passive = passive;
        auto id = this->engine.ConnectarAServidor(p);
        ASSERT_TRUE(id);
        Found sink;
        FileSearch search("readme.txt", sink, [this] { return this->engine.wait().cancelled(); });
        SearchSummary s = search.remote(this->engine, *id, "/tree/");
        EXPECT_EQ(s.outcome, Outcome::Done);
        EXPECT_EQ(s.tooDeep, 0u);
        // The servers list in their own order; the levels nest as walked.
        std::vector<std::string> sorted = sink.paths;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(sorted, (std::vector<std::string>{"/tree/ReadMe.txt", "/tree/a/README.TXT", "/tree/a/b/readme.txt"}));
        auto at = [&](const std::string& x) { return std::find(sink.paths.begin(), sink.paths.end(), x) - sink.paths.begin(); };
        // A sub-folder's matches come together, where the sub-folder stands.
        EXPECT_EQ(std::abs(at("/tree/a/README.TXT") - at("/tree/a/b/readme.txt")), 1);
        for (const auto& f : sink.folders) EXPECT_EQ(f.rfind("/tree/", 0), 0u) << f;
        // The links are not read: only the real folders are.
        std::vector<std::string> folders = sink.folders;
        std::sort(folders.begin(), folders.end());
        EXPECT_EQ(folders, (std::vector<std::string>{"/tree/", "/tree/a/", "/tree/a/b/", "/tree/a/readme.txt/"}));
        this->engine.fesQUIT(*id);
    }
}

} // namespace
} // namespace vn::test
