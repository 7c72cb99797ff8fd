#include "common/History.h"

#include <algorithm>
#include <mutex>

namespace vn {

namespace {

constexpr long long kShown = 5;

// Serialises additions so two windows adding at once cannot interleave their shifts.
std::mutex& historyMutex() {
    static std::mutex m;
    return m;
}

} // namespace

History::History(IniFile& ini, std::string section) : ini_(ini), section_(std::move(section)) {}

// A damaged "Total" must neither make an addition shift millions of keys nor
// make the list run past its five places.
long long History::total() const {
    return std::clamp(ini_.readInt(section_, "Total", 0), 0LL, kShown);
}

void History::AfegirComAVisitat(const std::string& host) {
    // An empty host would never show, and a line break would break the file.
    if (host.empty() || host.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
        return;
    std::lock_guard<std::mutex> g(historyMutex());
    long long t = total();
    for (long long n = t; n >= 1; --n)
        ini_.writeString(section_, std::to_string(n + 1), ini_.readString(section_, std::to_string(n)));
    if (t < kShown) ++t;
    ini_.writeString(section_, "1", host);
    ini_.writeInt(section_, "Total", t);
}

std::vector<std::string> History::entries() const {
    std::vector<std::string> out;
    long long t = total();
    for (long long n = 1; n <= t; ++n) {
        std::string v = ini_.readString(section_, std::to_string(n));
        if (!v.empty()) out.push_back(std::move(v));
    }
    return out;
}

} // namespace vn
