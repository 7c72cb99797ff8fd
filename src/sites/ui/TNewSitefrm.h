#pragma once
// The chooser of the site managers' New button: a folder or a site (the default).
#include <QDialog>

class QRadioButton;

namespace vn {

struct SiteManagerVariant;

class TNewSitefrm : public QDialog {
    Q_OBJECT
public:
    explicit TNewSitefrm(const SiteManagerVariant& variant, QWidget* parent = nullptr);

    bool folderChosen() const;
    void chooseFolder(bool folder);

private:
    QRadioButton* folder_;
    QRadioButton* site_;
};

} // namespace vn
