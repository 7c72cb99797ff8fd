// Terminal throughput: the same bytes through this suite's Telnet codec +
// terminal parser + screen model and through libvterm (parser + screen), in
// the same run, in 4 KiB blocks as they come off the socket. Three kinds of
// output, a third of the size each: 80-column text, dense cursor addressing
// with SGR, and a shell session as telnetd sends it (negotiation, coloured
// prompts, coloured listings, a full-screen editor's redraws). Reports bytes/s
// for each and the ratio ours / libvterm (goal: at least 1.0).
//
// With --telnetd, also the whole way: inetutils-telnetd on 127.0.0.1 (started
// here through socat, a script in place of login that sends the corpus from a
// raw pty) streaming the mixed corpus into a TelnetSession, timed from the
// connect to the server's close.
//
//   telnet_bench [--mib N] [--rounds N] [--telnetd]   (defaults: 10 MiB, 3 rounds; median reported)
#include <unistd.h>
#include <vterm.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "TelnetdLauncher.h"
#include "telnet/Screen.h"
#include "telnet/TelnetSession.h"
#include "telnet/TelnetCodec.h"
#include "telnet/TerminalParser.h"

using Clock = std::chrono::steady_clock;
using namespace vn::telnet;

namespace {

constexpr std::size_t kBlock = 4096;

std::string text80(std::size_t size, std::mt19937& rng) {
    static const char* words[] = {"the", "quick", "brown", "fox", "jumps", "over", "lazy", "dog", "telnet",
                                  "terminal", "screen", "buffer", "cursor", "region", "column", "row"};
    std::string out;
    std::string line;
    while (out.size() < size) {
        std::string w = words[rng() % 16];
        if (line.size() + w.size() + 1 > 79) {
            out += line + "\r\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + w;
    }
    out.resize(size);
    return out;
}

std::string cursorAndSgr(std::size_t size, std::mt19937& rng) {
    std::string out;
    const char* sgr[] = {"\x1b[1m", "\x1b[7m", "\x1b[0m", "\x1b[4m", "\x1b[1;7m", "\x1b[m", "\x1b[0;1m"};
    while (out.size() < size) {
        out += "\x1b[" + std::to_string(1 + rng() % 24) + ";" + std::to_string(1 + rng() % 70) + "H";
        out += sgr[rng() % 7];
        out += "cell" + std::to_string(rng() % 1000);
        if (rng() % 8 == 0) out += "\x1b[K";
        if (rng() % 64 == 0) out += "\x1b[2J";
    }
    out.resize(size);
    return out;
}

std::string shellSession(std::size_t size, std::mt19937& rng) {
    std::string out = "\xff\xfb\x25\xff\xfb\x26\xff\xfd\x18\xff\xfd\x20\xff\xfd\x23\xff\xfd\x27\xff\xfd\x24"
                      "\xff\xfb\x03\xff\xfd\x01\xff\xfd\x1f\xff\xfb\x05\xff\xfd\x21\xff\xfb\x01"
                      "\r\nlogin: alice\r\nPassword: \r\nLast login: Thu Dec 10 14:00:00 on pts/3\r\n";
    const char* prompt = "\x1b[01;32malice@lab\x1b[00m:\x1b[01;34m~/src\x1b[00m$ ";
    const char* names[] = {"Makefile", "README.md", "build", "src", "tests", "main.cpp", "util.h", "data.bin"};
    int n = 0;
    while (out.size() < size) {
        out += prompt;
        switch (rng() % 3) {
        case 0: // ls -l --color
            out += "ls -l\r\ntotal 48\r\n";
            for (int i = 0; i < 20; ++i) {
                bool dir = rng() % 3 == 0;
                char line[200];
                std::snprintf(line, sizeof line, "%s 1 alice alice %6u Dec 10 14:%02d %s%s\x1b[0m\r\n",
                              dir ? "drwxr-xr-x" : "-rw-r--r--", static_cast<unsigned>(rng() % 100000), i % 60,
                              dir ? "\x1b[01;34m" : "", names[rng() % 8]);
                out += line;
            }
            break;
        case 1: // cat of a source file
            out += "cat main.cpp\r\n";
            for (int i = 0; i < 30; ++i) out += "    int value" + std::to_string(n++) + " = compute(" +
                                                std::to_string(rng() % 100) + ");\t// step\r\n";
            break;
        default: // an editor redrawing its screen and status line
            out += "vi notes.txt\r\n\x1b[?1049h\x1b[H\x1b[2J";
            for (int r = 1; r <= 23; ++r)
                out += "\x1b[" + std::to_string(r) + ";1Hline " + std::to_string(r) + " of the notes\x1b[K";
            out += "\x1b[24;1H\x1b[7m\"notes.txt\" 23L, 512C\x1b[m\x1b[1;1H";
            for (int k = 0; k < 10; ++k) out += "\x1b[" + std::to_string(1 + rng() % 23) + ";5Hx\x1b[3P";
            out += "\x1b[?1049l\r\n";
            break;
        }
    }
    out.resize(size);
    return out;
}

struct Ours : TelnetCodecOutput {
    Screen screen;
    TerminalParser parser{screen};
    TelnetCodec codec{*this};
    void toServer(std::string) override {}
    void toTerminal(const char* d, std::size_t n) override { parser.feed(d, n); }
};

double runOurs(const std::string& bytes) {
    Ours o;
    auto t0 = Clock::now();
    for (std::size_t pos = 0; pos < bytes.size(); pos += kBlock)
        o.codec.receive(bytes.data() + pos, std::min(kBlock, bytes.size() - pos));
    o.screen.takeDamage();
    double s = std::chrono::duration<double>(Clock::now() - t0).count();
    if (o.screen.cursor().row < 1) std::abort(); // keep the work
    return s;
}

double runVterm(const std::string& bytes) {
    VTerm* vt = vterm_new(kScreenRows, kColumns);
    vterm_set_utf8(vt, 1);
    VTermScreen* vs = vterm_obtain_screen(vt);
    vterm_screen_reset(vs, 1);
    auto t0 = Clock::now();
    for (std::size_t pos = 0; pos < bytes.size(); pos += kBlock)
        vterm_input_write(vt, bytes.data() + pos, std::min(kBlock, bytes.size() - pos));
    vterm_screen_flush_damage(vs);
    double s = std::chrono::duration<double>(Clock::now() - t0).count();
    vterm_free(vt);
    return s;
}

// Seconds from the start of the connect to the server's close, or -1.
double runSession(std::uint16_t port) {
    vn::telnet::TelnetSink sink;
    vn::telnet::TelnetSession session(sink);
    vn::telnet::TelnetConnectRequest r;
    r.host = "127.0.0.1";
    r.port = port;
    auto t0 = Clock::now();
    vn::telnet::TelnetEnd end = session.run(r);
    double s = std::chrono::duration<double>(Clock::now() - t0).count();
    return end.outcome == vn::Outcome::PeerClosed ? s : -1;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    double mib = 10;
    int rounds = 3;
    bool telnetd = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--telnetd")) telnetd = true;
        else if (i + 1 < argc && !std::strcmp(argv[i], "--mib")) mib = std::atof(argv[++i]);
        else if (i + 1 < argc && !std::strcmp(argv[i], "--rounds")) rounds = std::max(1, std::atoi(argv[++i]));
    }
    const std::size_t total = static_cast<std::size_t>(mib * 1024 * 1024);
    std::mt19937 rng(42);
    struct Corpus {
        const char* name;
        std::string bytes;
    };
    std::vector<Corpus> corpora = {{"80-column text", text80(total / 3, rng)},
                                   {"cursor addressing + SGR", cursorAndSgr(total / 3, rng)},
                                   {"telnetd shell session", shellSession(total - 2 * (total / 3), rng)}};
    std::string all;
    for (const auto& c : corpora) all += c.bytes;
    corpora.push_back({"all (mixed)", all});

    std::printf("telnet_bench: %.1f MiB, %d round(s), median, blocks of %zu bytes\n", mib, rounds, kBlock);
    std::printf("%-26s %14s %14s %8s\n", "corpus", "ours MB/s", "libvterm MB/s", "ratio");
    double worst = 1e9;
    for (const auto& c : corpora) {
        std::vector<double> a, b;
        for (int r = 0; r < rounds; ++r) {
            a.push_back(runOurs(c.bytes));
            b.push_back(runVterm(c.bytes));
        }
        double ours = static_cast<double>(c.bytes.size()) / median(a) / 1e6;
        double ref = static_cast<double>(c.bytes.size()) / median(b) / 1e6;
        std::printf("%-26s %14.1f %14.1f %7.2fx\n", c.name, ours, ref, ours / ref);
        worst = std::min(worst, ours / ref);
    }
    std::printf("lowest ratio: %.2fx (goal 1.00x)\n", worst);
    if (!telnetd) return 0;

    namespace fs = std::filesystem;
    if (!vn::telnet::test::telnetdAvailable()) {
        std::printf("telnetd: not installed, skipped\n");
        return 0;
    }
    fs::path dir = fs::temp_directory_path() / ("telnet_bench." + std::to_string(::getpid()));
    fs::create_directories(dir);
    {
        // The server's pty would turn LF into CR LF: the corpus already has CR LF.
        std::string corpus = all;
        for (auto& c : corpus)
            if (static_cast<unsigned char>(c) == 0xFF) c = '~';
        std::ofstream(dir / "corpus", std::ios::binary) << corpus;
    }
    vn::telnet::test::Telnetd server;
    std::string script = "#!/bin/sh\nstty raw -echo\ncat '" + (dir / "corpus").string() + "'\n";
    if (!server.start(dir, script)) {
        std::printf("telnetd: could not start\n");
        fs::remove_all(dir);
        return 1;
    }
    std::vector<double> times;
    for (int r = 0; r < rounds; ++r) {
        double t = runSession(server.port());
        if (t < 0) {
            std::printf("telnetd: the session did not end with the server's close\n");
            break;
        }
        times.push_back(t);
    }
    server.stop();
    fs::remove_all(dir);
    if (times.empty()) return 1;
    double t = median(times);
    std::printf("telnetd -> TelnetSession (mixed, %.1f MiB): %.3f s, %.1f MB/s end to end\n", mib, t,
                static_cast<double>(all.size()) / t / 1e6);
    return 0;
}
