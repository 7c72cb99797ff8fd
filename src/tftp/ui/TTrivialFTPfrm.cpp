#include "tftp/ui/TTrivialFTPfrm.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include <filesystem>

#include "common/DataFolder.h"
#include "common/History.h"
#include "common/Prompter.h"
#include "common/ui/FormWidgets.h"
#include "common/ui/Gauges.h"
#include "common/ui/InfoBox.h"
#include "common/ui/UiPrompter.h"
#include "common/ui/UiSink.h"
#include "common/ui/WireText.h"
#include "shell/ProductInfo.h"
#include "tftp/ui/LocalBrowser.h"
#include "tftp/ui/TftpWidgets.h"

namespace vn::tftp {

namespace {

constexpr int kMinHeight = 290;
const char* const kInputCaption = "VarneloFTP Suite - TFTP Client";

// Progress reaches the window's progress line as well as its gauge.
class ClientSink : public UiSink<> {
public:
    using UiSink<>::UiSink;
    void progress(std::uint64_t done, std::uint64_t total) override {
        forwarder().post([done, total](ToolWindow& w) { static_cast<TTrivialFTPfrm&>(w).showProgress(done, total); });
    }
};

bool isFile(const FileItem& item) {
    return item.kind == ItemKind::LocalFile || item.kind == ItemKind::LocalHiddenFile;
}

// The local name of a download: a plain name in the current folder, whatever
// folders the remote name carries.
std::string plainName(const std::string& name) {
    const auto slash = name.find_last_of('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

} // namespace

TTrivialFTPfrm::TTrivialFTPfrm(QWidget* parent)
    : ToolWindow({"TrivialFTPfrm", "Varnelo FTP Suite - TFTP Client", "tftp.html"}, parent), ini_(iniPath()) {
    settings_ = readClientSettings(ini_);
    auto& sink = own(std::make_unique<ClientSink>(this));
    // The runner's own wait: it starts a fresh operation for every transfer
    // and Abort wakes it.
    client_ = &own(std::make_unique<TftpClient>(runner().wait(), sink));
    client_->setSettings(settings_);

    commands().add({
        {"PutFile1", "&Put File", QKeySequence(Qt::CTRL | Qt::Key_P), [this] { PutFileSBClick(); }, "Put Local File",
         [this] { return canPut(); }},
        {"PutAs1", "Put File &as...", QKeySequence(Qt::CTRL | Qt::Key_A), [this] { PutAsSBClick(); },
         "Put the selected file under another name", [this] { return canPut(); }},
        {"GetFile1", "&Get File", QKeySequence(Qt::CTRL | Qt::Key_G), [this] { GetFileSBClick(); },
         "Get Remote File", [this] { return canGet(); }},
        // On only while a transfer runs.
        {"Abort1", "A&bort", QKeySequence(Qt::Key_F9), [this] { abort(); }, "Abort the transfer", [this] { return busy(); },
         false, true},
        {"Close1", "&Close", {}, [this] { closeWindow(); }, "Close this window"},
        {"About1", "&About...", {}, [] { uiPrompter().message(std::string(kAppTitle)); }},
        {"Visit1", "&Visit Varnelo FTP Suite Web Site", QKeySequence(Qt::CTRL | Qt::Key_W),
         [] { QDesktopServices::openUrl(QUrl(QString::fromLatin1(product::kWebSite))); }},
    });
    QMenu* tftpMenu = menuBar()->addMenu(QStringLiteral("&TFTP"));
    commands().fill(tftpMenu, {"PutFile1", "PutAs1", "GetFile1", ""});
    // The hosts of the last transfers that went through; choosing one fills the host field.
    setHistoryMenu(
        tftpMenu->addMenu(QStringLiteral("&Last Hosts Visited")),
        [] {
            IniFile ini(configFile());
            return History(ini, kHistorySection).entries();
        },
        [this](const QString& host) { host_->setText(host); });
    commands().fill(tftpMenu, {"", "Abort1", "", "Close1"});
    commands().fill(menuBar()->addMenu(QStringLiteral("&Help")), {"Contents1", "About1", "Visit1"});
    commands().button(toolBar(), "PutFileSB", "PutFile1", QStringLiteral("Put File"));
    commands().button(toolBar(), "GetFileSB", "GetFile1", QStringLiteral("Get File"));
    commands().button(toolBar(), "AbortSB", "Abort1", QStringLiteral("Abort"));

    auto* split = new QSplitter(Qt::Horizontal);
    pages_ = new QTabWidget(split);
    pages_->setObjectName(QStringLiteral("PageControl"));
    pages_->addTab(buildLocalPage(), QStringLiteral("Local Client"));
    pages_->addTab(buildOptionsPage(), QStringLiteral("&Options"));
    split->addWidget(pages_);
    split->addWidget(buildRemotePage());
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);

    auto* panes = new QWidget;
    auto* v = new QVBoxLayout(panes);
    v->setContentsMargins(0, 0, 0, 0);
    v->addWidget(split, 3);
    v->addWidget(info(), 1);
    setCentralWidget(panes);
    setMinimumHeight(kMinHeight);
    resize(760, 480);

    connect(browser_, &LocalBrowser::changed, this, &ToolWindow::updateCommands);
    finishSetup();
}

TTrivialFTPfrm::~TTrivialFTPfrm() = default;

QWidget* TTrivialFTPfrm::buildLocalPage() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    browser_ = new LocalBrowser(page);
    v->addWidget(browser_, 1);
    auto* row = new QHBoxLayout;
    putButton_ = namedButton(QStringLiteral("Put File"), "PutFileBT", page, false);
    putAsButton_ = namedButton(QStringLiteral("Put File as ..."), "PutAsBT", page, false);
    connect(putButton_, &QPushButton::clicked, this, [this] { action("PutFile1")->trigger(); });
    connect(putAsButton_, &QPushButton::clicked, this, [this] { action("PutAs1")->trigger(); });
    row->addWidget(putButton_);
    row->addWidget(putAsButton_);
    row->addStretch(1);
    v->addLayout(row);
    return page;
}

QSpinBox* TTrivialFTPfrm::optionBox(const char* name, int value, int max) {
    auto* box = new QSpinBox;
    box->setObjectName(QString::fromLatin1(name));
    // 0 can be typed; it is neither stored nor used.
    box->setRange(0, max);
    box->setValue(value);
    return box;
}

QWidget* TTrivialFTPfrm::buildOptionsPage() {
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    port_ = optionBox("PortSE", settings_.port, 65535);
    buffer_ = optionBox("BufferSizeSE", settings_.bufferSize, 1 << 24);
    timeout_ = optionBox("TimeOutSE", settings_.timeoutMs, 3600000);
    block_ = optionBox("RequestedBlockSE", settings_.requestedBlock, 65464);
    fileType_ = new QComboBox;
    fileType_->setObjectName(QStringLiteral("FileTypeCB"));
    fileType_->addItems({QStringLiteral("Octet"), QStringLiteral("ASCII")});
    fileType_->setCurrentIndex(static_cast<int>(settings_.mode));
    const struct {
        const char* caption;
        QWidget* box;
    } rows[] = {{"&UDP TFTP Port :", port_},     {"&Buffer Size : ", buffer_},    {"&Receive Timeout :", timeout_},
                {"Requested B&lock :", block_}, {"File Type :", fileType_}};
    for (const auto& r : rows) {
        auto* label = new QLabel(QString::fromLatin1(r.caption), page);
        label->setBuddy(r.box);
        r.box->setAccessibleName(withoutMnemonic(label->text()).remove(QLatin1Char(':')).trimmed());
        form->addRow(label, r.box);
    }
    connect(port_, &QSpinBox::valueChanged, this, [this](int v) { optionChanged(kPortKey, v); });
    connect(buffer_, &QSpinBox::valueChanged, this, [this](int v) { optionChanged(kBufferSizeKey, v); });
    connect(timeout_, &QSpinBox::valueChanged, this, [this](int v) { optionChanged(kTimeOutKey, v); });
    connect(block_, &QSpinBox::valueChanged, this, [this](int v) { optionChanged(kRequestedBlockKey, v); });
    connect(fileType_, &QComboBox::currentIndexChanged, this, [this](int i) { optionChanged(kFileTypeKey, i); });
    return page;
}

QWidget* TTrivialFTPfrm::buildRemotePage() {
    auto* box = new QGroupBox(QStringLiteral("Remote Server"));
    box->setObjectName(QStringLiteral("RemoteGB"));
    auto* v = new QVBoxLayout(box);
    auto* hostEdit = namedLineEdit("HostED", box);
    host_ = hostEdit;
    remoteName_ = new DropLineEdit(box);
    remoteName_->setObjectName(QStringLiteral("RemoteFileED"));
    newLocal_ = namedLineEdit("NewLocalED", box);
    v->addWidget(buddyLabel(QStringLiteral("&Host :"), "HostLB", host_, box));
    v->addWidget(host_);
    v->addWidget(buddyLabel(QStringLiteral("&Remote File Name :"), "RemoteFileLB", remoteName_, box));
    v->addWidget(remoteName_);
    v->addWidget(buddyLabel(QStringLiteral("Ne&w Local Name :"), "NewLocalLB", newLocal_, box));
    v->addWidget(newLocal_);
    getButton_ = namedButton(QStringLiteral("Get File"), "GetFileBT", box, false);
    connect(getButton_, &QPushButton::clicked, this, [this] { action("GetFile1")->trigger(); });
    v->addWidget(getButton_, 0, Qt::AlignLeft);
    progress_ = new QLabel(box);
    progress_->setObjectName(QStringLiteral("ProgressLB"));
    progress_->setAccessibleName(QStringLiteral("Transfer progress"));
    v->addWidget(progress_);
    v->addStretch(1);

    connect(host_, &QLineEdit::textChanged, this, &ToolWindow::updateCommands);
    connect(remoteName_, &QLineEdit::textChanged, this, [this](const QString& t) {
        newLocal_->setText(t);
        updateCommands();
    });
    return box;
}

QLineEdit* TTrivialFTPfrm::hostEdit() const { return host_; }

void TTrivialFTPfrm::optionChanged(std::string_view key, long long value) {
    if (!storeClientSetting(ini_, key, value)) return; // 0 and below: neither stored nor used
    if (key == kPortKey) settings_.port = static_cast<int>(value);
    else if (key == kBufferSizeKey) settings_.bufferSize = static_cast<int>(value);
    else if (key == kTimeOutKey) settings_.timeoutMs = static_cast<int>(value);
    else if (key == kRequestedBlockKey) settings_.requestedBlock = static_cast<int>(value);
    else if (key == kFileTypeKey) settings_.mode = value == 1 ? Mode::NetAscii : Mode::Octet;
    client_->setSettings(settings_);
}

bool TTrivialFTPfrm::canPut() const {
    if (!browser_ || !host_) return false;
    const FileItem* item = browser_->selectedItem();
    return item && isFile(*item) && !host_->text().trimmed().isEmpty();
}

bool TTrivialFTPfrm::canGet() const {
    return host_ && remoteName_ && !host_->text().trimmed().isEmpty() && !remoteName_->text().isEmpty();
}

void TTrivialFTPfrm::commandsUpdated(bool busy) {
    if (!putButton_ || !getButton_) return;
    putButton_->setEnabled(!busy && canPut());
    putAsButton_->setEnabled(!busy && canPut());
    getButton_->setEnabled(!busy && canGet());
}

void TTrivialFTPfrm::GetFileSBClick() {
    if (busy() || !canGet()) return;
    const std::string host = toWire(host_->text().trimmed());
    const std::string remote = toWire(remoteName_->text());
    const std::string local = plainName(toWire(newLocal_->text().isEmpty() ? remoteName_->text() : newLocal_->text()));
    if (local.empty() || local == "." || local == "..") {
        uiPrompter().message("Invalid local file name");
        return;
    }
    const std::filesystem::path path = browser_->folder() + local;
    clock_.start();
    progress_->setText(progressText(0, 0));
    gauges()->hideAll();
    run([c = client_, host, remote, path] { return c->download(host, remote, path); },
        [this, name = fromWire(local), host](const ClientResult& r) {
            if (r.outcome == Outcome::Done) {
                browser_->refresh();
                browser_->selectName(name);
                log(QStringLiteral("Got %1: %2").arg(name, progressText(r.bytes, r.seconds)));
            }
            transferDone(r, true, host);
        });
}

void TTrivialFTPfrm::PutFileSBClick() {
    if (busy() || !canPut()) return;
    const std::string name = browser_->selectedItem()->name;
    upload(name, name);
}

void TTrivialFTPfrm::PutAsSBClick() {
    if (busy() || !canPut()) return;
    const std::string name = browser_->selectedItem()->name;
    auto answer = uiPrompter().input(kInputCaption, "&Enter the new remote file name:", "");
    if (!answer || answer->empty()) return;
    upload(name, *answer);
}

void TTrivialFTPfrm::upload(const std::string& localName, const std::string& remoteName) {
    const std::string host = toWire(host_->text().trimmed());
    const std::filesystem::path path = browser_->folder() + localName;
    clock_.start();
    progress_->setText(progressText(0, 0));
    gauges()->hideAll();
    run([c = client_, host, remoteName, path] { return c->upload(path, host, remoteName); },
        [this, name = fromWire(remoteName), host](const ClientResult& r) {
            if (r.outcome == Outcome::Done) log(QStringLiteral("Put %1: %2").arg(name, progressText(r.bytes, r.seconds)));
            transferDone(r, false, host);
        });
}

void TTrivialFTPfrm::transferDone(const ClientResult& r, bool /*download*/, const std::string& host) {
    last_ = r;
    if (r.outcome == Outcome::Done) {
        IniFile ini(configFile());
        History(ini, kHistorySection).AfegirComAVisitat(host);
    }
    progress_->setText(progressText(r.bytes, r.seconds));
    if (r.outcome == Outcome::Aborted) {
        log(QStringLiteral("Transfer aborted"));
    } else if (r.outcome != Outcome::Done && closeState() == CloseState::Open) {
        log(QStringLiteral("ERROR: ") + fromWire(r.error));
        uiPrompter().message(r.error);
    }
    emit transferEnded();
}

void TTrivialFTPfrm::showProgress(std::uint64_t done, std::uint64_t total) {
    if (total > 0) gauges()->setFile(done, total);
    const double seconds = clock_.isValid() ? static_cast<double>(clock_.elapsed()) / 1000.0 : 0.0;
    progress_->setText(progressText(done, seconds));
}

} // namespace vn::tftp
