// The resume store "rest.ini": expiry, matching, dense renumbering, and the
// engine-side write and look-up with the server's REST probe.
#include "TransferFixture.h"

#include "common/DataFolder.h"
#include "common/IniFile.h"

namespace vn::test {
namespace {

CivilDate d(int day, int month, int year) { return {year, month, day}; }

TEST(RestDate, ExpiryIsThirtyDaysOfTheRoughCalendar) {
    struct Case {
        CivilDate written, today;
        bool expired;
    } cases[] = {
        {d(31, 1, 2003), d(1, 3, 2003), false}, // exactly 30 by Y*365+M*30+D
        {d(31, 1, 2003), d(2, 3, 2003), true},
        {d(5, 6, 2010), d(5, 6, 2010), false},
        {d(15, 1, 2003), d(14, 2, 2003), false},
        {d(15, 1, 2003), d(16, 2, 2003), true},
        {d(31, 12, 2002), d(30, 1, 2003), true}, // the formula's year is 365 + 5 days longer than 12 months
        {d(1, 1, 2000), d(1, 1, 2026), true},
        {d(10, 10, 2030), d(1, 1, 2026), false}, // written "in the future": kept
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(formatRestDate(c.written) + " looked up " + formatRestDate(c.today));
        EXPECT_EQ(restRecordExpired(c.written, c.today), c.expired);
    }
}

TEST(RestDate, ParsesOnlyDayMonthYear) {
    struct Case {
        const char* text;
        bool ok;
        int day, month, year;
    } cases[] = {
        {"01/03/2003", true, 1, 3, 2003}, {"1/3/2003", true, 1, 3, 2003},   {"31/12/1999", true, 31, 12, 1999},
        {"01-03-2003", false, 0, 0, 0},   {"32/01/2003", false, 0, 0, 0},   {"01/13/2003", false, 0, 0, 0},
        {"00/01/2003", false, 0, 0, 0},   {"", false, 0, 0, 0},             {"01/03/03", false, 0, 0, 0},
        {"aa/bb/cccc", false, 0, 0, 0},   {"01/03/2003x", false, 0, 0, 0},  {"01/03/+003", false, 0, 0, 0},
        {"001/03/2003", false, 0, 0, 0},  {"01/03", false, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto got = parseRestDate(c.text);
        ASSERT_EQ(got.has_value(), c.ok);
        if (c.ok) {
            EXPECT_EQ(got->day, c.day);
            EXPECT_EQ(got->month, c.month);
            EXPECT_EQ(got->year, c.year);
        }
    }
    EXPECT_EQ(formatRestDate(d(2, 3, 2003)), "02/03/2003");
}

struct Rec {
    const char* type;
    const char* ip;
    const char* src;
    const char* dst;
    std::uint64_t marker;
    const char* date; // nullptr: no DATA key at all
};

struct Query {
    const char* type;
    const char* ip;
    const char* src;
    const char* dst;
};

struct TakeCase {
    const char* name;
    std::vector<Rec> before;
    Query query;
    CivilDate today;
    std::uint64_t result;
    std::vector<int> kept; // indexes into before, in order
};

void PrintTo(const TakeCase& c, std::ostream* os) { *os << c.name; }

std::filesystem::path storeFile() { return testHome() / "rest.ini"; }

void writeRecords(const std::vector<Rec>& recs) {
    IniFile ini(storeFile());
    for (std::size_t i = 0; i < recs.size(); ++i) {
        std::string k = std::to_string(i + 1);
        const Rec& r = recs[i];
        ini.writeString("TIPUS", k, r.type);
        ini.writeString("IP", k, r.ip);
        ini.writeString("FITXERORIGEN", k, r.src);
        ini.writeString("FITXERDESTI", k, r.dst);
        ini.writeString("MARKER", k, std::to_string(r.marker));
        if (r.date) ini.writeString("DATA", k, r.date);
    }
    ini.writeInt("REST", "TOTAL", static_cast<long long>(recs.size()));
}

const CivilDate kToday = d(10, 6, 2026);
const char* kFresh = "01/06/2026";
const char* kOld = "01/01/2026";

class Take : public ::testing::TestWithParam<TakeCase> {};

TEST_P(Take, ReturnsTheMarkerAndLeavesTheStoreDense) {
    const TakeCase& c = GetParam();
    writeRecords(c.before);
    ResumeStore store;
    ASSERT_EQ(store.path(), storeFile());
    EXPECT_EQ(store.take(c.query.type, c.query.ip, c.query.src, c.query.dst, c.today), c.result);
    auto after = store.records();
    ASSERT_EQ(after.size(), c.kept.size());
    IniFile ini(storeFile());
    EXPECT_EQ(ini.readInt("REST", "TOTAL", -1), static_cast<long long>(c.kept.size()));
    for (std::size_t i = 0; i < c.kept.size(); ++i) {
        const Rec& want = c.before[static_cast<std::size_t>(c.kept[i])];
        SCOPED_TRACE("record " + std::to_string(i + 1));
        EXPECT_EQ(after[i].type, want.type);
        EXPECT_EQ(after[i].ip, want.ip);
        EXPECT_EQ(after[i].source, want.src);
        EXPECT_EQ(after[i].destination, want.dst);
        EXPECT_EQ(after[i].marker, want.marker);
        EXPECT_EQ(after[i].date, want.date);
    }
    // Nothing is left under the numbers past the end.
    std::string past = std::to_string(c.kept.size() + 1);
    for (const char* s : {"TIPUS", "IP", "FITXERORIGEN", "FITXERDESTI", "MARKER", "DATA"})
        EXPECT_FALSE(ini.hasKey(s, past)) << s;
}

const Rec kA{"RETR", "10.0.0.1", "/pub/a.iso", "/home/u/a.iso", 100, kFresh};
const Rec kB{"RETR", "10.0.0.1", "/pub/b.iso", "/home/u/b.iso", 200, kFresh};
const Rec kC{"STOR", "10.0.0.2", "/home/u/c.dat", "/in/c.dat", 300, kFresh};

INSTANTIATE_TEST_SUITE_P(
    RestIni, Take,
    ::testing::Values(
        TakeCase{"empty store", {}, {"RETR", "10.0.0.1", "/pub/a.iso", "/home/u/a.iso"}, kToday, 0, {}},
        TakeCase{"middle record matches", {kA, kB, kC}, {"RETR", "10.0.0.1", "/pub/b.iso", "/home/u/b.iso"}, kToday,
                 200, {0, 2}},
        TakeCase{"no match keeps everything", {kA, kB, kC}, {"RETR", "10.0.0.1", "/pub/x", "/home/u/x"}, kToday, 0,
                 {0, 1, 2}},
        TakeCase{"the last of two matches wins and both go",
                 {kA, {"RETR", "10.0.0.1", "/pub/a.iso", "/home/u/a.iso", 150, kFresh}, kB},
                 {"RETR", "10.0.0.1", "/pub/a.iso", "/home/u/a.iso"}, kToday, 150, {2}},
        TakeCase{"an expired match still gives its marker",
                 {{"RETR", "10.0.0.1", "/pub/a.iso", "/home/u/a.iso", 77, kOld}, kB},
                 {"RETR", "10.0.0.1", "/pub/a.iso", "/home/u/a.iso"}, kToday, 77, {1}},
        TakeCase{"expired records go, fresh ones stay",
                 {{"RETR", "10.0.0.9", "/old", "/tmp/old", 5, kOld}, kA, {"STOR", "10.0.0.9", "/x", "/y", 6, kOld}, kB},
                 {"RETR", "10.0.0.1", "/nothing", "/nothing"}, kToday, 0, {1, 3}},
        TakeCase{"an unreadable date is expired, later records are still examined",
                 {{"RETR", "10.0.0.9", "/bad", "/tmp/bad", 5, "yesterday"}, kB},
                 {"RETR", "10.0.0.1", "/pub/b.iso", "/home/u/b.iso"}, kToday, 200, {}},
        TakeCase{"a missing date reads as 01/01/2000", {{"RETR", "10.0.0.9", "/n", "/m", 5, nullptr}, kA},
                 {"RETR", "10.0.0.1", "/x", "/x"}, kToday, 0, {1}},
        TakeCase{"an upload never resumes a download of the same path",
                 {{"STOR", "10.0.0.1", "/data/f.bin", "/data/f.bin", 999, kFresh}},
                 {"RETR", "10.0.0.1", "/data/f.bin", "/data/f.bin"}, kToday, 0, {0}},
        TakeCase{"download and upload of one pair have swapped names", {kC},
                 {"RETR", "10.0.0.2", "/in/c.dat", "/home/u/c.dat"}, kToday, 0, {0}},
        TakeCase{"the upload itself matches", {kC}, {"STOR", "10.0.0.2", "/home/u/c.dat", "/in/c.dat"}, kToday, 300, {}},
        TakeCase{"one remote name to two local paths: two records",
                 {kA, {"RETR", "10.0.0.1", "/pub/a.iso", "/mnt/a.iso", 400, kFresh}},
                 {"RETR", "10.0.0.1", "/pub/a.iso", "/mnt/a.iso"}, kToday, 400, {0}},
        TakeCase{"letter case matters", {kA}, {"RETR", "10.0.0.1", "/pub/a.iso", "/home/u/A.iso"}, kToday, 0, {0}},
        TakeCase{"another server is another record", {kA}, {"RETR", "10.0.0.3", "/pub/a.iso", "/home/u/a.iso"},
                 kToday, 0, {0}},
        TakeCase{"markers above 4 GiB", {{"RETR", "10.0.0.1", "/big", "/tmp/big", 5000000123ull, kFresh}},
                 {"RETR", "10.0.0.1", "/big", "/tmp/big"}, kToday, 5000000123ull, {}}),
    [](const auto& info) {
        std::string n = info.param.name;
        for (char& ch : n)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return n;
    });

TEST(ResumeStoreFile, RecordLayoutAndDenseMoveKeepFieldsAsTheyAre) {
    ResumeStore store;
    ASSERT_TRUE(store.append({"RETR", "127.0.0.1", "/r/one", "/l/one", 4294967296ull + 5, {}, {}, {}, {}}, d(9, 6, 2026)));
    // Written in the order TIPUS, IP, FITXERORIGEN, FITXERDESTI, TOTAL, MARKER, DATA:
    // a fresh file has its sections in that order.
    const std::string text = readFile(storeFile());
    std::size_t last = 0;
    for (const char* section : {"[TIPUS]", "[IP]", "[FITXERORIGEN]", "[FITXERDESTI]", "[REST]", "[MARKER]", "[DATA]"}) {
        std::size_t at = text.find(section);
        ASSERT_NE(at, std::string::npos) << section;
        EXPECT_GE(at, last) << section;
        last = at;
    }
    IniFile written(storeFile());
    EXPECT_EQ(written.readString("MARKER", "1"), "4294967301");
    EXPECT_EQ(written.readString("DATA", "1"), "09/06/2026");
    ASSERT_TRUE(store.append({"STOR", "127.0.0.1", "/l/two", "/r/two", 7, {}, {}, {}, {}}, d(9, 6, 2026)));
    // Record 2 has no IP key; moving down it must still have none.
    IniFile ini(storeFile());
    ini.deleteKey("IP", "2");
    EXPECT_EQ(store.take("RETR", "127.0.0.1", "/r/one", "/l/one", d(10, 6, 2026)), 4294967301ull);
    EXPECT_EQ(ini.readInt("REST", "TOTAL", 0), 1);
    EXPECT_FALSE(ini.hasKey("IP", "1"));
    EXPECT_EQ(ini.readString("TIPUS", "1"), "STOR");
    EXPECT_EQ(ini.readString("MARKER", "1"), "7");
    EXPECT_FALSE(ini.hasKey("TIPUS", "2"));
}

// The look-up a transfer makes leaves its record in place until the transfer
// decides; put replaces the records of one identity and keeps every other;
// the fields that tie a record to its file round-trip.
TEST(ResumeStoreFile, FindPutAndRemoveKeepOtherRecords) {
    ResumeStore store;
    ResumeRecord other{"STOR", "127.0.0.1", "/l/x", "/r/x", 9, {}, {}, {}, {}};
    ResumeRecord mine{"RETR", "127.0.0.1", "/r/f", "/l/f", 100, {}, "/l/.f.0123456789abcdef.vnpart", "2049:77",
                      "1700000000123456789"};
    ASSERT_TRUE(store.append(other, d(9, 6, 2026)));
    ASSERT_TRUE(store.append(mine, d(9, 6, 2026)));
    auto found = store.find("RETR", "127.0.0.1", "/r/f", "/l/f", d(10, 6, 2026));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->marker, 100u);
    EXPECT_EQ(found->partial, mine.partial);
    EXPECT_EQ(found->fileId, "2049:77");
    EXPECT_EQ(found->mtime, "1700000000123456789");
    EXPECT_EQ(store.records().size(), 2u); // still there
    // The transfer goes on: the record without a time, at the new marker.
    mine.marker = 500;
    mine.mtime.clear();
    ASSERT_TRUE(store.put(mine, d(10, 6, 2026)));
    auto recs = store.records();
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_EQ(recs[0].type, "STOR");
    EXPECT_EQ(recs[1].marker, 500u);
    EXPECT_TRUE(recs[1].mtime.empty());
    EXPECT_FALSE(IniFile(storeFile()).hasKey("MTIME", "2"));
    EXPECT_FALSE(store.find("RETR", "127.0.0.1", "/r/f", "/l/other", d(10, 6, 2026)));
    EXPECT_TRUE(store.remove("RETR", "127.0.0.1", "/r/f", "/l/f"));
    EXPECT_FALSE(store.remove("RETR", "127.0.0.1", "/r/f", "/l/f"));
    recs = store.records();
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].source, "/l/x");
}

TEST(ResumeStoreFile, GarbageMarkerReadsAsZero) {
    writeRecords({{"RETR", "1.2.3.4", "/a", "/b", 0, kFresh}});
    IniFile(storeFile()).writeString("MARKER", "1", "12abc");
    EXPECT_EQ(ResumeStore().take("RETR", "1.2.3.4", "/a", "/b", kToday), 0u);
    EXPECT_TRUE(ResumeStore().records().empty());
}

// ---- with the server probe ----

struct RestProbe : TransferFixture {
    std::unique_ptr<FakeFtpServer> server = FakeFtpServer::loginScript();
    SessionId connect() {
        auto id = engine.ConnectarAServidor(params(server->port(), false));
        EXPECT_TRUE(id);
        sink.clear();
        return id.value_or(0);
    }
};

TEST_F(RestProbe, WriteTakesTheControlPeerAndTodayAndLookUpProbesFirst) {
    SessionId id = connect();
    ASSERT_TRUE(EscriuRESTfile(engine, id, "RETR", "/pub/f", "/tmp/f", 40000));
    auto recs = restRecords();
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].ip, "127.0.0.1");
    EXPECT_EQ(recs[0].date, formatRestDate(todayLocal()));
    EXPECT_EQ(EstaEnRESTFile(engine, id, "RETR", "127.0.0.1", "/pub/f", "/tmp/f"), 40000u);
    EXPECT_EQ(sink.log(), (std::vector<std::string>{">REST 0", "--->350 Restarting at 0.",
                                                    "-This Server can resume broken downloads."}));
    EXPECT_TRUE(restRecords().empty());
}

TEST_F(RestProbe, ServerWithoutRestartLeavesTheStoreAlone) {
    server->on("REST 0", "502 REST not implemented.\r\n");
    SessionId id = connect();
    writeRecords({{"RETR", "127.0.0.1", "/pub/f", "/tmp/f", 10, kFresh}, {"RETR", "127.0.0.1", "/old", "/o", 1, kOld}});
    EXPECT_EQ(EstaEnRESTFile(engine, id, "RETR", "127.0.0.1", "/pub/f", "/tmp/f"), 0u);
    EXPECT_TRUE(sink.has("-This Server can not resume broken downloads."));
    EXPECT_EQ(restRecords().size(), 2u);
}

} // namespace
} // namespace vn::test
