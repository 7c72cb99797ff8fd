// The Telnet window end to end: inetutils-telnetd on 127.0.0.1 (started here
// through socat, a script in place of login that writes the corpus from a raw
// pty) streams terminal output into an offscreen TTelnet2frm, timed from the
// connect to the server's close. Meanwhile a 10 ms timer on the UI thread
// measures how late the event loop serves it (goal: under 50 ms at worst).
// The corpus mixes 80-column text, cursor addressing and SGR sequences.
//
//   telnet_window_bench [--mib N]   (default 10 MiB)
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "TelnetdLauncher.h"
#include "common/ui/UiPrompter.h"
#include "telnet/ui/TTelnet2frm.h"

namespace {

std::string corpus(std::size_t size) {
    std::mt19937 rng(7);
    std::string out;
    const char* words[] = {"alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel"};
    int line = 0;
    while (out.size() < size) {
        ++line;
        switch (line % 3) {
        case 0: { // plain text, 79 columns
            std::string l;
            while (l.size() < 79) l += std::string(words[rng() % 8]) + " ";
            out += l.substr(0, 79) + "\r\n";
            break;
        }
        case 1: // cursor addressing with attributes
            for (int i = 0; i < 6; ++i)
                out += "\x1b[" + std::to_string(rng() % 24 + 1) + ";" + std::to_string(rng() % 70 + 1) + "H\x1b[" +
                       (i % 2 ? "1" : "7") + "m" + words[rng() % 8] + "\x1b[0m";
            out += "\r\n";
            break;
        default: // a coloured prompt and a listing
            out += "\x1b[1;32muser@host\x1b[0m:\x1b[1;34m~/src\x1b[0m$ ls\r\n\x1b[0m\x1b[01;34mdir\x1b[0m  file.txt\r\n";
        }
    }
    return out;
}

// The server's close ends the run with a box: answered here, never shown.
class SilentPrompter : public vn::UiPrompter {
public:
    bool askYesNo(const std::string&) override { return false; }
    void message(const std::string&) override {}
    std::optional<std::string> input(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
    int exec(QDialog&) override { return QDialog::Rejected; }
};

} // namespace

int main(int argc, char** argv) {
    double mib = 10;
    for (int i = 1; i + 1 < argc; ++i)
        if (!std::strcmp(argv[i], "--mib")) mib = std::atof(argv[i + 1]);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("telnet_window_bench." + std::to_string(::getpid()));
    fs::create_directories(dir);
    qputenv("VARNELO_HOME", QByteArray::fromStdString(dir.string()));
    QApplication app(argc, argv);
    if (!vn::telnet::test::telnetdAvailable()) {
        std::printf("telnetd: not installed, skipped\n");
        return 0;
    }
    const std::string data = corpus(static_cast<std::size_t>(mib * 1024 * 1024));
    std::ofstream(dir / "corpus", std::ios::binary) << data;
    vn::telnet::test::Telnetd server;
    if (!server.start(dir, "#!/bin/sh\nstty raw -echo\ncat '" + (dir / "corpus").string() + "'\n")) {
        std::printf("telnetd: could not start\n");
        fs::remove_all(dir);
        return 1;
    }

    SilentPrompter silent;
    vn::setUiPrompter(&silent);
    vn::telnet::TTelnet2frm w;
    w.show();
    std::vector<qint64> lateness;
    QElapsedTimer tick;
    QTimer probe;
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        lateness.push_back(std::max<qint64>(0, tick.elapsed() - 10));
        tick.restart();
    });
    QElapsedTimer clock;
    QObject::connect(&w, &vn::ToolWindow::operationFinished, &app, &QApplication::quit);
    clock.start();
    tick.start();
    probe.start();
    w.connectTo({"127.0.0.1", server.port(), false, {}, {}}, false);
    QTimer::singleShot(120000, &app, &QApplication::quit); // a server that never closes
    app.exec();
    const double seconds = clock.elapsed() / 1000.0;
    server.stop();
    fs::remove_all(dir);
    std::sort(lateness.begin(), lateness.end());
    const qint64 worst = lateness.empty() ? 0 : lateness.back();
    const qint64 p99 = lateness.empty() ? 0 : lateness[lateness.size() * 99 / 100];
    std::printf("telnetd -> Telnet window (%.1f MiB): %.3f s, %.1f MB/s end to end\n", mib, seconds,
                static_cast<double>(data.size()) / seconds / 1e6);
    std::printf("UI event latency: worst %lld ms, 99th percentile %lld ms (goal under 50 ms)\n",
                static_cast<long long>(worst), static_cast<long long>(p99));
    return 0;
}
