#pragma once
// The Smart Resume question: a file was partly transferred before; resume it,
// transfer it all again, or leave it. R (or Enter) resumes, A transfers all,
// D skips; closing the dialog any other way (Escape, the close button)
// transfers nothing: the partial file and its record stay as they are.
#include <QDialog>

#include <string>

#include "ftp/engine/FtpEngine.h"

class QKeyEvent;
class QLabel;
class QPushButton;

namespace vn {

class TSmartfrm : public QDialog {
    Q_OBJECT
public:
    using Answer = FtpSink::ResumeAnswer;

    explicit TSmartfrm(const QString& localPath, QWidget* parent = nullptr);

    Answer answer() const { return answer_; }

    // Runs the dialog through vn::uiPrompter() (tests script it) and returns
    // the answer; what the window's FtpSink::askSmartResume answers with.
    static Answer ask(const std::string& localPath, QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // True when the key is one of the dialog's answers (and answers it).
    bool answerKey(QKeyEvent* e);
    void choose(Answer a);

    Answer answer_ = Answer::DontTransfer;
    QPushButton* resume_;
    QPushButton* all_;
    QPushButton* dont_;
};

} // namespace vn
