#include "common/IniFile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "TestHome.h"

namespace fs = std::filesystem;
using vn::IniFile;

namespace {

void putFile(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

std::string getFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

mode_t modeOf(const fs::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

size_t entriesIn(const fs::path& dir) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

const char* const kSample =
    "\xEF\xBB\xBF"
    "orphan=before any section\r\n"
    "; comment line\r\n"
    "[Ping]\r\n"
    "Timeout = 2000 \r\n"
    "  Size\t=\t32\r\n"
    "Size=64\r\n"
    "Empty=\r\n"
    "no equals sign here\r\n"
    "\r\n"
    "[FTP]\r\n"
    "Total=2\r\n"
    "1=ftp.example.org\r\n"
    "[ping]\r\n"
    "Late=duplicate section is not read\r\n"
    "[N\xC3\xBAmeros]\r\n"
    "cl\xC3\xA0u=valor \xC3\xA0 la vista\n"
    "[Last]\n"
    "k=v";

TEST(IniFile, ReadsWithProfileSemantics) {
    fs::path p = vn::test::testHome() / "read.ini";
    putFile(p, kSample);
    IniFile ini(p);
    struct Case {
        const char* section;
        const char* key;
        const char* expected;
    } cases[] = {
        {"Ping", "Timeout", "2000"},
        {"ping", "timeout", "2000"},             // names ignore case
        {"PING", "TIMEOUT", "2000"},
        {"Ping", "Size", "32"},                  // first key wins, blanks trimmed
        {"Ping", "Empty", ""},
        {"Ping", "Late", "<def>"},               // a second [ping] is not read
        {"Ping", "no equals sign here", "<def>"},
        {"Ping", "orphan", "<def>"},             // keys before any header belong nowhere
        {"", "orphan", "<def>"},
        {"FTP", "1", "ftp.example.org"},
        {"ftp", "Total", "2"},
        {"Missing", "Timeout", "<def>"},
        {"Ping", "Missing", "<def>"},
        {"N\xC3\xBAmeros", "cl\xC3\xA0u", "valor \xC3\xA0 la vista"},
        {"Last", "k", "v"},                      // last line without line end
    };
    for (const auto& c : cases)
        EXPECT_EQ(ini.readString(c.section, c.key, "<def>"), c.expected)
            << "[" << c.section << "] " << c.key;
    EXPECT_TRUE(ini.hasKey("PING", "empty"));
    EXPECT_FALSE(ini.hasKey("Ping", "Late"));
    EXPECT_EQ(ini.keys("ping"), (std::vector<std::string>{"Timeout", "Size", "Empty"}));
    EXPECT_TRUE(ini.keys("Missing").empty());
}

TEST(IniFile, ReadIntAcceptsOnlyWholeDecimalNumbers) {
    struct Case {
        const char* text;
        long long expected;
    } cases[] = {
        {"12", 12},
        {" 12 ", 12},
        {"\t-7\t", -7},
        {"+7", 7},
        {"0", 0},
        {"-0", 0},
        {"9223372036854775807", LLONG_MAX},
        {"-9223372036854775808", LLONG_MIN},
        {"9223372036854775808", -1},   // overflow
        {"-9223372036854775809", -1},
        {"99999999999999999999", -1},
        {"", -1},
        {"abc", -1},
        {"12abc", -1},
        {"1 2", -1},
        {"- 5", -1},
        {"+-5", -1},
        {"++5", -1},
        {"+", -1},
        {"-", -1},
        {"0x10", -1},
        {"1.5", -1},
    };
    fs::path p = vn::test::testHome() / "int.ini";
    std::string text = "[N]\n";
    for (size_t i = 0; i < std::size(cases); ++i)
        text += "k" + std::to_string(i) + "=" + cases[i].text + "\n";
    putFile(p, text);
    IniFile ini(p);
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(ini.readInt("n", "K" + std::to_string(i), -1), cases[i].expected)
            << "\"" << cases[i].text << "\"";
    EXPECT_EQ(ini.readInt("N", "absent", 42), 42);
}

TEST(IniFile, MissingFileReadsDefaults) {
    IniFile ini(vn::test::testHome() / "nothing.ini");
    EXPECT_EQ(ini.readString("A", "b", "def"), "def");
    EXPECT_EQ(ini.readString("A", "b"), "");
    EXPECT_EQ(ini.readInt("A", "b", 5), 5);
    EXPECT_FALSE(ini.hasKey("A", "b"));
    EXPECT_TRUE(ini.keys("A").empty());
    // Deleting from nothing succeeds and creates nothing.
    EXPECT_TRUE(ini.deleteKey("A", "b"));
    EXPECT_TRUE(ini.deleteSection("A"));
    EXPECT_FALSE(fs::exists(ini.path()));
}

TEST(IniFile, EditsKeepEveryOtherLine) {
    const std::string original =
        "; settings\r\n"
        "[Ping]\r\n"
        "  TimeOut = 2000\r\n"
        "# keep me\r\n"
        "Size=32\r\n"
        "stray line\r\n"
        "\r\n"
        "[Telnet]\r\n"
        "Port=23\r\n";
    struct Case {
        const char* name;
        std::function<bool(IniFile&)> edit;
        std::string expected;
    } cases[] = {
        {"update in place keeps the file's spelling",
         [](IniFile& i) { return i.writeString("PING", "timeout", "500"); },
         "; settings\n[Ping]\nTimeOut=500\n# keep me\nSize=32\nstray line\n\n[Telnet]\nPort=23\n"},
        {"missing key goes to the end of its section",
         [](IniFile& i) { return i.writeInt("ping", "Count", -4); },
         "; settings\n[Ping]\n  TimeOut = 2000\n# keep me\nSize=32\nstray line\nCount=-4\n\n"
         "[Telnet]\nPort=23\n"},
        {"missing key in the last section",
         [](IniFile& i) { return i.writeString("telnet", "Host", "h"); },
         "; settings\n[Ping]\n  TimeOut = 2000\n# keep me\nSize=32\nstray line\n\n"
         "[Telnet]\nPort=23\nHost=h\n"},
        {"missing section goes to the end of the file",
         [](IniFile& i) { return i.writeString("FTP", "Total", "0"); },
         "; settings\n[Ping]\n  TimeOut = 2000\n# keep me\nSize=32\nstray line\n\n"
         "[Telnet]\nPort=23\n\n[FTP]\nTotal=0\n"},
        {"delete a key",
         [](IniFile& i) { return i.deleteKey("PING", "SIZE"); },
         "; settings\n[Ping]\n  TimeOut = 2000\n# keep me\nstray line\n\n[Telnet]\nPort=23\n"},
        {"delete a section",
         [](IniFile& i) { return i.deleteSection("telnet"); },
         "; settings\n[Ping]\n  TimeOut = 2000\n# keep me\nSize=32\nstray line\n\n"},
    };
    for (const auto& c : cases) {
        fs::path p = vn::test::testHome() / "edit.ini";
        putFile(p, original);
        IniFile ini(p);
        EXPECT_TRUE(c.edit(ini)) << c.name;
        EXPECT_EQ(getFile(p), c.expected) << c.name;
    }
}

TEST(IniFile, DuplicatesCannotResurface) {
    fs::path p = vn::test::testHome() / "dup.ini";
    putFile(p, "[A]\nk=1\nk=2\n[B]\nx=1\n[a]\nk=3\nz=9\n");
    IniFile ini(p);
    ASSERT_TRUE(ini.writeString("A", "K", "new"));
    EXPECT_EQ(ini.readString("A", "k"), "new");
    ASSERT_TRUE(ini.deleteKey("a", "k"));
    EXPECT_FALSE(ini.hasKey("A", "k"));
    ASSERT_TRUE(ini.deleteSection("A"));
    EXPECT_FALSE(ini.hasKey("A", "z"));
    EXPECT_EQ(getFile(p), "[B]\nx=1\n");
}

TEST(IniFile, HistorySectionIsTheSettingsSection) {
    fs::path p = vn::test::testHome() / "varnelo.ini";
    putFile(p, "[Ping]\nTimeout=2000\n");
    IniFile ini(p);
    ASSERT_TRUE(ini.writeString("ping", "Total", "1"));
    ASSERT_TRUE(ini.writeString("ping", "1", "10.0.0.1"));
    EXPECT_EQ(getFile(p), "[Ping]\nTimeout=2000\nTotal=1\n1=10.0.0.1\n");
    EXPECT_EQ(ini.readInt("PING", "timeout", 0), 2000);
}

TEST(IniFile, TwoInstancesSeeEachOthersWrites) {
    fs::path p = vn::test::testHome() / "shared.ini";
    IniFile a(p), b(p);
    ASSERT_TRUE(a.writeString("S", "k", "one"));
    EXPECT_EQ(b.readString("s", "K"), "one");
    ASSERT_TRUE(b.writeString("s", "K", "two"));
    EXPECT_EQ(a.readString("S", "k"), "two");
    ASSERT_TRUE(b.deleteKey("S", "k"));
    EXPECT_FALSE(a.hasKey("S", "k"));
    // A change made behind both instances' backs is seen too.
    putFile(p, "[S]\nk=three\n");
    EXPECT_EQ(a.readString("S", "k"), "three");
}

TEST(IniFile, PermissionBits) {
    fs::path fresh = vn::test::testHome() / "fresh.ini";
    ASSERT_TRUE(IniFile(fresh).writeInt("A", "b", 1));
    EXPECT_EQ(modeOf(fresh), 0600u);

    fs::path kept = vn::test::testHome() / "kept.ini";
    putFile(kept, "[A]\nb=1\n");
    ASSERT_EQ(::chmod(kept.c_str(), 0640), 0);
    ASSERT_TRUE(IniFile(kept).writeInt("A", "b", 2));
    EXPECT_EQ(modeOf(kept), 0640u);
}

TEST(IniFile, WritesThroughSymbolicLink) {
    fs::path real = vn::test::testHome() / "real.ini";
    fs::path link = vn::test::testHome() / "link.ini";
    putFile(real, "[A]\nb=1\n");
    fs::create_symlink(real, link);
    ASSERT_TRUE(IniFile(link).writeInt("A", "b", 2));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(getFile(real), "[A]\nb=2\n");
}

TEST(IniFile, FailedWriteLeavesOldFileAndNoLeftovers) {
    fs::path dir = vn::test::scratchDir("fail");
    struct Case {
        const char* name;
        fs::path target;
        bool existsAfter;
    } cases[] = {
        {"folder missing", dir / "no" / "such" / "folder.ini", false},
        {"target is a folder", dir / "folder.ini", true},
    };
    fs::create_directory(dir / "folder.ini");
    for (const auto& c : cases) {
        IniFile ini(c.target);
        EXPECT_FALSE(ini.writeString("A", "b", "c")) << c.name;
        EXPECT_EQ(fs::exists(c.target), c.existsAfter) << c.name;
    }
    EXPECT_EQ(entriesIn(dir), 1u); // only the folder itself: no temporary left behind
}

// The check runs in a child process without root's privilege, which ignores
// folder permissions. Exit codes: 0 refused and intact, 1 reported success,
// 2 file changed, 3 could not read the file at all (test setup problem).
int writeIntoReadOnlyFolder(const fs::path& file, const std::string& before) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 3;
    IniFile ini(file);
    if (ini.readString("A", "b") != "old") return 3;
    if (ini.writeString("A", "b", "new")) return 1;
    if (getFile(file) != before || ini.readString("A", "b") != "old") return 2;
    return 0;
}

TEST(IniFile, WriteIntoReadOnlyFolderFailsAndKeepsFile) {
    fs::path dir = vn::test::scratchDir("ro");
    fs::path file = dir / "settings.ini";
    const std::string before = "; mine\n[A]\nb=old\n";
    putFile(file, before);
    ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
    // Let an unprivileged user reach the folder, but not write to it.
    ASSERT_EQ(::chmod(vn::test::testHome().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(dir.parent_path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(dir.c_str(), 0555), 0);

    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) ::_exit(writeIntoReadOnlyFolder(file, before));
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ::chmod(dir.c_str(), 0755);
    ::chmod(vn::test::testHome().c_str(), 0700);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "no unprivileged user can reach the test folder";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(getFile(file), before);
    EXPECT_EQ(entriesIn(dir), 1u);
}

TEST(IniFile, ConcurrentWritersLoseNothing) {
    fs::path dir = vn::test::testHome();
    fs::create_directory(dir / "sub");
    // Different spellings of one path share one lock.
    const fs::path spellings[] = {dir / "conc.ini", dir / "." / "conc.ini",
                                  dir / "sub" / ".." / "conc.ini", dir / "conc.ini"};
    constexpr int kThreads = 4, kKeys = 50;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            IniFile ini(spellings[t]);
            for (int k = 0; k < kKeys; ++k)
                if (!ini.writeInt("Work", "t" + std::to_string(t) + "k" + std::to_string(k), t * 1000 + k))
                    ++failures;
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
    IniFile ini(dir / "conc.ini");
    EXPECT_EQ(ini.keys("Work").size(), size_t(kThreads * kKeys));
    for (int t = 0; t < kThreads; ++t)
        for (int k = 0; k < kKeys; ++k)
            EXPECT_EQ(ini.readInt("work", "T" + std::to_string(t) + "K" + std::to_string(k), -1),
                      t * 1000 + k);
}

TEST(IniFile, RefusesTextThatWouldBreakTheFile) {
    using namespace std::string_literals;
    struct Case {
        std::string section, key, value;
    } cases[] = {
        {"A", "k", "line\nbreak"},
        {"A", "k", "carriage\rreturn"},
        {"A", "k", "nul\0byte"s},
        {"A", "k", "\r\n[B]\r\nx=1"},
        {"A", "k=x", "v"},
        {"A", "[k]", "v"},
        {"A", ";k", "v"},
        {"A", "", "v"},
        {"A", "a\nb", "v"},
        {"A]", "k", "v"},
        {"", "k", "v"},
        {"A\n", "k", "v"},
    };
    fs::path p = vn::test::testHome() / "refuse.ini";
    const std::string before = "[A]\nk=old\n";
    putFile(p, before);
    IniFile ini(p);
    for (const auto& c : cases) {
        EXPECT_FALSE(ini.writeString(c.section, c.key, c.value))
            << "[" << c.section << "] " << c.key << "=" << c.value;
        EXPECT_EQ(getFile(p), before);
    }
}

TEST(IniFile, BytesRoundTripUnchanged) {
    fs::path p = vn::test::testHome() / "bytes.ini";
    IniFile ini(p);
    const std::string values[] = {
        "Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC",     // UTF-8
        "latin1 \xE9\xE8\xFF",                         // not UTF-8 at all
        "a=b=c",
        "[not a section]",
        "; not a comment",
        "\xEF\xBB\xBF" "bom inside",
    };
    for (size_t i = 0; i < std::size(values); ++i)
        ASSERT_TRUE(ini.writeString("S\xC3\xA9" "cci\xC3\xB3", "cl\xC3\xA0u" + std::to_string(i), values[i]));
    for (size_t i = 0; i < std::size(values); ++i)
        EXPECT_EQ(ini.readString("S\xC3\xA9" "cci\xC3\xB3", "cl\xC3\xA0u" + std::to_string(i)), values[i]);
    // Non-ASCII letters are bytes: only ASCII letters fold.
    EXPECT_FALSE(ini.hasKey("S\xC3\x89" "cci\xC3\xB3", "cl\xC3\xA0u0"));
    EXPECT_TRUE(ini.hasKey("s\xC3\xA9" "CCI\xC3\xB3", "CL\xC3\xA0U0"));
}

} // namespace
