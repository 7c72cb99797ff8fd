#pragma once
// A scripted TCP peer on 127.0.0.1 (kernel-chosen port) for what real servers
// won't do on demand: accept and close, answer in pieces, stay silent, reset,
// send a short or odd time value. Each accepted connection runs the script
// on the peer's own thread; stop() (and the destructor) wakes a script that
// waits and joins, never blocking on the client.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace vn::test {

class ScriptedPeer {
public:
    class Conn {
    public:
        Conn(ScriptedPeer& peer, int fd) : peer_(peer), fd_(fd) {}
        // One write of exactly these bytes (TCP_NODELAY is on).
        bool send(std::string_view bytes);
        // Reads up to and including LF; nullopt when the client closed or the peer stops.
        std::optional<std::string> readLine();
        // Waits until the client closes or the peer stops; reads and records meanwhile.
        void silence();
        // Ends the connection with a reset instead of a close.
        void reset();
        int fd() const { return fd_; }

    private:
        // Waits until readable; false when the peer stops.
        bool waitReadable();
        ScriptedPeer& peer_;
        int fd_;
        std::string buffered_;
    };
    using Script = std::function<void(Conn&)>;

    explicit ScriptedPeer(Script script);
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    uint16_t port() const { return port_; }
    // Connections accepted so far.
    int accepted() const { return accepted_.load(); }
    // Every byte the clients sent.
    std::string received() const;
    // Whether a script has ended its connection.
    bool finished() const { return finished_.load(); }
    void stop();

private:
    void run();
    void record(std::string_view bytes);

    Script script_;
    int listenFd_ = -1;
    int stopFd_ = -1;
    uint16_t port_ = 0;
    std::atomic<int> accepted_{0};
    std::atomic<bool> finished_{false};
    mutable std::mutex mutex_;
    std::string received_;
    std::thread thread_;
};

// A listener whose accept queue is full, so a further connect to it stays
// pending (no answer to its SYN) until it is aborted.
class FullListener {
public:
    FullListener();
    ~FullListener();
    uint16_t port() const { return port_; }
    bool ready() const { return ready_; }

private:
    int listenFd_ = -1;
    int fillers_[4] = {-1, -1, -1, -1};
    uint16_t port_ = 0;
    bool ready_ = false;
};

} // namespace vn::test
