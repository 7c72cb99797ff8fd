#pragma once
// The cancel token of one user operation. Abort (from any thread) raises it and
// wakes every wait that watches it through its eventfd; it is never lowered, so
// an Abort can't be lost between a check and a reset: the next operation simply
// gets a new token.
#include <atomic>
#include <memory>

namespace vn {

class CancelToken {
public:
    CancelToken();
    ~CancelToken();
    CancelToken(const CancelToken&) = delete;
    CancelToken& operator=(const CancelToken&) = delete;

    // Any thread.
    void cancel();
    bool cancelled() const { return cancelled_.load(); }
    // Readable once cancelled; poll() it beside the socket.
    int wakeFd() const { return fd_; }

private:
    std::atomic<bool> cancelled_{false};
    int fd_ = -1;
};

using CancelTokenPtr = std::shared_ptr<CancelToken>;

} // namespace vn
