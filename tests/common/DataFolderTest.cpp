#include "common/DataFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <sys/stat.h>

#include "TestHome.h"

namespace fs = std::filesystem;

namespace {

// Sets (or with nullptr unsets) a variable for the scope, then restores it.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~EnvVar() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

mode_t modeOf(const fs::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

TEST(DataFolder, FollowsVarneloHome) {
    EXPECT_EQ(vn::dataFolder(), vn::test::testHome());
    EXPECT_EQ(vn::dataFile("siteman.dat"), vn::test::testHome() / "siteman.dat");
    EXPECT_EQ(vn::configFile(), vn::test::testHome() / "varnelo.ini");
}

TEST(DataFolder, EnvironmentIsReadAtEachCall) {
    fs::path first = vn::test::scratchDir("first");
    fs::path second = vn::test::scratchDir("second");
    {
        EnvVar home("VARNELO_HOME", first.c_str());
        EXPECT_EQ(vn::configFile(), first / "varnelo.ini");
    }
    {
        EnvVar home("VARNELO_HOME", second.c_str());
        EXPECT_EQ(vn::configFile(), second / "varnelo.ini");
    }
}

TEST(DataFolder, CreatesMissingFoldersPrivately) {
    fs::path base = vn::test::scratchDir("create");
    fs::path wanted = base / "a" / "b" / "varnelo";
    EnvVar home("VARNELO_HOME", wanted.c_str());
    EXPECT_EQ(vn::dataFolder(), wanted);
    EXPECT_TRUE(fs::is_directory(wanted));
    EXPECT_EQ(modeOf(wanted), 0700u);
    EXPECT_EQ(modeOf(base / "a"), 0700u);

    // An existing folder keeps its own mode.
    ::chmod(wanted.c_str(), 0750);
    vn::dataFolder();
    EXPECT_EQ(modeOf(wanted), 0750u);
}

TEST(DataFolder, FallsBackInOrder) {
    fs::path base = vn::test::scratchDir("fallback");
    const std::string xdg = (base / "xdg").string();
    const std::string user = (base / "user").string();
    const std::string own = (base / "own").string();
    struct Case {
        const char* name;
        const char* varneloHome;
        const char* xdgConfigHome;
        fs::path expected;
    } cases[] = {
        {"VARNELO_HOME wins", own.c_str(), xdg.c_str(), base / "own"},
        {"empty VARNELO_HOME is unset", "", xdg.c_str(), base / "xdg" / "varnelo"},
        {"unset VARNELO_HOME", nullptr, xdg.c_str(), base / "xdg" / "varnelo"},
        {"relative XDG_CONFIG_HOME is ignored", nullptr, "relative/xdg", base / "user" / ".config" / "varnelo"},
        {"empty XDG_CONFIG_HOME is ignored", nullptr, "", base / "user" / ".config" / "varnelo"},
        {"no XDG_CONFIG_HOME", nullptr, nullptr, base / "user" / ".config" / "varnelo"},
    };
    EnvVar homeVar("HOME", user.c_str());
    for (const auto& c : cases) {
        EnvVar v("VARNELO_HOME", c.varneloHome);
        EnvVar x("XDG_CONFIG_HOME", c.xdgConfigHome);
        EXPECT_EQ(vn::dataFolder(), c.expected) << c.name;
        EXPECT_TRUE(fs::is_directory(c.expected)) << c.name;
    }
    EXPECT_FALSE(fs::exists("relative"));
}

TEST(DataFolder, UncreatableFolderIsStillReturned) {
    fs::path blocker = vn::test::scratchDir("blocked") / "file";
    std::ofstream(blocker) << "in the way";
    fs::path wanted = blocker / "varnelo";
    EnvVar home("VARNELO_HOME", wanted.c_str());
    EXPECT_EQ(vn::dataFolder(), wanted);
    EXPECT_EQ(vn::configFile(), wanted / "varnelo.ini");
}

} // namespace
