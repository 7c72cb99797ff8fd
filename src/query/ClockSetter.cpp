#include "query/ClockSetter.h"

#include <cerrno>
#include <ctime>

namespace vn {

int SystemClockSetter::setUtc(TimePoint instant) {
    using namespace std::chrono;
    auto ns = duration_cast<nanoseconds>(instant.time_since_epoch()).count();
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    ts.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    if (ts.tv_nsec < 0) {
        ts.tv_nsec += 1'000'000'000;
        --ts.tv_sec;
    }
    // Success only when the call itself says so.
    if (::clock_settime(CLOCK_REALTIME, &ts) == 0) return 0;
    return errno != 0 ? errno : EPERM;
}

} // namespace vn
