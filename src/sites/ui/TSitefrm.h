#pragma once
// "Site Manager": the modal dialog that keeps the user's sites in a tree of
// folders and sites, stored in the variant's site file in the data folder
// (FTP: "siteman.dat"). The file is read when the dialog is made and rewritten
// after every Save and Delete. When the user chooses Connect, exec() returns
// Accepted and choice() holds the chosen site.
//
// Every message, question and nested dialog goes through vn::uiPrompter().
#include <QDialog>
#include <QIcon>
#include <QString>

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sites/SiteFile.h"
#include "sites/SiteSecurity.h"
#include "sites/ui/SiteManagerVariant.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace vn {

// What the caller connects with.
struct SiteChoice {
    TSiteRec site;          // every field, the address slots and their count
    bool useEmail = true;   // CheckBox1 "Use my email address if using anonymous mode."
    std::string email;      // [FTP] Email, read when the dialog was made
    FtpSecurity security = SiteSecurityStore::kDefault;
};

class TSitefrm : public QDialog {
    Q_OBJECT
public:
    // Tree item data: the image index of the node (site 0, folder 2) and its
    // selected image index (1, 3).
    static constexpr int kImageIndexRole = Qt::UserRole + 1;
    static constexpr int kSelectedIndexRole = Qt::UserRole + 2;

    // The FTP site manager.
    explicit TSitefrm(QWidget* parent = nullptr);
    TSitefrm(const SiteManagerVariant& variant, QWidget* parent = nullptr);
    ~TSitefrm() override;

    const SiteManagerVariant& variant() const { return variant_; }
    const std::filesystem::path& siteFile() const { return store_.path(); }

    // Set when the dialog closed with Accepted because Connect was chosen.
    std::optional<SiteChoice> choice() const;

    // A site or folder is being created or edited (Save is enabled).
    bool editing() const { return editing_; }
    // The tree as shown, in display order.
    SiteTree sites() const;
    // The record of a tree item (nullptr for an item that is not a node).
    static const TSiteRec* record(const QTreeWidgetItem* item);
    // The key of a site in the security store: its folders' names and its own, joined by "/".
    static std::string sitePath(const QTreeWidgetItem* item);
    // The item and every site below it, each with its path as it is now.
    static std::vector<std::pair<QTreeWidgetItem*, std::string>> sitesWithPaths(QTreeWidgetItem* item);

public slots:
    void NewBClick();
    void EditBClick();
    void DeleteBClick();
    void SaveBClick();
    void CAncelEBClick();
    void ConnectBClick();
    void Multihomed_SBClick();
    // Every way of closing comes here (Connect, Ca&ncel, the window's close
    // button, Escape): it writes the e-mail check box and refuses while editing.
    void done(int result) override;

private:
    void build();
    void loadTree();
    void addNodes(QTreeWidgetItem* parent, const SiteTree& nodes);
    void treeChange(QTreeWidgetItem* item);
    void ResetejaEdits();
    void setWritable(bool writable);
    void setFolderLook(bool folder);
    void setEditingState(bool on);
    void updateMultihomedLabel();
    void loginTypeChosen(int type);
    void gravar();
    TSiteRec recordFromControls() const;
    bool portAcceptable() const;
    int portValue() const;
    void refreshConnect();
    void setIcons(QTreeWidgetItem* item) const;

    const SiteManagerVariant& variant_;
    SiteStore store_;

    QTreeWidget* tree_ = nullptr;
    QLineEdit* hostEdit_ = nullptr;
    QLineEdit* addressEdit_ = nullptr;
    QLineEdit* loginEdit_ = nullptr;
    QLineEdit* passwordEdit_ = nullptr;
    QLineEdit* portEdit_ = nullptr;
    QLineEdit* remoteDirEdit_ = nullptr;
    QPlainTextEdit* memo_ = nullptr;
    QGroupBox* loginTypeGroup_ = nullptr;
    std::array<QRadioButton*, 2> loginTypes_{};
    QGroupBox* transferGroup_ = nullptr;
    std::array<QRadioButton*, 3> transferTypes_{};
    QCheckBox* pasv_ = nullptr;
    QComboBox* security_ = nullptr; // FTP: the security choice (SiteSecurityStore)
    QCheckBox* useEmail_ = nullptr;
    QLabel* multihomedLabel_ = nullptr;
    QPushButton* multihomedButton_ = nullptr;
    QPushButton* newB_ = nullptr;
    QPushButton* editB_ = nullptr;
    QPushButton* deleteB_ = nullptr;
    QPushButton* saveB_ = nullptr;
    QPushButton* cancelEditB_ = nullptr;
    QPushButton* connectB_ = nullptr;
    QPushButton* cancelB_ = nullptr;

    // The dialog's own address slots: the shown node's, changed by the
    // multihomed dialog, stored by Save.
    std::array<std::string, 5> addresses_{};
    int addressCount_ = 0;

    bool editing_ = false;
    bool showing_ = false; // the program is showing a node's values
    bool editingExisting_ = false;
    bool editingFolder_ = false;
    std::optional<SiteChoice> choice_;
    std::string email_;
    QIcon siteIcon_;
    QIcon folderIcon_;
};

} // namespace vn
