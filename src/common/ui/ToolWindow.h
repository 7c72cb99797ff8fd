#pragma once
// The base of every tool window. It owns the worker(s), busy state, Abort,
// the log box with its pop-up, the Thinking indicator, the gauges, the status
// bar, the command table, the history menu, colours, F1 help and closing.
//
// How to declare a tool window:
//
//   class TPingfrm : public vn::ToolWindow {
//   public:
//       explicit TPingfrm(QWidget* parent = nullptr)
//           : ToolWindow({"Pingfrm", "Ping", "ping.html"}, parent) {
//           // 1. The engine and its sink: owned by the base, so they outlive
//           //    the worker (it is joined before they go).
//           engine_ = &own(std::make_unique<PingEngine>(own(std::make_unique<vn::UiSink<>>(this)),
//                                                      runner().prompter()));
//           runner().useWait(engine_->wait());       // only when the engine owns its EventWait
//           // 2. Commands: one table; menus and tool bar refer to them by name.
//           commands().add({
//               {"Start1", "&Start", QKeySequence(Qt::Key_F5), [this] { start(); }, "Start",
//                [this] { return !host_.isEmpty(); }},
//               {"Abort1", "&Abort", QKeySequence(Qt::Key_F9), [this] { abort(); }, "Abort", {},
//                false, /*whileBusy*/ true},
//           });
//           commands().fill(menuBar()->addMenu("&Ping"), {"Start1", "", "Abort1"});
//           commands().button(toolBar(), "StartSB", "Start1", "Start");
//           // 3. The panes: any layout, with info() (the log box) where it belongs.
//           setCentralWidget(myPanes);                // info() placed inside myPanes
//           finishSetup();                             // tool bar's Thinking, first enabling
//       }
//   private:
//       void start() {
//           run([e = engine_, host = toWire(host_)] { return e->ping(host); },   // worker
//               [this](vn::Outcome o) { if (o == vn::Outcome::Failed) setStatus("..."); });  // UI thread
//       }
//       PingEngine* engine_ = nullptr;
//   };
//
// The work given to run() touches only the engine and captured values; the
// result comes back to `done` on the UI thread. The engine reports log lines,
// replaceable lines, status and progress through its UiSink, and asks through
// runner().prompter(), which Abort and closing answer with "cancel". Abort:
// abort() (also the window closing) cancels the operation's token, wakes its
// wait and its question; override aborting() to add to it. Enabling: each
// command's rule in the table, plus commandsUpdated() for anything else.
// History: setHistoryMenu(). Closing: override aboutToClose() for a last round
// (QUIT), windowClosing() for saving; the main window follows closeState().
#include <QColor>
#include <QString>
#include <QWidget>

#include <functional>
#include <map>
#include <mutex>
#include <memory>
#include <string>
#include <vector>

#include "common/ui/Commands.h"
#include "common/ui/OperationRunner.h"

class QMenu;
class QMenuBar;
class QStatusBar;
class QToolBar;
class QVBoxLayout;

namespace vn {

class Gauges;
class InfoBox;
class ThinkingIndicator;

class ToolWindow : public QWidget {
    Q_OBJECT
public:
    struct Identity {
        QString objectName; // "FTPfrm"
        QString caption;    // window title and the log mirror's caption
        QString helpPage;   // page of the user guide F1 opens ("ftp.html"); empty: none
    };
    // Open: normal. Aborting: a close is waiting for the running operation to
    // unwind. Quitting: the last round (a QUIT) runs, then the window closes.
    // Closed: the close was accepted.
    enum class CloseState { Open, Aborting, Quitting, Closed };
    enum class CloseAnswer { CloseNow, Refuse, LastRound };
    struct Colors {
        QColor infoBack, infoText, fileGauge, totalGauge;
    };

    explicit ToolWindow(Identity id, QWidget* parent = nullptr);
    ~ToolWindow() override; // stops every runner, then destroys what own() keeps

    // ---- operations
    // The window's first runner; addRunner() gives more (each its own worker).
    OperationRunner& runner() { return *runners_.front(); }
    OperationRunner& addRunner();
    const std::vector<OperationRunner*>& runners() const { return runnerList_; }
    // run(work, done) on the first runner.
    template <class Work, class Done>
    bool run(Work work, Done done) {
        return runner().run(std::move(work), std::move(done));
    }
    template <class Work>
    bool run(Work work) {
        return runner().run(std::move(work));
    }
    // True while any runner runs an operation.
    bool busy() const;
    // Keeps an object (engine, sink) alive until every worker has ended.
    template <class T>
    T& own(std::unique_ptr<T> object) {
        T& ref = *object;
        owned_.push_back(std::shared_ptr<void>(std::move(object)));
        return ref;
    }

    // ---- parts
    InfoBox* info() const { return info_; }
    ThinkingIndicator* thinking() const { return thinking_; }
    Gauges* gauges() const { return gauges_; }
    QStatusBar* statusBar() const { return status_; }
    QMenuBar* menuBar() const { return menuBar_; }
    QToolBar* toolBar() const { return toolBar_; }
    QMenu* infoPopup() const { return infoPopup_; }
    CommandTable& commands() { return commands_; }
    const CommandTable& commands() const { return commands_; }
    QAction* action(const QString& name) const { return commands_.action(name); }
    QToolButton* button(const QString& name) const { return commands_.toolButton(name); }
    CloseState closeState() const { return closeState_; }
    const Identity& identity() const { return id_; }

    // ---- reports (UI thread)
    void log(const QString& line);
    void setStatus(const QString& text);
    QString statusText() const;
    void applyColors(const Colors& c);
    void setMaxInfoBox(int lines);
    void setActionSound(const std::string& soundFile);
    std::string actionSound() const; // any thread
    void beep() const;

    // A submenu listing a history section (newest first). read gives the
    // entries when the menu opens; chosen gets the picked one. Off while busy.
    void setHistoryMenu(QMenu* menu, std::function<std::vector<std::string>()> read,
                        std::function<void(const QString&)> chosen);
    QMenu* historyMenu() const { return historyMenu_; }

    // For the sink forwarder: replaceable lines by the engine's handle.
    void addReplaceableLine(std::uint64_t handle, const QString& line);
    void replaceLine(std::uint64_t handle, const QString& line);

public slots:
    // Cancels what every runner is doing (the wait, the question) at once.
    void abort();
    // Recomputes every command's enabling (selection, focus, busy changed).
    void updateCommands();
    // Opens this window's page of the user guide; beeps when it is missing.
    void showHelp();
    void saveLog();
    // Closes the window (or its MDI frame).
    void closeWindow();

signals:
    void busyChanged(bool busy);
    // Every operation ended and the window is idle.
    void operationFinished();
    void closeStateChanged(vn::ToolWindow::CloseState state);

protected:
    // The subclass's panes, between the tool bar and the gauges.
    void setCentralWidget(QWidget* w);
    // Call at the end of the subclass's constructor.
    void finishSetup();

    // Hooks.
    virtual void aborting(bool /*closing*/) {}
    // Before the rules are asked: compute what they share.
    virtual void prepareEnabling() {}
    // After: anything the table does not cover (checked states, status).
    virtual void commandsUpdated(bool /*busy*/) {}
    virtual void busyLook(bool /*busy*/) {}
    // Idle, about to close: CloseNow, Refuse (stay open), or LastRound after
    // starting a last operation with run(); the window closes when it ends.
    virtual CloseAnswer aboutToClose() { return CloseAnswer::CloseNow; }
    // The close is accepted: save what the window keeps.
    virtual void windowClosing() {}

    void closeEvent(QCloseEvent* event) override;
    // Activation (of the window or of its frame in the main window) recomputes the enabling.
    bool event(QEvent* event) override;

private:
    void runnerBusy();
    void setCloseState(CloseState s);
    void wire(OperationRunner* r);

    Identity id_;
    std::vector<std::unique_ptr<OperationRunner>> runners_;
    std::vector<OperationRunner*> runnerList_;
    std::vector<std::shared_ptr<void>> owned_;
    CommandTable commands_;
    QVBoxLayout* layout_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    InfoBox* info_ = nullptr;
    QMenu* infoPopup_ = nullptr;
    ThinkingIndicator* thinking_ = nullptr;
    Gauges* gauges_ = nullptr;
    QStatusBar* status_ = nullptr;
    QMenu* historyMenu_ = nullptr;
    std::function<std::vector<std::string>()> historyRead_;
    std::map<std::uint64_t, quint64> lineHandles_;
    mutable std::mutex soundMutex_; // the workers' beeps read it
    std::string sound_;
    CloseState closeState_ = CloseState::Open;
    bool wasBusy_ = false;
};

} // namespace vn
