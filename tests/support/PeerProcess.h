#pragma once
// The process behind a real peer of the tests (InetdPeer, RealFtpServer): a
// fresh temporary folder below /tmp for its files and output, the process in a
// process group of its own that dies with the test, bounded waits for it, and
// a stop that takes every process it started.
//
//   PeerProcess process("inetd");            // /tmp/vn-inetd-XXXXXX
//   process.launch(process.folder() / "inetd.log", [&] { execl(...); });
//   process.waitUntil(deadline, 10ms, [&] { return listening(); });
//   ...
//   process.finish("inetd", "inetd", [&] { return log(); });  // in the owner's destructor
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/socket.h>
#include <sys/types.h>
#include <vector>

namespace vn::test {

class PeerProcess {
public:
    using Clock = std::chrono::steady_clock;

    // Makes /tmp/vn-<tag>-XXXXXX, mode 0755 (the peer may drop to users that
    // must reach its files); folder() stays empty when that fails. Below /tmp
    // rather than the test's own (mode 0700) folder for the same reason.
    explicit PeerProcess(const std::string& tag);
    // Stops the process; the folder is the owner's to finish().
    ~PeerProcess();
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    const std::filesystem::path& folder() const { return folder_; }
    // The running process, -1 when there is none.
    pid_t pid() const { return pid_; }

    enum class Launch { Started, NoOutput, NoFork };
    // Forks a child that leads a process group of its own, is killed when the
    // test process ends, reads /dev/null, appends its output to `output`, has
    // no other descriptors, and runs `exec` (exit 127 if that returns). `exec`
    // runs between fork and exec: async-signal-safe calls only.
    Launch launch(const std::filesystem::path& output, const std::function<void()>& exec);
    // Whether the process has ended; reaps it, and status() tells how it ended.
    bool exited();
    // The wait status of the process that ended last.
    int status() const { return status_; }

    enum class Wait { Ready, Exited, Late };
    // Looks every `interval` whether the process has ended or `ready` holds,
    // until `deadline`: for peers that tell no one when they are ready.
    Wait waitUntil(Clock::time_point deadline, std::chrono::milliseconds interval, const std::function<bool()>& ready);

    // The process and its descendants, as of now.
    std::vector<pid_t> processes() const;
    // Kills the process and every process below it, and reaps them; bounded.
    void stop();
    // Stops, then removes the folder; after a failed test keeps it and prints
    // where, with `log()`, between lines naming `what` and `logName`.
    void finish(const std::string& what, const std::string& logName, const std::function<std::string()>& log);

    static std::string readText(const std::filesystem::path& file);
    static bool writeText(const std::filesystem::path& file, const std::string& text);

private:
    std::filesystem::path folder_;
    pid_t pid_ = -1;
    int status_ = 0;
};

// The loopback address of a family (127.0.0.1 or ::1), port set.
socklen_t loopbackAddress(bool ipv6, uint16_t port, sockaddr_storage& ss);

// A loopback port that was free a moment ago (bind port 0, read it, close).
uint16_t pickFreePort(bool ipv6 = false);

// Whether a socket can bind ::1 here; why not in `why`.
bool ipv6LoopbackAvailable(std::string& why);

} // namespace vn::test
