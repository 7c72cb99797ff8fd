#include "common/LogMirror.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "TestHome.h"
#include "common/DataFolder.h"
#include "common/IniFile.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> linesOf(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::vector<std::string> out;
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

const std::regex kStamp(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d )");

bool stampedAs(const std::string& line, const std::string& rest) {
    return line.size() == 20 + rest.size() && std::regex_match(line.substr(0, 20), kStamp) &&
           line.substr(20) == rest;
}

TEST(LogMirror, WritesNothingWithoutALogFile) {
    vn::LogMirror::append("Ping", "Reply from 127.0.0.1");
    vn::IniFile(vn::configFile()).writeString("Misc", "LogFile", "");
    vn::LogMirror::append("Ping", "Reply from 127.0.0.1");
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(vn::test::testHome())) files.push_back(e.path());
    EXPECT_EQ(files, std::vector<fs::path>{vn::configFile()});
}

TEST(LogMirror, StampsEachLineWithTimeAndCaption) {
    fs::path log = vn::test::testHome() / "env.log";
    ::setenv("VARNELO_LOG", log.c_str(), 1);
    vn::LogMirror::append("FTP - ftp.example.org", "230 Login successful.");
    vn::LogMirror::append("Ping", "Request timed out.");
    auto lines = linesOf(log);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(stampedAs(lines[0], "[FTP - ftp.example.org] 230 Login successful.")) << lines[0];
    EXPECT_TRUE(stampedAs(lines[1], "[Ping] Request timed out.")) << lines[1];
    struct stat st {};
    ASSERT_EQ(::stat(log.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST(LogMirror, AppendsToWhatIsThere) {
    fs::path log = vn::test::testHome() / "old.log";
    std::ofstream(log) << "earlier line\n";
    ::setenv("VARNELO_LOG", log.c_str(), 1);
    vn::LogMirror::append("Time", "done");
    auto lines = linesOf(log);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "earlier line");
    EXPECT_TRUE(stampedAs(lines[1], "[Time] done"));
}

TEST(LogMirror, ChoosesTheFile) {
    fs::path abs = vn::test::scratchDir("logs") / "abs.log";
    fs::path env = vn::test::scratchDir("logs") / "env.log";
    struct Case {
        const char* name;
        const char* envValue;
        std::string iniValue;
        fs::path expected;
    } cases[] = {
        {"relative LogFile is in the data folder", nullptr, "rel.log", vn::test::testHome() / "rel.log"},
        {"absolute LogFile", nullptr, abs.string(), abs},
        {"empty VARNELO_LOG falls back to LogFile", "", abs.string(), abs},
        {"VARNELO_LOG wins over LogFile", env.c_str(), abs.string(), env},
    };
    for (const auto& c : cases) {
        c.envValue ? ::setenv("VARNELO_LOG", c.envValue, 1) : ::unsetenv("VARNELO_LOG");
        // Written just before use: a changed setting is seen at the next line.
        ASSERT_TRUE(vn::IniFile(vn::configFile()).writeString("MISC", "logfile", c.iniValue));
        const std::string line = std::string("for ") + c.name;
        vn::LogMirror::append("Case", line);
        auto lines = linesOf(c.expected);
        ASSERT_FALSE(lines.empty()) << c.name;
        EXPECT_TRUE(stampedAs(lines.back(), "[Case] " + line)) << c.name;
    }
    ::unsetenv("VARNELO_LOG");
}

TEST(LogMirror, OneEntryIsOneLine) {
    fs::path log = vn::test::testHome() / "multi.log";
    ::setenv("VARNELO_LOG", log.c_str(), 1);
    vn::LogMirror::append("Cap\ntion", "first\r\nsecond\n");
    auto lines = linesOf(log);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(stampedAs(lines[0], "[Cap tion] first  second")) << lines[0];
}

TEST(LogMirror, FailuresAreSilent) {
    const fs::path where[] = {vn::test::testHome() / "no" / "folder" / "x.log", vn::test::scratchDir("dir")};
    for (const auto& p : where) {
        ::setenv("VARNELO_LOG", p.c_str(), 1);
        EXPECT_NO_THROW(vn::LogMirror::append("Ping", "lost"));
    }
    EXPECT_FALSE(fs::exists(where[0]));
    EXPECT_TRUE(fs::is_directory(where[1]));
}

TEST(LogMirror, ThreadsNeverSplitLines) {
    fs::path log = vn::test::testHome() / "threads.log";
    ::setenv("VARNELO_LOG", log.c_str(), 1);
    constexpr int kThreads = 4, kLines = 50;
    const std::string filler(300, 'x');
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kLines; ++i)
                vn::LogMirror::append("T" + std::to_string(t), std::to_string(i) + filler);
        });
    for (auto& th : threads) th.join();
    auto lines = linesOf(log);
    ASSERT_EQ(lines.size(), size_t(kThreads * kLines));
    std::vector<int> next(kThreads, 0);
    for (const auto& l : lines) {
        ASSERT_GT(l.size(), 22u);
        int t = l[22] - '0';
        ASSERT_TRUE(t >= 0 && t < kThreads) << l;
        EXPECT_TRUE(stampedAs(l, "[T" + std::to_string(t) + "] " + std::to_string(next[t]++) + filler)) << l;
    }
}

} // namespace

namespace {

TEST(WindowLogMirror, AReplacedLineIsWrittenInItsFinalForm) {
    fs::path log = vn::test::testHome() / "window.log";
    ::setenv("VARNELO_LOG", log.c_str(), 1);
    {
        vn::WindowLogMirror m("FTP");
        m.add(1, ">RETR /a.bin");
        m.addReplaceable(2, "Transmitting file...");
        m.addReplaceable(3, "");
        for (int i = 1; i <= 3; ++i) {
            m.replace(2, "Transmitting file... [" + std::to_string(i) + "] KBytes/sec (0.1 secs)");
            m.replace(3, "\xc2\xb7) " + std::to_string(i * 1000) + " Bytes received.");
        }
        // Nothing of the progress lines is written while they may still change.
        EXPECT_EQ(linesOf(log).size(), 1u);
        m.add(4, ">File '/a.bin' transmitted OK.");
        m.replace(2, "too late");  // already written: stays as written
        m.addReplaceable(5, "Transmitting file...");
        m.replace(5, "Transmitting file... [9] KBytes/sec (0.5 secs)");
    }  // the last held line goes when the mirror goes
    auto lines = linesOf(log);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_TRUE(stampedAs(lines[0], "[FTP] >RETR /a.bin")) << lines[0];
    EXPECT_TRUE(stampedAs(lines[1], "[FTP] Transmitting file... [3] KBytes/sec (0.1 secs)")) << lines[1];
    EXPECT_TRUE(stampedAs(lines[2], "[FTP] \xc2\xb7) 3000 Bytes received.")) << lines[2];
    EXPECT_TRUE(stampedAs(lines[3], "[FTP] >File '/a.bin' transmitted OK.")) << lines[3];
    EXPECT_TRUE(stampedAs(lines[4], "[FTP] Transmitting file... [9] KBytes/sec (0.5 secs)")) << lines[4];
    ::unsetenv("VARNELO_LOG");
}

} // namespace
