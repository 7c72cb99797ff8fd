// Transfer throughput against curl, through vsftpd on loopback, in the same run:
// a 1 GiB file downloaded and uploaded by our engine and by curl, alternating,
// three rounds each (the median is reported). During our download a stand-in
// UI thread runs a 10 ms periodic timer; how late it fires shows whether a
// transfer starves the UI, and the gaps between progress callbacks show how
// often the window hears of progress. Abort is timed from abort() to the
// transfer's return.
//
//   transfer_bench [--size-mib N] [--rounds N] [--packet N]
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "common/Prompter.h"
#include "ftp/engine/FtpEngine.h"
#include "ftp/engine/transfer/Transfer.h"

using namespace vn::bench;
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

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

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
        id = engine.ConnectarAServidor(anonymousLogin(port));
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

    const WorkDir work("/tmp/vn-bench-XXXXXX");
    if (!work.ok()) return 1;

    const auto started = startVsftpd();
    if (!started) return 1;
    vn::test::Vsftpd& server = *started;
    const std::string url = ftpUrl(server);
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

    UpDownTimes t({"-s", "-S"});
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
        t.oursDown.push_back(s);
        gaps.push_back(ms(ours.sink.worstGap));
        if (l.worstLateMs > worstUi.worstLateMs) worstUi.worstLateMs = l.worstLateMs;
        worstUi.p99LateMs = std::max(worstUi.p99LateMs, l.p99LateMs);
        worstUi.ticks += l.ticks;

        if (!t.curlDownload(url + "/big.bin", work / "curl.bin", size)) return 1;

        // ---- upload ----
        if (!t.upload(server, work / "up.bin", size, [&](const std::string& from, const std::string& to) {
                return ours.transfer.fesPUT(*ours.id, from, to) == vn::TransferResult::Copied;
            }))
            return 1;
        t.printRound(r + 1);
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

    t.printMedians(rounds, sizeMiB);
    std::printf("UI stand-in (10 ms timer on its own thread) during our downloads: %d ticks, worst %.2f ms late, "
                "p99 %.2f ms late\n",
                worstUi.ticks, worstUi.worstLateMs, worstUi.p99LateMs);
    std::printf("worst gap between progress updates (throttle 100 ms): %.1f ms\n",
                *std::max_element(gaps.begin(), gaps.end()));
    std::printf("Abort: the download returned %.1f ms after abort()%s\n", abortMs,
                abortMs < 0 ? " (it was not cancelled!)" : "");

    ours.engine.quitAll();
    server.stop();
    return 0;
}
