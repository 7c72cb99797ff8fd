// TFTP throughput over loopback, ours against the usual tools in the same run:
// a file (64 MiB by default) at block sizes 512, 1428, 8192 and 65464, both
// directions:
//   - our client against tftpd-hpa, beside atftp against tftpd-hpa;
//   - atftp against our server, beside atftp against tftpd-hpa.
// The ratio is our throughput over the reference's (goal: 1.0 or more). Each
// figure is the best of the rounds; every file is checked after its transfer.
// Our client runs without its wait for a repeated last block (the reference
// clients have none); the window's transfers keep it.
//
//   tftp_bench [--mib N] [--rounds N]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "TftpTestKit.h"
#include "platform/EventWait.h"
#include "tftp/TftpClient.h"
#include "tftp/TftpServer.h"

using namespace vn::tftp;
using namespace vn::tftp::test;
using Clock = std::chrono::steady_clock;

namespace {

class QuietSink : public vn::ToolSink {
public:
    void log(const std::string& line) override {
        if (line.rfind("ERROR", 0) == 0 || line == "Transfer Complete - Error Transmitting")
            std::fprintf(stderr, "  server: %s\n", line.c_str());
    }
};

double mibPerSecond(std::uint64_t bytes, double seconds) {
    return seconds > 0 ? static_cast<double>(bytes) / (1024.0 * 1024.0) / seconds : 0;
}

std::vector<std::string> atftp(bool get, std::uint16_t port, int block, const std::string& remote, const fs::path& local) {
    return {"atftp", "--option", "blksize " + std::to_string(block), get ? "-g" : "-p", "-r", remote,
            "-l", local.string(), "127.0.0.1", std::to_string(port)};
}

// Seconds of one atftp run, or a negative number when it failed.
double timeAtftp(bool get, std::uint16_t port, int block, const std::string& remote, const fs::path& local) {
    const auto t0 = Clock::now();
    RunResult r = run(atftp(get, port, block, remote, local), std::chrono::minutes(10));
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    if (r.status != 0) {
        std::fprintf(stderr, "  atftp failed: %s\n", r.output.c_str());
        return -1;
    }
    return s;
}

double best(std::vector<double> v) {
    double b = -1;
    for (double x : v)
        if (x > 0 && (b < 0 || x < b)) b = x;
    return b;
}

} // namespace

int main(int argc, char** argv) {
    std::uint64_t mib = 64;
    int rounds = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--mib")) mib = std::strtoull(argv[i + 1], nullptr, 10);
        else if (!std::strcmp(argv[i], "--rounds")) rounds = std::max(1, std::atoi(argv[i + 1]));
    }
    const std::uint64_t size = mib << 20;
    TftpdHpa reference;
    if (!reference.ready()) {
        std::fprintf(stderr, "tftpd-hpa did not start: %s\n", reference.log().c_str());
        return 1;
    }
    TempDir ourBase, local;
    QuietSink serverSink;
    TftpServer server(serverSink);
    ServerSettings ss;
    ss.port = 0;
    ss.anyPort = true;
    ss.bindAddress = "127.0.0.1";
    ss.baseFolder = ourBase.path();
    if (!server.start(ss)) return 1;

    makeFile(reference.root() / "src", size, 1);
    makeFile(ourBase.path() / "src", size, 1);
    makeFile(local.path() / "src", size, 1);

    vn::EventWait wait;
    QuietSink clientSink;
    TftpClient client(wait, clientSink);

    std::printf("TFTP over loopback, %llu MiB, best of %d\n", static_cast<unsigned long long>(mib), rounds);
    std::printf("%-9s %-9s | %-28s | %-28s\n", "blksize", "direction", "our client / atftp (tftpd-hpa)",
                "our server / tftpd-hpa (atftp)");
    int failures = 0;
    for (int block : {512, 1428, 8192, 65464}) {
        ClientSettings cs;
        cs.port = reference.port();
        cs.requestedBlock = block;
        cs.dallyMs = 0;
        client.setSettings(cs);
        for (bool get : {true, false}) {
            std::vector<double> ours, ref, theirsOnOurs;
            for (int r = 0; r < rounds; ++r) {
                const fs::path got = local.path() / "got";
                // Our client against tftpd-hpa.
                auto t0 = Clock::now();
                ClientResult res = get ? client.download("127.0.0.1", "src", got)
                                       : client.upload(local.path() / "src", "127.0.0.1", "up-ours");
                double s = std::chrono::duration<double>(Clock::now() - t0).count();
                const bool ok = res.outcome == vn::Outcome::Done &&
                                (get ? sameContent(reference.root() / "src", got)
                                     : sameContent(local.path() / "src", reference.root() / "up-ours"));
                if (!ok) {
                    std::fprintf(stderr, "  our client failed: %s\n", res.error.c_str());
                    ++failures;
                }
                ours.push_back(ok ? s : -1);
                // atftp against tftpd-hpa: the reference.
                s = get ? timeAtftp(true, reference.port(), block, "src", got)
                        : timeAtftp(false, reference.port(), block, "up-ref", local.path() / "src");
                ref.push_back(s);
                // atftp against our server.
                s = get ? timeAtftp(true, server.port(), block, "src", got)
                        : timeAtftp(false, server.port(), block, "up-atftp", local.path() / "src");
                if (s > 0 && !(get ? sameContent(ourBase.path() / "src", got)
                                   : sameContent(local.path() / "src", ourBase.path() / "up-atftp")))
                    s = -1;
                if (s < 0) ++failures;
                theirsOnOurs.push_back(s);
            }
            const double o = best(ours), rf = best(ref), os = best(theirsOnOurs);
            const double oM = mibPerSecond(size, o), rM = mibPerSecond(size, rf), sM = mibPerSecond(size, os);
            char a[64], b[64];
            std::snprintf(a, sizeof a, "%7.1f / %7.1f MiB/s %5.2fx", oM, rM, rM > 0 ? oM / rM : 0);
            std::snprintf(b, sizeof b, "%7.1f / %7.1f MiB/s %5.2fx", sM, rM, rM > 0 ? sM / rM : 0);
            std::printf("%-9d %-9s | %-28s | %-28s\n", block, get ? "get" : "put", a, b);
            std::fflush(stdout);
        }
    }
    server.stop();
    if (failures) std::printf("%d transfers failed\n", failures);
    return failures ? 1 : 0;
}
