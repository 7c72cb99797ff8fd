// The DNS window: both directions for real names and addresses, a name that
// does not resolve, bad input, Cancel, the time-out, closing during a look-up
// (the answer that arrives later goes nowhere), the mode switch and the size.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <condition_variable>
#include <mutex>

#include "common/ui/Beeper.h"
#include "platform/Resolver.h"
#include "shell/TWhatIPfrm.h"

namespace vn::test {
namespace {

using namespace std::chrono_literals;

// A look-up that blocks until released (the resolver's helper thread waits).
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool open = false;
    int entered = 0;
    std::string answer = "10.0.0.1";
    void release() {
        std::lock_guard l(m);
        open = true;
        cv.notify_all();
    }
    LookupResult pass(const std::string&) {
        std::unique_lock l(m);
        ++entered;
        cv.wait(l, [this] { return open; });
        return {LookupResult::Found, answer, 0};
    }
};

struct Dns : ::testing::Test {
    int beeps = 0;
    std::shared_ptr<Gate> gate = std::make_shared<Gate>();
    void SetUp() override { setBeepHook([this] { ++beeps; }); }
    void TearDown() override {
        gate->release();
        setLookupFunction(nullptr);
        setBeepHook(nullptr);
    }
    void useGate() {
        auto g = gate; // the helper thread may outlive the test's window
        setLookupFunction([g](const std::string& h) { return g->pass(h); });
    }
    static bool ask(TWhatIPfrm& w, const QString& text) {
        QSignalSpy ended(&w, &TWhatIPfrm::lookUpEnded);
        w.input()->setText(text);
        w.lookUpButton()->click();
        return ended.count() > 0 || ended.wait(30000);
    }
};

TEST_F(Dns, BothDirectionsAndAFailedLookUp) {
    struct Case {
        TWhatIPfrm::Mode mode;
        QString input;
        QString result;
    };
    const Case cases[] = {
        {TWhatIPfrm::Mode::NameToAddress, "localhost", "127.0.0.1"},
        {TWhatIPfrm::Mode::AddressToName, "127.0.0.1", "localhost"},
        {TWhatIPfrm::Mode::NameToAddress, "no-such-host.invalid", ""}, // nothing found: empty
        {TWhatIPfrm::Mode::AddressToName, "999.1.1.1", "ERROR"},       // no IPv4 address
        {TWhatIPfrm::Mode::AddressToName, "localhost", "ERROR"},
    };
    TWhatIPfrm w;
    w.show();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input.toStdString());
        w.setMode(c.mode);
        const int before = beeps;
        ASSERT_TRUE(ask(w, c.input));
        if (c.mode == TWhatIPfrm::Mode::AddressToName && c.result == "localhost")
            EXPECT_TRUE(w.resultText().startsWith("localhost")) << w.resultText().toStdString();
        else EXPECT_EQ(w.resultText(), c.result);
        EXPECT_EQ(beeps, before + 1);
        EXPECT_TRUE(w.lookUpButton()->isEnabled());
        EXPECT_FALSE(w.cancelButton()->isEnabled());
    }
}

TEST_F(Dns, CancelShowsCanceledAndTheLateAnswerIsDropped) {
    useGate();
    TWhatIPfrm w;
    w.show();
    QSignalSpy ended(&w, &TWhatIPfrm::lookUpEnded);
    w.input()->setText("slow.example");
    w.lookUpButton()->click();
    EXPECT_TRUE(w.busy());
    EXPECT_FALSE(w.lookUpButton()->isEnabled());
    EXPECT_TRUE(w.cancelButton()->isEnabled());
    w.cancelButton()->click();
    ASSERT_TRUE(ended.count() > 0 || ended.wait(5000));
    EXPECT_EQ(w.resultText(), "CANCELED");
    EXPECT_TRUE(w.lookUpButton()->isEnabled());
    EXPECT_FALSE(w.cancelButton()->isEnabled());
    gate->release();
    QTest::qWait(100);
    EXPECT_EQ(w.resultText(), "CANCELED");
    EXPECT_EQ(ended.count(), 1);
}

TEST_F(Dns, TimeOutHoldsTheLookUpButtonUntilCancel) {
    useGate();
    TWhatIPfrm w;
    w.setTimeout(100ms);
    w.show();
    ASSERT_TRUE(ask(w, "slow.example"));
    EXPECT_EQ(w.resultText(), "TIMEOUT");
    EXPECT_FALSE(w.busy());
    EXPECT_FALSE(w.lookUpButton()->isEnabled());
    EXPECT_TRUE(w.cancelButton()->isEnabled());
    w.cancelButton()->click();
    EXPECT_TRUE(w.lookUpButton()->isEnabled());
    EXPECT_FALSE(w.cancelButton()->isEnabled());
    EXPECT_EQ(w.resultText(), "TIMEOUT");
}

TEST_F(Dns, ClosingDuringALookUpOrAfterATimeOutWritesNothingAnywhere) {
    useGate();
    for (bool timedOut : {false, true}) {
        SCOPED_TRACE(timedOut ? "after a time-out" : "during the look-up");
        auto* w = new TWhatIPfrm;
        w->setAttribute(Qt::WA_DeleteOnClose);
        w->setTimeout(timedOut ? 50ms : 60000ms);
        QPointer<TWhatIPfrm> alive(w);
        w->show();
        w->input()->setText("slow.example");
        w->lookUpButton()->click();
        if (timedOut) {
            QSignalSpy ended(w, &TWhatIPfrm::lookUpEnded);
            ASSERT_TRUE(ended.wait(5000));
        }
        w->close();
        for (int i = 0; i < 300 && alive; ++i) QTest::qWait(10);
        ASSERT_FALSE(alive);
    }
    gate->release(); // both helper threads finish now, into nothing
    QTest::qWait(100);
    // The next window still works.
    setLookupFunction(nullptr);
    TWhatIPfrm w;
    w.show();
    ASSERT_TRUE(ask(w, "localhost"));
    EXPECT_EQ(w.resultText(), "127.0.0.1");
}

TEST_F(Dns, ModesLabelsAndSize) {
    TWhatIPfrm w;
    w.show();
    EXPECT_EQ(w.windowTitle(), "DNS");
    EXPECT_TRUE(w.nameMode()->isChecked());
    EXPECT_EQ(w.nameMode()->text(), "Host Name to IP@");
    EXPECT_EQ(w.addressMode()->text(), "IP@ to Host Name");
    EXPECT_EQ(w.lookUpButton()->text(), "What IP ?");
    EXPECT_TRUE(w.inputLabel()->text().startsWith("&Host Name:  (i.e: "));
    EXPECT_FALSE(w.cancelButton()->isEnabled());
    EXPECT_EQ(w.height(), TWhatIPfrm::kHeight);
    EXPECT_EQ(w.width(), TWhatIPfrm::kWidth);
    EXPECT_EQ(w.minimumHeight(), w.maximumHeight()); // no resizing

    gate->answer = std::string(120, 'x') + ".example.org";
    gate->release();
    useGate();
    ASSERT_TRUE(ask(w, "long"));
    EXPECT_GT(w.width(), TWhatIPfrm::kWidth);
    EXPECT_EQ(w.height(), TWhatIPfrm::kHeight);
    gate->answer = "10.0.0.1";
    ASSERT_TRUE(ask(w, "short"));
    EXPECT_EQ(w.width(), TWhatIPfrm::kWidth);

    // Switching empties the input and keeps the result.
    w.input()->setText("something");
    w.addressMode()->click();
    EXPECT_EQ(w.mode(), TWhatIPfrm::Mode::AddressToName);
    EXPECT_EQ(w.lookUpButton()->text(), "What Host ?");
    EXPECT_TRUE(w.inputLabel()->text().startsWith("&IP Address:  (i.e: "));
    EXPECT_TRUE(w.input()->text().isEmpty());
    EXPECT_EQ(w.resultText(), "10.0.0.1");

    // The tool buttons with their hints.
    const std::pair<const char*, const char*> buttons[] = {{"CopySB", "Copy Result"}, {"HelpSB", "Help"}, {"ExitSB", "Exit"}};
    for (const auto& [name, hint] : buttons) {
        ASSERT_TRUE(w.button(name)) << name;
        EXPECT_EQ(w.button(name)->toolTip(), hint);
    }
}

} // namespace
} // namespace vn::test
