// FTP over TLS against real servers on loopback: vsftpd (TLS required for the
// local user, data connections must resume the control session) and
// pyftpdlib's TLS handler, explicit and implicit; the certificate questions
// with a scripted prompter; and a server without TLS under each choice.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "../transfer/TransferFixture.h"
#include "RealFtpServers.h"
#include "common/IniFile.h"
#include "ftp/engine/tls/CertificateTrust.h"

namespace vn::test {
namespace {

namespace fs = std::filesystem;
using Tls = RealServerOptions::Tls;

enum class Kind { Vsftpd, PyFtpd };

std::unique_ptr<RealFtpServer> startServer(Kind kind, Tls tls) {
    RealServerOptions o;
    o.tls = tls;
    if (kind == Kind::Vsftpd) return std::make_unique<Vsftpd>(o);
    return std::make_unique<PyFtpd>(o);
}

struct TlsCase {
    Kind kind;
    Tls tls;
};

std::string caseName(const ::testing::TestParamInfo<TlsCase>& i) {
    return std::string(i.param.kind == Kind::Vsftpd ? "vsftpd" : "pyftpdlib") +
           (i.param.tls == Tls::Implicit ? "_implicit" : "_explicit");
}

struct TlsFixture : TransferFixture {
    fs::path dir = scratchDir("tls");
    std::unique_ptr<RealFtpServer> server;

    void start(Kind kind, Tls tls) {
        server = startServer(kind, tls);
        ASSERT_TRUE(server->ready()) << server->error();
        ASSERT_TRUE(server->localUserAvailable()) << "the TLS cases log in as the local user";
        fs::remove(engine.services().trustFile);
    }
    ConnectParams tlsParams(FtpSecurity security, bool passive) const {
        ConnectParams p = params(server->port(), passive, server->localUser(), server->localPassword());
        p.security = security;
        return p;
    }
    std::optional<SessionId> connect(FtpSecurity security, bool passive = true) {
        return engine.ConnectarAServidor(tlsParams(security, passive));
    }
    // The certificate questions asked (welcome messages left out).
    std::vector<std::string> questions() {
        std::lock_guard l(prompter.m);
        std::vector<std::string> q;
        for (const auto& a : prompter.asked)
            if (a.rfind("choose: ", 0) == 0 || a.find("certificate") != std::string::npos) q.push_back(a);
        return q;
    }
    bool logged(const std::string& prefix) const { return sink.anyStartsWith(prefix); }
};

struct TlsServers : TlsFixture, ::testing::WithParamInterface<TlsCase> {};

TEST_P(TlsServers, LogsInListsAndTransfersByteForByteInBothDataModes) {
    start(GetParam().kind, GetParam().tls);
    const FtpSecurity security = GetParam().tls == Tls::Implicit ? FtpSecurity::Implicit : FtpSecurity::RequireExplicit;
    const std::string data = patternBytes((1 << 20) + 4099, 7);
    writeFile(dir / "orig.bin", data);
    for (bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        prompter.choices = {0}; // trust once
        auto id = connect(security, passive);
        ASSERT_TRUE(id) << sink.dump();
        auto info = engine.sessionInfo(*id);
        ASSERT_TRUE(info);
        EXPECT_TRUE(info->encrypted);
        EXPECT_TRUE(info->protectedData);
        EXPECT_TRUE(logged("-TLS connection established: TLSv1.")) << sink.dump();
        EXPECT_EQ(GetParam().tls == Tls::Implicit, !sink.has(">AUTH TLS"));
        EXPECT_TRUE(sink.has(">PROT P"));

        const std::string name = std::string("up-") + (passive ? "p" : "a") + ".bin";
        const std::string remotePath = info->workingDir + name;
        ASSERT_TRUE(transfer.SeleccionaTYPE(*id, TransferMode::Binary, name));
        ASSERT_EQ(transfer.fesPUT(*id, (dir / "orig.bin").string(), remotePath), TransferResult::Copied)
            << sink.dump();
        EXPECT_EQ(readFile(server->localRoot() / name), data);

        auto listing = engine.fesLIST(*id, info->workingDir, false);
        ASSERT_TRUE(listing) << sink.dump();
        auto it = std::find_if(listing->begin(), listing->end(), [&](const ListingEntry& e) { return e.name == name; });
        ASSERT_NE(it, listing->end()) << sink.dump();
        EXPECT_EQ(it->sizeValue, data.size());

        const fs::path back = dir / ("back-" + name);
        ASSERT_TRUE(transfer.SeleccionaTYPE(*id, TransferMode::Binary, name));
        ASSERT_EQ(transfer.fesGET(*id, remotePath, back.string()), TransferResult::Copied) << sink.dump();
        EXPECT_EQ(readFile(back), data);
        engine.fesQUIT(*id);
        sink.clear();
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, TlsServers,
                         ::testing::Values(TlsCase{Kind::Vsftpd, Tls::Explicit}, TlsCase{Kind::Vsftpd, Tls::Implicit},
                                           TlsCase{Kind::PyFtpd, Tls::Explicit},
                                           TlsCase{Kind::PyFtpd, Tls::Implicit}),
                         caseName);

struct TlsTrust : TlsFixture {
    void SetUp() override {
        TlsFixture::SetUp();
        start(Kind::Vsftpd, Tls::Explicit);
    }
};

TEST_F(TlsTrust, TheQuestionShowsTheCertificateAndTrustOnceAsksAgainNextTime) {
    for (int round = 0; round < 2; ++round) {
        prompter.choices = {0};
        auto id = connect(FtpSecurity::ExplicitIfAvailable);
        ASSERT_TRUE(id) << sink.dump();
        engine.fesQUIT(*id);
    }
    auto q = questions();
    ASSERT_EQ(q.size(), 2u);
    for (const std::string part : {"choose: The certificate of 127.0.0.1:", "Subject: CN=localhost",
                                   "Issuer: CN=localhost", "Valid from ", "SHA-256 fingerprint: "})
        EXPECT_NE(q[0].find(part), std::string::npos) << part << "\n" << q[0];
    EXPECT_FALSE(fs::exists(engine.services().trustFile));
}

TEST_F(TlsTrust, TrustAlwaysKeepsTheFingerprintInAPrivateFileAndAsksNoMore) {
    prompter.choices = {1};
    auto id = connect(FtpSecurity::RequireExplicit);
    ASSERT_TRUE(id) << sink.dump();
    engine.fesQUIT(*id);
    const fs::path file = engine.services().trustFile;
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    auto fp = CertificateTrust(file).fingerprint(CertificateTrust::key("127.0.0.1", server->port()));
    ASSERT_TRUE(fp);
    EXPECT_EQ(fp->size(), 32u * 3 - 1);

    id = connect(FtpSecurity::RequireExplicit);
    ASSERT_TRUE(id) << sink.dump();
    EXPECT_EQ(questions().size(), 1u);
    EXPECT_TRUE(sink.has("-The certificate of 127.0.0.1:" + std::to_string(server->port()) +
                         " is one you trusted (SHA-256 " + *fp + ")."));
}

TEST_F(TlsTrust, CancelRefusesBeforeTheLogin) {
    prompter.choices = {2};
    EXPECT_FALSE(connect(FtpSecurity::ExplicitIfAvailable));
    EXPECT_TRUE(logged(">ERROR: The certificate of 127.0.0.1:")) << sink.dump();
    EXPECT_FALSE(logged(">USER"));
    EXPECT_TRUE(engine.sessionIds().empty());
    // No answer at all (Abort, the window closing) is a cancel too.
    prompter.choices.clear();
    EXPECT_FALSE(connect(FtpSecurity::ExplicitIfAvailable));
    EXPECT_FALSE(logged(">USER"));
}

TEST_F(TlsTrust, AChangedCertificateIsRefusedLoudlyWithoutAQuestion) {
    const std::string key = CertificateTrust::key("127.0.0.1", server->port());
    ASSERT_TRUE(CertificateTrust(engine.services().trustFile).remember(key, std::string(95, 'A')));
    prompter.choices = {1};
    EXPECT_FALSE(connect(FtpSecurity::ExplicitIfAvailable));
    EXPECT_TRUE(logged(">ERROR: The certificate of " + key + " has CHANGED")) << sink.dump();
    EXPECT_FALSE(logged(">USER"));
    auto q = questions();
    ASSERT_EQ(q.size(), 1u);
    EXPECT_EQ(q[0].rfind("message: The certificate of " + key + " has CHANGED", 0), 0u) << q[0];
    // The trusted fingerprint stays what the user trusted.
    EXPECT_EQ(CertificateTrust(engine.services().trustFile).fingerprint(key), std::string(95, 'A'));
}

TEST_F(TlsTrust, AbortDuringTheCertificateQuestionCancelsTheConnect) {
    struct AbortingPrompter : PlainPrompter {
        EventWait* wait = nullptr;
        std::optional<int> choose(const std::string&, const std::vector<std::string>&) override {
            wait->abort(); // what the window's Abort does while the question is up
            return std::nullopt;
        }
    };
    AbortingPrompter ap;
    FtpEngine e2{sink, ap};
    ap.wait = &e2.wait();
    e2.applySettings({});
    e2.wait().lowerCancel();
    EXPECT_FALSE(e2.ConnectarAServidor(tlsParams(FtpSecurity::RequireExplicit, true)));
    EXPECT_TRUE(sink.has("--CANCELED--")) << sink.dump();
    EXPECT_FALSE(logged(">USER"));
}

// A server without TLS: what each choice does.
struct NoTlsServer : TlsFixture {
    void SetUp() override {
        TlsFixture::SetUp();
        start(Kind::Vsftpd, Tls::Off);
    }
};

TEST_F(NoTlsServer, EachChoice) {
    struct Case {
        FtpSecurity security;
        bool connects;
        const char* expectedLine; // a line the log must hold (prefix)
    } cases[] = {
        {FtpSecurity::ExplicitIfAvailable, true, "-The server does not support TLS: this session is NOT encrypted."},
        {FtpSecurity::RequireExplicit, false, ">ERROR: The server refused AUTH TLS and this site requires TLS"},
        {FtpSecurity::Implicit, false, ">ERROR: TLS handshake failed: "},
        {FtpSecurity::Plain, true, ">USER "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(securityKey(c.security));
        sink.clear();
        auto id = connect(c.security);
        EXPECT_EQ(bool(id), c.connects) << sink.dump();
        EXPECT_TRUE(logged(c.expectedLine)) << sink.dump();
        EXPECT_EQ(sink.has(">AUTH TLS"), c.security == FtpSecurity::ExplicitIfAvailable ||
                                             c.security == FtpSecurity::RequireExplicit);
        // Never a login in clear text unless clear text was allowed.
        EXPECT_EQ(logged(">USER"), c.connects);
        if (id) {
            EXPECT_FALSE(engine.sessionInfo(*id)->encrypted);
            engine.fesQUIT(*id);
        }
    }
    EXPECT_TRUE(questions().empty());
}

// A listener that never speaks: Abort ends an implicit TLS handshake at once.
TEST_F(TlsFixture, AbortEndsAHandshakeThatNeverFinishes) {
    int ls = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(ls, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(ls, 4), 0);
    socklen_t len = sizeof a;
    ::getsockname(ls, reinterpret_cast<sockaddr*>(&a), &len);
    ConnectParams p = params(ntohs(a.sin_port), true);
    p.security = FtpSecurity::Implicit;
    std::thread aborter([&] {
        while (!sink.has(">Socket connected.")) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        engine.wait().abort();
    });
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(engine.ConnectarAServidor(p));
    aborter.join();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10));
    EXPECT_TRUE(sink.has("--CANCELED--")) << sink.dump();
    ::close(ls);
}

} // namespace
} // namespace vn::test
