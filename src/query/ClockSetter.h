#pragma once
// Setting the computer's clock, behind an interface so that tests never touch
// the machine's clock.
#include <chrono>

namespace vn {

class ClockSetter {
public:
    using TimePoint = std::chrono::system_clock::time_point;
    virtual ~ClockSetter() = default;
    // Sets the system clock to this UTC instant. 0 when the system accepted
    // it, else the error number (EPERM without the right to set the clock).
    virtual int setUtc(TimePoint instant) = 0;
};

// clock_settime(CLOCK_REALTIME): needs CAP_SYS_TIME (root); a user gets EPERM.
class SystemClockSetter : public ClockSetter {
public:
    int setUtc(TimePoint instant) override;
};

} // namespace vn
