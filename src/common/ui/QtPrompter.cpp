#include "common/ui/QtPrompter.h"

#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QPushButton>
#include <QThread>

#include <utility>

#include "common/ui/WireText.h"

namespace vn {
namespace {

// Runs f on the GUI thread and waits for it. Without an application there is
// nobody to ask, so the caller gets its "cancel" answer.
template <typename F>
bool runOnGuiThread(F&& f) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!qobject_cast<QApplication*>(app)) return false;
    if (QThread::currentThread() == app->thread()) {
        f();
        return true;
    }
    return QMetaObject::invokeMethod(app, std::forward<F>(f), Qt::BlockingQueuedConnection);
}

QWidget* boxParent() {
    if (QWidget* w = QApplication::activeModalWidget()) return w;
    return QApplication::activeWindow();
}

} // namespace

QString QtPrompter::displayText(const std::string& text) {
    QString s = fromWire(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

bool QtPrompter::askYesNo(const std::string& text) {
    const QString shown = displayText(text);
    bool yes = false;
    runOnGuiThread([&] {
        QMessageBox box(QMessageBox::Question, QString::fromUtf8(kAppTitle), shown,
                        QMessageBox::Yes | QMessageBox::No, boxParent());
        box.setTextFormat(Qt::PlainText);
        box.setDefaultButton(QMessageBox::Yes);
        yes = box.exec() == QMessageBox::Yes;
    });
    return yes;
}

std::optional<int> QtPrompter::choose(const std::string& text, const std::vector<std::string>& answers) {
    const QString shown = displayText(text);
    std::optional<int> chosen;
    runOnGuiThread([&] {
        QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kAppTitle), shown, QMessageBox::NoButton,
                        boxParent());
        box.setTextFormat(Qt::PlainText);
        std::vector<QAbstractButton*> buttons;
        for (std::size_t i = 0; i < answers.size(); ++i) {
            // The last answer is the way out (Escape, closing the box).
            auto role = i + 1 == answers.size() && answers.size() > 1 ? QMessageBox::RejectRole
                                                                       : QMessageBox::AcceptRole;
            buttons.push_back(box.addButton(QString::fromStdString(answers[i]), role));
        }
        if (!buttons.empty()) {
            box.setDefaultButton(qobject_cast<QPushButton*>(buttons.front()));
            box.setEscapeButton(buttons.back());
        }
        box.exec();
        for (std::size_t i = 0; i < buttons.size(); ++i)
            if (box.clickedButton() == buttons[i]) chosen = static_cast<int>(i);
    });
    return chosen;
}

void QtPrompter::message(const std::string& text) {
    const QString shown = displayText(text);
    runOnGuiThread([&] {
        QMessageBox box(QMessageBox::Information, QString::fromUtf8(kAppTitle), shown,
                        QMessageBox::Ok, boxParent());
        box.setTextFormat(Qt::PlainText);
        box.exec();
    });
}

std::optional<std::string> QtPrompter::input(const std::string& caption, const std::string& prompt,
                                             const std::string& initial) {
    const QString title = caption.empty() ? QString::fromUtf8(kAppTitle) : displayText(caption);
    const QString label = displayText(prompt);
    const QString start = fromWire(initial);
    std::optional<std::string> answer;
    runOnGuiThread([&] {
        QInputDialog dlg(boxParent());
        dlg.setWindowTitle(title);
        dlg.setInputMode(QInputDialog::TextInput);
        dlg.setLabelText(label);
        dlg.setTextValue(start);
        for (QLabel* l : dlg.findChildren<QLabel*>()) l->setTextFormat(Qt::PlainText);
        if (dlg.exec() == QDialog::Accepted) answer = toWire(dlg.textValue());
    });
    return answer;
}

int QtPrompter::exec(QDialog& dialog) {
    int result = QDialog::Rejected;
    QPointer<QDialog> guard(&dialog);
    runOnGuiThread([&] {
        if (guard) result = guard->exec();
    });
    return result;
}

} // namespace vn
