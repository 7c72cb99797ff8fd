#include "ftp/explorer/TSmartfrm.h"

#include <QFont>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/ui/FormWidgets.h"
#include "common/ui/UiPrompter.h"
#include "common/ui/WireText.h"

namespace vn {
namespace {

QLabel* label(const QString& text, const char* name, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setTextFormat(Qt::PlainText);
    return l;
}


} // namespace

TSmartfrm::TSmartfrm(const QString& localPath, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Smartfrm"));
    setWindowTitle(QStringLiteral("Smart Resume"));

    auto* title = label(QStringLiteral("Smart Resume"), "TitleLabel", this);
    QFont big = title->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.5);
    title->setFont(big);
    auto* detected = label(QStringLiteral("has detected that the file ..."), "DetectedLabel", this);
    auto* path = label(localPath, "FileLabel", this);
    QFont bold = path->font();
    bold.setBold(true);
    path->setFont(bold);
    path->setWordWrap(true);
    auto* partial = label(QStringLiteral("... has been partialy transferred."), "PartialLabel", this);
    auto* question = label(QStringLiteral("Do you want to resume the transfer?"), "QuestionLabel", this);

    // Enter belongs to "resume" whichever button has the focus: no button is auto-default.
    resume_ = namedButton(QStringLiteral("&RESUME THE TRANSFER"), "ResumeBtn", this, false);
    all_ = namedButton(QStringLiteral("TRANSFER &ALL"), "AllBtn", this, false);
    dont_ = namedButton(QStringLiteral("&DON'T TRANSFER"), "DontBtn", this, false);
    connect(resume_, &QPushButton::clicked, this, [this] { choose(Answer::Resume); });
    connect(all_, &QPushButton::clicked, this, [this] { choose(Answer::TransferAll); });
    connect(dont_, &QPushButton::clicked, this, [this] { choose(Answer::DontTransfer); });
    for (QPushButton* b : {resume_, all_, dont_}) b->installEventFilter(this);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(resume_);
    buttons->addWidget(all_);
    buttons->addWidget(dont_);

    auto* top = new QVBoxLayout(this);
    top->addWidget(title);
    top->addWidget(detected);
    top->addWidget(path);
    top->addWidget(partial);
    top->addSpacing(8);
    top->addWidget(question);
    top->addLayout(buttons);

    resume_->setFocus(Qt::OtherFocusReason);
}

TSmartfrm::Answer TSmartfrm::ask(const std::string& localPath, QWidget* parent) {
    TSmartfrm dlg(fromWire(localPath), parent);
    uiPrompter().exec(dlg);
    return dlg.answer();
}

void TSmartfrm::choose(Answer a) {
    answer_ = a;
    accept();
}

bool TSmartfrm::answerKey(QKeyEvent* e) {
    if (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    switch (e->key()) {
    case Qt::Key_R:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        choose(Answer::Resume);
        return true;
    case Qt::Key_A:
        choose(Answer::TransferAll);
        return true;
    case Qt::Key_D:
        choose(Answer::DontTransfer);
        return true;
    default:
        return false;
    }
}

void TSmartfrm::keyPressEvent(QKeyEvent* e) {
    // Escape and the window's close button fall through to reject(): answer_ is
    // still DontTransfer then, so a dismissed question never changes a file.
    if (!answerKey(e)) QDialog::keyPressEvent(e);
}

bool TSmartfrm::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::KeyPress && answerKey(static_cast<QKeyEvent*>(e))) return true;
    return QDialog::eventFilter(watched, e);
}

} // namespace vn
