// Throughput over explicit TLS (AUTH TLS, PROT P, data connections resuming
// the control session) through vsftpd on loopback: our engine against
// `curl --ssl-reqd`, download and upload alternating in the same run, the
// median of the rounds reported with the cipher each side negotiated.
//
//   tls_bench [--size-mib N] [--rounds N]
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "RealFtpServers.h"
#include "common/Prompter.h"
#include "ftp/engine/FtpEngine.h"
#include "ftp/engine/transfer/Transfer.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

class Sink : public vn::FtpSink {
public:
    void log(const std::string& line) override {
        std::lock_guard l(m);
        if (line.rfind("-TLS connection established: ", 0) == 0) cipher = line.substr(29, line.size() - 30);
        if (line.rfind(">ERROR", 0) == 0) std::fprintf(stderr, "  %s\n", line.c_str());
    }
    void beep() override {}
    std::mutex m;
    std::string cipher;
};

// The test certificate is self-signed: trusted once, as a user would.
class TrustOnce : public vn::Prompter {
public:
    bool askYesNo(const std::string&) override { return true; }
    void message(const std::string&) override {}
    std::optional<std::string> input(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<int> choose(const std::string&, const std::vector<std::string>&) override { return 0; }
};

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

bool makeFile(const fs::path& p, std::uint64_t size) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    std::vector<std::uint64_t> block(1 << 17);
    std::uint64_t x = 88172645463325252ull;
    for (std::uint64_t written = 0; written < size;) {
        for (auto& w : block) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            w = x | 0x0101010101010101ull;
        }
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(block.size() * 8, size - written));
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n));
        written += n;
    }
    out.close();
    ::chmod(p.c_str(), 0644);
    return bool(out);
}

// curl to completion (wall time of the whole process); stderr to errFile when given.
double runCurl(const std::vector<std::string>& args, const std::string& errFile = {}) {
    ::sync();
    std::vector<std::string> all{"/usr/bin/curl", "--ssl-reqd", "-k", "-s", "-S"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    auto t0 = Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        if (!errFile.empty()) {
            int fd = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd >= 0) ::dup2(fd, 2);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    double s = seconds(Clock::now() - t0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "curl failed (status %d)\n", status);
        return -1;
    }
    return s;
}

std::string curlCipher(const std::string& verbose) {
    std::ifstream in(verbose);
    std::string line;
    while (std::getline(in, line)) {
        auto at = line.find("SSL connection using ");
        if (at != std::string::npos) return line.substr(at + 21);
    }
    return "unknown";
}

} // namespace

int main(int argc, char** argv) {
    std::uint64_t sizeMiB = 1024;
    int rounds = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--size-mib") sizeMiB = std::strtoull(argv[i + 1], nullptr, 10);
        else if (a == "--rounds") rounds = std::atoi(argv[i + 1]);
    }
    const std::uint64_t size = sizeMiB << 20;
    char tmpl[] = "/tmp/vn-tlsbench-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const fs::path work = tmpl;
    setenv("VARNELO_HOME", (work / "home").c_str(), 1);
    fs::create_directories(work / "home");

    vn::test::RealServerOptions o;
    o.tls = vn::test::RealServerOptions::Tls::Explicit;
    vn::test::Vsftpd server(o);
    if (!server.ready()) {
        std::fprintf(stderr, "vsftpd did not start: %s\n", server.error().c_str());
        return 1;
    }
    const std::string url = "ftp://127.0.0.1:" + std::to_string(server.port());
    if (!makeFile(server.root() / "big.bin", size) || !makeFile(work / "up.bin", size)) return 1;

    Sink sink;
    TrustOnce prompter;
    vn::FtpEngine engine{sink, prompter};
    vn::FtpTransfer transfer{engine};
    vn::FtpSettings settings;
    settings.ShowWelcome = false;
    engine.applySettings(settings);
    vn::ConnectParams p;
    p.host = "127.0.0.1";
    p.port = server.port();
    p.login = "anonymous";
    p.password = "bench@example.org";
    p.passive = true;
    p.security = vn::FtpSecurity::RequireExplicit;
    auto id = engine.ConnectarAServidor(p);
    if (!id || !engine.sessionInfo(*id)->protectedData ||
        !transfer.SeleccionaTYPE(*id, vn::TransferMode::Binary, "big.bin")) {
        std::fprintf(stderr, "our engine could not log in over TLS\n");
        return 1;
    }
    if (runCurl({"-v", "-o", (work / "probe.bin").string(), url + "/big.bin"}, (work / "curl.txt").string()) < 0)
        return 1;
    std::printf("vsftpd on 127.0.0.1:%u over explicit TLS, file %llu MiB, %d rounds\n", server.port(),
                static_cast<unsigned long long>(sizeMiB), rounds);
    std::printf("cipher: ours %s; curl %s\n", sink.cipher.c_str(), curlCipher((work / "curl.txt").string()).c_str());
    std::fflush(stdout);

    std::vector<double> oursDown, curlDown, oursUp, curlUp;
    for (int r = 0; r < rounds; ++r) {
        fs::remove(work / "ours.bin");
        fs::remove(work / "curl.bin");
        ::sync();
        auto t0 = Clock::now();
        auto res = transfer.fesGET(*id, "big.bin", (work / "ours.bin").string());
        oursDown.push_back(seconds(Clock::now() - t0));
        if (res != vn::TransferResult::Copied || fs::file_size(work / "ours.bin") != size) {
            std::fprintf(stderr, "our download failed\n");
            return 1;
        }
        double c = runCurl({"-o", (work / "curl.bin").string(), url + "/big.bin"});
        if (c < 0 || fs::file_size(work / "curl.bin") != size) return 1;
        curlDown.push_back(c);

        fs::remove(server.uploadDir() / "ours.bin");
        fs::remove(server.uploadDir() / "curl.bin");
        ::sync();
        t0 = Clock::now();
        res = transfer.fesPUT(*id, (work / "up.bin").string(), "/upload/ours.bin");
        oursUp.push_back(seconds(Clock::now() - t0));
        if (res != vn::TransferResult::Copied || fs::file_size(server.uploadDir() / "ours.bin") != size) {
            std::fprintf(stderr, "our upload failed\n");
            return 1;
        }
        c = runCurl({"-T", (work / "up.bin").string(), url + "/upload/curl.bin"});
        if (c < 0 || fs::file_size(server.uploadDir() / "curl.bin") != size) return 1;
        curlUp.push_back(c);
        std::printf("round %d: down ours %.2f s curl %.2f s, up ours %.2f s curl %.2f s\n", r + 1, oursDown.back(),
                    curlDown.back(), oursUp.back(), curlUp.back());
        std::fflush(stdout);
    }
    const double mb = static_cast<double>(size) / 1e6;
    auto line = [&](const char* what, double o, double c) {
        std::printf("%-9s ours %8.1f MB/s   curl %8.1f MB/s   ratio %.2f\n", what, mb / o, mb / c, c / o);
    };
    std::printf("\nmedian of %d rounds, %llu MiB each:\n", rounds, static_cast<unsigned long long>(sizeMiB));
    line("download", median(oursDown), median(curlDown));
    line("upload", median(oursUp), median(curlUp));

    engine.quitAll();
    server.stop();
    std::error_code ec;
    fs::remove_all(work, ec);
    return 0;
}
