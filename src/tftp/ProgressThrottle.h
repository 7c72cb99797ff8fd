#pragma once
// Progress of one transfer for a window: at most a few reports a second (a
// 512-byte transfer moves tens of thousands of blocks a second), plus the last.
#include <chrono>
#include <cstdint>
#include <string>

#include "common/ToolSink.h"

namespace vn::tftp {

class ProgressThrottle {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kInterval{200};

    ProgressThrottle(ToolSink& sink, std::uint64_t total) : sink_(sink), total_(total) {}

    void update(std::uint64_t done) {
        const auto now = Clock::now();
        if (now < next_) return;
        next_ = now + kInterval;
        report(done);
    }
    void finish(std::uint64_t done) { report(done); }

private:
    void report(std::uint64_t done) {
        sink_.progress(done, total_);
        sink_.status(std::to_string(done));
    }
    ToolSink& sink_;
    std::uint64_t total_;
    Clock::time_point next_{};
};

} // namespace vn::tftp
