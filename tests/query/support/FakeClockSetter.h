#pragma once
// A clock setter for tests: records what it was asked to set and answers as
// told; the machine's clock is never touched.
#include <mutex>
#include <vector>

#include "query/ClockSetter.h"

namespace vn::test {

class FakeClockSetter : public ClockSetter {
public:
    explicit FakeClockSetter(int answer = 0) : answer_(answer) {}
    int setUtc(TimePoint instant) override {
        std::lock_guard lock(mutex_);
        calls_.push_back(instant);
        return answer_;
    }
    std::vector<TimePoint> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    mutable std::mutex mutex_;
    int answer_;
    std::vector<TimePoint> calls_;
};

} // namespace vn::test
