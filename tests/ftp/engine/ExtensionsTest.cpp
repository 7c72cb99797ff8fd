// What FEAT changes: MLSD listings, EPSV with its fallback to PASV, UTF-8,
// SIZE/MDTM/MFMT; a server without FEAT keeps PASV and LIST. Also the parsers
// of FEAT and EPSV replies and IPv6 hosts as typed.
#include "EngineFixture.h"

#include "ftp/engine/QuickHost.h"

namespace vn::test {
namespace {

const char* const kFeatAll =
    "211-Features:\r\n"
    " EPRT\r\n"
    " EPSV\r\n"
    " MDTM\r\n"
    " MFMT\r\n"
    " MLST type*;perm*;size*;modify*;unique*;unix.mode;\r\n"
    " REST STREAM\r\n"
    " SIZE\r\n"
    " TVFS\r\n"
    " UTF8\r\n"
    "211 End FEAT.\r\n";

const char* const kMlsd =
    "type=cdir;modify=20261211004502; /\r\n"
    "type=pdir;modify=20261211004502; ..\r\n"
    "type=file;size=1234;modify=20010301120000;unix.mode=0644; f.txt\r\n"
    "type=dir;size=4096;modify=20260105100000;unix.mode=0755; sub\r\n";

const char* const kList =
    "drwxr-xr-x   2 ftp ftp 4096 Jan  5 10:00 sub\r\n"
    "-rw-r--r--   1 ftp ftp 1234 Mar  1  2001 f.txt\r\n";

struct Extensions : EngineFixture {
    std::unique_ptr<FakeFtpServer> server = FakeFtpServer::loginScript();

    void SetUp() override {
        FtpSettings s;
        s.RxTOut = s.CxTOut = s.TxTOut = 10; // a script gone wrong fails soon
        configure(s);
    }
    SessionId connect(bool passive = true) {
        ConnectParams p = params(server->port());
        p.passive = passive;
        auto id = engine.ConnectarAServidor(p);
        EXPECT_TRUE(id);
        return id.value_or(0);
    }
    bool sent(const std::string& prefix) const {
        for (const auto& c : server->commands())
            if (c.rfind(prefix, 0) == 0) return true;
        return false;
    }
    int sentCount(const std::string& prefix) const {
        int n = 0;
        for (const auto& c : server->commands())
            if (c.rfind(prefix, 0) == 0) ++n;
        return n;
    }
};

TEST_F(Extensions, AServerWithoutFeatKeepsPasvAndList) {
    server->dataPassive().onList(kList);
    SessionId id = connect();
    EXPECT_TRUE(sink.has(">FEAT"));
    EXPECT_TRUE(sink.has("-The server lists no features: LIST and PASV are used."));
    auto entries = engine.fesLIST(id, "/", false);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 2u);
    EXPECT_TRUE(sent("PASV"));
    EXPECT_TRUE(sent("LIST"));
    EXPECT_FALSE(sent("EPSV"));
    EXPECT_FALSE(sent("MLSD"));
    EXPECT_FALSE(sent("OPTS"));
    EXPECT_EQ(sentCount("FEAT"), 1);
}

TEST_F(Extensions, FeatIsAskedOnceAndMlsdListsWithExactFacts) {
    server->on("FEAT", kFeatAll).on("OPTS UTF8 ON", "200 Always in UTF8 mode.\r\n");
    server->dataExtendedPassive().onData("MLSD", kMlsd, "150 Here comes the listing.\r\n", "226 Done.\r\n");
    SessionId id = connect();
    const FtpFeatures* f = engine.features(id);
    ASSERT_TRUE(f);
    EXPECT_TRUE(f->answered && f->mlsd && f->utf8 && f->size && f->mdtm && f->mfmt && f->epsv && f->eprt);
    EXPECT_TRUE(sink.has(">OPTS UTF8 ON"));
    for (int i = 0; i < 2; ++i) {
        auto entries = engine.fesLIST(id, "/", false);
        ASSERT_TRUE(entries);
        ASSERT_EQ(entries->size(), 2u);
        EXPECT_EQ((*entries)[0].name, "f.txt");
        EXPECT_EQ((*entries)[0].sizeValue, 1234u);
        EXPECT_EQ((*entries)[0].mtime, 983448000);
        EXPECT_EQ((*entries)[1].kind, ListingEntry::Kind::Folder);
    }
    EXPECT_TRUE(sink.has(">MLSD /"));
    EXPECT_EQ(sentCount("FEAT"), 1);
    EXPECT_EQ(sentCount("EPSV"), 2);
    EXPECT_FALSE(sent("PASV"));
    EXPECT_FALSE(sent("LIST"));
}

TEST_F(Extensions, ARefusedEpsvFallsBackToPasvForTheSession) {
    server->on("FEAT", "211-Features:\r\n EPSV\r\n211 End\r\n").on("EPSV", "500 EPSV not understood.\r\n");
    server->dataPassive().onList(kList);
    SessionId id = connect();
    ASSERT_TRUE(engine.fesLIST(id, "/", false));
    EXPECT_TRUE(sink.has("-The server refused EPSV: PASV is used."));
    ASSERT_TRUE(engine.fesLIST(id, "/", false));
    EXPECT_EQ(sentCount("EPSV"), 1);
    EXPECT_EQ(sentCount("PASV"), 2);
}

TEST_F(Extensions, AListedMlsdTheServerDoesNotKnowFallsBackToList) {
    server->on("FEAT", "211-Features:\r\n MLST size*;type*;\r\n211 End\r\n").on("MLSD", "502 Not implemented.\r\n");
    server->dataPassive().onList(kList);
    SessionId id = connect();
    auto entries = engine.fesLIST(id, "/", false);
    ASSERT_TRUE(entries);
    EXPECT_EQ(entries->size(), 2u);
    EXPECT_TRUE(sink.has("-The server does not know MLSD: LIST is used."));
    ASSERT_TRUE(engine.fesLIST(id, "/", false));
    EXPECT_EQ(sentCount("MLSD"), 1);
    EXPECT_EQ(sentCount("LIST"), 2);
}

TEST_F(Extensions, AHostileMlsdReplyGivesOnlySafeEntries) {
    const std::string huge(70 * 1024, 'f');
    const std::string hostile = "type=file;size=1; ../../etc/passwd\r\n"
                                "type=file;size=1; a/b\r\n"
                                "type=dir; ..\r\n"
                                "type=file;x=" + huge + "; hidden\r\n"
                                "type=file;size=99999999999999999999999; safe\r\n";
    server->on("FEAT", "211-Features:\r\n MLST size*;type*;\r\n EPSV\r\n211 End\r\n");
    server->dataExtendedPassive().onData("MLSD", hostile);
    SessionId id = connect();
    auto entries = engine.fesLIST(id, "/", false);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 1u);
    EXPECT_EQ((*entries)[0].name, "safe");
    EXPECT_EQ((*entries)[0].sizeValue, 0u);
    EXPECT_TRUE(sink.anyStartsWith(">Error: entry '../../etc/passwd' ignored"));
}

TEST_F(Extensions, ActiveModeOnIPv4StaysWithPort) {
    server->on("FEAT", kFeatAll).on("OPTS", "200 ok\r\n");
    server->dataActive().onData("MLSD", kMlsd);
    SessionId id = connect(false);
    auto entries = engine.fesLIST(id, "/", false);
    ASSERT_TRUE(entries);
    EXPECT_EQ(entries->size(), 2u);
    EXPECT_TRUE(sent("PORT 127,0,0,1,"));
    EXPECT_FALSE(sent("EPRT"));
}

TEST_F(Extensions, SizeMdtmAndMfmtOnlyWhenListed) {
    server->on("FEAT", kFeatAll)
        .on("OPTS", "200 ok\r\n")
        .on("SIZE /f.txt", "213 5368709243\r\n")
        .on("SIZE /bad", "213 12abc\r\n")
        .on("MDTM /f.txt", "213 20010301120000\r\n")
        .on("MFMT 20261211004502 /f.txt", "213 Modify=20261211004502; /f.txt\r\n");
    SessionId id = connect();
    EXPECT_EQ(engine.fesSIZE(id, "/f.txt").value_or(0), 5368709243ull);
    EXPECT_FALSE(engine.fesSIZE(id, "/bad"));
    EXPECT_FALSE(engine.fesSIZE(id, "/none")); // 502
    EXPECT_EQ(engine.fesMDTM(id, "/f.txt").value_or(0), 983448000);
    EXPECT_TRUE(engine.fesMFMT(id, "/f.txt", 1796949902));

    FtpFeatures none;
    engine.setFeatures(id, none);
    const auto before = server->commands().size();
    EXPECT_FALSE(engine.fesSIZE(id, "/f.txt"));
    EXPECT_FALSE(engine.fesMDTM(id, "/f.txt"));
    EXPECT_FALSE(engine.fesMFMT(id, "/f.txt", 0));
    EXPECT_EQ(server->commands().size(), before); // nothing was asked
}

TEST(FeatReply, FeaturesAreReadFromTheLinesBetween) {
    Reply r;
    r.complete = true;
    r.lines = {"211-Extensions supported:", " mlst Type*;Size*;Modify*;", " utf8", "  EPSV", " REST STREAM",
               " MDTM", "211 END"};
    FtpFeatures f = FtpFeatures::fromReply(r);
    EXPECT_TRUE(f.answered && f.mlsd && f.utf8 && f.epsv && f.restStream && f.mdtm);
    EXPECT_FALSE(f.size || f.mfmt || f.eprt);
    EXPECT_EQ(f.mlstFacts, "Type*;Size*;Modify*;");

    Reply refused;
    refused.complete = true;
    refused.lines = {"500 FEAT not understood"};
    EXPECT_FALSE(FtpFeatures::fromReply(refused).answered);
    Reply single;
    single.complete = true;
    single.lines = {"211 No features."};
    FtpFeatures s = FtpFeatures::fromReply(single);
    EXPECT_TRUE(s.answered);
    EXPECT_FALSE(s.mlsd || s.epsv);
}

TEST(EpsvReply, PortBetweenTheDelimiters) {
    struct Case {
        const char* line;
        int port;
    } cases[] = {
        {"229 Entering Extended Passive Mode (|||6446|)", 6446},
        {"229 Entering Extended Passive Mode (!!!65535!)", 65535},
        {"229 ok (|||1|).", 1},
        {"229 Entering Extended Passive Mode (|||0|)", -1},
        {"229 Entering Extended Passive Mode (|||65536|)", -1},
        {"229 Entering Extended Passive Mode (|2|::1|6446|)", -1}, // an address is never taken
        {"229 Entering Extended Passive Mode (||6446|)", -1},
        {"229 Entering Extended Passive Mode (|||64a6|)", -1},
        {"229 Entering Extended Passive Mode (111644461)", -1},
        {"229 Entering Extended Passive Mode |||6446|", -1},
        {"229 (", -1},
        {"", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(epsvPortFromReply(c.line), c.port) << c.line;
}

TEST(HostText, BracketsAndPorts) {
    struct Case {
        const char* text;
        const char* host;
        int port;
    } cases[] = {
        {"[::1]:2121", "::1", 2121},
        {"[::1]", "::1", 0},
        {"::1", "::1", 0},
        {"[fe80::1%lo]:21", "fe80::1%lo", 21},
        {"[::1]:0", "::1", 0},
        {"[::1]:70000", "::1", 0},
        {"[::1]:21x", "::1", 0},
        {"ftp.example.org", "ftp.example.org", 0},
        {"10.0.0.1", "10.0.0.1", 0},
        {"[::1", "[::1", 0},
    };
    for (const auto& c : cases) {
        HostText h = splitHostText(c.text);
        EXPECT_EQ(h.host, c.host) << c.text;
        EXPECT_EQ(h.port, c.port) << c.text;
    }
}

TEST(QuickHost, BracketedIPv6AddressesStayWhole) {
    struct Case {
        const char* parameter;
        const char* host;
    } cases[] = {
        {"ftp://[::1]:2121/", "[::1]"},
        {"ftp://[2001:db8::7]/pub", "[2001:db8::7]"},
        {"[::1]:2121", "[::1]"},
        {"[::1]", "[::1]"},
        {"ftp://host:21", "host:21"},
    };
    for (const auto& c : cases) EXPECT_EQ(mostrarQuickHost(c.parameter), c.host) << c.parameter;
}

} // namespace
} // namespace vn::test
