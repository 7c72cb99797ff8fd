#include "common/History.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "TestHome.h"
#include "common/DataFolder.h"

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

namespace {

std::string getFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(History, NewestFirst) {
    vn::IniFile ini(vn::configFile());
    vn::History h(ini, "FTP");
    for (const char* host : {"A", "B", "C"}) h.AfegirComAVisitat(host);
    EXPECT_EQ(h.entries(), (Strings{"C", "B", "A"}));
    EXPECT_EQ(ini.readString("FTP", "1"), "C");
    EXPECT_EQ(ini.readString("FTP", "2"), "B");
    EXPECT_EQ(ini.readString("FTP", "3"), "A");
    EXPECT_EQ(ini.readInt("FTP", "Total", -1), 3);
}

TEST(History, SixthHostPushesTheFifthOut) {
    vn::IniFile ini(vn::configFile());
    vn::History h(ini, "Telnet");
    for (const char* host : {"h1", "h2", "h3", "h4", "h5", "h6"}) h.AfegirComAVisitat(host);
    EXPECT_EQ(h.entries(), (Strings{"h6", "h5", "h4", "h3", "h2"}));
    EXPECT_EQ(ini.readInt("Telnet", "Total", -1), 5);
    EXPECT_EQ(ini.readString("Telnet", "6"), "h1");
    h.AfegirComAVisitat("h7");
    EXPECT_EQ(ini.readString("Telnet", "6"), "h2");
    EXPECT_FALSE(ini.hasKey("Telnet", "7"));
    EXPECT_EQ(h.entries(), (Strings{"h7", "h6", "h5", "h4", "h3"}));
}

TEST(History, SameHostTwiceGivesTwoEntries) {
    vn::IniFile ini(vn::configFile());
    vn::History h(ini, "Finger");
    h.AfegirComAVisitat("10.0.0.1");
    h.AfegirComAVisitat("10.0.0.1");
    EXPECT_EQ(h.entries(), (Strings{"10.0.0.1", "10.0.0.1"}));
}

TEST(History, EmptyOrMissing) {
    vn::IniFile ini(vn::configFile());
    EXPECT_TRUE(vn::History(ini, "Whois").entries().empty()); // no file at all
    ASSERT_TRUE(ini.writeInt("Whois", "Total", 0));
    ASSERT_TRUE(ini.writeString("Whois", "1", "stale.example.org"));
    EXPECT_TRUE(vn::History(ini, "Whois").entries().empty());
}

TEST(History, EmptyPlacesAreNotShown) {
    vn::IniFile ini(vn::configFile());
    ASSERT_TRUE(ini.writeInt("DayTime", "Total", 4));
    ASSERT_TRUE(ini.writeString("DayTime", "2", "b"));
    ASSERT_TRUE(ini.writeString("DayTime", "4", "d"));
    EXPECT_EQ(vn::History(ini, "DayTime").entries(), (Strings{"b", "d"}));
}

TEST(History, DamagedTotalIsClamped) {
    struct Case {
        const char* total;
        Strings shownBefore;
        Strings shownAfter;
        long long totalAfter;
    } cases[] = {
        {"99999999", {"k1", "k2", "k3", "k4", "k5"}, {"new", "k1", "k2", "k3", "k4"}, 5},
        {"99999999999999999999", {}, {"new"}, 1},
        {"6", {"k1", "k2", "k3", "k4", "k5"}, {"new", "k1", "k2", "k3", "k4"}, 5},
        {"-3", {}, {"new"}, 1},
        {"abc", {}, {"new"}, 1},
        {"2x", {}, {"new"}, 1},
        {"", {}, {"new"}, 1},
        {" 2 ", {"k1", "k2"}, {"new", "k1", "k2"}, 3},
    };
    for (const auto& c : cases) {
        fs::path p = vn::test::testHome() / "damaged.ini";
        std::ofstream(p, std::ios::trunc) << "[Time]\nTotal=" << c.total
                                          << "\n1=k1\n2=k2\n3=k3\n4=k4\n5=k5\n6=k6\n7=k7\n";
        vn::IniFile ini(p);
        vn::History h(ini, "time");
        EXPECT_EQ(h.entries(), c.shownBefore) << c.total;
        auto start = std::chrono::steady_clock::now();
        h.AfegirComAVisitat("new");
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << c.total;
        EXPECT_EQ(h.entries(), c.shownAfter) << c.total;
        EXPECT_EQ(ini.readInt("Time", "Total", -1), c.totalAfter) << c.total;
        EXPECT_EQ(ini.readString("Time", "7"), "k7") << c.total; // nothing beyond "6" moves
    }
}

TEST(History, InstancesShareTheFile) {
    // Ping and Traceroute windows keep one history, each with its own objects.
    vn::IniFile pingIni(vn::configFile()), traceIni(vn::configFile());
    vn::History ping(pingIni, "ping"), trace(traceIni, "PING");
    ping.AfegirComAVisitat("127.0.0.1");
    EXPECT_EQ(trace.entries(), (Strings{"127.0.0.1"}));
    trace.AfegirComAVisitat("localhost");
    EXPECT_EQ(ping.entries(), (Strings{"localhost", "127.0.0.1"}));
}

TEST(History, KeepsTheRestOfTheFile) {
    fs::path p = vn::configFile();
    std::ofstream(p) << "; suite settings\n[Ping]\nTimeout=2000\n\n[FTP]\nPassive=1\n";
    vn::IniFile ini(p);
    vn::History(ini, "ping").AfegirComAVisitat("example.org");
    EXPECT_EQ(getFile(p),
              "; suite settings\n[Ping]\nTimeout=2000\n1=example.org\nTotal=1\n\n[FTP]\nPassive=1\n");
}

TEST(History, RefusesHostsThatCannotBeStored) {
    vn::IniFile ini(vn::configFile());
    vn::History h(ini, "FTP");
    h.AfegirComAVisitat("a");
    h.AfegirComAVisitat("");
    h.AfegirComAVisitat("evil\n[Misc]\nLogFile=/etc/passwd");
    EXPECT_EQ(h.entries(), (Strings{"a"}));
    EXPECT_EQ(ini.readInt("FTP", "Total", -1), 1);
    EXPECT_FALSE(ini.hasKey("Misc", "LogFile"));
}

} // namespace
