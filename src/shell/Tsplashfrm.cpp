#include "shell/Tsplashfrm.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include "shell/Pictures.h"
#include "shell/ProductInfo.h"

namespace vn {

Tsplashfrm::Tsplashfrm(int delayMs, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), delayMs_(delayMs) {
    setObjectName(QStringLiteral("splashfrm"));
    setWindowTitle(QString::fromLatin1(product::kMainCaption));
    setAccessibleName(QString::fromLatin1(product::kMainCaption));
    setFixedSize(293, 342);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* bevel = new QFrame(this);
    bevel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    bevel->setLineWidth(2);
    auto* inner = new QVBoxLayout(bevel);
    inner->setContentsMargins(2, 2, 2, 2);
    auto* picture = new QLabel(bevel);
    picture->setPixmap(productPicture(size() - QSize(8, 8)));
    picture->setAlignment(Qt::AlignCenter);
    picture->setAccessibleName(QString::fromLatin1(product::kMainCaption));
    inner->addWidget(picture);
    layout->addWidget(bevel);
    setFocusPolicy(Qt::NoFocus);
    if (QScreen* s = QGuiApplication::primaryScreen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), s->availableGeometry()));
}

void Tsplashfrm::mostrar_form() {
    QTimer::singleShot(delayMs_, this, [this] {
        timeUp_ = true;
        accept();
    });
    exec();
}

void Tsplashfrm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    emit shown();
}

// Escape, Alt+F4 and the like do nothing: only the timer ends the splash.
void Tsplashfrm::reject() {
    if (timeUp_) QDialog::reject();
}

void Tsplashfrm::done(int result) {
    if (timeUp_) QDialog::done(result);
}

void Tsplashfrm::closeEvent(QCloseEvent* event) {
    if (timeUp_) event->accept();
    else event->ignore();
}

void Tsplashfrm::keyPressEvent(QKeyEvent* event) { event->accept(); }

} // namespace vn
