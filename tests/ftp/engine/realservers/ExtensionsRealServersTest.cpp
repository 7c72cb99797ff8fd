// The extensions against real servers: MLSD (pyftpdlib) and LIST give the same
// entries, times kept across transfers (MDTM, MFMT), and vsftpd on ::1 with
// EPSV and EPRT.
#include "../transfer/TransferFixture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "RealFtpServers.h"
#include "ftp/engine/transfer/FileTimes.h"
#include "platform/Resolver.h"

namespace vn::test {
namespace {

namespace fs = std::filesystem;
using Kind = ListingEntry::Kind;

constexpr std::int64_t kOldTime = 983448000;   // 2001-03-01 12:00:00 UTC
constexpr std::int64_t kOlderTime = 1104580800; // 2005-01-01 12:00:00 UTC

void fillFolder(const fs::path& root) {
    auto file = [&](const std::string& name, const std::string& data) {
        writeFile(root / name, data);
        ::chmod((root / name).c_str(), 0644);
    };
    file("plain.txt", "hello\n");
    file("name with  blanks.dat", std::string(3000, 'x'));
    file("caf\xc3\xa9 \xe2\x82\xac.txt", "utf-8 name");
    fs::create_directory(root / "sub");
    ::chmod((root / "sub").c_str(), 0755);
    int fd = ::open((root / "sparse.bin").c_str(), O_CREAT | O_WRONLY, 0644);
    EXPECT_EQ(::ftruncate(fd, static_cast<off_t>((5ull << 30) + 123)), 0);
    ::close(fd);
    ASSERT_TRUE(setLocalModificationTime((root / "plain.txt").string(), kOldTime));
}

template <class Server>
struct RealExtensions : TransferFixture {
    Server server;
    fs::path dir = fs::path(::testing::TempDir()) / ("vn-ext-" + std::to_string(::getpid()));

    void SetUp() override {
        TransferFixture::SetUp();
        ASSERT_TRUE(server.ready()) << server.error();
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    SessionId connect(bool passive) {
        auto id = engine.ConnectarAServidor(params(server.port(), passive, "anonymous", "test@example.org"));
        EXPECT_TRUE(id) << sink.dump();
        return id.value_or(0);
    }
    static std::map<std::string, ListingEntry> byName(const std::vector<ListingEntry>& v) {
        std::map<std::string, ListingEntry> m;
        for (const auto& e : v) m[e.name] = e;
        m.erase("upload");
        return m;
    }
};

using Servers = ::testing::Types<Vsftpd, PyFtpd>;
TYPED_TEST_SUITE(RealExtensions, Servers);

TYPED_TEST(RealExtensions, MlsdAndListGiveTheSameEntries) {
    fillFolder(this->server.root());
    SessionId id = this->connect(true);
    const FtpFeatures* f = this->engine.features(id);
    ASSERT_TRUE(f);
    ASSERT_TRUE(f->answered) << this->sink.dump();
    // pyftpdlib lists MLST; vsftpd doesn't, so it is listed with LIST both times.
    EXPECT_EQ(f->mlsd, (std::is_same_v<TypeParam, PyFtpd>));
    EXPECT_TRUE(f->size && f->mdtm);

    auto first = this->engine.fesLIST(id, "/", false);
    ASSERT_TRUE(first) << this->sink.dump();
    EXPECT_EQ(this->sink.has(">MLSD /"), f->mlsd);
    FtpFeatures noMlsd = *f;
    noMlsd.mlsd = false;
    this->engine.setFeatures(id, noMlsd);
    this->sink.clear();
    auto second = this->engine.fesLIST(id, "/", false);
    ASSERT_TRUE(second) << this->sink.dump();
    EXPECT_TRUE(this->sink.has(">LIST /"));

    auto a = this->byName(*first), b = this->byName(*second);
    ASSERT_EQ(a.size(), 5u);
    ASSERT_EQ(a.size(), b.size());
    for (const auto& [name, e] : a) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(b.count(name));
        EXPECT_EQ(e.kind, b[name].kind);
        if (e.kind == Kind::File) {
            EXPECT_EQ(e.sizeValue, b[name].sizeValue);
        }
    }
    EXPECT_EQ(a["sparse.bin"].sizeValue, (5ull << 30) + 123);
    if (f->mlsd) {
        EXPECT_EQ(a["plain.txt"].mtime, kOldTime); // exact, where LIST shows only the day
    }
}

TYPED_TEST(RealExtensions, TimesAreKeptAcrossTransfers) {
    // Download: the local file gets the remote file's time (MDTM, both servers).
    writeFile(this->server.root() / "old.bin", patternBytes(100000));
    ::chmod((this->server.root() / "old.bin").c_str(), 0644);
    ASSERT_TRUE(setLocalModificationTime((this->server.root() / "old.bin").string(), kOlderTime));
    SessionId id = this->connect(true);
    ASSERT_TRUE(this->transfer.SeleccionaTYPE(id, TransferMode::Binary, "old.bin"));
    const fs::path down = this->dir / "old.bin";
    ASSERT_EQ(this->transfer.fesGET(id, "/old.bin", down.string()), TransferResult::Copied) << this->sink.dump();
    EXPECT_EQ(localModificationTime(down.string()).value_or(0), kOlderTime);

    // Upload: the remote file gets the local file's time where MFMT is listed (pyftpdlib).
    const fs::path up = this->dir / "up.bin";
    writeFile(up, patternBytes(50000, 7));
    ASSERT_TRUE(setLocalModificationTime(up.string(), kOldTime));
    ASSERT_EQ(this->transfer.fesPUT(id, up.string(), "/upload/up.bin"), TransferResult::Copied) << this->sink.dump();
    const auto remoteTime = localModificationTime((this->server.uploadDir() / "up.bin").string());
    if (this->engine.features(id)->mfmt) {
        EXPECT_EQ(remoteTime.value_or(0), kOldTime) << this->sink.dump();
    } else {
        EXPECT_NE(remoteTime.value_or(0), kOldTime);
    }

    // The option off: nothing is asked, the download is as new as it is.
    FtpSettings s;
    s.KeepFileTimes = false;
    this->configure(s);
    const fs::path down2 = this->dir / "old2.bin";
    this->sink.clear();
    ASSERT_EQ(this->transfer.fesGET(id, "/old.bin", down2.string()), TransferResult::Copied) << this->sink.dump();
    EXPECT_NE(localModificationTime(down2.string()).value_or(0), kOlderTime);
    EXPECT_FALSE(this->sink.anyStartsWith(">MDTM"));
}

TEST(RealIPv6, VsftpdOnLoopbackListsAndTransfersInBothModes) {
    std::string why;
    if (!ipv6LoopbackAvailable(why)) GTEST_SKIP() << why;
    RealServerOptions o;
    o.ipv6 = true;
    Vsftpd server(o);
    ASSERT_TRUE(server.ready()) << server.error();
    fillFolder(server.root());
    TransferSink sink;
    PlainPrompter prompter;
    FtpEngine engine{sink, prompter};
    FtpTransfer transfer{engine};
    engine.applySettings({});
    engine.wait().lowerCancel();
    const fs::path dir = fs::path(::testing::TempDir()) / ("vn-ipv6-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string data = patternBytes((2 << 20) + 5, 3);
    writeFile(dir / "orig.bin", data);

    for (bool passive : {false, true}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        ConnectParams p;
        // The bracketed form as typed, with its port inside.
        p.host = "[::1]:" + std::to_string(server.port());
        p.port = 21;
        p.passive = passive;
        p.login = "anonymous";
        p.password = "me@example.org";
        sink.clear();
        auto id = engine.ConnectarAServidor(p);
        ASSERT_TRUE(id) << sink.dump();
        EXPECT_EQ(engine.sessionInfo(*id)->dotted, "::1");
        auto entries = engine.fesLIST(*id, "/", false);
        ASSERT_TRUE(entries) << sink.dump();
        std::map<std::string, ListingEntry> got;
        for (const auto& e : *entries) got[e.name] = e;
        EXPECT_TRUE(got.count("plain.txt") && got.count("sub") && got.count("sparse.bin"));
        EXPECT_EQ(got["sparse.bin"].sizeValue, (5ull << 30) + 123);
        if (passive) {
            EXPECT_TRUE(sink.has(">EPSV")) << sink.dump();
            EXPECT_FALSE(sink.has(">PASV"));
        } else {
            EXPECT_TRUE(sink.anyStartsWith(">EPRT |2|::1|")) << sink.dump();
            EXPECT_FALSE(sink.anyStartsWith(">PORT"));
        }
        const std::string remote = std::string("/upload/v6-") + (passive ? "p" : "a") + ".bin";
        ASSERT_TRUE(transfer.SeleccionaTYPE(*id, TransferMode::Binary, remote));
        ASSERT_EQ(transfer.fesPUT(*id, (dir / "orig.bin").string(), remote), TransferResult::Copied) << sink.dump();
        EXPECT_EQ(sha256Of(server.root() / remote.substr(1)), sha256OfBytes(data));
        const fs::path back = dir / (std::string("back-") + (passive ? "p" : "a") + ".bin");
        ASSERT_EQ(transfer.fesGET(*id, remote, back.string()), TransferResult::Copied) << sink.dump();
        EXPECT_EQ(sha256Of(back), sha256OfBytes(data));
        engine.fesQUIT(*id);
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
}

TEST(RealIPv6, NamesResolveToIPv6AndIPv4AndAreTriedInOrder) {
    std::string why;
    if (!ipv6LoopbackAvailable(why)) GTEST_SKIP() << why;
    // A server only on 127.0.0.1: the name's IPv6 address is refused, the IPv4 one answers.
    Vsftpd server;
    ASSERT_TRUE(server.ready()) << server.error();
    setLookupFunction([](const std::string&) {
        LookupResult r;
        r.status = LookupResult::Found;
        r.addresses = {"::1", "127.0.0.1"};
        r.dotted = "::1";
        return r;
    });
    struct Restore {
        ~Restore() { setLookupFunction(nullptr); }
    } restore;
    RecordingSink sink;
    PlainPrompter prompter;
    FtpEngine engine{sink, prompter};
    engine.applySettings({});
    engine.wait().lowerCancel();
    ConnectParams p;
    p.host = "dual.example";
    p.port = server.port();
    p.login = "anonymous";
    p.password = "me@example.org";
    p.passive = true;
    auto id = engine.ConnectarAServidor(p);
    ASSERT_TRUE(id);
    EXPECT_TRUE(sink.has(">Trying the next address of dual.example: 127.0.0.1"));
    EXPECT_EQ(engine.sessionInfo(*id)->dotted, "127.0.0.1");
    ASSERT_TRUE(engine.fesLIST(*id, "/", false));
}

} // namespace
} // namespace vn::test
