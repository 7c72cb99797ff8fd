#include "common/ui/ToolWindow.h"

#include <QAccessible>
#include <QAction>
#include <QProgressBar>
#include <QEventLoop>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>

#include "ScriptedPrompter.h"
#include "common/ui/Beeper.h"
#include "common/ui/Gauges.h"
#include "common/ui/HelpService.h"
#include "common/ui/InfoBox.h"
#include "common/ui/ThinkingIndicator.h"
#include "common/ui/UiSink.h"

namespace vn {
namespace {

using namespace std::chrono_literals;

template <class F>
bool waitFor(F done, std::chrono::milliseconds limit = 5s) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QTest::qWait(5);
    }
    return true;
}

// A fake engine: an operation that blocks on a pipe until the test writes to
// it (Done) or the user aborts (Aborted), reporting through its sink.
class FakeEngine {
public:
    FakeEngine(ToolSink& sink, Prompter& prompter) : sink_(sink), prompter_(prompter) {
        if (::pipe(fds_) != 0) fds_[0] = fds_[1] = -1;
    }
    ~FakeEngine() {
        ::close(fds_[0]);
        ::close(fds_[1]);
    }
    EventWait& wait() { return wait_; }
    Outcome block() {
        sink_.log("waiting");
        Outcome o = wait_.wait(fds_[0], FD_READ, std::nullopt);
        if (o == Outcome::Done) {
            char c;
            (void)::read(fds_[0], &c, 1);
        }
        sink_.log(describe(o));
        return o;
    }
    bool ask() { return prompter_.askYesNo("Go on?"); }
    void release() { (void)::write(fds_[1], "x", 1); }
    void progressLines() {
        std::uint64_t h = sink_.addReplaceableLine("Transmitting file...");
        for (int i = 0; i < 50; ++i) sink_.log("line " + std::to_string(i));
        sink_.replaceLine(h, "Transmitting file... done");
        sink_.status("ready");
        sink_.progress(5, 10);
    }

private:
    ToolSink& sink_;
    Prompter& prompter_;
    EventWait wait_;
    int fds_[2] = {-1, -1};
};

// A window built the way every tool window is: engine, commands, panes.
class FakeToolWindow : public ToolWindow {
public:
    explicit FakeToolWindow(QWidget* parent = nullptr)
        : ToolWindow({QStringLiteral("Fakefrm"), QStringLiteral("Fake"), QStringLiteral("fake.html")}, parent) {
        engine_ = &own(std::make_unique<FakeEngine>(own(std::make_unique<UiSink<>>(this)), runner().prompter()));
        runner().useWait(engine_->wait());
        commands().add({
            {"Start1", QStringLiteral("&Start"), QKeySequence(Qt::Key_F5), [this] { start(); },
             QStringLiteral("Start"), [this] { return ready; }},
            {"Abort1", QStringLiteral("&Abort"), QKeySequence(Qt::Key_F9), [this] { abort(); },
             QStringLiteral("Abort"), {}, false, true},
            {"Passive1", QStringLiteral("&Passive"), {}, {}, {}, {}, true},
        });
        QMenu* m = menuBar()->addMenu(QStringLiteral("&Fake"));
        commands().fill(m, {"Start1", "", "Abort1", "Passive1"});
        commands().button(toolBar(), "StartSB", "Start1", QStringLiteral("Start"));
        commands().button(toolBar(), "PassiveSB", "Passive1", QStringLiteral("Pasv"));
        setCentralWidget(info());
        finishSetup();
    }
    void start() {
        run([e = engine_] { return e->block(); }, [this](Outcome o) { outcomes.push_back(o); });
    }
    FakeEngine& engine() { return *engine_; }
    bool ready = true;
    std::vector<Outcome> outcomes;
    CloseAnswer answer = CloseAnswer::CloseNow;
    int quitRounds = 0;
    int closings = 0;

protected:
    CloseAnswer aboutToClose() override {
        if (answer == CloseAnswer::LastRound) {
            run([this] { ++quitRounds; });
        }
        return answer;
    }
    void windowClosing() override { ++closings; }

private:
    FakeEngine* engine_ = nullptr;
};

// A prompter whose Yes/No box stays up (a nested event loop, as a modal box
// has) until answer(); whileShown runs inside that loop, as the user's
// actions would while the box is up.
class HangingPrompter : public test::ScriptedPrompter {
public:
    bool askYesNo(const std::string&) override {
        QEventLoop loop;
        loop_ = &loop;
        showing = true;
        if (whileShown) QTimer::singleShot(0, &loop, whileShown);
        loop.exec();
        showing = false;
        loop_ = nullptr;
        return true;
    }
    void answer() {
        if (loop_) loop_->quit();
    }
    std::function<void()> whileShown;
    std::atomic<bool> showing{false};

private:
    QEventLoop* loop_ = nullptr;
};

class ToolWindowTest : public ::testing::Test {
protected:
    test::ScopedPrompter prompter;
};

TEST_F(ToolWindowTest, BusyWhileAnOperationRunsAndIdleAfterIt) {
    FakeToolWindow w;
    QSignalSpy finished(&w, &ToolWindow::operationFinished);
    EXPECT_TRUE(w.action("Start1")->isEnabled());
    w.action("Start1")->trigger();
    EXPECT_TRUE(w.busy());
    EXPECT_TRUE(w.thinking()->busy());
    // Busy: only the commands marked for it stay on.
    EXPECT_FALSE(w.action("Start1")->isEnabled());
    EXPECT_TRUE(w.action("Abort1")->isEnabled());
    EXPECT_TRUE(w.action("Contents1")->isEnabled());
    // A second operation is refused while one runs.
    EXPECT_FALSE(w.run([] {}));
    w.engine().release();
    ASSERT_TRUE(waitFor([&] { return !w.busy(); }));
    EXPECT_EQ(w.outcomes, std::vector<Outcome>{Outcome::Done});
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(w.thinking()->busy());
    EXPECT_TRUE(w.action("Start1")->isEnabled());
    EXPECT_EQ(w.info()->lines(), (QStringList{"waiting", "done"}));
    // The enabling rule is asked again on every update.
    w.ready = false;
    w.updateCommands();
    EXPECT_FALSE(w.action("Start1")->isEnabled());
}

TEST_F(ToolWindowTest, AbortEndsTheOperationAtOnce) {
    FakeToolWindow w;
    w.start();
    ASSERT_TRUE(waitFor([&] { return w.info()->lineCount() == 1; }));
    w.action("Abort1")->trigger();
    ASSERT_TRUE(waitFor([&] { return !w.busy(); }, 2s));
    EXPECT_EQ(w.outcomes, std::vector<Outcome>{Outcome::Aborted});
    // The next operation has a token of its own: the Abort does not stick.
    w.start();
    w.engine().release();
    ASSERT_TRUE(waitFor([&] { return !w.busy(); }));
    EXPECT_EQ(w.outcomes, (std::vector<Outcome>{Outcome::Aborted, Outcome::Done}));
}

TEST_F(ToolWindowTest, AbortAnswersAPendingQuestionWithCancel) {
    HangingPrompter hanging;
    test::ScopedPrompter scoped(hanging);
    FakeToolWindow w;
    std::optional<bool> answer;
    bool answeredWhileUp = false;
    hanging.whileShown = [&] {
        w.abort();
        // The worker has its answer while the box is still up.
        answeredWhileUp = waitFor([&] { return answer.has_value(); }, 2s);
        hanging.answer();
    };
    w.run([e = &w.engine()] { return e->ask(); }, [&](bool a) { answer = a; });
    ASSERT_TRUE(waitFor([&] { return answer.has_value() && !hanging.showing; }));
    EXPECT_TRUE(answeredWhileUp);
    EXPECT_FALSE(*answer);
    // The next operation's questions are shown again.
    answer.reset();
    hanging.whileShown = [&] { hanging.answer(); };
    w.run([e = &w.engine()] { return e->ask(); }, [&](bool a) { answer = a; });
    ASSERT_TRUE(waitFor([&] { return answer.has_value(); }));
    EXPECT_TRUE(*answer);
}

TEST_F(ToolWindowTest, ClosingWhileAQuestionIsPendingClosesTheWindow) {
    HangingPrompter hanging;
    test::ScopedPrompter scoped(hanging);
    auto* w = new FakeToolWindow;
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
    QPointer<FakeToolWindow> alive(w);
    std::vector<ToolWindow::CloseState> states;
    QObject::connect(w, &ToolWindow::closeStateChanged, [&](ToolWindow::CloseState s) { states.push_back(s); });
    bool closedAtOnce = true, goneWhileUp = false;
    hanging.whileShown = [&] {
        // The close comes while the box is up.
        closedAtOnce = w->close();
        goneWhileUp = waitFor([&] { return alive.isNull(); }, 3s);
        hanging.answer();
    };
    w->run([e = &w->engine()] { return e->ask(); }, [](bool) {});
    ASSERT_TRUE(waitFor([&] { return alive.isNull() && !hanging.showing; }, 5s)) << "the window never closed";
    EXPECT_FALSE(closedAtOnce);
    EXPECT_TRUE(goneWhileUp);
    EXPECT_EQ(states, (std::vector<ToolWindow::CloseState>{ToolWindow::CloseState::Aborting,
                                                            ToolWindow::CloseState::Closed}));
}

TEST_F(ToolWindowTest, DeletingTheWindowWhileAQuestionIsPendingDoesNotHang) {
    HangingPrompter hanging;
    test::ScopedPrompter scoped(hanging);
    auto* w = new FakeToolWindow;
    std::chrono::steady_clock::duration took{};
    bool deleted = false;
    hanging.whileShown = [&] {
        // Joining the worker must not wait for the box.
        const auto start = std::chrono::steady_clock::now();
        delete w;
        took = std::chrono::steady_clock::now() - start;
        deleted = true;
        hanging.answer();
    };
    w->run([e = &w->engine()] { return e->ask(); }, [](bool) {});
    ASSERT_TRUE(waitFor([&] { return deleted && !hanging.showing; }));
    EXPECT_LT(took, 2s);
}

TEST_F(ToolWindowTest, ClosingDuringAnOperationAbortsItThenCloses) {
    auto w = std::make_unique<FakeToolWindow>();
    w->show();
    std::vector<ToolWindow::CloseState> states;
    QObject::connect(w.get(), &ToolWindow::closeStateChanged, [&](ToolWindow::CloseState s) { states.push_back(s); });
    w->start();
    EXPECT_FALSE(w->close());
    EXPECT_EQ(w->closeState(), ToolWindow::CloseState::Aborting);
    EXPECT_TRUE(w->isVisible());
    ASSERT_TRUE(waitFor([&] { return w->closeState() == ToolWindow::CloseState::Closed; }, 2s));
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->outcomes, std::vector<Outcome>{Outcome::Aborted});
    EXPECT_EQ(w->closings, 1);
    EXPECT_EQ(states, (std::vector<ToolWindow::CloseState>{ToolWindow::CloseState::Aborting,
                                                            ToolWindow::CloseState::Closed}));
}

TEST_F(ToolWindowTest, ClosingRunsTheLastRoundOrStaysOpenWhenRefused) {
    FakeToolWindow w;
    w.show();
    w.answer = ToolWindow::CloseAnswer::Refuse;
    EXPECT_FALSE(w.close());
    EXPECT_EQ(w.closeState(), ToolWindow::CloseState::Open);
    EXPECT_TRUE(w.isVisible());
    w.answer = ToolWindow::CloseAnswer::LastRound;
    EXPECT_FALSE(w.close());
    EXPECT_EQ(w.closeState(), ToolWindow::CloseState::Quitting);
    ASSERT_TRUE(waitFor([&] { return w.closeState() == ToolWindow::CloseState::Closed; }));
    EXPECT_EQ(w.quitRounds, 1);
    EXPECT_EQ(w.closings, 1);
    EXPECT_FALSE(w.isVisible());
}

TEST_F(ToolWindowTest, TwoRunnersRunSideBySide) {
    FakeToolWindow w;
    OperationRunner& second = w.addRunner();
    FakeEngine& other = w.own(std::make_unique<FakeEngine>(w.own(std::make_unique<UiSink<>>(&w)), second.prompter()));
    second.useWait(other.wait());
    std::vector<Outcome> seconds;
    w.start();
    ASSERT_TRUE(second.run([&] { return other.block(); }, [&](Outcome o) { seconds.push_back(o); }));
    EXPECT_TRUE(w.busy());
    w.engine().release();
    ASSERT_TRUE(waitFor([&] { return !w.runner().busy(); }));
    // The window stays busy while the second runner works.
    EXPECT_TRUE(w.busy());
    EXPECT_FALSE(w.action("Start1")->isEnabled());
    // Abort reaches every runner.
    w.abort();
    ASSERT_TRUE(waitFor([&] { return !w.busy(); }, 2s));
    EXPECT_EQ(seconds, std::vector<Outcome>{Outcome::Aborted});
    EXPECT_TRUE(w.action("Start1")->isEnabled());
}

TEST_F(ToolWindowTest, TheSinkReachesTheLogStatusAndGaugeInOrder) {
    FakeToolWindow w;
    w.run([e = &w.engine()] { e->progressLines(); });
    ASSERT_TRUE(waitFor([&] { return !w.busy(); }));
    QStringList lines = w.info()->lines();
    ASSERT_EQ(lines.size(), 51);
    EXPECT_EQ(lines.front(), "Transmitting file... done");
    EXPECT_EQ(lines.back(), "line 49");
    EXPECT_EQ(w.statusText(), "ready");
    EXPECT_TRUE(w.gauges()->total()->isVisibleTo(&w));
    EXPECT_EQ(w.gauges()->total()->value(), Gauges::kScale / 2);
}

TEST_F(ToolWindowTest, CommandsAnnounceTheirNamesAndCheckability) {
    FakeToolWindow w;
    for (QAction* a : w.commands().actions())
        EXPECT_FALSE(w.commands().accessibleName(a->objectName()).isEmpty()) << a->objectName().toStdString();
    EXPECT_EQ(w.commands().accessibleName("Passive1"), "Passive");
    QToolButton* pasv = w.button("PassiveSB");
    ASSERT_TRUE(pasv);
    EXPECT_TRUE(pasv->isCheckable());
    EXPECT_EQ(pasv->accessibleName(), "Passive");
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(pasv);
    ASSERT_TRUE(iface);
    EXPECT_TRUE(iface->state().checkable);
    EXPECT_EQ(w.button("StartSB")->accessibleName(), "Start");
}

TEST_F(ToolWindowTest, HistoryMenuListsItsSectionAndIsOffWhileBusy) {
    FakeToolWindow w;
    QMenu* sessions = w.menuBar()->addMenu(QStringLiteral("&Fake"));
    QMenu* last = sessions->addMenu(QStringLiteral("&Last Hosts Visited"));
    QString picked;
    w.setHistoryMenu(last, [] { return std::vector<std::string>{"a&b.example", "host2"}; },
                     [&](const QString& h) { picked = h; });
    emit sessions->aboutToShow();
    ASSERT_EQ(last->actions().size(), 2);
    EXPECT_EQ(last->actions()[0]->text(), "a&&b.example");
    last->actions()[0]->trigger();
    EXPECT_EQ(picked, "a&b.example");
    EXPECT_TRUE(last->isEnabled());
    w.start();
    EXPECT_FALSE(last->isEnabled());
    w.abort();
    ASSERT_TRUE(waitFor([&] { return !w.busy(); }));
    EXPECT_TRUE(last->isEnabled());
}

TEST_F(ToolWindowTest, HelpOpensTheWindowsPageOrBeeps) {
    FakeToolWindow w;
    int beeps = 0;
    setBeepHook([&] { ++beeps; });
    setHelpFolder(QStringLiteral("/nonexistent-help"));
    w.action("Contents1")->trigger();
    EXPECT_EQ(beeps, 1);
    setHelpFolder(QString());
    setBeepHook({});
}

} // namespace
} // namespace vn
