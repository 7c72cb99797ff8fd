#pragma once
// The Telnet window's two dialogs: "Quick Telnet Connection" (host, port,
// local echo) and "Telnet Options" (the eleven "Telnet" keys of varnelo.ini).
#include <QColor>
#include <QDialog>
#include <QFont>

#include "telnet/TelnetSettings.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace vn::telnet {

class TQuickTelnetfrm : public QDialog {
    Q_OBJECT
public:
    TQuickTelnetfrm(int port, bool localEcho, QWidget* parent = nullptr);
    QString host() const;
    int port() const;
    bool localEcho() const;
    QLineEdit* hostEdit() const { return host_; }
    QSpinBox* portEdit() const { return port_; }
    QCheckBox* echoBox() const { return echo_; }

private:
    QLineEdit* host_;
    QSpinBox* port_;
    QCheckBox* echo_;
};

// The terminal font of the settings, always with fixed pitch (a missing
// family falls back to the system's fixed-pitch font).
QFont terminalFont(const TelnetSettings& s);

class TOptionsTelnetfrm : public QDialog {
    Q_OBJECT
public:
    explicit TOptionsTelnetfrm(QWidget* parent = nullptr);

    // The controls as settings (what OK writes).
    TelnetSettings settings() const;
    void load(const TelnetSettings& s);
    QCheckBox* clearScreenBox() const { return clearScreen_; }
    QCheckBox* echoBox() const { return echo_; }
    QSpinBox* portEdit() const { return port_; }
    void setBackground(const QColor& c);
    void setFont(const QFont& f, const QColor& color);

public slots:
    void OKClick();
    void DefaultsClick();

private:
    void chooseColor();
    void chooseFont();
    void showLook();

    TelnetSettings kept_; // the keys without a control of their own
    QColor background_;
    QFont font_;
    QColor fontColor_;
    QPushButton* swatch_;
    QLabel* fontSample_;
    QCheckBox* clearScreen_;
    QCheckBox* echo_;
    QSpinBox* port_;
};

} // namespace vn::telnet
