#include "multiupload/ui/Tmultipleuploadfrm.h"

#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <sys/stat.h>

#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/Gauges.h"
#include "common/ui/InfoBox.h"
#include "common/ui/UiPrompter.h"
#include "common/ui/UiSink.h"
#include "common/ui/WireText.h"
#include "ftp/engine/FtpSettings.h"
#include "sites/SiteSecurity.h"

namespace vn {

// One worker's sink: its lines get the worker's prefix; its progress and
// finished mark reach the row through the worker's id, so a row deleted
// meanwhile is simply not found.
class UploadWindowSink : public UiSink<UploadSink> {
public:
    explicit UploadWindowSink(Tmultipleuploadfrm* w) : UiSink<UploadSink>(w) {}
    // UI thread, before the worker's run starts (the run's start orders it).
    void setWorker(std::uint64_t id, const std::string& prefix) {
        id_ = id;
        prefix_ = prefix;
    }
    void log(const std::string& line) override { UiSink<UploadSink>::log(prefix_ + line); }
    std::uint64_t addReplaceableLine(const std::string& line) override {
        return UiSink<UploadSink>::addReplaceableLine(prefix_ + line);
    }
    void replaceLine(std::uint64_t h, const std::string& line) override {
        UiSink<UploadSink>::replaceLine(h, prefix_ + line);
    }
    void plainLine(const std::string& line) override { UiSink<UploadSink>::log(line); }
    void sent(std::uint64_t bytes) override {
        forwarder().post([id = id_, bytes](ToolWindow& w) {
            static_cast<Tmultipleuploadfrm&>(w).workerSent(id, bytes);
        });
    }
    void finished() override {
        forwarder().post([id = id_](ToolWindow& w) { static_cast<Tmultipleuploadfrm&>(w).workerFinished(id); });
    }

private:
    std::uint64_t id_ = 0;
    std::string prefix_;
};

namespace {

// What one runner's worker is made of; destroyed in reverse order, after the
// runner has been joined (the window keeps it with own()).
struct WorkerParts {
    WorkerParts(Tmultipleuploadfrm* w, Prompter& prompter, const FtpServices& services)
        : sink(w), adapter(sink), messages(prompter, adapter), engine(adapter, messages, services),
          worker(engine, sink, prompter) {
        adapter.setCancelFlag(&worker.userCancel());
    }
    UploadWindowSink sink;
    WorkerSinkAdapter adapter;
    WorkerPrompterAdapter messages;
    FtpEngine engine;
    UploadWorker worker;
};

QString yesNo(bool b) { return b ? QStringLiteral("YES") : QStringLiteral("NO"); }

// "/pub/" is kept as "/pub"; only one trailing "/" goes.
std::string withoutTrailingSlash(std::string folder) {
    if (!folder.empty() && folder.back() == '/') folder.pop_back();
    return folder;
}

// The sites with their paths in the Site Manager's tree (their security choice's key).
struct PickableSite {
    TSiteRec rec;
    std::string path;
};

void collectSites(const SiteTree& tree, const std::string& folder, QTreeWidgetItem* parent, QTreeWidget* view,
                  std::vector<PickableSite>& out) {
    for (const SiteNode& n : tree) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(view);
        item->setText(0, fromWire(n.rec.HostName));
        const std::string path = folder.empty() ? n.rec.HostName : folder + "/" + n.rec.HostName;
        if (n.rec.IsFolder) {
            item->setFlags(item->flags() & ~Qt::ItemIsSelectable);
            collectSites(n.children, path, item, view, out);
        } else {
            item->setData(0, Qt::UserRole, int(out.size()));
            out.push_back({n.rec, path});
        }
    }
}

} // namespace

Tmultipleuploadfrm::Tmultipleuploadfrm(QWidget* parent)
    : ToolWindow({"multipleuploadfrm", "Upload Files to Multiple Hosts Simultaneously", "upload.html"}, parent),
      services_(FtpServices::standard()) {
    commands().add({
        {"AddFile1", "&Add File", QKeySequence(Qt::CTRL | Qt::Key_A), [this] { addFilesFromDialog(); }, "Add Files",
         {}, false, true},
        {"DeleteFile1", "&Delete Entry", QKeySequence(Qt::CTRL | Qt::Key_D), [this] { deleteFile(); },
         "Delete File Entry", {}, false, true},
        {"AddHost1", "&Add Host", {}, [this] { addHostFromSites(); }, "Add Host", {}, false, true},
        {"DeleteHost1", "Delete &Entry", QKeySequence(Qt::CTRL | Qt::Key_E), [this] { deleteHost(); },
         "Delete Host", {}, false, true},
        {"ChangeFolder1", "&Change Destination Folder", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_C),
         [this] { changeFolder(); }, {}, {}, false, true},
        {"CancelTHISUpload1", "Cancel &THIS Upload", QKeySequence(Qt::CTRL | Qt::Key_T),
         [this] { cancelThisUpload(); }, {}, {}, false, true},
        {"Upload1", "&Upload", {}, [this] { startUpload(); }, "Upload", [this] { return !rows_.empty(); }},
        {"Exit1", "&Cancel/Exit", {}, [this] { closeWindow(); }, "Exit", {}, false, true},
    });
    commands().fill(menuBar()->addMenu(QStringLiteral("&Files")), {"AddFile1", "DeleteFile1"});
    commands().fill(menuBar()->addMenu(QStringLiteral("&Hosts")),
                    {"AddHost1", "DeleteHost1", "ChangeFolder1", "", "CancelTHISUpload1"});
    commands().button(toolBar(), "Upload_SB", "Upload1", QStringLiteral("&Upload"));
    commands().button(toolBar(), "Exit_SB", "Exit1", QStringLiteral("&Cancel/Exit"));

    auto* panes = new QWidget;
    auto* v = new QVBoxLayout(panes);
    v->setContentsMargins(4, 4, 4, 4);
    auto* heading = new QLabel(QStringLiteral("Upload to Multiple Hosts"), panes);
    heading->setObjectName(QStringLiteral("HeadingLB"));
    QFont f = heading->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.4);
    heading->setFont(f);
    v->addWidget(heading);

    auto* fileRow = new QHBoxLayout;
    auto* fileCol = new QVBoxLayout;
    fileCol->addWidget(new QLabel(QStringLiteral("Files to upload:"), panes));
    files_ = new QListWidget(panes);
    files_->setObjectName(QStringLiteral("FilesLB"));
    files_->setToolTip(QStringLiteral("Selected files to upload"));
    files_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(files_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu m;
        commands().fill(&m, {"AddFile1", "DeleteFile1"});
        m.exec(files_->viewport()->mapToGlobal(at));
    });
    connect(files_, &QListWidget::itemSelectionChanged, this, &ToolWindow::updateCommands);
    new QShortcut(QKeySequence::Delete, files_, [this] { deleteFile(); }, Qt::WidgetShortcut);
    fileCol->addWidget(files_);
    fileRow->addLayout(fileCol, 1);
    auto* fileButtons = new QVBoxLayout;
    auto addButton = [&](QVBoxLayout* into, const char* name, const QString& caption, const char* command) {
        auto* b = new QPushButton(caption, panes);
        b->setObjectName(QString::fromLatin1(name));
        QAction* a = action(QString::fromLatin1(command));
        b->setToolTip(a->toolTip());
        connect(b, &QPushButton::clicked, a, &QAction::trigger);
        connect(a, &QAction::changed, b, [b, a] { b->setEnabled(a->isEnabled()); });
        into->addWidget(b);
    };
    addButton(fileButtons, "AddFileBT", QStringLiteral("  Add File"), "AddFile1");
    addButton(fileButtons, "DeleteFileBT", QStringLiteral(" Delete File"), "DeleteFile1");
    fileButtons->addStretch(1);
    fileRow->addLayout(fileButtons);
    v->addLayout(fileRow, 1);

    auto* hostRow = new QHBoxLayout;
    hosts_ = new QTreeWidget(panes);
    hosts_->setObjectName(QStringLiteral("HostsLV"));
    hosts_->setRootIsDecorated(false);
    hosts_->setHeaderLabels({QStringLiteral("Host Name"), QStringLiteral("User"), QStringLiteral("Destination Folder"),
                             QStringLiteral("%"), QStringLiteral("Finished"), QStringLiteral("PASV")});
    hosts_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(hosts_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu m;
        commands().fill(&m, {"ChangeFolder1", "DeleteHost1", "", "CancelTHISUpload1"});
        m.exec(hosts_->viewport()->mapToGlobal(at));
    });
    connect(hosts_, &QTreeWidget::itemSelectionChanged, this, &ToolWindow::updateCommands);
    new QShortcut(QKeySequence::Delete, hosts_, [this] { deleteHost(); }, Qt::WidgetShortcut);
    hostRow->addWidget(hosts_, 1);
    auto* hostButtons = new QVBoxLayout;
    addButton(hostButtons, "AddHostBT", QStringLiteral("&Add Host"), "AddHost1");
    addButton(hostButtons, "DeleteHostBT", QStringLiteral("&Delete Host"), "DeleteHost1");
    hostButtons->addStretch(1);
    addButton(hostButtons, "UploadBT", QStringLiteral("&Upload"), "Upload1");
    addButton(hostButtons, "ExitBT", QStringLiteral("&Cancel/Exit"), "Exit1");
    hostRow->addLayout(hostButtons);
    v->addLayout(hostRow, 1);

    gauges()->total()->setToolTip(QStringLiteral("Total Threads Finished"));
    gauges()->file()->setToolTip(QStringLiteral("Total Bytes uploaded"));
    applyColors({QColor(255, 255, 225), Qt::black, {}, {}}); // the light yellow log
    v->addWidget(info(), 1);
    setCentralWidget(panes);
    finishSetup();
}

Tmultipleuploadfrm::~Tmultipleuploadfrm() {
    // The workers go before the parts they use.
    for (OperationRunner* r : runners()) r->stop();
}

Tmultipleuploadfrm::Slot& Tmultipleuploadfrm::slot(std::size_t i) {
    while (slots_.size() <= i) {
        OperationRunner& r = slots_.empty() ? runner() : addRunner();
        auto& parts = own(std::make_unique<WorkerParts>(this, r.prompter(), services_));
        r.useWait(parts.engine.wait());
        slots_.push_back({&r, &parts.sink, &parts.engine, &parts.worker});
    }
    return slots_[i];
}

// ---- files

void Tmultipleuploadfrm::setFiles(std::vector<std::string> paths) {
    clearAll();
    QStringList list;
    for (const std::string& p : paths) list << fromWire(p);
    addFiles(list);
    keepOnShow_ = isHidden(); // the show that follows keeps them
}

void Tmultipleuploadfrm::clearAll() {
    hosts_->clear();
    rows_.clear();
    files_->clear();
    info()->clearLines();
    gauges()->hideAll();
    updateCommands();
}

void Tmultipleuploadfrm::addFiles(const QStringList& paths) {
    files_->addItems(paths); // duplicates are allowed
    updateCommands();
}

void Tmultipleuploadfrm::addFilesFromDialog() {
    QFileDialog dialog(this, QStringLiteral("Add Files"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    if (uiPrompter().exec(dialog) == QDialog::Accepted) addFiles(dialog.selectedFiles());
}

void Tmultipleuploadfrm::deleteFile() {
    if (QListWidgetItem* item = files_->currentItem()) delete item;
    updateCommands();
}

QStringList Tmultipleuploadfrm::files() const {
    QStringList out;
    for (int i = 0; i < files_->count(); ++i) out << files_->item(i)->text();
    return out;
}

// ---- hosts

void Tmultipleuploadfrm::addHostFromSites() {
    SiteReadResult read = loadSites(dataFile("siteman.dat"), SiteLayout::Ftp);
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Add Host"));
    auto* v = new QVBoxLayout(&dialog);
    auto* view = new QTreeWidget(&dialog);
    view->setObjectName(QStringLiteral("SitesTV"));
    view->setHeaderHidden(true);
    std::vector<PickableSite> sites;
    collectSites(read.tree, {}, nullptr, view, sites);
    view->expandAll();
    v->addWidget(view);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    connect(view, &QTreeWidget::itemDoubleClicked, &dialog, [&dialog](QTreeWidgetItem* item) {
        if (item->data(0, Qt::UserRole).isValid()) dialog.accept();
    });
    v->addWidget(box);
    if (uiPrompter().exec(dialog) != QDialog::Accepted) return;
    QTreeWidgetItem* item = view->currentItem();
    if (!item || !item->data(0, Qt::UserRole).isValid()) return;
    const PickableSite& picked = sites[std::size_t(item->data(0, Qt::UserRole).toInt())];
    addHost(picked.rec, SiteSecurityStore().get(picked.path));
}

bool Tmultipleuploadfrm::addHost(const TSiteRec& site, FtpSecurity security) {
    if (site.IsFolder) return false;
    Row row;
    row.rec.name = site.HostName;
    row.rec.address = site.Address;
    row.rec.user = site.Login;
    row.rec.password = site.Password;
    row.rec.folder = site.RemoteDir;
    row.rec.passive = site.Passive;
    row.rec.port = site.Port > 0 && site.Port < 65536 ? site.Port : defaultPortFor(security);
    row.rec.security = security;
    addRowItem(row);
    rows_.push_back(std::move(row));
    updateCommands();
    return true;
}

void Tmultipleuploadfrm::addRowItem(const Row& row) {
    auto* item = new QTreeWidgetItem(hosts_);
    item->setText(HostCol, fromWire(row.rec.name + " - [" + row.rec.address + "]"));
    item->setText(UserCol, fromWire(row.rec.user));
    item->setText(FolderCol, fromWire(row.rec.folder));
    item->setText(PercentCol, QStringLiteral("0"));
    item->setText(FinishedCol, yesNo(false));
    item->setText(PasvCol, yesNo(row.rec.passive));
}

int Tmultipleuploadfrm::selectedRow() const {
    QTreeWidgetItem* item = hosts_->currentItem();
    if (!item || !item->isSelected()) return -1;
    return hosts_->indexOfTopLevelItem(item);
}

int Tmultipleuploadfrm::rowOf(std::uint64_t worker) const {
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].worker == worker) return int(i);
    return -1;
}

const HostRecord& Tmultipleuploadfrm::host(int row) const { return rows_.at(std::size_t(row)).rec; }

bool Tmultipleuploadfrm::rowRunning(int row) const { return rows_.at(std::size_t(row)).running; }

void Tmultipleuploadfrm::deleteHost() {
    const int i = selectedRow();
    if (i < 0) return;
    // Its worker (if any) goes on with its own copy; its reports then find no row.
    delete hosts_->takeTopLevelItem(i);
    rows_.erase(rows_.begin() + i);
    updateCommands();
}

void Tmultipleuploadfrm::changeFolder() {
    const int i = selectedRow();
    if (i < 0) return;
    Row& row = rows_[std::size_t(i)];
    std::optional<std::string> answer =
        uiPrompter().input("Change Folder", "&New Folder:", row.rec.folder);
    if (!answer || answer->empty()) return;
    // A running worker keeps the folder it was started with.
    row.rec.folder = withoutTrailingSlash(*answer);
    hosts_->topLevelItem(i)->setText(FolderCol, fromWire(row.rec.folder));
}

// ---- the job

bool Tmultipleuploadfrm::startUpload() {
    // One job at a time: the job's file list never changes under its workers.
    if (workersRunning_ > 0 || rows_.empty()) return false;
    if (files_->count() == 0) {
        uiPrompter().message("Sorry, There are not files selected to upload");
        return false;
    }
    auto list = std::make_shared<std::vector<std::string>>();
    std::uint64_t total = 0;
    for (const QString& f : files()) {
        const std::string path = toWire(f);
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            uiPrompter().message("Cannot open file \"" + path + "\".");
            return false;
        }
        total += std::uint64_t(st.st_size);
        list->push_back(path);
    }
    job_ = UploadJob{std::move(list), total};
    const IniFile ini(configFile());
    const FtpSettings settings = FtpSettings::load(ini);
    sentBy_.clear();
    gauges()->setFile(0, std::uint64_t(rows_.size()) * total);
    gauges()->setTotal(0, rows_.size());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        Row& row = rows_[i];
        QTreeWidgetItem* item = hosts_->topLevelItem(int(i));
        item->setText(PercentCol, QStringLiteral("0"));
        item->setText(FinishedCol, yesNo(false));
        log(QStringLiteral("Creating Thread %1 ...").arg(i + 1));
        row.rec.number = int(i + 1);
        row.worker = nextWorker_++;
        row.running = true;
        Slot& s = slot(i);
        s.engine->applySettings(settings);
        s.worker->rearm();
        s.sink->setWorker(row.worker, "Thread " + std::to_string(i + 1) + " [" + row.rec.name + "] - ");
        ++workersRunning_;
        s.runner->run([w = s.worker, rec = row.rec, job = job_] { return w->run(rec, job); },
                      [this, id = row.worker](bool) { workerEnded(id); });
    }
    updateCommands();
    return true;
}

void Tmultipleuploadfrm::cancelThisUpload() {
    const int i = selectedRow();
    if (i < 0 || !rows_[std::size_t(i)].running) return;
    // Only this row's worker: its slot is the one its number names.
    const std::size_t s = std::size_t(rows_[std::size_t(i)].rec.number - 1);
    if (s < slots_.size()) {
        slots_[s].worker->cancel();
        slots_[s].runner->abort();
    }
}

void Tmultipleuploadfrm::workerSent(std::uint64_t worker, std::uint64_t bytes) {
    sentBy_[worker] = bytes;
    std::uint64_t all = 0;
    for (const auto& [id, n] : sentBy_) all += n;
    gauges()->setFile(all, gauges()->fileMax());
    const int i = rowOf(worker);
    if (i >= 0)
        hosts_->topLevelItem(i)->setText(PercentCol, QString::number(percentOf(bytes, job_.totalBytes, false)));
}

void Tmultipleuploadfrm::workerFinished(std::uint64_t worker) {
    const int i = rowOf(worker);
    if (i < 0) return;
    QTreeWidgetItem* item = hosts_->topLevelItem(i);
    item->setText(FinishedCol, yesNo(true));
    // An empty job has nothing to count: done is all of it.
    if (job_.totalBytes == 0) item->setText(PercentCol, QStringLiteral("100"));
}

void Tmultipleuploadfrm::workerEnded(std::uint64_t worker) {
    const int i = rowOf(worker);
    if (i >= 0) rows_[std::size_t(i)].running = false;
    beep();
    gauges()->stepTotal();
    if (workersRunning_ > 0 && --workersRunning_ == 0) {
        emit jobEnded();
        if (hideWhenIdle_) {
            hideWhenIdle_ = false;
            hide();
        }
    }
    updateCommands();
}

void Tmultipleuploadfrm::commandsUpdated(bool busy) {
    const int i = selectedRow();
    action(QStringLiteral("Upload1"))->setEnabled(!busy && workersRunning_ == 0 && !rows_.empty());
    action(QStringLiteral("DeleteFile1"))->setEnabled(files_->count() > 0);
    action(QStringLiteral("ChangeFolder1"))->setEnabled(i >= 0);
    action(QStringLiteral("DeleteHost1"))->setEnabled(i >= 0);
    action(QStringLiteral("CancelTHISUpload1"))->setEnabled(i >= 0 && rows_[std::size_t(i)].running);
}

// ---- opening and closing

void Tmultipleuploadfrm::showEvent(QShowEvent* event) {
    // Opened by the main window: a fresh window; by the FTP window: its files stay.
    if (!keepOnShow_ && !event->spontaneous()) clearAll();
    keepOnShow_ = false;
    ToolWindow::showEvent(event);
}

void Tmultipleuploadfrm::closeEvent(QCloseEvent* event) {
    // Every running worker is cancelled (its question too); the window hides
    // once they have unwound and keeps its rows, files and log.
    if (workersRunning_ > 0) {
        hideWhenIdle_ = true;
        for (Slot& s : slots_)
            if (s.runner->busy()) s.worker->cancel();
        abort();
        event->ignore();
        return;
    }
    gauges()->hideAll();
    event->accept();
}

} // namespace vn
