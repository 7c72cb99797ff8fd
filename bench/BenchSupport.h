#pragma once
// What the FTP benchmarks share: timing, the test file, other tools run as
// child processes, a scratch folder and vsftpd on loopback.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "RealFtpServers.h"
#include "ftp/engine/ConnectParams.h"

namespace vn::bench {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d);
double median(std::vector<double> v);

// `size` incompressible-looking bytes, never zero runs (a zero run would be a hole on our side).
bool makeFile(const fs::path& p, std::uint64_t size);

// Every measurement starts with the page cache's dirty data written out, so
// neither side pays for the other's write-back.
void settle();

struct ChildOptions {
    std::string name;  // in the failure message; argv[0] when empty
    fs::path stderrTo; // the child's stderr goes here when given
    fs::path home;     // $HOME in the child when given
};

// Runs argv (argv[0] a full path) to completion after settle(); the wall time
// of the whole process, or -1 when it did not exit with 0.
double runTimed(const std::vector<std::string>& argv, const ChildOptions& options = {});

// A scratch folder from a mkdtemp pattern, VARNELO_HOME in its "home" so no
// run touches the user's settings; removed with all it holds at the end.
class WorkDir {
public:
    explicit WorkDir(std::string pattern);
    ~WorkDir();
    WorkDir(const WorkDir&) = delete;
    WorkDir& operator=(const WorkDir&) = delete;

    bool ok() const { return !path_.empty(); }
    fs::path operator/(const fs::path& p) const { return path_ / p; }

private:
    fs::path path_;
};

// vsftpd on 127.0.0.1, or nullptr (the reason on stderr) when it did not start.
std::unique_ptr<vn::test::Vsftpd> startVsftpd(const vn::test::RealServerOptions& options = {});
std::string ftpUrl(const vn::test::RealFtpServer& server);
// Anonymous and passive, as curl and lftp log in.
vn::ConnectParams anonymousLogin(std::uint16_t port);

// Seconds per round for one file down and up, ours against curl.
struct UpDownTimes {
    explicit UpDownTimes(std::vector<std::string> flags) : curlFlags(std::move(flags)) {}

    // /usr/bin/curl with curlFlags before args, timed as runTimed does; its stderr to stderrTo when given.
    double curl(const std::vector<std::string>& args, const fs::path& stderrTo = {}) const;
    // curl fetching url to `to`; false unless it got `size` bytes.
    bool curlDownload(const std::string& url, const fs::path& to, std::uint64_t size);
    // `file` of `size` bytes sent to the server's upload folder by ours (from, to), then by curl, each from a
    // settled page cache and checked there; false (said on stderr) when either failed.
    bool upload(const vn::test::RealFtpServer& server, const fs::path& file, std::uint64_t size,
                const std::function<bool(const std::string& from, const std::string& to)>& ours);
    void printRound(int round) const;
    // The medians as MB/s for files of sizeMiB, and curl's time over ours.
    void printMedians(int rounds, std::uint64_t sizeMiB) const;

    std::vector<std::string> curlFlags;
    std::vector<double> oursDown, curlDown, oursUp, curlUp;
};

} // namespace vn::bench
