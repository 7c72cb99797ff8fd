#include "BenchSupport.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace vn::bench {

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

void settle() { ::sync(); }

double runTimed(const std::vector<std::string>& args, const ChildOptions& options) {
    settle();
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    auto t0 = Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        if (!options.stderrTo.empty()) {
            int fd = ::open(options.stderrTo.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd >= 0) ::dup2(fd, 2);
        }
        // lftp keeps its history and settings below $HOME: not the user's.
        if (!options.home.empty()) setenv("HOME", options.home.c_str(), 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    double s = seconds(Clock::now() - t0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed (status %d)\n", (options.name.empty() ? args[0] : options.name).c_str(),
                     status);
        return -1;
    }
    return s;
}

WorkDir::WorkDir(std::string pattern) {
    if (!mkdtemp(pattern.data())) return;
    path_ = pattern;
    setenv("VARNELO_HOME", (path_ / "home").c_str(), 1);
    fs::create_directories(path_ / "home");
}

WorkDir::~WorkDir() {
    std::error_code ec;
    if (ok()) fs::remove_all(path_, ec);
}

std::unique_ptr<vn::test::Vsftpd> startVsftpd(const vn::test::RealServerOptions& options) {
    auto server = std::make_unique<vn::test::Vsftpd>(options);
    if (server->ready()) return server;
    std::fprintf(stderr, "vsftpd did not start: %s\n", server->error().c_str());
    return nullptr;
}

std::string ftpUrl(const vn::test::RealFtpServer& server) { return "ftp://127.0.0.1:" + std::to_string(server.port()); }

vn::ConnectParams anonymousLogin(std::uint16_t port) {
    vn::ConnectParams p;
    p.host = "127.0.0.1";
    p.port = port;
    p.login = "anonymous";
    p.password = "bench@example.org";
    p.passive = true;
    return p;
}

double UpDownTimes::curl(const std::vector<std::string>& args, const fs::path& stderrTo) const {
    std::vector<std::string> all{"/usr/bin/curl"};
    all.insert(all.end(), curlFlags.begin(), curlFlags.end());
    all.insert(all.end(), args.begin(), args.end());
    ChildOptions o;
    o.name = "curl";
    o.stderrTo = stderrTo;
    // A failed run of the reference tool (vsftpd ends a TLS data connection
    // with 426 now and then) is no measurement: two more tries.
    double s = -1;
    for (int attempt = 0; attempt < 3 && s < 0; ++attempt) {
        if (attempt > 0) std::fprintf(stderr, "curl: trying again\n");
        s = runTimed(all, o);
    }
    return s;
}

bool UpDownTimes::curlDownload(const std::string& url, const fs::path& to, std::uint64_t size) {
    const double c = curl({"-o", to.string(), url});
    if (c < 0 || fs::file_size(to) != size) return false;
    curlDown.push_back(c);
    return true;
}

bool UpDownTimes::upload(const vn::test::RealFtpServer& server, const fs::path& file, std::uint64_t size,
                         const std::function<bool(const std::string& from, const std::string& to)>& ours) {
    const fs::path dir = server.uploadDir();
    fs::remove(dir / "ours.bin");
    fs::remove(dir / "curl.bin");
    settle();
    const auto t0 = Clock::now();
    const bool copied = ours(file.string(), "/upload/ours.bin");
    const double s = seconds(Clock::now() - t0);
    if (!copied || fs::file_size(dir / "ours.bin") != size) {
        std::fprintf(stderr, "our upload failed\n");
        return false;
    }
    oursUp.push_back(s);
    const double c = curl({"-T", file.string(), ftpUrl(server) + "/upload/curl.bin"});
    if (c < 0 || fs::file_size(dir / "curl.bin") != size) return false;
    curlUp.push_back(c);
    return true;
}

void UpDownTimes::printRound(int round) const {
    std::printf("round %d: down ours %.2f s curl %.2f s, up ours %.2f s curl %.2f s\n", round, oursDown.back(),
                curlDown.back(), oursUp.back(), curlUp.back());
    std::fflush(stdout);
}

void UpDownTimes::printMedians(int rounds, std::uint64_t sizeMiB) const {
    const double mb = static_cast<double>(sizeMiB << 20) / 1e6;
    auto line = [&](const char* what, double o, double c) {
        std::printf("%-9s ours %8.1f MB/s   curl %8.1f MB/s   ratio %.2f\n", what, mb / o, mb / c, c / o);
    };
    std::printf("\nmedian of %d rounds, %llu MiB each:\n", rounds, static_cast<unsigned long long>(sizeMiB));
    line("download", median(oursDown), median(curlDown));
    line("upload", median(oursUp), median(curlUp));
}

} // namespace vn::bench
