// Transfer throughput against curl, through vsftpd on loopback, in the same run:
// a 1 GiB file downloaded and uploaded by our engine and by curl, alternating,
// three rounds each (the median is reported). During our download a stand-in
// UI thread runs a 10 ms periodic timer; how late it fires shows whether a
// transfer starves the UI, and the gaps between progress callbacks show how
// often the window hears of progress. Abort is timed from abort() to the
// transfer's return.
//
//   transfer_bench [--size-mib N] [--rounds N] [--packet N]
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "RealFtpServers.h"
#include "common/Prompter.h"
#include "ftp/engine/FtpEngine.h"
#include "ftp/engine/transfer/Transfer.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

class QuietSink : public vn::FtpSink {
public:
    void log(const std::string& line) override {
        if (line.rfind(">ERROR", 0) == 0 || line.rfind("--CANCELED", 0) == 0) std::fprintf(stderr, "  %s\n", line.c_str());
    }
    void beep() override {}
    void fileProgress(std::uint64_t done, std::uint64_t) override {
        auto now = Clock::now();
        std::lock_guard l(m);
        if (last != Clock::time_point{}) worstGap = std::max(worstGap, now - last);
        last = now;
        this->done = done;
        if (onProgress) onProgress(done);
    }
    void reset() {
        std::lock_guard l(m);
        last = {};
        worstGap = {};
    }
    std::mutex m;
    Clock::time_point last;
    Clock::duration worstGap{};
    std::atomic<std::uint64_t> done{0};
    std::function<void(std::uint64_t)> onProgress;
};

class NoPrompter : public vn::Prompter {
public:
    bool askYesNo(const std::string&) override { return true; }
    void message(const std::string&) override {}
    std::optional<std::string> input(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
};

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }
double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

bool makeFile(const fs::path& p, std::uint64_t size) {
    // Incompressible-looking bytes, never zero runs (a zero run would be a hole on our side).
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

// Runs curl to completion; the wall time of the whole process (connect, login, transfer, quit).
// Every measurement starts with the page cache's dirty data written out, so
// neither tool pays for the other's write-back.
void settle() { ::sync(); }

double runCurl(const std::vector<std::string>& args) {
    settle();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("/usr/bin/curl"));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    auto t0 = Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
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

struct Ours {
    QuietSink sink;
    NoPrompter prompter;
    vn::FtpEngine engine{sink, prompter};
    vn::FtpTransfer transfer{engine};
    std::optional<vn::SessionId> id;

    Ours(std::uint16_t port, int packet) {
        vn::FtpSettings s;
        s.ShowWelcome = false;
        s.PacketLength = packet;
        engine.applySettings(s);
        vn::ConnectParams p;
        p.host = "127.0.0.1";
        p.port = port;
        p.login = "anonymous";
        p.password = "bench@example.org";
        p.passive = true;
        id = engine.ConnectarAServidor(p);
    }
};

struct Latency {
    double worstLateMs = 0, p99LateMs = 0;
    int ticks = 0;
};

// The stand-in UI: a 10 ms periodic timer; records how late each tick fires.
class UiTimer {
public:
    UiTimer() : thread_([this] { run(); }) {}
    Latency stop() {
        stop_ = true;
        thread_.join();
        Latency l;
        std::sort(late_.begin(), late_.end());
        l.ticks = static_cast<int>(late_.size());
        if (!late_.empty()) {
            l.worstLateMs = late_.back();
            l.p99LateMs = late_[std::min(late_.size() - 1, late_.size() * 99 / 100)];
        }
        return l;
    }

private:
    void run() {
        auto next = Clock::now() + 10ms;
        while (!stop_) {
            std::this_thread::sleep_until(next);
            late_.push_back(ms(Clock::now() - next));
            next += 10ms;
        }
    }
    std::atomic<bool> stop_{false};
    std::vector<double> late_;
    std::thread thread_;
};

} // namespace

int main(int argc, char** argv) {
    std::uint64_t sizeMiB = 1024;
    int rounds = 3;
    int packet = 4096;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--size-mib") sizeMiB = std::strtoull(argv[i + 1], nullptr, 10);
        else if (a == "--rounds") rounds = std::atoi(argv[i + 1]);
        else if (a == "--packet") packet = std::atoi(argv[i + 1]);
    }
    const std::uint64_t size = sizeMiB << 20;

    char tmpl[] = "/tmp/vn-bench-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const fs::path work = tmpl;
    setenv("VARNELO_HOME", (work / "home").c_str(), 1);
    fs::create_directories(work / "home");

    vn::test::Vsftpd server;
    if (!server.ready()) {
        std::fprintf(stderr, "vsftpd did not start: %s\n", server.error().c_str());
        return 1;
    }
    const std::string url = "ftp://127.0.0.1:" + std::to_string(server.port());
    std::printf("vsftpd on 127.0.0.1:%u, file %llu MiB, PacketLength %d (I/O %zu bytes), %d rounds\n",
                server.port(), static_cast<unsigned long long>(sizeMiB), packet, vn::FtpTransfer::ioSize(packet),
                rounds);
    std::fflush(stdout);
    if (!makeFile(server.root() / "big.bin", size) || !makeFile(work / "up.bin", size)) return 1;

    Ours ours(server.port(), packet);
    if (!ours.id || !ours.transfer.SeleccionaTYPE(*ours.id, vn::TransferMode::Binary, "big.bin")) {
        std::fprintf(stderr, "our engine could not log in\n");
        return 1;
    }

    std::vector<double> oursDown, curlDown, oursUp, curlUp;
    std::vector<double> gaps;
    Latency worstUi;
    for (int r = 0; r < rounds; ++r) {
        // ---- download ----
        fs::remove(work / "ours.bin");
        fs::remove(work / "curl.bin");
        ours.sink.reset();
        settle();
        UiTimer ui;
        auto t0 = Clock::now();
        auto res = ours.transfer.fesGET(*ours.id, "big.bin", (work / "ours.bin").string());
        double s = seconds(Clock::now() - t0);
        Latency l = ui.stop();
        if (res != vn::TransferResult::Copied || fs::file_size(work / "ours.bin") != size) {
            std::fprintf(stderr, "our download failed\n");
            return 1;
        }
        oursDown.push_back(s);
        gaps.push_back(ms(ours.sink.worstGap));
        if (l.worstLateMs > worstUi.worstLateMs) worstUi.worstLateMs = l.worstLateMs;
        worstUi.p99LateMs = std::max(worstUi.p99LateMs, l.p99LateMs);
        worstUi.ticks += l.ticks;

        double c = runCurl({"-s", "-S", "-o", (work / "curl.bin").string(), url + "/big.bin"});
        if (c < 0 || fs::file_size(work / "curl.bin") != size) return 1;
        curlDown.push_back(c);

        // ---- upload ----
        fs::remove(server.uploadDir() / "ours.bin");
        fs::remove(server.uploadDir() / "curl.bin");
        settle();
        t0 = Clock::now();
        res = ours.transfer.fesPUT(*ours.id, (work / "up.bin").string(), "/upload/ours.bin");
        s = seconds(Clock::now() - t0);
        if (res != vn::TransferResult::Copied || fs::file_size(server.uploadDir() / "ours.bin") != size) {
            std::fprintf(stderr, "our upload failed\n");
            return 1;
        }
        oursUp.push_back(s);
        c = runCurl({"-s", "-S", "-T", (work / "up.bin").string(), url + "/upload/curl.bin"});
        if (c < 0 || fs::file_size(server.uploadDir() / "curl.bin") != size) return 1;
        curlUp.push_back(c);
        std::printf("round %d: down ours %.2f s curl %.2f s, up ours %.2f s curl %.2f s\n", r + 1, oursDown.back(),
                    curlDown.back(), oursUp.back(), curlUp.back());
        std::fflush(stdout);
    }

    // ---- Abort latency: abort() from another thread half-way through a download ----
    fs::remove(work / "ours.bin");
    std::atomic<bool> armed{true};
    Clock::time_point abortedAt;
    ours.sink.onProgress = [&](std::uint64_t done) {
        if (armed && done >= size / 2) {
            armed = false;
            std::thread([&] {
                abortedAt = Clock::now();
                ours.engine.wait().abort();
            }).detach();
        }
    };
    ours.transfer.setProgressInterval(0ms);
    ours.engine.wait().lowerCancel();
    auto res = ours.transfer.fesGET(*ours.id, "big.bin", (work / "ours.bin").string());
    auto returned = Clock::now();
    ours.sink.onProgress = nullptr;
    double abortMs = res == vn::TransferResult::Cancelled ? ms(returned - abortedAt) : -1;

    const double mb = static_cast<double>(size) / 1e6;
    auto line = [&](const char* what, double o, double c) {
        std::printf("%-9s ours %8.1f MB/s   curl %8.1f MB/s   ratio %.2f\n", what, mb / o, mb / c, c / o);
    };
    std::printf("\nmedian of %d rounds, %llu MiB each:\n", rounds, static_cast<unsigned long long>(sizeMiB));
    line("download", median(oursDown), median(curlDown));
    line("upload", median(oursUp), median(curlUp));
    std::printf("UI stand-in (10 ms timer on its own thread) during our downloads: %d ticks, worst %.2f ms late, "
                "p99 %.2f ms late\n",
                worstUi.ticks, worstUi.worstLateMs, worstUi.p99LateMs);
    std::printf("worst gap between progress updates (throttle 100 ms): %.1f ms\n",
                *std::max_element(gaps.begin(), gaps.end()));
    std::printf("Abort: the download returned %.1f ms after abort()%s\n", abortMs,
                abortMs < 0 ? " (it was not cancelled!)" : "");

    ours.engine.quitAll();
    server.stop();
    std::error_code ec;
    fs::remove_all(work, ec);
    return 0;
}
