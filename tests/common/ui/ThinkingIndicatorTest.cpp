#include "common/ui/ThinkingIndicator.h"

#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>

namespace vn {
namespace {

struct BandAt {
    int tick;  // 1-based number of the busy tick
    int start;
    int end;
    bool forward;  // direction after that tick
};

// One full sweep out and back: the band grows to 25 wide, slides until it has
// left the right edge, turns, slides back out of the left edge and turns again.
const BandAt kSweep[] = {
    {1, 0, 2, true},    {2, 0, 4, true},    {12, 0, 24, true},  {13, 1, 26, true},
    {14, 3, 28, true},  {25, 25, 50, true}, {26, 27, 50, true}, {37, 49, 50, true},
    {38, 50, 50, false}, {39, 49, 50, false}, {51, 25, 50, false}, {52, 23, 48, false},
    {63, 1, 26, false}, {64, 0, 24, false}, {75, 0, 2, false},  {76, 0, 0, true},
    {77, 0, 2, true},   {89, 1, 26, true},
};

TEST(ThinkingIndicator, BandSweepsBothWays) {
    ThinkingIndicator t;
    t.setBusy(true);
    ASSERT_TRUE(t.forward());
    int done = 0;
    for (const BandAt& at : kSweep) {
        while (done < at.tick) {
            t.tick();
            ++done;
            ASSERT_LE(0, t.selStart()) << "tick " << done;
            ASSERT_LE(t.selStart(), t.selEnd()) << "tick " << done;
            ASSERT_LE(t.selEnd(), ThinkingIndicator::kMax) << "tick " << done;
            ASSERT_LE(t.selEnd() - t.selStart(), 25) << "tick " << done;
        }
        EXPECT_EQ(at.start, t.selStart()) << "tick " << at.tick;
        EXPECT_EQ(at.end, t.selEnd()) << "tick " << at.tick;
        EXPECT_EQ(at.forward, t.forward()) << "tick " << at.tick;
    }
}

TEST(ThinkingIndicator, NeverStopsMovingWhileBusy) {
    ThinkingIndicator t;
    t.setBusy(true);
    int turns = 0;
    bool dir = t.forward();
    for (int i = 0; i < 400; ++i) {
        const int s = t.selStart(), e = t.selEnd();
        t.tick();
        if (t.forward() != dir) {
            ++turns;
            dir = t.forward();
        } else {
            EXPECT_TRUE(s != t.selStart() || e != t.selEnd()) << "band stuck at tick " << i + 1;
        }
    }
    EXPECT_GE(turns, 10);
}

TEST(ThinkingIndicator, IdleTickClearsBandAndUsesIdleInterval) {
    ThinkingIndicator t;
    EXPECT_EQ(ThinkingIndicator::kFirstIntervalMs, t.interval());
    EXPECT_EQ(QStringLiteral("Thinking indicator"), t.accessibleName());

    t.setBusy(true);
    for (int i = 0; i < 20; ++i) t.tick();
    EXPECT_EQ(100, t.interval());
    EXPECT_EQ(QStringLiteral("I am thinking..."), t.toolTip());
    EXPECT_GT(t.selEnd(), 0);

    t.setBusy(false);
    t.tick();
    EXPECT_EQ(0, t.selStart());
    EXPECT_EQ(0, t.selEnd());
    EXPECT_EQ(300, t.interval());
    EXPECT_EQ(QStringLiteral("I am not thinking..."), t.toolTip());

    // Busy again: the band starts from the left edge.
    t.setBusy(true);
    t.tick();
    EXPECT_EQ(0, t.selStart());
    EXPECT_EQ(2, t.selEnd());
}

TEST(ThinkingIndicator, OwnIntervalsAfterTheFirstTick) {
    ThinkingIndicator t;
    t.setIntervals(40, 250);
    EXPECT_EQ(ThinkingIndicator::kFirstIntervalMs, t.interval());
    t.tick();
    EXPECT_EQ(250, t.interval());
    t.setBusy(true);
    t.tick();
    EXPECT_EQ(40, t.interval());
}

TEST(ThinkingIndicator, DisabledStopsTimerAndHides) {
    QWidget window;
    auto* t = new ThinkingIndicator(&window);
    window.show();
    EXPECT_TRUE(t->running());
    EXPECT_TRUE(t->isVisible());

    t->setThinkingDisabled(true);
    EXPECT_FALSE(t->running());
    EXPECT_FALSE(t->isVisible());

    t->setThinkingDisabled(false);
    EXPECT_TRUE(t->running());
    EXPECT_TRUE(t->isVisible());
}

TEST(ThinkingIndicator, TimerDrivesTheBand) {
    ThinkingIndicator t;
    t.setIntervals(10, 10);
    t.setBusy(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return t.selEnd() >= 6; }, 5000));
    EXPECT_EQ(10, t.interval());
}

} // namespace
} // namespace vn
