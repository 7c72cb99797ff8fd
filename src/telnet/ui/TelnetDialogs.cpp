#include "telnet/ui/TelnetDialogs.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QFontDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/FormWidgets.h"
#include "common/ui/UiPrompter.h"
#include "common/ui/WireText.h"
#include "telnet/ui/TerminalView.h"

namespace vn::telnet {

namespace {

QSpinBox* portSpin(int value, QWidget* parent) {
    auto* s = new QSpinBox(parent);
    s->setObjectName(QStringLiteral("PortEdit"));
    s->setRange(1, 65535);
    s->setValue(value < 1 || value > 65535 ? 23 : value);
    return s;
}

QHBoxLayout* okCancel(QDialog* d, QPushButton* ok, QPushButton* cancel, QPushButton* extra = nullptr) {
    ok->setDefault(true);
    QObject::connect(cancel, &QPushButton::clicked, d, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    if (extra) buttons->addWidget(extra);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    return buttons;
}

} // namespace

TQuickTelnetfrm::TQuickTelnetfrm(int port, bool localEcho, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("QuickTelnetfrm"));
    setWindowTitle(QStringLiteral("Quick Telnet Connection"));
    host_ = namedLineEdit("HostEdit", this);
    port_ = portSpin(port, this);
    echo_ = new QCheckBox(QStringLiteral("Local &Echo"), this);
    echo_->setObjectName(QStringLiteral("EchoCB"));
    echo_->setChecked(localEcho);
    auto* grid = new QGridLayout;
    grid->addWidget(buddyLabel(QStringLiteral("&Host Name:"), "HostLabel", host_, this), 0, 0);
    grid->addWidget(host_, 0, 1);
    grid->addWidget(buddyLabel(QStringLiteral("&Port:"), "PortLabel", port_, this), 1, 0);
    grid->addWidget(port_, 1, 1);
    grid->addWidget(echo_, 2, 1);
    QPushButton* ok = namedButton(QStringLiteral("&OK"), "OKBtn", this);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* v = new QVBoxLayout(this);
    v->addLayout(grid);
    v->addLayout(okCancel(this, ok, namedButton(QStringLiteral("&Cancel"), "CancelBtn", this)));
    host_->setFocus(Qt::OtherFocusReason);
    setMinimumWidth(320);
}

QString TQuickTelnetfrm::host() const { return host_->text().trimmed(); }
int TQuickTelnetfrm::port() const { return port_->value(); }
bool TQuickTelnetfrm::localEcho() const { return echo_->isChecked(); }

QFont terminalFont(const TelnetSettings& s) {
    QFont f(fromWire(s.TerminalFontName));
    f.setPointSize(s.TerminalFontSize > 0 && s.TerminalFontSize < 200 ? s.TerminalFontSize : 9);
    f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(true);
    return f;
}

TOptionsTelnetfrm::TOptionsTelnetfrm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("OptionsTelnetfrm"));
    setWindowTitle(QStringLiteral("Telnet Options"));
    auto* tabs = new QTabWidget(this);

    auto* look = new QWidget(tabs);
    swatch_ = namedButton(QString(), "ColorSwatch", look, false);
    swatch_->setFixedSize(48, 20);
    connect(swatch_, &QPushButton::clicked, this, &TOptionsTelnetfrm::chooseColor);
    QPushButton* changeFont = namedButton(QStringLiteral("Change Font"), "FontBtn", look, false);
    connect(changeFont, &QPushButton::clicked, this, &TOptionsTelnetfrm::chooseFont);
    fontSample_ = new QLabel(look);
    fontSample_->setObjectName(QStringLiteral("FontSample"));
    clearScreen_ = new QCheckBox(QStringLiteral("Clear &Screen at Logout"), look);
    clearScreen_->setObjectName(QStringLiteral("ClearScreenCB"));
    auto* lg = new QGridLayout(look);
    lg->addWidget(buddyLabel(QStringLiteral("Terminal &Background Color:"), "ColorLabel", swatch_, look), 0, 0);
    lg->addWidget(swatch_, 0, 1);
    lg->addWidget(buddyLabel(QStringLiteral("Change Terminal &Font Type:"), "FontLabel", changeFont, look), 1, 0);
    lg->addWidget(changeFont, 1, 1);
    lg->addWidget(fontSample_, 2, 0, 1, 2);
    lg->addWidget(clearScreen_, 3, 0, 1, 2);
    lg->setRowStretch(4, 1);
    tabs->addTab(look, QStringLiteral("&Colors && Settings"));

    auto* telnet = new QWidget(tabs);
    echo_ = new QCheckBox(QStringLiteral("Local &Echo"), telnet);
    echo_->setObjectName(QStringLiteral("EchoCB"));
    port_ = portSpin(23, telnet);
    auto* tg = new QGridLayout(telnet);
    tg->addWidget(echo_, 0, 0, 1, 2);
    tg->addWidget(buddyLabel(QStringLiteral("Telnet &Port:"), "PortLabel", port_, telnet), 1, 0);
    tg->addWidget(port_, 1, 1);
    tg->setRowStretch(2, 1);
    tabs->addTab(telnet, QStringLiteral("  &Telnet  "));

    QPushButton* ok = namedButton(QStringLiteral("&OK"), "OKBtn", this);
    QPushButton* defaults = namedButton(QStringLiteral("&Defaults"), "DefaultsBtn", this);
    connect(ok, &QPushButton::clicked, this, &TOptionsTelnetfrm::OKClick);
    connect(defaults, &QPushButton::clicked, this, &TOptionsTelnetfrm::DefaultsClick);
    auto* v = new QVBoxLayout(this);
    v->addWidget(tabs);
    v->addLayout(okCancel(this, ok, namedButton(QStringLiteral("&Cancel"), "CancelBtn", this), defaults));

    load(readTelnetSettings(IniFile(configFile())));
}

void TOptionsTelnetfrm::load(const TelnetSettings& s) {
    kept_ = s;
    background_ = colorFromSetting(s.TerminalColor);
    font_ = terminalFont(s);
    fontColor_ = colorFromSetting(s.TerminalFontColor);
    clearScreen_->setChecked(s.ClearScreen);
    echo_->setChecked(s.LocalEcho);
    port_->setValue(s.TelnetPort >= 1 && s.TelnetPort <= 65535 ? s.TelnetPort : 23);
    showLook();
}

TelnetSettings TOptionsTelnetfrm::settings() const {
    TelnetSettings s = kept_;
    s.TelnetPort = port_->value();
    s.LocalEcho = echo_->isChecked();
    s.ClearScreen = clearScreen_->isChecked();
    s.TerminalColor = settingFromColor(background_);
    s.TerminalFontColor = settingFromColor(fontColor_);
    s.TerminalFontSize = font_.pointSize() > 0 ? font_.pointSize() : 9;
    s.TerminalFontName = toWire(font_.family());
    return s;
}

void TOptionsTelnetfrm::setBackground(const QColor& c) {
    background_ = c;
    showLook();
}

void TOptionsTelnetfrm::setFont(const QFont& f, const QColor& color) {
    font_ = f;
    font_.setFixedPitch(true);
    fontColor_ = color;
    showLook();
}

void TOptionsTelnetfrm::showLook() {
    swatch_->setStyleSheet(QStringLiteral("background-color: %1; border: 1px solid gray;").arg(background_.name()));
    fontSample_->setFont(font_);
    fontSample_->setText(QStringLiteral("%1, %2").arg(font_.family()).arg(font_.pointSize()));
    fontSample_->setStyleSheet(QStringLiteral("color: %1; background-color: %2;")
                                   .arg(fontColor_.name(), background_.name()));
}

void TOptionsTelnetfrm::chooseColor() {
    QColorDialog d(background_, this);
    d.setOption(QColorDialog::DontUseNativeDialog);
    if (uiPrompter().exec(d) == QDialog::Accepted) setBackground(d.selectedColor());
}

void TOptionsTelnetfrm::chooseFont() {
    QFontDialog d(font_, this);
    d.setOptions(QFontDialog::DontUseNativeDialog | QFontDialog::MonospacedFonts);
    if (uiPrompter().exec(d) == QDialog::Accepted) setFont(d.selectedFont(), fontColor_);
}

void TOptionsTelnetfrm::DefaultsClick() {
    TelnetSettings d;
    d.TerminalEmulation = kept_.TerminalEmulation; // not on the defaults list
    d.CursorSymbol = kept_.CursorSymbol;
    d.NAWS = kept_.NAWS;
    kept_ = d;
    load(d);
}

void TOptionsTelnetfrm::OKClick() {
    IniFile ini(configFile());
    if (!writeTelnetSettings(ini, settings())) {
        uiPrompter().message("Cannot write the settings to \"" + ini.path().string() + "\".");
        return;
    }
    accept();
}

} // namespace vn::telnet
