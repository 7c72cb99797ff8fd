#include "shell/TAboutfrm.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "shell/Pictures.h"
#include "shell/ProductInfo.h"

namespace vn {

void sendMailToAuthor() {
    QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:") + QString::fromLatin1(product::kAuthorMail)));
}

void visitWebSite() { QDesktopServices::openUrl(QUrl(QString::fromLatin1(product::kWebSite))); }

namespace {

// A blue link; the label itself gives the hand pointer over the link and
// keyboard access to it.
QLabel* link(const QString& text, const char* name, QWidget* parent) {
    auto* l = new QLabel(QStringLiteral("<a href=\"#\" style=\"color:#0000ff\">%1</a>").arg(text.toHtmlEscaped()),
                         parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setTextFormat(Qt::RichText);
    l->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    l->setFocusPolicy(Qt::StrongFocus);
    l->setAccessibleName(text);
    l->setAlignment(Qt::AlignCenter);
    return l;
}

} // namespace

TAboutfrm::TAboutfrm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Aboutfrm"));
    setWindowTitle(QStringLiteral("About..."));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto* picture = new QLabel(this);
    picture->setPixmap(programIcon().pixmap(64, 64));
    picture->setAlignment(Qt::AlignCenter);
    picture->setAccessibleName(QString::fromLatin1(product::kMainCaption));
    auto* name = new QLabel(QString::fromLatin1(product::kMainCaption), this);
    name->setObjectName(QStringLiteral("ProductLabel"));
    QFont f = name->font();
    f.setBold(true);
    f.setPointSize(f.pointSize() + 4);
    name->setFont(f);
    name->setAlignment(Qt::AlignCenter);
    auto* version = new QLabel(QStringLiteral("Version %1").arg(QString::fromLatin1(product::kVersion)), this);
    version->setObjectName(QStringLiteral("VersionLabel"));
    version->setAlignment(Qt::AlignCenter);
    mail_ = link(QString::fromLatin1(product::kAuthorMail), "MailLabel", this);
    web_ = link(QString::fromLatin1(product::kWebSite), "WebLabel", this);
    connect(mail_, &QLabel::linkActivated, this, [] { sendMailToAuthor(); });
    connect(web_, &QLabel::linkActivated, this, [] { visitWebSite(); });

    ok_ = new QPushButton(QStringLiteral("&OK"), this);
    ok_->setObjectName(QStringLiteral("OKBtn"));
    ok_->setAccessibleName(QStringLiteral("OK"));
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(picture);
    layout->addWidget(name);
    layout->addWidget(version);
    layout->addSpacing(8);
    layout->addWidget(mail_);
    layout->addWidget(web_);
    layout->addSpacing(8);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addStretch();
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace vn
