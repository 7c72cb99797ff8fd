// The explorer's file list with large folders: a remote folder of 100,000
// entries (LIST read from a loopback server, parsed, filled and sorted), a
// re-sort by another column, and a local folder of 100,000 files.
//   cmake --build build --target explorer_bench && build/bench/explorer_bench [--entries N]
#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "FakeFtpServer.h"
#include "common/Prompter.h"
#include "ftp/engine/FtpEngine.h"
#include "ftp/explorer/FileList.h"

namespace {

using Clock = std::chrono::steady_clock;
double ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

struct QuietSink : vn::FtpSink {
    void log(const std::string&) override {}
    void beep() override {}
};
struct NoPrompts : vn::Prompter {
    bool askYesNo(const std::string&) override { return false; }
    void message(const std::string&) override {}
    std::optional<std::string> input(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
};

int kEntries = 100000;

std::string bigListing() {
    std::string text = "total " + std::to_string(kEntries) + "\r\n";
    text.reserve(static_cast<std::size_t>(kEntries) * 70);
    char line[160];
    for (int i = 0; i < kEntries; ++i) {
        bool dir = i % 10 == 0;
        std::snprintf(line, sizeof line, "%crw-r--r--   1 ftp ftp %10lld Jan %2d %02d:%02d file-%06d.%s\r\n",
                      dir ? 'd' : '-', static_cast<long long>((i * 7919LL) % 5000000000LL), 1 + i % 28, i % 24,
                      i % 60, static_cast<int>((i * 31337LL) % kEntries), dir ? "d" : (i % 3 ? "txt" : "bin"));
        text += line;
    }
    return text;
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; i += 2)
        if (std::string(argv[i]) == "--entries") kEntries = std::atoi(argv[i + 1]);
    if (kEntries < 1 || kEntries > 10000000) {
        std::fprintf(stderr, "explorer_bench [--entries N]\n");
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);

    // Remote.
    vn::test::FakeFtpServer server;
    server.login().dataActive().onList(bigListing()).on("CWD", "250 Ok.\r\n");
    QuietSink sink;
    NoPrompts prompter;
    vn::FtpEngine engine(sink, prompter);
    engine.applySettings({});
    vn::ConnectParams p;
    p.host = "127.0.0.1";
    p.port = server.port();
    p.login = "user";
    p.password = "pw";
    auto id = engine.ConnectarAServidor(p);
    if (!id) {
        std::fprintf(stderr, "no session with the loopback server\n");
        return 1;
    }
    vn::FileListModel model;
    auto t0 = Clock::now();
    auto entries = engine.fesLIST(*id, "/", true);
    auto t1 = Clock::now();
    if (!entries) {
        std::fprintf(stderr, "the listing failed\n");
        return 1;
    }
    if (entries->size() != static_cast<std::size_t>(kEntries)) {
        std::fprintf(stderr, "the listing gave %zu entries of %d\n", entries->size(), kEntries);
        return 1;
    }
    model.setItems(vn::remoteItems(*entries, "/"), true);
    auto t2 = Clock::now();
    std::printf("remote folder, %zu entries: LIST read and parsed %.0f ms, filled and sorted %.0f ms, total %.0f ms "
                "(target < 1000 ms)\n",
                entries->size(), ms(t0, t1), ms(t1, t2), ms(t0, t2));
    auto t3 = Clock::now();
    model.sortBy(vn::SortColumn::Size);
    auto t4 = Clock::now();
    model.sortBy(vn::SortColumn::Type);
    auto t5 = Clock::now();
    std::printf("re-sort by size %.0f ms, by type %.0f ms (target < 200 ms)\n", ms(t3, t4), ms(t4, t5));

    // Local.
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("vn-explorer-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    for (int i = 0; i < kEntries; ++i) std::ofstream(dir / ("f" + std::to_string(i) + ".dat"));
    std::vector<vn::FileItem> items;
    auto l0 = Clock::now();
    vn::readLocalFolder(dir.string() + "/", items);
    vn::FileListModel local;
    local.setItems(std::move(items), false);
    auto l1 = Clock::now();
    std::printf("local folder, %d files: read, filled and sorted %.0f ms (target < 1500 ms)\n", local.rowCount(),
                ms(l0, l1));
    fs::remove_all(dir);
    return local.rowCount() == kEntries ? 0 : 1;
}
