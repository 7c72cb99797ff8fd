#include "platform/EventWait.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vn {

EventWait::EventWait() : token_(std::make_shared<CancelToken>()) {}

EventWait::~EventWait() = default;

CancelTokenPtr EventWait::beginOperation() {
    auto fresh = std::make_shared<CancelToken>();
    std::lock_guard lock(mutex_);
    token_ = fresh;
    timedOut_ = false;
    return fresh;
}

CancelTokenPtr EventWait::token() const {
    std::lock_guard lock(mutex_);
    return token_;
}

void EventWait::setTimeouts(Timeouts t) {
    std::lock_guard lock(mutex_);
    timeouts_ = t;
}

Timeouts EventWait::timeouts() const {
    std::lock_guard lock(mutex_);
    return timeouts_;
}

void EventWait::setLogger(std::function<void(const std::string&)> logger) {
    std::lock_guard lock(mutex_);
    logger_ = std::move(logger);
}

void EventWait::log(const std::string& line) {
    std::function<void(const std::string&)> l;
    {
        std::lock_guard lock(mutex_);
        l = logger_;
    }
    if (l) l(line);
}

EventWait::Deadline EventWait::deadlineFor(unsigned event) const {
    Timeouts t = timeouts();
    Timeouts::Duration limit{0};
    if (event & (FD_CONNECT | FD_ACCEPT)) limit = t.cx;
    else if (event & FD_WRITE) limit = t.tx;
    else if (event & FD_READ) limit = t.rx;
    if (limit <= Timeouts::Duration::zero()) return std::nullopt;
    return Clock::now() + limit;
}

int EventWait::EsperaWSA(int fd, unsigned events) { return waitUntil(fd, events, deadlineFor(events)); }

int EventWait::waitUntil(int fd, unsigned events, Deadline deadline) {
    switch (wait(fd, events, deadline)) {
    case Outcome::Done:
    case Outcome::PeerClosed: return 1; // arrived() says FD_CLOSE
    case Outcome::Failed: return -1;
    case Outcome::TimedOut:
        // The callers of the 1/0/-1 form unwind on the cancel flag.
        raiseCancel();
        return 0;
    default: return 0;
    }
}

bool EventWait::pauseUntil(Clock::time_point when) {
    const CancelTokenPtr token = this->token();
    for (;;) {
        if (token->cancelled()) return false;
        auto left = std::chrono::ceil<std::chrono::milliseconds>(when - Clock::now()).count();
        if (left <= 0) return true;
        pollfd p{token->wakeFd(), POLLIN, 0};
        int n = ::poll(&p, 1, left > 60000 ? 60000 : static_cast<int>(left));
        if (n < 0 && errno != EINTR) return !token->cancelled();
    }
}

Outcome EventWait::wait(int fd, unsigned events, Deadline deadline) {
    arrived_ = 0;
    socketError_ = 0;
    short want = 0;
    if (events & (FD_READ | FD_ACCEPT)) want |= POLLIN;
    if (events & (FD_WRITE | FD_CONNECT)) want |= POLLOUT;
    if (events & FD_CLOSE) want |= POLLRDHUP;
    if (fd < 0 || want == 0) return Outcome::Failed;
    const CancelTokenPtr token = this->token();

    struct Lower {
        std::atomic<bool>& f;
        ~Lower() { f = false; }
    } lower{wait_};
    wait_ = true;
    timedOut_ = false;

    for (;;) {
        if (token->cancelled()) return Outcome::Aborted;
        int ms = -1;
        if (deadline) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
            if (left <= 0) {
                log(">ERROR: Timeout");
                timedOut_ = true;
                return Outcome::TimedOut;
            }
            ms = left > 60000 ? 60000 : static_cast<int>(left);
        }
        pollfd p[2] = {{fd, want, 0}, {token->wakeFd(), POLLIN, 0}};
        int n = ::poll(p, 2, ms);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Outcome::Failed;
        }
        if (n == 0) continue; // the deadline check above decides
        if (p[1].revents & POLLIN) return Outcome::Aborted;
        short got = p[0].revents;
        if (got & POLLNVAL) return Outcome::Failed;
        if (got == 0) continue;
        unsigned a = 0;
        if ((got & POLLIN) && (events & FD_READ)) a |= FD_READ;
        if ((got & POLLIN) && (events & FD_ACCEPT)) a |= FD_ACCEPT;
        if ((got & (POLLOUT | POLLERR | POLLHUP)) && (events & FD_WRITE)) a |= FD_WRITE;
        if ((got & (POLLOUT | POLLERR | POLLHUP)) && (events & FD_CONNECT)) a |= FD_CONNECT;
        if ((got & (POLLRDHUP | POLLHUP | POLLERR)) && (events & FD_CLOSE)) a |= FD_CLOSE;
        // A read wait on a failed socket ends too: the following recv reports it.
        if ((got & (POLLERR | POLLHUP)) && (events & (FD_READ | FD_ACCEPT))) a |= events & (FD_READ | FD_ACCEPT);
        if (a == 0) continue;
        if (got & (POLLERR | POLLHUP) || (events & FD_CONNECT)) {
            int err = 0;
            socklen_t len = sizeof err;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err != 0) {
                socketError_ = err;
                log(std::to_string(err));
            }
        }
        arrived_ = a;
        // Only the end of the connection was seen, nothing else that was armed.
        if (a == FD_CLOSE) return Outcome::PeerClosed;
        return Outcome::Done;
    }
}

} // namespace vn
