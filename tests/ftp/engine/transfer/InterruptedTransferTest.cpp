// Transfers cut by what users meet: the server killed part-way (vsftpd and
// pyftpdlib, throttled so the cut lands mid-file), both directions, and the
// program itself killed mid-download, then a second engine over the same data
// folder. Each ends with the sha256 of the result against the source.
#include "TransferFixture.h"

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "RealFtpServers.h"

namespace vn::test {
namespace {

namespace fs = std::filesystem;
using Answer = FtpSink::ResumeAnswer;
using namespace std::chrono_literals;

constexpr int kRate = 1 << 20; // bytes per second per data connection

template <class Server>
struct Interrupted : TransferFixture {
    std::unique_ptr<Server> server;
    fs::path dir = scratchDir("interrupted");

    void start(int rate) {
        RealServerOptions o;
        o.maxRateBytesPerSecond = rate;
        server = std::make_unique<Server>(o);
        ASSERT_TRUE(server->ready()) << server->error();
    }
    SessionId connect() {
        auto id = engine.ConnectarAServidor(params(server->port(), true, "anonymous", "test@example.org"));
        EXPECT_TRUE(id) << sink.dump();
        if (id) {
            EXPECT_TRUE(transfer.SeleccionaTYPE(*id, TransferMode::Binary, "x.bin"));
        }
        sink.clear();
        return id.value_or(0);
    }
    fs::path serve(const std::string& name, const std::string& data) {
        fs::path p = server->root() / name;
        writeFile(p, data);
        ::chmod(p.c_str(), 0644);
        return p;
    }
    // The next operation after a failed one, as the window runs it.
    void nextOperation() {
        sink.onProgress = nullptr;
        engine.finishOperation();
        engine.wait().lowerCancel();
        sink.clear();
    }
};

using Servers = ::testing::Types<Vsftpd, PyFtpd>;
TYPED_TEST_SUITE(Interrupted, Servers);

TYPED_TEST(Interrupted, ServerKilledMidDownloadResumesToTheSameBytes) {
    const std::string data = patternBytes(5 << 20, 3);
    this->start(kRate);
    const fs::path source = this->serve("big.bin", data);
    const std::string local = (this->dir / "big.bin").string();
    SessionId id = this->connect();
    bool killed = false;
    this->sink.onProgress = [&](std::uint64_t done, std::uint64_t) {
        if (done >= (3u << 19) && !killed) {
            killed = true;
            this->server->stop();
        }
    };
    EXPECT_EQ(this->transfer.fesGET(id, "big.bin", local), TransferResult::Failed) << this->sink.dump();
    ASSERT_TRUE(killed);
    EXPECT_TRUE(this->sink.anyStartsWith(">ERROR")) << this->sink.dump();
    EXPECT_FALSE(this->sink.anyStartsWith(">File '"));
    // Nothing truncated passes for the whole file: the final name is not there,
    // the partial file is, with its record.
    EXPECT_FALSE(fs::exists(local));
    auto recs = this->restRecords();
    ASSERT_EQ(recs.size(), 1u) << this->sink.dump();
    const std::uint64_t marker = recs[0].marker;
    EXPECT_GT(marker, 0u);
    EXPECT_LT(marker, data.size());
    EXPECT_EQ(readFile(recs[0].partial), data.substr(0, marker));

    // The server is back (a new one serving the same file): the next paste
    // asks Smart Resume and continues at the marker.
    this->nextOperation();
    this->start(0);
    this->serve("big.bin", data);
    SessionId again = this->connect();
    this->sink.resumeAnswers.push_back(Answer::Resume);
    EXPECT_EQ(this->transfer.fesGET(again, "big.bin", local), TransferResult::Copied) << this->sink.dump();
    EXPECT_EQ(this->sink.resumeAsked, (std::vector<std::string>{local}));
    EXPECT_TRUE(this->sink.has(">REST " + std::to_string(marker))) << this->sink.dump();
    EXPECT_EQ(sha256Of(fs::path(local)), sha256OfBytes(data));
    EXPECT_FALSE(fs::exists(recs[0].partial));
    EXPECT_TRUE(this->restRecords().empty());
}

TYPED_TEST(Interrupted, ServerKilledMidUploadResumesToTheSameBytes) {
    // Larger than the loopback socket buffers can take, so the client is still
    // sending when the server has written part of it.
    const std::string data = patternBytes(24 << 20, 4);
    const fs::path local = this->dir / "up.bin";
    writeFile(local, data);
    this->start(kRate);
    const std::string remote = "/upload/up.bin";
    SessionId id = this->connect();
    const fs::path kept = this->server->root() / "upload" / "up.bin";
    bool killed = false;
    // Socket buffers take megabytes at once: the cut comes once the server
    // has written part of the file.
    this->sink.onProgress = [&](std::uint64_t, std::uint64_t) {
        std::error_code ec;
        if (!killed && fs::file_size(kept, ec) >= (512u << 10) && !ec) {
            killed = true;
            this->server->stop();
        }
    };
    EXPECT_EQ(this->transfer.fesPUT(id, local.string(), remote), TransferResult::Failed) << this->sink.dump();
    ASSERT_TRUE(killed);
    EXPECT_TRUE(this->sink.anyStartsWith(">ERROR")) << this->sink.dump();
    EXPECT_FALSE(this->sink.anyStartsWith(">File '"));
    auto recs = this->restRecords();
    ASSERT_EQ(recs.size(), 1u) << this->sink.dump();
    EXPECT_EQ(recs[0].type, "STOR");
    EXPECT_GT(recs[0].marker, 0u);
    // What the server kept of it moves to the server that comes back.
    const std::string part = fs::exists(kept) ? readFile(kept) : std::string();
    ASSERT_GT(part.size(), 0u);
    ASSERT_LT(part.size(), data.size());
    EXPECT_TRUE(part == data.substr(0, part.size()));

    this->nextOperation();
    this->start(0);
    const fs::path onServer = this->server->root() / "upload" / "up.bin";
    writeFile(onServer, part);
    ::chmod(onServer.c_str(), 0666);
    SessionId again = this->connect();
    this->sink.resumeAnswers.push_back(Answer::Resume);
    EXPECT_EQ(this->transfer.fesPUT(again, local.string(), remote), TransferResult::Copied) << this->sink.dump();
    EXPECT_TRUE(this->sink.has(">REST " + std::to_string(part.size()))) << this->sink.dump();
    EXPECT_EQ(sha256Of(onServer), sha256Of(local));
    EXPECT_TRUE(this->restRecords().empty());
}

// The program killed mid-download (SIGKILL, nothing runs on the way out):
// another engine over the same data folder finds the record and resumes.
TYPED_TEST(Interrupted, ProgramKilledMidDownloadResumesInTheNextOne) {
    const std::string data = patternBytes(6 << 20, 5);
    this->start(kRate);
    this->serve("big.bin", data);
    const std::string local = (this->dir / "killed.bin").string();
    const uint16_t port = this->server->port();
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(ready[0]);
        TransferSink s;
        PlainPrompter p;
        FtpEngine e(s, p);
        FtpTransfer t(e);
        t.setProgressInterval(100ms);
        bool told = false;
        // Once the record of the running download is on the disk, say so
        // and wait to be killed.
        s.onProgress = [&](std::uint64_t done, std::uint64_t) {
            if (told || done < (1u << 20) || ResumeStore().records().empty()) return;
            told = true;
            char c = 1;
            [[maybe_unused]] auto n = ::write(ready[1], &c, 1);
            for (;;) ::pause();
        };
        auto id = e.ConnectarAServidor(TransferFixture::params(port, true, "anonymous", "x@example.org"));
        if (id && t.SeleccionaTYPE(*id, TransferMode::Binary, "big.bin")) t.fesGET(*id, "big.bin", local);
        _exit(3); // the download ended before it could be killed
    }
    ::close(ready[1]);
    pollfd pf{ready[0], POLLIN, 0};
    const int got = ::poll(&pf, 1, 60000);
    char c = 0;
    const bool told = got == 1 && ::read(ready[0], &c, 1) == 1;
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(ready[0]);
    ASSERT_TRUE(told) << "the child never reported its record";
    ASSERT_TRUE(WIFSIGNALED(status));

    // What the killed program left: no file under the final name, a record
    // naming the partial file beside it.
    EXPECT_FALSE(fs::exists(local));
    auto recs = this->restRecords();
    ASSERT_EQ(recs.size(), 1u);
    ASSERT_FALSE(recs[0].partial.empty());
    const std::uint64_t size = fs::file_size(recs[0].partial);
    ASSERT_GT(size, 0u);
    EXPECT_EQ(readFile(recs[0].partial), data.substr(0, size));

    SessionId id = this->connect();
    this->sink.resumeAnswers.push_back(Answer::Resume);
    EXPECT_EQ(this->transfer.fesGET(id, "big.bin", local), TransferResult::Copied) << this->sink.dump();
    EXPECT_EQ(this->sink.resumeAsked, (std::vector<std::string>{local}));
    EXPECT_TRUE(this->sink.has(">REST " + std::to_string(size))) << this->sink.dump();
    EXPECT_EQ(sha256Of(fs::path(local)), sha256OfBytes(data));
    EXPECT_TRUE(this->restRecords().empty());
}

} // namespace
} // namespace vn::test
