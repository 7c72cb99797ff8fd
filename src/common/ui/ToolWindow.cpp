#include "common/ui/ToolWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

#include "common/DataFolder.h"
#include "common/ui/Beeper.h"
#include "common/ui/Gauges.h"
#include "common/ui/HelpService.h"
#include "common/ui/InfoBox.h"
#include "common/ui/ThinkingIndicator.h"
#include "common/ui/UiPrompter.h"
#include "common/ui/UiSink.h"
#include "common/ui/WireText.h"

namespace vn {

ToolWindow::ToolWindow(Identity id, QWidget* parent) : QWidget(parent), id_(std::move(id)), commands_(this) {
    setObjectName(id_.objectName);
    setWindowTitle(id_.caption);
    runners_.push_back(std::make_unique<OperationRunner>(this));
    runnerList_.push_back(runners_.back().get());
    wire(runners_.back().get());

    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    menuBar_ = new QMenuBar(this);
    layout_->setMenuBar(menuBar_);
    toolBar_ = new QToolBar(this);
    toolBar_->setObjectName(QStringLiteral("ControlBar1"));
    layout_->addWidget(toolBar_);
    // Slot 2 of the layout is the subclass's panes.
    gauges_ = new Gauges(this);
    layout_->addWidget(gauges_);
    status_ = new QStatusBar(this);
    status_->setSizeGripEnabled(false);
    layout_->addWidget(status_);

    thinking_ = new ThinkingIndicator(this);
    thinking_->setObjectName(QStringLiteral("ProgressBar"));
    thinking_->setIntervals(100, 300);

    info_ = new InfoBox(this);
    info_->setObjectName(QStringLiteral("Info"));
    info_->setAccessibleName(QStringLiteral("Information"));
    info_->setMirrorCaption(id_.caption);
    info_->setContextMenuPolicy(Qt::CustomContextMenu);

    commands_.add({
        {"Contents1", QStringLiteral("&Contents"), QKeySequence(Qt::Key_F1), [this] { showHelp(); },
         QStringLiteral("Help contents"), {}, false, true},
        {"Clear1", QStringLiteral("&Clear"), {}, [this] { info_->clearLines(); }, {}, {}, false, true},
        {"SaveLog1", QStringLiteral("&Save Log to file"), {}, [this] { saveLog(); }, {}, {}, false, true},
    });
    // Clear's Ctrl+Del belongs to the log box alone: other panes may bind the key too.
    QAction* clear = commands_.at("Clear1");
    clear->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
    clear->setShortcutContext(Qt::WidgetShortcut);
    info_->addAction(clear);
    infoPopup_ = new QMenu(this);
    infoPopup_->setObjectName(QStringLiteral("InfoPopup"));
    commands_.fill(infoPopup_, {"Clear1", "SaveLog1"});
    connect(info_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { infoPopup_->popup(info_->viewport()->mapToGlobal(pos)); });
}

ToolWindow::~ToolWindow() {
    // The workers end before what they use: engines and sinks kept by own().
    for (auto& r : runners_) r->stop();
    while (!owned_.empty()) owned_.pop_back();
}

void ToolWindow::wire(OperationRunner* r) {
    connect(r, &OperationRunner::busyChanged, this, [this] { runnerBusy(); });
    connect(r, &OperationRunner::workEnded, this, [this] { updateCommands(); });
}

OperationRunner& ToolWindow::addRunner() {
    runners_.push_back(std::make_unique<OperationRunner>(this));
    runnerList_.push_back(runners_.back().get());
    wire(runners_.back().get());
    return *runners_.back();
}

bool ToolWindow::busy() const {
    for (const auto& r : runners_)
        if (r->busy()) return true;
    return false;
}

void ToolWindow::setCentralWidget(QWidget* w) { layout_->insertWidget(1, w, 1); }

void ToolWindow::finishSetup() {
    toolBar_->addSeparator();
    toolBar_->addWidget(thinking_);
    updateCommands();
}

void ToolWindow::runnerBusy() {
    const bool b = busy();
    if (b != wasBusy_) {
        wasBusy_ = b;
        thinking_->setBusy(b);
        busyLook(b);
        emit busyChanged(b);
    }
    updateCommands();
    if (b) return;
    emit operationFinished();
    if (closeState_ == CloseState::Aborting || closeState_ == CloseState::Quitting) closeWindow();
}

void ToolWindow::abort() {
    for (auto& r : runners_) r->abort();
    aborting(closeState_ == CloseState::Aborting || closeState_ == CloseState::Quitting);
}

void ToolWindow::updateCommands() {
    const bool b = busy();
    prepareEnabling();
    commands_.update(b);
    if (historyMenu_) historyMenu_->setEnabled(!b && !historyMenu_->actions().isEmpty());
    commandsUpdated(b);
}

void ToolWindow::log(const QString& line) { info_->addLine(line); }

void ToolWindow::setStatus(const QString& text) { status_->showMessage(text); }

QString ToolWindow::statusText() const { return status_->currentMessage(); }

void ToolWindow::addReplaceableLine(std::uint64_t handle, const QString& line) {
    lineHandles_[handle] = info_->addReplaceableLine(line);
}

void ToolWindow::replaceLine(std::uint64_t handle, const QString& line) {
    auto it = lineHandles_.find(handle);
    if (it == lineHandles_.end()) return;
    if (!info_->replaceLine(it->second, line)) lineHandles_.erase(it);
}

void ToolWindow::applyColors(const Colors& c) {
    QPalette pal = info_->palette();
    pal.setColor(QPalette::Base, c.infoBack);
    pal.setColor(QPalette::Text, c.infoText);
    info_->setPalette(pal);
    QPalette fg = gauges_->file()->palette();
    fg.setColor(QPalette::Highlight, c.fileGauge);
    gauges_->file()->setPalette(fg);
    QPalette tg = gauges_->total()->palette();
    tg.setColor(QPalette::Highlight, c.totalGauge);
    gauges_->total()->setPalette(tg);
}

void ToolWindow::setMaxInfoBox(int lines) { info_->setMaxLines(lines); }

void ToolWindow::setActionSound(const std::string& soundFile) {
    std::lock_guard lock(soundMutex_);
    sound_ = soundFile;
}

std::string ToolWindow::actionSound() const {
    std::lock_guard lock(soundMutex_);
    return sound_;
}

void ToolWindow::beep() const { vn::beeps(actionSound()); }

void ToolWindow::setHistoryMenu(QMenu* menu, std::function<std::vector<std::string>()> read,
                                std::function<void(const QString&)> chosen) {
    historyMenu_ = menu;
    historyRead_ = std::move(read);
    auto refill = [this, menu, chosen] {
        menu->clear();
        for (const std::string& entry : historyRead_()) {
            const QString caption = fromWire(entry);
            QString text = caption;
            text.replace(QLatin1Char('&'), QStringLiteral("&&"));
            QAction* a = menu->addAction(text);
            connect(a, &QAction::triggered, this, [chosen, caption] { chosen(caption); });
        }
        menu->setEnabled(!busy() && !menu->actions().isEmpty());
    };
    // Filled when the menu holding it opens, so it shows enabled or not in time.
    if (auto* holder = qobject_cast<QMenu*>(menu->parentWidget())) connect(holder, &QMenu::aboutToShow, this, refill);
    connect(menu, &QMenu::aboutToShow, this, refill);
}

void ToolWindow::showHelp() {
    // A missing guide shows nothing; the window's beep says so.
    if (id_.helpPage.isEmpty() || !openHelpPage(id_.helpPage)) beep();
}

void ToolWindow::saveLog() {
    QFileDialog dialog(this, QStringLiteral("Save Log to file"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.selectFile(QString::fromStdString(dataFile("varnelo.log").string()));
    if (uiPrompter().exec(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    QFile f(dialog.selectedFiles().first());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        uiPrompter().message(toWire(QStringLiteral("I/O error: %1").arg(f.errorString())));
        return;
    }
    for (const QString& l : info_->lines()) f.write(toWire(l + QStringLiteral("\r\n")).c_str());
    if (!f.flush()) uiPrompter().message(toWire(QStringLiteral("I/O error: %1").arg(f.errorString())));
}

void ToolWindow::closeWindow() {
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) sub->close();
    else close();
}

void ToolWindow::setCloseState(CloseState s) {
    if (s == closeState_) return;
    closeState_ = s;
    emit closeStateChanged(s);
}

bool ToolWindow::event(QEvent* event) {
    const QEvent::Type t = event->type();
    if (t == QEvent::WindowActivate || t == QEvent::WindowDeactivate || t == QEvent::ActivationChange)
        updateCommands();
    return QWidget::event(event);
}

void ToolWindow::closeEvent(QCloseEvent* event) {
    if (closeState_ == CloseState::Closed) {
        event->accept();
        return;
    }
    if (busy()) {
        // The running operation is cancelled; the window closes once it has unwound.
        if (closeState_ == CloseState::Open) setCloseState(CloseState::Aborting);
        abort();
        event->ignore();
        return;
    }
    if (closeState_ != CloseState::Quitting) {
        switch (aboutToClose()) {
        case CloseAnswer::Refuse:
            setCloseState(CloseState::Open);
            event->ignore();
            return;
        case CloseAnswer::LastRound:
            if (busy()) {
                setCloseState(CloseState::Quitting);
                event->ignore();
                return;
            }
            break;
        case CloseAnswer::CloseNow:
            break;
        }
    }
    windowClosing();
    setCloseState(CloseState::Closed);
    event->accept();
}

// ---- the sink forwarder

SinkForwarder::SinkForwarder(ToolWindow* window) : window_(window) {}

void SinkForwarder::post(std::function<void(ToolWindow&)> f) {
    ToolWindow* w = window_;
    QMetaObject::invokeMethod(w, [w, f = std::move(f)] { f(*w); }, Qt::QueuedConnection);
}

void SinkForwarder::log(const std::string& line) {
    post([line](ToolWindow& w) { w.log(fromWire(line)); });
}

std::uint64_t SinkForwarder::addReplaceableLine(const std::string& line) {
    const std::uint64_t h = next_++;
    post([h, line](ToolWindow& w) { w.addReplaceableLine(h, fromWire(line)); });
    return h;
}

void SinkForwarder::replaceLine(std::uint64_t handle, const std::string& line) {
    post([handle, line](ToolWindow& w) { w.replaceLine(handle, fromWire(line)); });
}

void SinkForwarder::status(const std::string& text) {
    post([text](ToolWindow& w) { w.setStatus(fromWire(text)); });
}

void SinkForwarder::progress(std::uint64_t done, std::uint64_t total) {
    post([done, total](ToolWindow& w) { w.gauges()->setTotal(done, total); });
}

void SinkForwarder::beep() {
    // Played on the worker: a sound file may take its time.
    vn::beeps(window_->actionSound());
}

} // namespace vn
