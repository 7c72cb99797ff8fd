#pragma once
// The "DNS" window: a host name to its first IPv4 address, or an IPv4 address
// to its host name. The look-up runs on the window's worker, bounded by a
// one-minute time-out; Cancel and closing end the wait at once, and a look-up
// left behind finishes on its own thread with its answer dropped, so nothing
// reaches a window that has gone.
#include <chrono>

#include "common/ui/ToolWindow.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vn {

class TWhatIPfrm : public ToolWindow {
    Q_OBJECT
public:
    enum class Mode { NameToAddress, AddressToName };
    static constexpr int kHeight = 190;
    static constexpr int kWidth = 370;
    static constexpr std::chrono::milliseconds kTimeout{60000};

    explicit TWhatIPfrm(QWidget* parent = nullptr);

    void setMode(Mode m);
    Mode mode() const { return mode_; }
    // The commands (the buttons do the same).
    void lookUp();
    void cancelLookUp();
    void copyResult();
    void exitWindow();

    QString resultText() const;
    QLineEdit* input() const { return input_; }
    QLabel* inputLabel() const { return inputLabel_; }
    QPushButton* lookUpButton() const { return lookUp_; }
    QPushButton* cancelButton() const { return cancel_; }
    QRadioButton* nameMode() const { return nameMode_; }
    QRadioButton* addressMode() const { return addressMode_; }
    int storedWidth() const { return width_; }
    // Tests shorten the time-out.
    void setTimeout(std::chrono::milliseconds t) { timeout_ = t; }

signals:
    // A look-up ended and its result (or "CANCELED", "TIMEOUT", "ERROR") is shown.
    void lookUpEnded();

protected:
    void commandsUpdated(bool busy) override;
    void busyLook(bool busy) override;

private:
    struct Answer {
        enum Kind { Found, None, Cancelled, TimedOut, Error } kind = Error;
        std::string text;
    };
    void showResult(const QString& text);
    void fitWidth();

    Mode mode_ = Mode::NameToAddress;
    std::chrono::milliseconds timeout_ = kTimeout;
    // After a time-out the look-up button stays off until Cancel is pressed.
    bool holdAfterTimeout_ = false;
    int width_ = kWidth;
    QLabel* inputLabel_ = nullptr;
    QLineEdit* input_ = nullptr;
    QLabel* result_ = nullptr;
    QPushButton* lookUp_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QRadioButton* nameMode_ = nullptr;
    QRadioButton* addressMode_ = nullptr;
};

} // namespace vn
