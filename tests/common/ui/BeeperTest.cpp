#include "common/ui/Beeper.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "TestHome.h"

namespace vn {
namespace {

class BeepCounter {
public:
    BeepCounter() {
        setBeepHook([this] { ++count; });
    }
    ~BeepCounter() { setBeepHook({}); }
    std::atomic<int> count{0};
};

TEST(Beeper, HookCountsEveryBeepFromAnyThread) {
    BeepCounter beeps_;
    beeps("");
    beeps("/no/such/sound.wav");
    std::thread worker([] { beeps(""); });
    worker.join();
    EXPECT_EQ(3, beeps_.count.load());
}

TEST(Beeper, ARemovedHookIsNoLongerCalled) {
    std::atomic<int> count{0};
    setBeepHook([&] { ++count; });
    beeps("");
    setBeepHook({});
    // Without a hook: the system beep (no sound file, or one that can't play),
    // which returns at once instead of reaching the removed hook.
    beeps("");
    beeps("/no/such/sound.wav");
    EXPECT_EQ(1, count.load());
}

TEST(Beeper, UnplayableFilesReportFailure) {
    EXPECT_FALSE(playSoundFile(""));
    EXPECT_FALSE(playSoundFile("/no/such/sound.wav"));
    EXPECT_FALSE(playSoundFile(test::testHome().string()));  // a folder
    const auto junk = test::testHome() / "junk.wav";
    std::ofstream(junk) << "not a sound";
    EXPECT_FALSE(playSoundFile(junk.string()));
}

} // namespace
} // namespace vn
