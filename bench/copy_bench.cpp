// Folder tree copies by the copy engine against the usual tools, in the same
// run: a tree of many small files (by default 10 x 10 folders of 100 files of
// 1 KiB, so 10,000 files) copied from vsftpd on loopback to this machine by
// CopiarDirectori and by lftp's mirror, then from this machine to this
// machine by CopiarDirectori and by cp -r. Ours and theirs alternate, the
// median of the rounds is reported; every copy is checked (file count, bytes
// and contents) and removed before the next.
//
//   copy_bench [--top N] [--sub N] [--files N] [--size N] [--rounds N]
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "common/Prompter.h"
#include "ftp/engine/FtpEngine.h"
#include "ftp/engine/copy/Copier.h"
#include "ftp/engine/copy/TempFiles.h"
#include "ftp/engine/transfer/Transfer.h"

using namespace vn::bench;

namespace {

// Counts errors and, per round, the commands our engine sent (the log's
// echo of each command), to show the round trips a file costs.
class CountingSink : public vn::FtpSink {
public:
    void log(const std::string& line) override {
        if (line.rfind(">ERROR", 0) == 0 || line.rfind("--CANCELED", 0) == 0) {
            ++errors;
            if (errors <= 5) std::fprintf(stderr, "  %s\n", line.c_str());
        }
        // A command is echoed as ">VERB arguments".
        if (line.size() < 2 || line[0] != '>') return;
        std::string word = line.substr(1, line.find(' ') == std::string::npos ? std::string::npos : line.find(' ') - 1);
        if (word.size() >= 3 && word.size() <= 4 &&
            std::all_of(word.begin(), word.end(), [](char c) { return c >= 'A' && c <= 'Z'; }))
            ++commands[word];
    }
    void beep() override {}
    int errors = 0;
    std::map<std::string, long> commands;
};

class CountingPrompter : public vn::Prompter {
public:
    bool askYesNo(const std::string& q) override {
        ++questions;
        if (questions <= 3) std::fprintf(stderr, "  asked: %s\n", q.c_str());
        return true;
    }
    void message(const std::string& m) override {
        ++questions;
        std::fprintf(stderr, "  message: %s\n", m.c_str());
    }
    std::optional<std::string> input(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
    int questions = 0;
};

struct Shape {
    int top = 10, sub = 10, files = 100;
    std::size_t size = 1024;
    long count() const { return static_cast<long>(top) * sub * files; }
    std::uint64_t bytes() const { return static_cast<std::uint64_t>(count()) * size; }
};

// Each file's bytes differ (its number is in them), so a file landing under
// another's name shows up.
std::string contentOf(long n, std::size_t size) {
    std::string s(size, '\0');
    std::uint64_t x = 0x9E3779B97F4A7C15ull * static_cast<std::uint64_t>(n + 1);
    for (auto& c : s) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        c = static_cast<char>('a' + x % 26);
    }
    return s;
}

std::string relName(const Shape& sh, long n) {
    char buf[64];
    const long perTop = static_cast<long>(sh.sub) * sh.files;
    std::snprintf(buf, sizeof buf, "d%02ld/e%02ld/f%03ld.dat", n / perTop, n % perTop / sh.files, n % sh.files);
    return buf;
}

bool makeTree(const fs::path& root, const Shape& sh) {
    for (long n = 0; n < sh.count(); ++n) {
        fs::path p = root / relName(sh, n);
        if (n % sh.files == 0) fs::create_directories(p.parent_path());
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        out << contentOf(n, sh.size);
        if (!out) return false;
    }
    return true;
}

// The copy holds exactly the tree's files with their bytes, and nothing else.
bool verify(const char* what, const fs::path& root, const Shape& sh) {
    long files = 0, others = 0, wrong = 0;
    std::uint64_t bytes = 0;
    std::map<std::string, long> expected;
    for (long n = 0; n < sh.count(); ++n) expected[relName(sh, n)] = n;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator(); ++it) {
        if (it->is_directory()) continue;
        if (!it->is_regular_file()) {
            ++others;
            continue;
        }
        ++files;
        bytes += it->file_size();
        auto e = expected.find(it->path().lexically_relative(root).string());
        if (e == expected.end()) {
            ++wrong;
            continue;
        }
        std::ifstream in(it->path(), std::ios::binary);
        std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (got != contentOf(e->second, sh.size)) ++wrong;
    }
    const bool ok = !ec && files == sh.count() && bytes == sh.bytes() && others == 0 && wrong == 0;
    if (!ok)
        std::fprintf(stderr, "%s: INCOMPLETE copy in %s: %ld files (want %ld), %llu bytes (want %llu), %ld not files, "
                             "%ld wrong%s\n",
                     what, root.c_str(), files, sh.count(), static_cast<unsigned long long>(bytes),
                     static_cast<unsigned long long>(sh.bytes()), others, wrong, ec ? " (unreadable)" : "");
    return ok;
}

// Runs a tool to completion; the wall time of the whole process, or -1.
double runTool(const std::vector<std::string>& args, const fs::path& home) {
    ChildOptions o;
    o.home = home;
    return runTimed(args, o);
}

struct Ours {
    CountingSink sink;
    CountingPrompter prompter;
    vn::FtpEngine engine{sink, prompter};
    vn::FtpTransfer transfer{engine};
    vn::TempFiles temp;
    vn::FtpCopier copier{engine, transfer, temp};
    std::optional<vn::SessionId> id;

    explicit Ours(std::uint16_t port) {
        vn::FtpSettings s;
        s.ShowWelcome = false;
        engine.applySettings(s);
        copier.setTransferMode(vn::TransferMode::Binary);
        copier.setRecycleMode(vn::RecycleMode::Delete);
        id = engine.ConnectarAServidor(anonymousLogin(port));
    }

    // One CopiarDirectori, timed; -1 when it did not copy everything.
    double copy(const vn::Place& from, const vn::Place& to, const std::string& dest, const std::string& source) {
        settle();
        engine.wait().lowerCancel();
        sink.commands.clear();
        const int errorsBefore = sink.errors, askedBefore = prompter.questions;
        copier.startTotal(0);
        auto t0 = Clock::now();
        vn::TransferResult r = copier.CopiarDirectori(from, to, dest, source);
        double s = seconds(Clock::now() - t0);
        if (r != vn::TransferResult::Copied || sink.errors != errorsBefore || prompter.questions != askedBefore) {
            std::fprintf(stderr, "our copy of %s did not succeed (result %d, %d errors, %d questions)\n",
                         source.c_str(), static_cast<int>(r), sink.errors - errorsBefore,
                         prompter.questions - askedBefore);
            return -1;
        }
        return s;
    }
};

} // namespace

int main(int argc, char** argv) {
    Shape sh;
    int rounds = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--top") sh.top = std::atoi(argv[i + 1]);
        else if (a == "--sub") sh.sub = std::atoi(argv[i + 1]);
        else if (a == "--files") sh.files = std::atoi(argv[i + 1]);
        else if (a == "--size") sh.size = std::strtoull(argv[i + 1], nullptr, 10);
        else if (a == "--rounds") rounds = std::atoi(argv[i + 1]);
    }
    if (sh.top < 1 || sh.sub < 1 || sh.files < 1 || sh.top > 100 || sh.sub > 100 || sh.files > 1000 || rounds < 1) {
        std::fprintf(stderr, "copy_bench [--top N<=100] [--sub N<=100] [--files N<=1000] [--size N] [--rounds N]\n");
        return 2;
    }
    const std::string lftp = "/usr/bin/lftp", cp = "/bin/cp";
    if (::access(lftp.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "lftp is missing (apt-get install lftp)\n");
        return 1;
    }

    const WorkDir work("/tmp/vn-copybench-XXXXXX");
    if (!work.ok()) return 1;
    fs::create_directories(work / "toolhome");
    int rc = 0;
    {
        const auto started = startVsftpd();
        if (!started) return 1;
        vn::test::Vsftpd& server = *started;
        const fs::path tree = server.uploadDir() / "tree";
        std::printf("vsftpd on 127.0.0.1:%u; tree: %d x %d folders x %d files of %zu bytes = %ld files, %llu bytes; "
                    "%d rounds\n",
                    server.port(), sh.top, sh.sub, sh.files, sh.size, sh.count(),
                    static_cast<unsigned long long>(sh.bytes()), rounds);
        std::fflush(stdout);
        if (!makeTree(tree, sh)) {
            std::fprintf(stderr, "could not make the tree\n");
            rc = 1;
        }
        Ours ours(server.port());
        if (rc == 0 && !ours.id) {
            std::fprintf(stderr, "our engine could not log in\n");
            rc = 1;
        }
        const std::string url = ftpUrl(server);
        const vn::Place remote{ours.id.value_or(0), "127.0.0.1"}, here{};

        std::vector<double> oursDown, lftpDown, oursLocal, cpLocal;
        std::map<std::string, long> perRound;
        for (int r = 0; r < rounds && rc == 0; ++r) {
            const fs::path a = work / "ours-down", b = work / "lftp-down", c = work / "ours-local",
                           d = work / "cp-local";
            // ---- server to this machine ----
            double s = ours.copy(remote, here, a.string(), "/upload/tree/");
            perRound = ours.sink.commands;
            if (s < 0 || !verify("ours, server to local", a, sh)) {
                rc = 1;
                break;
            }
            oursDown.push_back(s);
            fs::remove_all(a);
            s = runTool({lftp, "-u", "anonymous,x", "-e",
                         "set ftp:ssl-allow no; set net:max-retries 1; mirror /upload/tree " + b.string() + "; quit",
                         url},
                        work / "toolhome");
            if (s < 0 || !verify("lftp mirror", b, sh)) {
                rc = 1;
                break;
            }
            lftpDown.push_back(s);
            fs::remove_all(b);

            // ---- this machine to this machine ----
            s = ours.copy(here, here, c.string(), tree.string() + "/");
            if (s < 0 || !verify("ours, local to local", c, sh)) {
                rc = 1;
                break;
            }
            oursLocal.push_back(s);
            fs::remove_all(c);
            s = runTool({cp, "-r", tree.string(), d.string()}, work / "toolhome");
            if (s < 0 || !verify("cp -r", d, sh)) {
                rc = 1;
                break;
            }
            cpLocal.push_back(s);
            fs::remove_all(d);
            std::printf("round %d: server->local ours %.2f s lftp %.2f s; local->local ours %.2f s cp %.2f s\n", r + 1,
                        oursDown.back(), lftpDown.back(), oursLocal.back(), cpLocal.back());
            std::fflush(stdout);
        }

        if (rc == 0) {
            const double od = median(oursDown), ld = median(lftpDown), ol = median(oursLocal), cl = median(cpLocal);
            std::printf("\nmedian of %d rounds, %ld files, all copies complete (count, bytes, contents):\n", rounds,
                        sh.count());
            std::printf("server->local  ours %7.2f s (%6.0f files/s)   lftp mirror %7.2f s   ours/lftp %.2fx (goal <= "
                        "1.20x)%s\n",
                        od, sh.count() / od, ld, od / ld, od / ld <= 1.2 ? "" : "  ABOVE GOAL");
            std::printf("local->local   ours %7.2f s (%6.0f files/s)   cp -r       %7.2f s   ours/cp   %.2fx\n", ol,
                        sh.count() / ol, cl, ol / cl);
            std::printf("commands our engine sent for server->local (per file):");
            for (const auto& [cmd, n] : perRound)
                std::printf(" %s %ld (%.2f)", cmd.c_str(), n, static_cast<double>(n) / sh.count());
            std::printf("\n");
        }
        ours.engine.quitAll();
        server.stop();
    }
    return rc;
}
