#pragma once
// What the TFTP tests and the benchmark share: temporary folders and files,
// child processes with bounded waits, the real peers (tftpd-hpa as a server;
// tftp-hpa, atftp and curl as clients), a sink that records, a raw UDP peer,
// and a scripted UDP relay that drops, repeats or forges datagrams.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <thread>
#include <vector>

#include "common/ToolSink.h"

namespace vn::tftp::test {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir();
    ~TempDir();
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// A file of `size` bytes whose content depends on `seed` and the offset.
void makeFile(const fs::path& p, std::uint64_t size, unsigned seed = 1);
std::string readAll(const fs::path& p);
bool sameContent(const fs::path& a, const fs::path& b);
std::uint16_t freeUdpPort();

// A child process with its output in a file; killed (its group) when destroyed.
class Process {
public:
    Process(const std::vector<std::string>& argv, const fs::path& outputFile, const fs::path& cwd = {});
    ~Process();
    bool started() const { return pid_ > 0; }
    // Waits for the exit; nullopt when it did not end in time (then it is killed).
    std::optional<int> wait(std::chrono::milliseconds limit);
    bool running();
    void kill();

private:
    pid_t pid_ = -1;
    int pidfd_ = -1;
    std::optional<int> status_;
};

// Runs a command to its end (bounded); exit status and output.
struct RunResult {
    int status = -1; // -1: did not finish in time
    std::string output;
};
RunResult run(const std::vector<std::string>& argv, std::chrono::milliseconds limit, const fs::path& cwd = {});

// tftpd-hpa on 127.0.0.1, serving (and accepting uploads into) its folder.
class TftpdHpa {
public:
    // retransmitUs: its -T option (its retry interval).
    explicit TftpdHpa(int retransmitUs = 0);
    ~TftpdHpa();
    bool ready() const { return ready_; }
    std::uint16_t port() const { return port_; }
    const fs::path& root() const { return root_.path(); }
    std::string log() const;

private:
    TempDir root_;
    TempDir work_;
    std::uint16_t port_ = 0;
    std::unique_ptr<Process> proc_;
    bool ready_ = false;
};

// A sink that records, for any thread.
class RecordingSink : public vn::ToolSink {
public:
    void log(const std::string& line) override;
    void status(const std::string& text) override;
    void progress(std::uint64_t done, std::uint64_t total) override;
    std::vector<std::string> lines() const;
    std::vector<std::string> statuses() const;
    std::size_t progressCalls() const;
    std::size_t count(std::string_view text) const; // lines equal to text
    bool contains(std::string_view part) const;     // a line containing part
    // Waits until `n` lines equal `text`.
    bool waitFor(std::string_view text, std::size_t n, std::chrono::milliseconds limit) const;

private:
    mutable std::mutex m_;
    mutable std::condition_variable cv_;
    std::vector<std::string> lines_;
    std::vector<std::string> statuses_;
    std::size_t progress_ = 0;
};

// A plain UDP socket on 127.0.0.1 for scripted exchanges.
class RawPeer {
public:
    RawPeer();
    ~RawPeer();
    std::uint16_t port() const { return port_; }
    void sendTo(std::uint16_t port, std::string_view bytes);
    // The next datagram (and its source port) within the limit.
    std::optional<std::string> recv(std::chrono::milliseconds limit, std::uint16_t* fromPort = nullptr);
    int fd() const { return fd_; }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

// Sits between a client and a server on 127.0.0.1: the client sends its
// request to port(); everything in both directions passes the script, which
// says what happens to each datagram.
class UdpRelay {
public:
    enum class Dir { ToServer, ToClient };
    struct Action {
        int copies = 1;           // 0 drops it, 2 repeats it
        std::string forgedFrom;   // sent to the same receiver from a foreign port as well
    };
    // index counts the datagrams of that direction, from 0.
    using Script = std::function<Action(Dir dir, std::size_t index, std::string_view bytes)>;

    UdpRelay(std::uint16_t serverPort, Script script);
    ~UdpRelay();
    std::uint16_t port() const { return frontPort_; }
    // What the forging socket received back (expected: ERROR 5 datagrams).
    std::vector<std::string> forgedReplies() const;
    std::size_t passed(Dir dir) const;

private:
    void loop();
    std::uint16_t serverPort_;
    Script script_;
    int front_ = -1, up_ = -1, back_ = -1, forger_ = -1, stop_ = -1;
    std::uint16_t frontPort_ = 0;
    std::thread thread_;
    mutable std::mutex m_;
    std::vector<std::string> forgedReplies_;
    std::size_t counts_[2] = {0, 0};
};

std::uint16_t opcodeOf(std::string_view d);
std::uint16_t blockOf(std::string_view d);

} // namespace vn::tftp::test
