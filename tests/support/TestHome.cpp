#include "TestHome.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace vn::test {
namespace {

std::filesystem::path g_home;

class HomeListener : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        const char* base = std::getenv("VARNELO_TEST_TMP");
        std::filesystem::path root = base ? base : std::filesystem::temp_directory_path();
        std::filesystem::create_directories(root);
        std::string templ = (root / "home-XXXXXX").string();
        if (!mkdtemp(templ.data())) std::abort();
        g_home = templ;
        setenv("VARNELO_HOME", g_home.c_str(), 1);
        unsetenv("VARNELO_LOG");
    }
    void OnTestEnd(const ::testing::TestInfo& info) override {
        std::error_code ec;
        if (info.result() && info.result()->Passed()) std::filesystem::remove_all(g_home, ec);
    }
};

const bool registered = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new HomeListener);
    return true;
}();

} // namespace

std::filesystem::path testHome() { return g_home; }

std::filesystem::path scratchDir(const char* name) {
    auto p = g_home / "scratch" / name;
    std::filesystem::create_directories(p);
    return p;
}

} // namespace vn::test
