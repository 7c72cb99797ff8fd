// The small tool window built on the base alone: commands, a run with its
// result handed back, Abort, the log box and the status bar.
#include "shell/TLocalHostfrm.h"

#include <QAction>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "common/ui/InfoBox.h"

namespace vn {
namespace {

template <class F>
bool waitFor(F done, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QTest::qWait(5);
    }
    return true;
}

TEST(LocalHostWindow, LooksUpOnItsWorkerAndLogsTheAnswer) {
    TLocalHostfrm w;
    w.setLookups([] { return QStringLiteral("192.0.2.7"); }, [] { return QStringLiteral("box.example"); });
    w.action("Address1")->trigger();
    ASSERT_TRUE(waitFor([&] { return !w.busy(); }));
    w.action("Name1")->trigger();
    ASSERT_TRUE(waitFor([&] { return !w.busy(); }));
    EXPECT_EQ(w.info()->lines(), (QStringList{">Looking up the ip address...", "IP address: 192.0.2.7",
                                              ">Looking up the host name...", "Host name: box.example"}));
    EXPECT_EQ(w.statusText(), "box.example");
}

TEST(LocalHostWindow, AbortDropsTheAnswerOfALookUpThatCannotBeInterrupted) {
    std::mutex m;
    std::condition_variable cv;
    bool release = false;
    std::atomic<bool> started{false};
    TLocalHostfrm w;
    w.setLookups(
        [&] {
            started = true;
            std::unique_lock lock(m);
            cv.wait(lock, [&] { return release; });
            return QStringLiteral("192.0.2.7");
        },
        [] { return QString(); });
    w.action("Address1")->trigger();
    ASSERT_TRUE(waitFor([&] { return started.load(); }));
    EXPECT_FALSE(w.action("Address1")->isEnabled());
    EXPECT_TRUE(w.action("Abort1")->isEnabled());
    w.action("Abort1")->trigger();
    {
        std::lock_guard lock(m);
        release = true;
    }
    cv.notify_all();
    ASSERT_TRUE(waitFor([&] { return !w.busy(); }));
    EXPECT_EQ(w.info()->lines(), (QStringList{">Looking up the ip address...", ">Aborted."}));
    EXPECT_TRUE(w.action("Address1")->isEnabled());
}

} // namespace
} // namespace vn
