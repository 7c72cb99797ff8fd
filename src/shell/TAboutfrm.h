#pragma once
// The About box: product, version and the mail and web-site links.
#include <QDialog>

class QLabel;
class QPushButton;

namespace vn {

class TAboutfrm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutfrm(QWidget* parent = nullptr);

    QLabel* mailLink() const { return mail_; }
    QLabel* webLink() const { return web_; }

private:
    QLabel* mail_;
    QLabel* web_;
    QPushButton* ok_;
};

// Ask the desktop for a new mail to the maker / the product web site (silent on failure).
void sendMailToAuthor();
void visitWebSite();

} // namespace vn
