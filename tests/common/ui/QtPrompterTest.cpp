#include "common/ui/QtPrompter.h"

#include <QApplication>
#include <QDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <thread>

namespace vn {
namespace {

QWidget* visibleModal() {
    if (QWidget* w = QApplication::activeModalWidget()) return w;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->isModal()) return w;
    return nullptr;
}

// Acts on every modal window that comes up, from a timer of the GUI thread
// (it fires inside the window's own event loop).
class ModalHandler {
public:
    explicit ModalHandler(std::function<void(QWidget*)> act) : act_(std::move(act)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (QWidget* w = visibleModal()) {
                ++handled;
                act_(w);
            }
        });
        timer_.start(20);
    }
    ~ModalHandler() {
        timer_.stop();
        // Whatever the test did, nothing stays open for the next one.
        while (QWidget* w = visibleModal()) w->close();
    }
    int handled = 0;

private:
    std::function<void(QWidget*)> act_;
    QTimer timer_;
};

// Runs call on a worker thread and keeps the GUI thread's events going until
// it returns. A call that never comes back ends the test run instead of hanging it.
void runOnWorker(const std::function<void()>& call) {
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        call();
        finished = true;
    });
    if (!QTest::qWaitFor([&] { return finished.load(); }, 10000)) {
        while (QWidget* w = visibleModal()) w->close();
        if (!QTest::qWaitFor([&] { return finished.load(); }, 3000)) {
            ADD_FAILURE() << "worker never got its answer";
            std::fflush(nullptr);
            std::_Exit(1);
        }
        ADD_FAILURE() << "worker needed the safety close";
    }
    worker.join();
}

enum class Press { Yes, No, Close };

struct YesNoCase {
    const char* name;
    Press press;
    bool expected;
};

void PrintTo(const YesNoCase& c, std::ostream* os) { *os << c.name; }

class QtPrompterYesNo : public ::testing::TestWithParam<YesNoCase> {};

TEST_P(QtPrompterYesNo, WorkerBlocksUntilTheUserAnswers) {
    const YesNoCase& c = GetParam();
    QtPrompter prompter;
    std::atomic<bool> answered{false};
    QString title, text;
    Qt::TextFormat format = Qt::RichText;
    bool onGuiThread = false;
    ModalHandler handler([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(nullptr, box);
        title = box->windowTitle();
        text = box->text();
        format = box->textFormat();
        onGuiThread = QThread::currentThread() == qApp->thread();
        answered = true;
        if (c.press == Press::Close)
            box->reject();
        else
            box->button(c.press == Press::Yes ? QMessageBox::Yes : QMessageBox::No)->click();
    });
    bool result = !c.expected;
    bool answeredBeforeReturn = false;
    runOnWorker([&] {
        result = prompter.askYesNo("First\rSecond\r\nThird <b>bold</b>");
        answeredBeforeReturn = answered.load();
    });
    EXPECT_EQ(c.expected, result);
    EXPECT_TRUE(answeredBeforeReturn);
    EXPECT_TRUE(onGuiThread);
    EXPECT_EQ(1, handler.handled);
    EXPECT_EQ(QStringLiteral("Varnelo FTP Suite"), title);
    EXPECT_EQ(QStringLiteral("First\nSecond\nThird <b>bold</b>"), text);
    EXPECT_EQ(Qt::PlainText, format);
}

INSTANTIATE_TEST_SUITE_P(Cases, QtPrompterYesNo,
                         ::testing::Values(YesNoCase{"yes", Press::Yes, true}, YesNoCase{"no", Press::No, false},
                                           YesNoCase{"closed", Press::Close, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(QtPrompter, MessageOnTheGuiThread) {
    QtPrompter prompter;
    QString text;
    Qt::TextFormat format = Qt::RichText;
    ModalHandler handler([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(nullptr, box);
        text = box->text();
        format = box->textFormat();
        box->accept();
    });
    prompter.message("--->230 <i>welcome</i>\r230 done");
    EXPECT_EQ(1, handler.handled);
    EXPECT_EQ(QStringLiteral("--->230 <i>welcome</i>\n230 done"), text);
    EXPECT_EQ(Qt::PlainText, format);
}

TEST(QtPrompter, MessageFromWorker) {
    QtPrompter prompter;
    ModalHandler handler([](QWidget* w) { static_cast<QDialog*>(w)->accept(); });
    runOnWorker([&] { prompter.message("Transfer complete"); });
    EXPECT_EQ(1, handler.handled);
}

TEST(QtPrompter, InputFromWorker) {
    QtPrompter prompter;
    QString title;
    bool plainLabel = false;
    int round = 0;
    ModalHandler handler([&](QWidget* w) {
        auto* dlg = qobject_cast<QInputDialog*>(w);
        ASSERT_NE(nullptr, dlg);
        title = dlg->windowTitle();
        plainLabel = true;
        for (QLabel* l : dlg->findChildren<QLabel*>()) plainLabel = plainLabel && l->textFormat() == Qt::PlainText;
        if (round++ == 0) {
            dlg->setTextValue(QStringLiteral("new f\u00f6lder"));
            dlg->accept();
        } else {
            dlg->reject();
        }
    });
    std::optional<std::string> first, second = std::string("not cancelled");
    runOnWorker([&] {
        first = prompter.input("Make Dir", "Name of the <new> folder:", "untitled");
        second = prompter.input("", "Again", "");
    });
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ("new f\xc3\xb6lder", *first);
    EXPECT_FALSE(second.has_value());
    EXPECT_EQ(2, handler.handled);
    EXPECT_EQ(QStringLiteral("Varnelo FTP Suite"), title);  // of the second, captionless box
    EXPECT_TRUE(plainLabel);
}

TEST(QtPrompter, InputShowsInitialText) {
    QtPrompter prompter;
    QString shownInitial, label, title;
    ModalHandler handler([&](QWidget* w) {
        auto* dlg = qobject_cast<QInputDialog*>(w);
        ASSERT_NE(nullptr, dlg);
        title = dlg->windowTitle();
        shownInitial = dlg->textValue();
        label = dlg->labelText();
        dlg->accept();
    });
    auto answer = prompter.input("Rename", "New name:", "old.txt");
    EXPECT_EQ(QStringLiteral("Rename"), title);
    EXPECT_EQ(QStringLiteral("New name:"), label);
    EXPECT_EQ(QStringLiteral("old.txt"), shownInitial);
    EXPECT_EQ(std::optional<std::string>("old.txt"), answer);
}

TEST(QtPrompter, DialogFromWorkerRunsOnTheGuiThread) {
    QtPrompter prompter;
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Some dialog"));
    ModalHandler handler([&](QWidget* w) {
        EXPECT_EQ(&dialog, w);
        static_cast<QDialog*>(w)->accept();
    });
    int result = -1;
    runOnWorker([&] { result = prompter.exec(dialog); });
    EXPECT_EQ(QDialog::Accepted, result);
    EXPECT_EQ(1, handler.handled);
}

TEST(QtPrompter, DisplayTextMakesLineBreaks) {
    EXPECT_EQ(QStringLiteral("a\nb\nc\n\nd"), QtPrompter::displayText("a\rb\r\nc\n\nd"));
}

TEST(UiPrompter, DefaultIsRestoredByNull) {
    UiPrompter& def = uiPrompter();
    EXPECT_NE(nullptr, dynamic_cast<QtPrompter*>(&def));
    QtPrompter other;
    setUiPrompter(&other);
    EXPECT_EQ(&other, &uiPrompter());
    setUiPrompter(nullptr);
    EXPECT_EQ(&def, &uiPrompter());
}

} // namespace
} // namespace vn
