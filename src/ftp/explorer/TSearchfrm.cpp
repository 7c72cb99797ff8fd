#include "ftp/explorer/TSearchfrm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/ui/Beeper.h"
#include "common/ui/UiPrompter.h"
#include "common/ui/WireText.h"

namespace vn {

namespace {
constexpr int kFolderRole = Qt::UserRole;
constexpr int kNameRole = Qt::UserRole + 1;
} // namespace

// The walk's reports, handed to the window on the UI thread; once the window
// has gone (detach) they are dropped.
class TSearchfrm::Forwarder : public SearchSink {
public:
    explicit Forwarder(TSearchfrm* w) : w_(w) {}
    void detach() {
        std::lock_guard lock(m_);
        w_ = nullptr;
    }
    void searching(const std::string& folder) override {
        post([folder](TSearchfrm& w) { w.showSearching(folder); });
    }
    void found(const std::string& folder, const std::string& name) override {
        post([folder, name](TSearchfrm& w) { w.addResult(folder, name); });
    }

private:
    template <class F>
    void post(F f) {
        std::lock_guard lock(m_);
        if (!w_) return;
        // A queued call to a window deleted meanwhile is never delivered.
        QPointer<TSearchfrm> target(w_);
        QMetaObject::invokeMethod(
            w_, [target, f] { if (target) f(*target); }, Qt::QueuedConnection);
    }
    std::mutex m_;
    TSearchfrm* w_;
};

TSearchfrm::TSearchfrm(std::string startFolder, bool remote, Starter start, std::function<void()> cancel,
                       QWidget* parent)
    : QDialog(parent), start_(std::move(startFolder)), remote_(remote), starter_(std::move(start)),
      cancel_(std::move(cancel)) {
    setObjectName(QStringLiteral("Searchfrm"));
    setWindowTitle(QStringLiteral("Search"));
    resize(460, 340);

    auto* layout = new QVBoxLayout(this);
    Panel1 = new QLabel(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::StyledPanel);
    Panel1->setTextFormat(Qt::PlainText);
    Panel1->setWordWrap(true);
    layout->addWidget(Panel1);

    auto* row = new QHBoxLayout;
    auto* label = new QLabel(QStringLiteral("&Search Text:"), this);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    label->setBuddy(Edit1);
    row->addWidget(label);
    row->addWidget(Edit1, 1);
    layout->addLayout(row);

    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setAccessibleName(QStringLiteral("Files found"));
    layout->addWidget(ListBox1, 1);

    auto* buttons = new QHBoxLayout;
    searchSB_ = new QPushButton(QStringLiteral("Search"), this);
    searchSB_->setObjectName(QStringLiteral("SearchSB"));
    cancelSB_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancelSB_->setObjectName(QStringLiteral("CancelSB"));
    exitSB_ = new QPushButton(QStringLiteral("Exit"), this);
    exitSB_->setObjectName(QStringLiteral("ExitSB"));
    for (QPushButton* b : {searchSB_, cancelSB_, exitSB_}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    layout->addLayout(buttons);

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("StatusBar1"));
    status_->setTextFormat(Qt::PlainText);
    status_->setWordWrap(true);
    layout->addWidget(status_);

    connect(searchSB_, &QPushButton::clicked, this, &TSearchfrm::SearchSBClick);
    connect(cancelSB_, &QPushButton::clicked, this, &TSearchfrm::CancelSBClick);
    connect(exitSB_, &QPushButton::clicked, this, &TSearchfrm::ExitSBClick);
    connect(Edit1, &QLineEdit::returnPressed, this, &TSearchfrm::SearchSBClick);
    connect(ListBox1, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { chooseResult(ListBox1->row(item)); });

    forwarder_ = std::make_shared<Forwarder>(this);
    Panel1->setText(QStringLiteral("Current Folder= ") + fromWire(start_));
    idleLook(false);
    Edit1->setFocus();
}

TSearchfrm::~TSearchfrm() {
    forwarder_->detach();
    if (searching_ && cancel_) cancel_();
}

QString TSearchfrm::panelText() const { return Panel1->text(); }
QString TSearchfrm::statusText() const { return status_->text(); }

void TSearchfrm::idleLook(bool searching) {
    searching_ = searching;
    cancelSB_->setEnabled(searching);
    searchSB_->setEnabled(!searching);
    exitSB_->setEnabled(!searching);
    if (searching) ListBox1->setCursor(Qt::BusyCursor);
    else ListBox1->unsetCursor();
}

void TSearchfrm::SearchSBClick() {
    if (searching_) return;
    if (Edit1->text().isEmpty()) {
        uiPrompter().message("Please write something to search...");
        Edit1->setFocus();
        return;
    }
    ListBox1->clear();
    cancelled_ = false;
    // A fresh forwarder per walk: reports of an abandoned walk stay out.
    forwarder_->detach();
    forwarder_ = std::make_shared<Forwarder>(this);
    QPointer<TSearchfrm> self(this);
    Request r{toWire(Edit1->text()), forwarder_, [self](const SearchSummary& s) {
                  if (self) self->ended(s);
              }};
    idleLook(true);
    status_->setText(QStringLiteral("This could take a while...  please wait."));
    if (!starter_ || !starter_(std::move(r))) {
        idleLook(false);
        status_->setText(QStringLiteral("The window is busy; search again when it is idle."));
        beeps({});
    }
}

void TSearchfrm::CancelSBClick() {
    if (!searching_) return;
    cancelled_ = true;
    if (cancel_) cancel_();
    status_->setText(QStringLiteral("Cancelled..."));
}

void TSearchfrm::ExitSBClick() {
    if (searching_) return;
    chosenFolder_.clear();
    chosenName_.clear();
    reject();
}

void TSearchfrm::reject() {
    // Closing while a walk runs cancels it; its late reports are dropped.
    if (searching_) CancelSBClick();
    QDialog::reject();
}

void TSearchfrm::closeEvent(QCloseEvent* event) {
    if (searching_) CancelSBClick();
    QDialog::closeEvent(event);
}

void TSearchfrm::showSearching(const std::string& folder) {
    if (searching_) Panel1->setText(QStringLiteral("Searching in folder: ") + fromWire(folder));
}

void TSearchfrm::addResult(const std::string& folder, const std::string& name) {
    auto* item = new QListWidgetItem(fromWire(folder + name), ListBox1);
    item->setData(kFolderRole, QByteArray::fromStdString(folder));
    item->setData(kNameRole, QByteArray::fromStdString(name));
}

void TSearchfrm::ended(const SearchSummary& s) {
    idleLook(false);
    Panel1->setText(QStringLiteral("Current Folder= ") + fromWire(start_));
    QString note;
    // The user's Cancel is what happened, whatever the unwinding ran into.
    switch (cancelled_ ? Outcome::Aborted : s.outcome) {
    case Outcome::Aborted: note = QStringLiteral("Cancelled..."); break;
    case Outcome::TimedOut: note = QStringLiteral("The server did not answer in time; the search stopped."); break;
    case Outcome::PeerClosed: note = QStringLiteral("The connection to the server was lost; the search stopped."); break;
    case Outcome::Failed: note = QStringLiteral("The folder could not be read."); break;
    case Outcome::Done: break;
    }
    if (s.outcome == Outcome::Done || cancelled_) {
        QStringList more;
        if (s.unreadable) more << QStringLiteral("%1 folder(s) could not be read.").arg(s.unreadable);
        if (s.tooDeep)
            more << QStringLiteral("Folders more than %1 levels deep were not searched.").arg(FileSearch::kMaxDepth);
        if (!more.isEmpty()) note = (note.isEmpty() ? QString() : note + QLatin1Char(' ')) + more.join(QLatin1Char(' '));
    }
    status_->setText(note);
    if (remote_) beeps({});
    emit searchEnded();
}

void TSearchfrm::chooseResult(int row) {
    QListWidgetItem* item = ListBox1->item(row);
    if (!item || searching_) return;
    chosenFolder_ = item->data(kFolderRole).toByteArray().toStdString();
    chosenName_ = item->data(kNameRole).toByteArray().toStdString();
    accept();
}

} // namespace vn
