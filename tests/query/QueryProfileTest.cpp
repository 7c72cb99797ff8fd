// The four profiles and their port files.
#include <gtest/gtest.h>

#include "TestHome.h"
#include "common/IniFile.h"
#include "query/QueryProfile.h"

namespace vn {
namespace {

TEST(QueryProfiles, FourToolsOneClient) {
    struct Case {
        QueryKind kind;
        const char* section;
        const char* file;
        int port;
        QueryExchange exchange;
        bool suffix;
    };
    const Case cases[] = {
        {QueryKind::Finger, "Finger", "finger.ini", 79, QueryExchange::SendLine, false},
        {QueryKind::Whois, "Whois", "Whois.ini", 43, QueryExchange::SendLine, false},
        {QueryKind::DayTime, "DayTime", "DayTime.ini", 13, QueryExchange::ReadAll, true},
        {QueryKind::Time, "Time", "Time.ini", 37, QueryExchange::ReadTime, true},
    };
    for (const auto& c : cases) {
        const QueryProfile& p = queryProfile(c.kind);
        EXPECT_EQ(p.kind, c.kind);
        EXPECT_EQ(p.section, c.section);
        EXPECT_EQ(p.portFile, c.file);
        EXPECT_EQ(p.defaultPort, c.port);
        EXPECT_EQ(p.exchange, c.exchange);
        EXPECT_EQ(p.serviceSuffix, c.suffix);
        EXPECT_EQ(queryPortFile(p), test::testHome() / c.file);
    }
}

TEST(QueryProfiles, SocketErrorTexts) {
    EXPECT_EQ(socketErrorText(queryProfile(QueryKind::Finger), 111, "connecting [CONNECT]."),
              "ERROR 111 while connecting [CONNECT].");
    EXPECT_EQ(socketErrorText(queryProfile(QueryKind::Whois), 104, "reading."), "ERROR 104 while reading.");
    EXPECT_EQ(socketErrorText(queryProfile(QueryKind::DayTime), 104, "reading."),
              "ERROR 104 while reading.. Service not available.");
    EXPECT_EQ(socketErrorText(queryProfile(QueryKind::Time), 32, "writing."),
              "ERROR 32 while writing.. Service not available.");
}

// The port box: a value below 1 becomes the default and is written; so does
// one that is no 16-bit port.
TEST(QueryPorts, TheBoxRuleAndTheFile) {
    for (QueryKind kind : {QueryKind::Finger, QueryKind::Whois, QueryKind::DayTime, QueryKind::Time}) {
        const QueryProfile& p = queryProfile(kind);
        const auto file = queryPortFile(p);
        SCOPED_TRACE(p.section);
        EXPECT_EQ(loadQueryPort(p, file), p.defaultPort); // no file yet
        struct Case {
            long long typed;
            int applied;
        };
        const Case cases[] = {{7979, 7979}, {0, p.defaultPort}, {-5, p.defaultPort},
                              {65535, 65535}, {65536, p.defaultPort}, {1, 1}};
        for (const auto& c : cases) {
            EXPECT_EQ(storeQueryPort(p, file, c.typed), c.applied) << c.typed;
            EXPECT_EQ(IniFile(file).readInt(p.section, "Port", -1), c.applied);
            EXPECT_EQ(loadQueryPort(p, file), c.applied);
        }
        // Whatever else the file says reads as the default.
        for (const char* text : {"", "abc", "0", "-1", "70000", "99999999999999999999"}) {
            IniFile(file).writeString(p.section, "Port", text);
            EXPECT_EQ(loadQueryPort(p, file), p.defaultPort) << text;
        }
        // Section and key without regard to case.
        IniFile(file).deleteSection(p.section);
        IniFile(file).writeString("FINGER", "PORT", "1234");
        if (kind == QueryKind::Finger) {
            EXPECT_EQ(loadQueryPort(p, file), 1234);
        }
    }
}

} // namespace
} // namespace vn
