#pragma once
// The Quick Connection dialog: one server's address, login and options typed
// by hand. OK checks the entries (asking through vn::uiPrompter()) before it
// closes the dialog.
#include <QDialog>
#include <QString>

#include <string>

#include "ftp/engine/tls/FtpSecurity.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vn {

class TQuickfrm : public QDialog {
    Q_OBJECT
public:
    enum TransferType { Ascii = 0, Binary = 1, Auto = 2 };

    explicit TQuickfrm(QWidget* parent = nullptr);

    void setHost(const QString& host);
    // The security choice; Implicit TLS moves a port of 21 to 990 and back.
    void setSecurity(FtpSecurity security);
    FtpSecurity security() const;

    QString host() const;          // without surrounding blanks
    QString login() const;
    QString password() const;      // as typed
    int port() const;              // 0 when the port box holds no valid port
    QString remoteDir() const;
    bool passive() const;
    bool anonymous() const;
    int transferType() const;      // TransferType
    bool useEmail() const;
    QString email() const;         // [FTP] Email, read when the dialog was made

    // The password the quick connect logs in with: the configured e-mail
    // address for an anonymous login (whatever the password box holds), else
    // the password box.
    std::string connectPassword() const;

public slots:
    // Runs the checks of the OK button; closes the dialog only when they pass.
    void accept() override;
    void done(int result) override;

private:
    bool entriesAccepted();

    QLineEdit* hostEdit_;
    QLineEdit* loginEdit_;
    QLineEdit* passwordEdit_;
    QLineEdit* portEdit_;
    QLineEdit* remoteDirEdit_;
    QCheckBox* pasv_;
    QComboBox* security_;
    QRadioButton* normal_;
    QRadioButton* anonymous_;
    QRadioButton* ascii_;
    QRadioButton* binary_;
    QRadioButton* auto_;
    QCheckBox* useEmail_;
    QPushButton* ok_;
    QPushButton* cancel_;
    std::string email_;
};

} // namespace vn
