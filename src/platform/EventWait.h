#pragma once
// The socket event wait: arm one event (or a set) on one socket and wait until
// it arrives, its time-out expires or the user aborts. One EventWait belongs to
// one window and carries that window's wait, cancel and timed-out flags; every
// network step of the window's engine goes through it. Abort wakes a pending
// wait at once through an eventfd; nothing polls.
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "platform/CancelToken.h"
#include "platform/Outcome.h"

namespace vn {

// Event values of the socket notification interface the suite was designed on.
inline constexpr unsigned FD_READ = 1;
inline constexpr unsigned FD_WRITE = 2;
inline constexpr unsigned FD_ACCEPT = 8;
inline constexpr unsigned FD_CONNECT = 16;
inline constexpr unsigned FD_CLOSE = 32; // only ever added to another event

// Zero or less means no time-out.
struct Timeouts {
    using Duration = std::chrono::milliseconds;
    Duration cx = std::chrono::seconds(120); // connect and accept (CxTOut)
    Duration tx = std::chrono::seconds(120); // write (TxTOut)
    Duration rx = std::chrono::seconds(120); // read (RxTOut)

    Timeouts() = default;
    Timeouts(Duration connect, Duration write, Duration read) : cx(connect), tx(write), rx(read) {}
    // Whole seconds, as the settings hold them.
    Timeouts(int cxSeconds, int txSeconds, int rxSeconds)
        : cx(std::chrono::seconds(cxSeconds)), tx(std::chrono::seconds(txSeconds)), rx(std::chrono::seconds(rxSeconds)) {}
};

class EventWait {
public:
    using Clock = std::chrono::steady_clock;
    using Deadline = std::optional<Clock::time_point>;

    EventWait();
    ~EventWait();
    EventWait(const EventWait&) = delete;
    EventWait& operator=(const EventWait&) = delete;

    bool waiting() const { return wait_.load(); }
    // The current operation's token was cancelled (Abort, or raiseCancel()).
    bool cancelled() const { return token()->cancelled(); }
    bool timedOut() const { return timedOut_.load(); }

    // Starts a user operation: it gets a fresh cancel token. The earlier token
    // is left as it was (an Abort that hit it is never drained away).
    CancelTokenPtr beginOperation();
    // The current operation's token (any thread).
    CancelTokenPtr token() const;
    // Same as beginOperation(), for callers that don't keep the token.
    void lowerCancel() { beginOperation(); }
    // Unwinds the current operation (its enclosing loops see cancelled()).
    void raiseCancel() { token()->cancel(); }
    // Any thread: cancels the current operation and wakes its pending wait at once.
    void abort() { token()->cancel(); }

    void setTimeouts(Timeouts t);
    Timeouts timeouts() const;
    // Receives the wait's own log lines (">ERROR: Timeout", a notification's error number).
    void setLogger(std::function<void(const std::string&)> logger);

    // Waits for one of the events until the deadline (nullopt: none): Done when
    // an armed event arrived (see arrived()), Aborted when the operation's token
    // was cancelled, TimedOut (after logging ">ERROR: Timeout"), PeerClosed when
    // only FD_CLOSE was armed-and-seen without data to read, Failed when the
    // wait could not be armed.
    Outcome wait(int fd, unsigned events, Deadline deadline);
    // The same with the event's own time-out.
    Outcome wait(int fd, unsigned events) { return wait(fd, events, deadlineFor(events)); }

    // Waits until `when` or the operation's Abort, whichever comes first: a
    // pause between probes, so nothing is logged. False when aborted.
    bool pauseUntil(Clock::time_point when);

    // 1: an armed event arrived; 0: cancelled or timed out; -1: could not arm.
    // The time-out is the event's (FD_READ RxTOut, FD_WRITE TxTOut, FD_ACCEPT and
    // FD_CONNECT CxTOut).
    int EsperaWSA(int fd, unsigned events);
    // The same with an explicit deadline (nullopt: none).
    int waitUntil(int fd, unsigned events, Deadline deadline);
    // now + the time-out of event, or nullopt when that time-out is off.
    Deadline deadlineFor(unsigned event) const;

    // After a result of 1: which armed events arrived (FD_CLOSE when the peer
    // ended the connection or it failed), and the socket error they carried.
    unsigned arrived() const { return arrived_; }
    int socketError() const { return socketError_; }

private:
    void log(const std::string& line);

    std::atomic<bool> wait_{false};
    std::atomic<bool> timedOut_{false};
    mutable std::mutex mutex_;
    CancelTokenPtr token_;
    Timeouts timeouts_;
    std::function<void(const std::string&)> logger_;
    unsigned arrived_ = 0;
    int socketError_ = 0;
};

} // namespace vn
