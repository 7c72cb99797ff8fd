#include "ftp/explorer/TQuickfrm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/Beeper.h"
#include "common/ui/FormWidgets.h"
#include "common/ui/HostHistoryField.h"
#include "common/ui/UiPrompter.h"
#include "common/ui/WireText.h"

namespace vn {
namespace {

const char* kNoHost = "Where do I have to connect me to?";
const char* kNoPort = "Please enter a port number.";
const char* kNoPassword = "You have not entered any Password\rDo you want to continue?";
const char* kNoLogin = "You have not entered any Login\rDo you want to continue?";





} // namespace

TQuickfrm::TQuickfrm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Quickfrm"));
    setWindowTitle(QStringLiteral("Quick Connection"));

    hostEdit_ = namedLineEdit("HostEdit", this);
    // The servers visited last, as the FTP window's own submenu lists them.
    offerHostHistory(hostEdit_, "FTP");
    loginEdit_ = namedLineEdit("LoginEdit", this);
    passwordEdit_ = namedLineEdit("PasswordEdit", this);
    passwordEdit_->setEchoMode(QLineEdit::Password);
    portEdit_ = namedLineEdit("PortEdit", this);
    portEdit_->setText(QStringLiteral("21"));
    acceptDigitsOnly(portEdit_);
    remoteDirEdit_ = namedLineEdit("remotediredit", this);

    pasv_ = new QCheckBox(QStringLiteral("PASV"), this);
    pasv_->setObjectName(QStringLiteral("PASVrb"));

    security_ = new QComboBox(this);
    security_->setObjectName(QStringLiteral("SecurityCombo"));
    for (FtpSecurity s : kAllSecurities)
        security_->addItem(QString::fromLatin1(securityCaption(s)), static_cast<int>(s));
    security_->setCurrentIndex(0); // "Use explicit TLS if available"
    connect(security_, &QComboBox::currentIndexChanged, this, [this] {
        portEdit_->setText(QString::fromStdString(portAfterChoosing(security(), portEdit_->text().toStdString())));
    });

    auto* loginType = new QGroupBox(QStringLiteral("L&ogin Type"), this);
    loginType->setObjectName(QStringLiteral("RadioGroup1"));
    normal_ = namedRadio(QStringLiteral("Normal"), "NormalRb", loginType);
    anonymous_ = namedRadio(QStringLiteral("Anonymous"), "AnonymousRb", loginType);
    normal_->setChecked(true);
    auto* loginTypeLayout = new QVBoxLayout(loginType);
    loginTypeLayout->addWidget(normal_);
    loginTypeLayout->addWidget(anonymous_);
    connect(anonymous_, &QRadioButton::toggled, this, [this](bool on) {
        if (!on) return;
        loginEdit_->setText(QStringLiteral("anonymous"));
        passwordEdit_->setFocus(Qt::OtherFocusReason);
    });

    auto* type = new QGroupBox(QStringLiteral("&Type"), this);
    type->setObjectName(QStringLiteral("RadioGroup2"));
    ascii_ = namedRadio(QStringLiteral("ASCII"), "AsciiRb", type);
    binary_ = namedRadio(QStringLiteral("Binary"), "BinaryRb", type);
    auto_ = namedRadio(QStringLiteral("Auto"), "AutoRb", type);
    auto_->setChecked(true);
    auto* typeLayout = new QVBoxLayout(type);
    typeLayout->addWidget(ascii_);
    typeLayout->addWidget(binary_);
    typeLayout->addWidget(auto_);

    useEmail_ = new QCheckBox(QStringLiteral("Use my email address if using anonymous mode."), this);
    useEmail_->setObjectName(QStringLiteral("CheckBox1"));
    {
        IniFile ini(configFile());
        useEmail_->setChecked(ini.readInt("FTP", "UseEmailAddress", 1) != 0);
        email_ = ini.readString("FTP", "Email");
    }
    useEmail_->setToolTip(fromWire(email_));

    ok_ = namedButton(QStringLiteral("&OK"), "OKBtn", this);
    cancel_ = namedButton(QStringLiteral("&Cancel"), "CancelBtn", this);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &TQuickfrm::accept);
    connect(cancel_, &QPushButton::clicked, this, &TQuickfrm::reject);

    auto* fields = new QGridLayout;
    fields->addWidget(buddyLabel(QStringLiteral("&Host address:"), "HostLabel", hostEdit_, this), 0, 0);
    fields->addWidget(hostEdit_, 0, 1);
    fields->addWidget(buddyLabel(QStringLiteral("&Login:"), "LoginLabel", loginEdit_, this), 1, 0);
    fields->addWidget(loginEdit_, 1, 1);
    fields->addWidget(buddyLabel(QStringLiteral("&Password:"), "PasswordLabel", passwordEdit_, this), 2, 0);
    fields->addWidget(passwordEdit_, 2, 1);
    fields->addWidget(buddyLabel(QStringLiteral("P&ort:"), "PortLabel", portEdit_, this), 3, 0);
    fields->addWidget(portEdit_, 3, 1);
    fields->addWidget(buddyLabel(QStringLiteral("Initial &Remote Directory:  (i.e:  /pub/)"),
                                 "RemoteDirLabel", remoteDirEdit_, this),
                      4, 0, 1, 2);
    fields->addWidget(remoteDirEdit_, 5, 0, 1, 2);
    fields->addWidget(pasv_, 6, 0, 1, 2);
    fields->addWidget(buddyLabel(QStringLiteral("Sec&urity:"), "SecurityLabel", security_, this), 7, 0);
    fields->addWidget(security_, 7, 1);

    auto* groups = new QHBoxLayout;
    groups->addWidget(loginType);
    groups->addWidget(type);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);

    auto* top = new QVBoxLayout(this);
    top->addLayout(fields);
    top->addLayout(groups);
    top->addWidget(useEmail_);
    top->addLayout(buttons);

    setTabOrder(hostEdit_, loginEdit_);
    setTabOrder(loginEdit_, passwordEdit_);
    setTabOrder(passwordEdit_, portEdit_);
    setTabOrder(portEdit_, remoteDirEdit_);
    setTabOrder(remoteDirEdit_, pasv_);
    setTabOrder(pasv_, security_);
    setTabOrder(security_, normal_);
    setTabOrder(normal_, anonymous_);
    setTabOrder(anonymous_, ascii_);
    setTabOrder(ascii_, binary_);
    setTabOrder(binary_, auto_);
    setTabOrder(auto_, useEmail_);
    setTabOrder(useEmail_, ok_);
    setTabOrder(ok_, cancel_);
    hostEdit_->setFocus(Qt::OtherFocusReason);
}

void TQuickfrm::setHost(const QString& host) { hostEdit_->setText(host); }

void TQuickfrm::setSecurity(FtpSecurity security) {
    security_->setCurrentIndex(security_->findData(static_cast<int>(security)));
}

FtpSecurity TQuickfrm::security() const { return static_cast<FtpSecurity>(security_->currentData().toInt()); }

QString TQuickfrm::host() const { return hostEdit_->text().trimmed(); }
QString TQuickfrm::login() const { return loginEdit_->text(); }
QString TQuickfrm::password() const { return passwordEdit_->text(); }

int TQuickfrm::port() const {
    bool ok = false;
    const int p = portEdit_->text().toInt(&ok);
    return ok && p >= 1 && p <= 65535 ? p : 0;
}

QString TQuickfrm::remoteDir() const { return remoteDirEdit_->text(); }
bool TQuickfrm::passive() const { return pasv_->isChecked(); }
bool TQuickfrm::anonymous() const { return anonymous_->isChecked(); }

int TQuickfrm::transferType() const {
    if (ascii_->isChecked()) return Ascii;
    if (binary_->isChecked()) return Binary;
    return Auto;
}

bool TQuickfrm::useEmail() const { return useEmail_->isChecked(); }
QString TQuickfrm::email() const { return fromWire(email_); }

std::string TQuickfrm::connectPassword() const {
    return anonymous() ? email_ : toWire(password());
}

bool TQuickfrm::entriesAccepted() {
    Prompter& ask = uiPrompter();
    if (host().isEmpty()) {
        ask.message(kNoHost);
        hostEdit_->setFocus(Qt::OtherFocusReason);
        return false;
    }
    if (port() == 0) {
        ask.message(kNoPort);
        portEdit_->setFocus(Qt::OtherFocusReason);
        return false;
    }
    if (login().isEmpty()) return ask.askYesNo(kNoLogin);
    // An anonymous login with a password typed in is not "no password": the
    // question would tell the user something false.
    const bool passwordGiven = !password().isEmpty();
    if (anonymous() ? (useEmail() || passwordGiven) : passwordGiven) return true;
    return ask.askYesNo(kNoPassword);
}

void TQuickfrm::accept() {
    if (entriesAccepted()) QDialog::accept();
}

void TQuickfrm::done(int result) {
    IniFile(configFile()).writeInt("FTP", "UseEmailAddress", useEmail() ? 1 : 0);
    QDialog::done(result);
}

} // namespace vn
