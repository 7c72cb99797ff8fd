#include "sites/ui/TSitefrm.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QValidator>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/Beeper.h"
#include "common/ui/FormWidgets.h"
#include "common/ui/UiPrompter.h"
#include "common/ui/WireText.h"
#include "sites/ui/TMultihomedfrm.h"
#include "sites/ui/TNewSitefrm.h"

namespace vn {
namespace {

const char* kEditingRefusal = "You are editing a site node. Please complete it before closing.";
const char* kNoPort = "Please enter a port number.";
const char* kMultihomedHint = "This Site is Multihomed (has multiple possible addresses):";

// A tree node: its caption and the record it owns (released with the item).
class SiteItem : public QTreeWidgetItem {
public:
    static constexpr int Type = QTreeWidgetItem::UserType + 1;
    explicit SiteItem(TSiteRec r) : QTreeWidgetItem(Type), rec(std::move(r)) {
        setText(0, fromWire(rec.HostName));
    }
    // By caption, letter case aside (the case decides only between equal names).
    bool operator<(const QTreeWidgetItem& other) const override {
        const QString a = text(0), b = other.text(0);
        const int c = QString::compare(a, b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : QString::compare(a, b, Qt::CaseSensitive) < 0;
    }
    TSiteRec rec;
};

SiteItem* siteItem(QTreeWidgetItem* item) {
    return item && item->type() == SiteItem::Type ? static_cast<SiteItem*>(item) : nullptr;
}





// Check boxes and radio buttons have no read-only mode: a read-only one drops
// the mouse and keys and takes no focus, and still looks enabled.
class ReadOnlyFilter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (!watched->property(kReadOnly).toBool()) return false;
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
            return true;
        default:
            return false;
        }
    }
    static constexpr const char* kReadOnly = "vnReadOnly";
};

void setInteractive(QAbstractButton* b, bool on) {
    if (!b->property("vnFiltered").toBool()) {
        b->installEventFilter(new ReadOnlyFilter(b));
        b->setProperty("vnFiltered", true);
    }
    b->setProperty(ReadOnlyFilter::kReadOnly, !on);
    b->setFocusPolicy(on ? Qt::StrongFocus : Qt::NoFocus);
}

// The program itself shows values in the controls while it lives.
class ShowingGuard {
public:
    explicit ShowingGuard(bool& flag) : flag_(flag), was_(flag) { flag_ = true; }
    ~ShowingGuard() { flag_ = was_; }

private:
    bool& flag_;
    bool was_;
};

QString withoutLineBreaks(QString text) {
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    return text;
}

QIcon twoStateIcon(QStyle* style, QStyle::StandardPixmap normal, QStyle::StandardPixmap selected) {
    QIcon icon;
    for (const QSize size : {QSize(16, 16), QSize(32, 32)}) {
        icon.addPixmap(style->standardIcon(normal).pixmap(size), QIcon::Normal);
        icon.addPixmap(style->standardIcon(selected).pixmap(size), QIcon::Selected);
    }
    return icon;
}

} // namespace

TSitefrm::TSitefrm(QWidget* parent) : TSitefrm(ftpSiteVariant(), parent) {}

TSitefrm::TSitefrm(const SiteManagerVariant& variant, QWidget* parent)
    : QDialog(parent),
      variant_(variant),
      store_(dataFile(siteLayoutInfo(variant.layout).fileName), variant.layout) {
    setObjectName(variant_.objectName);
    setWindowTitle(variant_.caption);
    siteIcon_ = twoStateIcon(style(), QStyle::SP_DriveNetIcon, QStyle::SP_ComputerIcon);
    folderIcon_ = twoStateIcon(style(), QStyle::SP_DirClosedIcon, QStyle::SP_DirOpenIcon);
    build();

    if (variant_.ftpExtras) {
        IniFile ini(configFile());
        email_ = ini.readString("FTP", "Email");
        useEmail_->setChecked(ini.readInt("FTP", "UseEmailAddress", 1) != 0);
        useEmail_->setToolTip(fromWire(email_));
    }

    ResetejaEdits();
    setWritable(false);
    setEditingState(false);
    loadTree();
}

TSitefrm::~TSitefrm() = default;

void TSitefrm::build() {
    tree_ = new QTreeWidget(this);
    tree_->setObjectName(QStringLiteral("tree"));
    tree_->setColumnCount(1);
    tree_->setHeaderHidden(true);
    tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    tree_->setSortingEnabled(true);
    tree_->sortByColumn(0, Qt::AscendingOrder);
    tree_->setAccessibleName(QStringLiteral("Sites"));
    connect(tree_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) { treeChange(current); });
    connect(tree_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
        const SiteItem* s = siteItem(item);
        if (s && !s->rec.IsFolder && connectB_->isEnabled()) ConnectBClick();
    });

    hostEdit_ = namedLineEdit("HostEdit", this);
    addressEdit_ = namedLineEdit("addressedit", this);
    loginEdit_ = namedLineEdit("LoginEdit", this);
    passwordEdit_ = namedLineEdit("PasswordEdit", this);
    passwordEdit_->setEchoMode(QLineEdit::Password);
    portEdit_ = namedLineEdit("PortEdit", this);
    portEdit_->setMaxLength(5);
    acceptDigitsOnly(portEdit_);
    remoteDirEdit_ = namedLineEdit("remotediredit", this);
    memo_ = new QPlainTextEdit(this);
    memo_->setObjectName(QStringLiteral("Memo1"));
    memo_->setTabChangesFocus(true);
    memo_->setMaximumHeight(memo_->fontMetrics().lineSpacing() * 4);

    loginTypeGroup_ = new QGroupBox(variant_.loginTypeCaption, this);
    loginTypeGroup_->setObjectName(QStringLiteral("RadioGroup1"));
    loginTypes_[0] = namedRadio(variant_.loginTypeChoice0, "NormalRb", loginTypeGroup_);
    loginTypes_[1] = namedRadio(variant_.loginTypeChoice1, "AnonymousRb", loginTypeGroup_);
    auto* loginTypeLayout = new QVBoxLayout(loginTypeGroup_);
    for (int i = 0; i < 2; ++i) {
        loginTypeLayout->addWidget(loginTypes_[static_cast<size_t>(i)]);
        // Any way the user changes it (a click, a key, a screen reader's
        // Toggle), never a node being shown, never while read-only.
        QRadioButton* b = loginTypes_[static_cast<size_t>(i)];
        connect(b, &QRadioButton::toggled, this, [this, i, b](bool on) {
            if (on && !showing_ && !b->property(ReadOnlyFilter::kReadOnly).toBool()) loginTypeChosen(i);
        });
    }
    loginTypeGroup_->setVisible(!variant_.loginTypeCaption.isEmpty());

    transferGroup_ = new QGroupBox(QStringLiteral("T&ype"), this);
    transferGroup_->setObjectName(QStringLiteral("RadioGroup2"));
    transferTypes_[0] = namedRadio(QStringLiteral("ASCII"), "AsciiRb", transferGroup_);
    transferTypes_[1] = namedRadio(QStringLiteral("Binary"), "BinaryRb", transferGroup_);
    transferTypes_[2] = namedRadio(QStringLiteral("Auto"), "AutoRb", transferGroup_);
    auto* transferLayout = new QVBoxLayout(transferGroup_);
    for (auto* r : transferTypes_) transferLayout->addWidget(r);

    pasv_ = new QCheckBox(QStringLiteral("PASV"), this);
    pasv_->setObjectName(QStringLiteral("PASVrb"));
    security_ = new QComboBox(this);
    security_->setObjectName(QStringLiteral("SecurityCombo"));
    for (FtpSecurity sec : kAllSecurities)
        security_->addItem(QString::fromLatin1(securityCaption(sec)), static_cast<int>(sec));
    connect(security_, &QComboBox::currentIndexChanged, this, [this] {
        // Only the user's pick while editing: showing a stored site keeps its port.
        if (!editing_) return;
        const auto chosen = static_cast<FtpSecurity>(security_->currentData().toInt());
        portEdit_->setText(QString::fromStdString(portAfterChoosing(chosen, portEdit_->text().toStdString())));
    });
    // A read-only control that changed anyway (a screen reader's Toggle goes
    // round the event filter) takes its shown value back.
    std::vector<QAbstractButton*> guarded{pasv_};
    for (auto* r : loginTypes_) guarded.push_back(r);
    for (auto* r : transferTypes_) guarded.push_back(r);
    for (QAbstractButton* b : guarded)
        connect(b, &QAbstractButton::toggled, this, [this, b](bool checked) {
            if (showing_ || !b->property(ReadOnlyFilter::kReadOnly).toBool()) return;
            // A radio that lost its check takes it back (the group unchecks the
            // other); a newly checked radio is undone by its partner.
            if (qobject_cast<QRadioButton*>(b) && checked) return;
            QTimer::singleShot(0, b, [this, b, checked] {
                showing_ = true;
                b->setChecked(!checked);
                showing_ = false;
            });
        });
    useEmail_ = new QCheckBox(QStringLiteral("Use my email address if using anonymous mode."), this);
    useEmail_->setObjectName(QStringLiteral("CheckBox1"));

    multihomedLabel_ = new QLabel(QStringLiteral("mh"), this);
    multihomedLabel_->setObjectName(QStringLiteral("multihomed_label"));
    multihomedLabel_->setVisible(false);
    multihomedButton_ = namedButton(QStringLiteral("Multihomed..."), "Multihomed_SB", this, false);
    multihomedButton_->setToolTip(QStringLiteral("Multihomed Host - Try  multiple addresses"));
    connect(multihomedButton_, &QPushButton::clicked, this, &TSitefrm::Multihomed_SBClick);

    newB_ = namedButton(QStringLiteral("&New"), "NewB", this, false);
    editB_ = namedButton(QStringLiteral("E&dit"), "EditB", this, false);
    deleteB_ = namedButton(QStringLiteral("Dele&te"), "DeleteB", this, false);
    saveB_ = namedButton(QStringLiteral("&Save"), "SaveB", this, false);
    cancelEditB_ = namedButton(QStringLiteral("Canc&el"), "CAncelEB", this, false);
    connectB_ = namedButton(QStringLiteral("&Connect"), "ConnectB", this, false);
    // No mnemonic: every letter of "Cancel" belongs to another control (Esc closes).
    cancelB_ = namedButton(QStringLiteral("Cancel"), "CancelB", this, false);
    cancelB_->setAccessibleName(QStringLiteral("Cancel and close"));
    cancelEditB_->setAccessibleName(QStringLiteral("Cancel editing"));
    connect(newB_, &QPushButton::clicked, this, &TSitefrm::NewBClick);
    connect(editB_, &QPushButton::clicked, this, &TSitefrm::EditBClick);
    connect(deleteB_, &QPushButton::clicked, this, &TSitefrm::DeleteBClick);
    connect(saveB_, &QPushButton::clicked, this, &TSitefrm::SaveBClick);
    connect(cancelEditB_, &QPushButton::clicked, this, &TSitefrm::CAncelEBClick);
    connect(connectB_, &QPushButton::clicked, this, &TSitefrm::ConnectBClick);
    connect(cancelB_, &QPushButton::clicked, this, &QDialog::reject);

    // Fields with their labels; a variant without a label has no such field.
    auto* fields = new QGridLayout;
    int row = 0;
    auto addField = [&](const QString& caption, const char* labelName, QWidget* field, QWidget* extra = nullptr) {
        auto* label = new QLabel(caption, this);
        label->setObjectName(QString::fromLatin1(labelName));
        label->setBuddy(field);
        QString plain = caption;
        plain.remove(QLatin1Char('&'));
        if (plain.endsWith(QLatin1Char(':'))) plain.chop(1);
        field->setAccessibleName(plain.trimmed());
        fields->addWidget(label, row, 0);
        if (extra) {
            auto* line = new QHBoxLayout;
            line->addWidget(field, 1);
            line->addWidget(extra);
            fields->addLayout(line, row, 1);
        } else {
            fields->addWidget(field, row, 1);
        }
        const bool shown = !caption.isEmpty();
        label->setVisible(shown);
        field->setVisible(shown);
        ++row;
    };
    auto* addressExtras = new QWidget(this);
    auto* addressExtrasLayout = new QHBoxLayout(addressExtras);
    addressExtrasLayout->setContentsMargins(0, 0, 0, 0);
    addressExtrasLayout->addWidget(multihomedLabel_);
    addressExtrasLayout->addWidget(multihomedButton_);
    addressExtras->setVisible(variant_.ftpExtras);

    addField(variant_.hostLabel, "HostLabel", hostEdit_);
    addField(variant_.addressLabel, "AddressLabel", addressEdit_, addressExtras);
    addField(variant_.loginLabel, "LoginLabel", loginEdit_);
    addField(variant_.passwordLabel, "PasswordLabel", passwordEdit_);
    addField(variant_.portLabel, "PortLabel", portEdit_, pasv_);
    addField(variant_.ftpExtras ? QStringLiteral("Initial &Remote Directory:") : QString(), "RemoteDirLabel",
             remoteDirEdit_);
    addField(variant_.ftpExtras ? QStringLiteral("Sec&urity:") : QString(), "SecurityLabel", security_);
    addField(variant_.commentsLabel, "CommentsLabel", memo_);
    pasv_->setVisible(variant_.ftpExtras);
    transferGroup_->setVisible(variant_.ftpExtras);
    useEmail_->setVisible(variant_.ftpExtras);

    auto* groups = new QHBoxLayout;
    groups->addWidget(loginTypeGroup_);
    groups->addWidget(transferGroup_);

    auto* right = new QVBoxLayout;
    right->addLayout(fields);
    right->addLayout(groups);
    right->addWidget(useEmail_);
    right->addStretch(1);

    auto* editButtons = new QHBoxLayout;
    for (auto* b : {newB_, editB_, deleteB_, saveB_, cancelEditB_}) editButtons->addWidget(b);
    editButtons->addStretch(1);
    editButtons->addWidget(connectB_);
    editButtons->addWidget(cancelB_);

    auto* body = new QHBoxLayout;
    body->addWidget(tree_, 2);
    body->addLayout(right, 3);
    auto* top = new QVBoxLayout(this);
    top->addLayout(body);
    top->addLayout(editButtons);

    QWidget* order[] = {tree_, hostEdit_, addressEdit_, multihomedButton_, loginEdit_, passwordEdit_,
                        portEdit_, pasv_, remoteDirEdit_, memo_, loginTypes_[0], loginTypes_[1],
                        transferTypes_[0], transferTypes_[1], transferTypes_[2], useEmail_,
                        newB_, editB_, deleteB_, saveB_, cancelEditB_, connectB_, cancelB_};
    for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

// ---------------------------------------------------------------- the tree

void TSitefrm::setIcons(QTreeWidgetItem* item) const {
    const SiteItem* s = siteItem(item);
    if (!s) return;
    item->setIcon(0, s->rec.IsFolder ? folderIcon_ : siteIcon_);
    item->setData(0, kImageIndexRole, s->rec.IsFolder ? 2 : 0);
    item->setData(0, kSelectedIndexRole, s->rec.IsFolder ? 3 : 1);
}

void TSitefrm::addNodes(QTreeWidgetItem* parent, const SiteTree& nodes) {
    for (const SiteNode& n : nodes) {
        auto* item = new SiteItem(n.rec);
        setIcons(item);
        if (parent)
            parent->addChild(item);
        else
            tree_->addTopLevelItem(item);
        addNodes(item, n.children);
    }
}

void TSitefrm::loadTree() {
    SiteReadResult r = store_.load();
    {
        const QSignalBlocker block(tree_);
        tree_->clear();
        addNodes(nullptr, r.tree);
        tree_->sortItems(0, Qt::AscendingOrder);
    }
    if (QTreeWidgetItem* first = tree_->topLevelItem(0)) {
        first->setExpanded(true);
        tree_->setCurrentItem(first);
    }
    treeChange(tree_->currentItem());
    if (!r.clean) {
        std::string text = "The site file \"" + store_.path().string() +
                           "\" could not be read completely; only the sites read before the problem are shown.";
        if (!r.warnings.empty()) text += "\r(" + r.warnings.front() + ")";
        if (r.exists)
            text += "\rThe file as it is now will be copied to \"" + store_.backupPath().string() +
                    "\" before it is saved again.";
        uiPrompter().message(text);
    }
}

SiteTree TSitefrm::sites() const {
    std::function<void(const QTreeWidgetItem*, SiteTree&)> collect;
    collect = [&](const QTreeWidgetItem* parent, SiteTree& out) {
        for (int i = 0; i < parent->childCount(); ++i) {
            const QTreeWidgetItem* child = parent->child(i);
            const TSiteRec* rec = record(child);
            if (!rec) continue;
            SiteNode n{*rec, {}};
            collect(child, n.children);
            out.push_back(std::move(n));
        }
    };
    SiteTree tree;
    collect(tree_->invisibleRootItem(), tree);
    return tree;
}

std::string TSitefrm::sitePath(const QTreeWidgetItem* item) {
    std::string path;
    for (; item; item = item->parent()) {
        const TSiteRec* r = record(item);
        if (!r) break;
        path = path.empty() ? r->HostName : r->HostName + "/" + path;
    }
    return path;
}

std::vector<std::pair<QTreeWidgetItem*, std::string>> TSitefrm::sitesWithPaths(QTreeWidgetItem* item) {
    std::vector<std::pair<QTreeWidgetItem*, std::string>> out;
    const TSiteRec* r = record(item);
    if (!r) return out;
    if (!r->IsFolder) out.emplace_back(item, sitePath(item));
    for (int i = 0; i < item->childCount(); ++i)
        for (auto& below : sitesWithPaths(item->child(i))) out.push_back(std::move(below));
    return out;
}

const TSiteRec* TSitefrm::record(const QTreeWidgetItem* item) {
    return item && item->type() == SiteItem::Type ? &static_cast<const SiteItem*>(item)->rec : nullptr;
}

void TSitefrm::treeChange(QTreeWidgetItem* item) {
    const SiteItem* s = siteItem(item);
    if (!s) {
        ResetejaEdits();
        setFolderLook(false);
        refreshConnect();
        return;
    }
    const TSiteRec& r = s->rec;
    ShowingGuard guard(showing_);
    hostEdit_->setText(fromWire(r.HostName));
    addressEdit_->setText(fromWire(r.Address));
    loginEdit_->setText(fromWire(r.Login));
    passwordEdit_->setText(fromWire(r.Password));
    portEdit_->setText(QString::number(std::max(0, r.Port)));
    remoteDirEdit_->setText(fromWire(r.RemoteDir));
    memo_->setPlainText(fromWire(r.Comments));
    loginTypes_[r.LoginType == 1 ? 1 : 0]->setChecked(true);
    transferTypes_[static_cast<size_t>(r.TransferType >= 0 && r.TransferType <= 2 ? r.TransferType : 2)]
        ->setChecked(true);
    addresses_ = r.Addresses;
    addressCount_ = std::clamp(r.AddressCount, 0, 5);
    updateMultihomedLabel();
    pasv_->setChecked(r.Passive);
    security_->setCurrentIndex(
        security_->findData(static_cast<int>(variant_.ftpExtras ? SiteSecurityStore().get(sitePath(item))
                                                                 : SiteSecurityStore::kDefault)));
    setFolderLook(r.IsFolder);
    refreshConnect();
}

void TSitefrm::updateMultihomedLabel() {
    if (addressCount_ <= 1) {
        multihomedLabel_->setVisible(false);
        multihomedLabel_->setToolTip(QString());
        return;
    }
    // One address per line of the hint.
    QString hint = QString::fromLatin1(kMultihomedHint);
    for (int i = 0; i < addressCount_; ++i) {
        const std::string& a = addresses_[static_cast<size_t>(i)];
        if (!a.empty()) hint += QStringLiteral("\n(%1)- %2").arg(i + 1).arg(fromWire(a));
    }
    multihomedLabel_->setToolTip(hint);
    multihomedLabel_->setVisible(variant_.ftpExtras);
}

// ---------------------------------------------------------------- control states

void TSitefrm::ResetejaEdits() {
    for (QLineEdit* e : {hostEdit_, addressEdit_, loginEdit_, passwordEdit_, remoteDirEdit_}) e->clear();
    memo_->clear();
    portEdit_->setText(QString::number(variant_.defaultPort));
    {
        ShowingGuard guard(showing_);
        loginTypes_[variant_.defaultLoginType == 1 ? 1 : 0]->setChecked(true);
        transferTypes_[static_cast<size_t>(std::clamp(variant_.defaultTransferType, 0, 2))]->setChecked(true);
    }
    pasv_->setEnabled(false);
    security_->setCurrentIndex(security_->findData(static_cast<int>(SiteSecurityStore::kDefault)));
    // A new site starts without alternates of the node shown before.
    addresses_ = {};
    addressCount_ = 0;
    updateMultihomedLabel();
}

void TSitefrm::setWritable(bool writable) {
    for (QLineEdit* e : {hostEdit_, addressEdit_, loginEdit_, passwordEdit_, portEdit_, remoteDirEdit_})
        e->setReadOnly(!writable);
    memo_->setReadOnly(!writable);
    for (auto* r : loginTypes_) setInteractive(r, writable);
    for (auto* r : transferTypes_) setInteractive(r, writable);
    setInteractive(pasv_, writable);
    security_->setEnabled(writable);
}

void TSitefrm::setFolderLook(bool folder) {
    for (QWidget* w : std::initializer_list<QWidget*>{addressEdit_, loginEdit_, passwordEdit_, portEdit_,
                                                      remoteDirEdit_, memo_, loginTypeGroup_, transferGroup_,
                                                      pasv_})
        w->setEnabled(!folder);
}

void TSitefrm::setEditingState(bool on) {
    editing_ = on;
    tree_->setEnabled(!on);
    newB_->setEnabled(!on);
    editB_->setEnabled(!on);
    deleteB_->setEnabled(!on);
    cancelB_->setEnabled(!on);
    saveB_->setEnabled(on);
    cancelEditB_->setEnabled(on);
    multihomedButton_->setEnabled(on && !editingFolder_);
    refreshConnect();
}

void TSitefrm::refreshConnect() {
    const TSiteRec* r = record(tree_->currentItem());
    connectB_->setEnabled(!editing_ && r && !r->IsFolder);
}

void TSitefrm::loginTypeChosen(int type) {
    if (type != 1) return;
    switch (variant_.loginTypeEffect) {
    case SiteManagerVariant::LoginTypeEffect::None: break;
    case SiteManagerVariant::LoginTypeEffect::AnonymousLogin: loginEdit_->setText(QStringLiteral("anonymous")); break;
    case SiteManagerVariant::LoginTypeEffect::ClearLoginAndPassword:
        loginEdit_->clear();
        passwordEdit_->clear();
        break;
    }
}

// ---------------------------------------------------------------- commands

void TSitefrm::NewBClick() {
    if (editing_) return;
    // New nodes go into the folder that holds the selected site (or to the top).
    if (const TSiteRec* r = record(tree_->currentItem()); r && !r->IsFolder) {
        QTreeWidgetItem* parent = tree_->currentItem()->parent();
        if (parent) {
            tree_->setCurrentItem(parent);
        } else {
            tree_->setCurrentItem(nullptr);
            tree_->clearSelection();
        }
    }
    TNewSitefrm chooser(variant_, this);
    if (uiPrompter().exec(chooser) != QDialog::Accepted) return;
    editingFolder_ = chooser.folderChosen();
    editingExisting_ = false;
    ResetejaEdits();
    setWritable(true);
    setFolderLook(editingFolder_);
    setEditingState(true);
    hostEdit_->setFocus(Qt::OtherFocusReason);
}

void TSitefrm::EditBClick() {
    if (editing_) return;
    const TSiteRec* r = record(tree_->currentItem());
    if (!r) return;
    editingFolder_ = r->IsFolder;
    editingExisting_ = true;
    setWritable(true);
    setFolderLook(editingFolder_);
    setEditingState(true);
    hostEdit_->setFocus(Qt::OtherFocusReason);
}

int TSitefrm::portValue() const {
    bool ok = false;
    const int p = portEdit_->text().toInt(&ok);
    return ok ? p : 0;
}

bool TSitefrm::portAcceptable() const {
    const int p = portValue();
    return p >= variant_.portMin && p <= variant_.portMax;
}

TSiteRec TSitefrm::recordFromControls() const {
    TSiteRec r;
    r.HostName = toWire(hostEdit_->text());
    r.Address = toWire(addressEdit_->text().trimmed());
    r.Login = toWire(loginEdit_->text());
    r.Password = toWire(passwordEdit_->text());
    r.LoginType = loginTypes_[1]->isChecked() ? 1 : 0;
    r.Port = portValue();
    r.TransferType = transferTypes_[0]->isChecked() ? 0 : transferTypes_[1]->isChecked() ? 1 : 2;
    r.RemoteDir = toWire(remoteDirEdit_->text());
    r.Comments = toWire(withoutLineBreaks(memo_->toPlainText()));
    if (variant_.ftpExtras) {
        r.Addresses = addresses_;
        r.AddressCount = addressCount_;
        // Slot 1 is the main address: it follows the address box.
        if (r.AddressCount >= 1) r.Addresses[0] = r.Address;
        r.Passive = pasv_->isChecked();
    }
    r.IsFolder = editingFolder_;
    return r;
}

void TSitefrm::SaveBClick() {
    if (!editing_) return;
    // A site whose port is no number could never be connected to.
    if (!editingFolder_ && !portAcceptable()) {
        uiPrompter().message(kNoPort);
        portEdit_->setFocus(Qt::OtherFocusReason);
        return;
    }
    TSiteRec rec = recordFromControls();
    QTreeWidgetItem* item = nullptr;
    SiteItem* current = siteItem(tree_->currentItem());
    // A renamed folder renames the path of every site below it: their
    // choices move with them.
    std::vector<std::pair<QTreeWidgetItem*, std::string>> before;
    if (editingExisting_ && current) before = sitesWithPaths(current);
    if (editingExisting_ && current) {
        current->rec = std::move(rec);
        current->setText(0, hostEdit_->text());
        item = current;
    } else {
        auto* added = new SiteItem(std::move(rec));
        if (QTreeWidgetItem* parent = tree_->currentItem()) {
            parent->addChild(added);
            parent->setExpanded(true);
        } else {
            tree_->addTopLevelItem(added);
        }
        item = added;
    }
    setIcons(item);
    if (variant_.ftpExtras) {
        SiteSecurityStore store;
        for (const auto& [site, oldPath] : before) store.rename(oldPath, sitePath(site));
        if (!editingFolder_) store.set(sitePath(item), static_cast<FtpSecurity>(security_->currentData().toInt()));
    }
    tree_->sortItems(0, Qt::AscendingOrder);
    setWritable(false);
    setEditingState(false);
    tree_->setCurrentItem(item);
    treeChange(item);
    gravar();
}

void TSitefrm::CAncelEBClick() {
    if (!editing_) return;
    ResetejaEdits();
    setWritable(false);
    setEditingState(false);
    treeChange(tree_->currentItem());
}

void TSitefrm::DeleteBClick() {
    if (editing_) return;
    QTreeWidgetItem* item = tree_->currentItem();
    if (!record(item)) return;
    const std::string question =
        "Do you confirm that you want to delete '" + toWire(hostEdit_->text()) + "'?";
    if (!uiPrompter().askYesNo(question)) return;
    // A site made later under the same path starts from the default choice.
    if (variant_.ftpExtras) {
        SiteSecurityStore store;
        for (const auto& [site, path] : sitesWithPaths(item)) store.remove(path);
    }
    delete item;  // its subtree and records with it
    treeChange(tree_->currentItem());
    gravar();
}

void TSitefrm::ConnectBClick() {
    if (editing_) return;
    const TSiteRec* r = record(tree_->currentItem());
    if (!r || r->IsFolder) return;
    choice_ = SiteChoice{*r, useEmail_->isChecked(), email_, SiteSecurityStore().get(sitePath(tree_->currentItem()))};
    accept();
    // A refused close leaves no connect request behind.
    if (result() != QDialog::Accepted) choice_.reset();
}

void TSitefrm::Multihomed_SBClick() {
    if (!editing_ || editingFolder_) return;
    TMultihomedfrm dialog(this);
    TMultihomedfrm::Addresses shown;
    shown[0] = addressEdit_->text();
    for (size_t i = 1; i < shown.size(); ++i) shown[i] = fromWire(addresses_[i]);
    dialog.setAddresses(shown);
    if (uiPrompter().exec(dialog) != QDialog::Accepted) return;
    const TMultihomedfrm::Addresses chosen = dialog.addresses();
    for (size_t i = 0; i < chosen.size(); ++i) addresses_[i] = toWire(chosen[i]);
    addressEdit_->setText(chosen[0]);
    addressCount_ = TMultihomedfrm::countOf(chosen);
    updateMultihomedLabel();
}

void TSitefrm::gravar() {
    if (store_.save(sites())) {
        if (variant_.rereadAfterSave) loadTree();
        return;
    }
    uiPrompter().message("The sites could not be saved to \"" + store_.path().string() + "\": " +
                         store_.lastError() +
                         ".\rThe file was left as it was; the changes are kept only while the Site Manager is open.");
}

std::optional<SiteChoice> TSitefrm::choice() const {
    if (result() != QDialog::Accepted) return std::nullopt;
    return choice_;
}

void TSitefrm::done(int result) {
    if (variant_.ftpExtras)
        IniFile(configFile()).writeInt("FTP", "UseEmailAddress", useEmail_->isChecked() ? 1 : 0);
    if (editing_) {
        uiPrompter().message(kEditingRefusal);
        return;
    }
    QDialog::done(result);
}

} // namespace vn
