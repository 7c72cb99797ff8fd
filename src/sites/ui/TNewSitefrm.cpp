#include "sites/ui/TNewSitefrm.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "sites/ui/SiteManagerVariant.h"

namespace vn {

TNewSitefrm::TNewSitefrm(const SiteManagerVariant& variant, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("NewSitefrm"));
    setWindowTitle(variant.chooserCaption);

    auto* group = new QGroupBox(variant.chooserGroup, this);
    group->setObjectName(QStringLiteral("RadioGroup1"));
    folder_ = new QRadioButton(variant.chooserFolder, group);
    folder_->setObjectName(QStringLiteral("FolderRb"));
    site_ = new QRadioButton(variant.chooserSite, group);
    site_->setObjectName(QStringLiteral("SiteRb"));
    site_->setChecked(true);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(folder_);
    groupLayout->addWidget(site_);

    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setObjectName(QStringLiteral("OKBtn"));
    ok->setAccessibleName(QStringLiteral("OK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    auto* top = new QVBoxLayout(this);
    top->addWidget(group);
    top->addLayout(buttons);
    site_->setFocus(Qt::OtherFocusReason);
}

bool TNewSitefrm::folderChosen() const { return folder_->isChecked(); }

void TNewSitefrm::chooseFolder(bool folder) { (folder ? folder_ : site_)->setChecked(true); }

} // namespace vn
