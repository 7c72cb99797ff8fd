#pragma once
// What the Ping and Traceroute windows share: the echo client and its worker
// loop, the result list, the TTL and time-out boxes, the start commands (site
// manager, quick prompt, the shared "ping" history), Stop, the Edit commands,
// Print, Set TTL and the grid. A subclass declares its own texts and columns,
// keeps its session model and paints what it reports.
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/ui/ToolWindow.h"
#include "icmp/IcmpClient.h"
#include "icmp/PingSession.h"
#include "icmp/PingSettings.h"
#include "icmp/ui/EchoLoop.h"

class QMenu;
class QSpinBox;
class QTableWidget;
class QVBoxLayout;

namespace vn {
class SinkForwarder;
}

namespace vn::icmp {

// The section of "varnelo.ini" Ping and Traceroute share for their history.
inline constexpr const char* kHistorySection = "ping";

class EchoWindow : public ToolWindow {
    Q_OBJECT
public:
    enum class Start { Quick, SiteManager, History };

    struct Texts {
        QString menu;             // "&Ping"
        QString siteEntry, siteHint;
        QString quickEntry, quickHint;
        QString stopEntry, stopHint;
        QString historyEntry;     // "&Last Hosts pinged"
        std::string quickCaption, quickPrompt;  // the Quick input box
        QStringList columns;
        QList<int> widths;
        bool multiSelect = true;
    };

    ~EchoWindow() override;

    QTableWidget* list() const { return list_; }
    QSpinBox* ttlBox() const { return ttlBox_; }
    QSpinBox* timeoutBox() const { return timeoutBox_; }
    QMenu* sessionMenu() const { return sessionMenu_; }
    QMenu* editMenu() const { return editMenu_; }
    QMenu* miscMenu() const { return miscMenu_; }
    // Only before a session starts (tests choose the back-end).
    IcmpClient& client() { return *client_; }
    const PingSettings& settings() const { return settings_; }

    // The commands, as the menus and buttons call them.
    void startFromSiteManager();
    void quickStart();
    void historyChosen(const QString& host);
    void stopSession();
    void copySelection();
    void selectAllRows();
    void clearRows();
    void printRows();
    void setTtlPrompt();
    // The selected rows, in list order.
    std::vector<std::size_t> selectedRows() const;

protected:
    EchoWindow(Identity id, Texts texts, QWidget* parent);

    // The subclass's session: start it (true when it runs), paint it.
    virtual bool beginSession(const std::string& host, Start from) = 0;
    // The record of the running session's exchange (UI thread). Return the
    // TTL of the next probe to go on, nullopt when the session is over.
    virtual std::optional<int> takeResult(const ExchangeResult& ex) = 0;
    // An exchange failed: the model stops and gives the text of the box.
    virtual std::string sessionFailed(const std::string& text) = 0;
    virtual void endSession() = 0;  // stop the model and paint the stopped state
    virtual bool sessionRunning() const = 0;
    virtual std::uint64_t sessionGeneration() const = 0;
    virtual void sessionCleared() = 0;
    virtual std::optional<std::string> sessionCopy(const std::vector<std::size_t>& rows) const = 0;
    virtual PrintReport sessionReport() const = 0;
    virtual std::size_t sessionRowCount() const = 0;

    // Runs the exchanges: the first probe after plan.firstDelayMs with plan.firstTtl.
    void runLoop(const std::string& host, const LoopPlan& plan);
    // Reads the "Ping" settings again (creation, options window).
    void readSettings();
    void addHistory(const std::string& host);
    // Sets one row of the list (adds it when row == rowCount).
    void paintRow(int row, const QStringList& cells);
    void repaintRows(const std::vector<QStringList>& rows);

    void commandsUpdated(bool busy) override;
    void busyLook(bool busy) override;
    void aborting(bool closing) override;

    QVBoxLayout* panes() const { return panes_; }
    void addMenusEnd(QMenu* misc);  // the Help menu after the subclass's menus

    PingSettings settings_;

private:
    void resultArrived(std::uint64_t generation, const ExchangeResult& ex);
    void loopEnded(Outcome o);

    Texts texts_;
    IcmpClient* client_ = nullptr;
    ProbeGate* gate_ = nullptr;
    SinkForwarder* forward_ = nullptr;
    QTableWidget* list_ = nullptr;
    QSpinBox* ttlBox_ = nullptr;
    QSpinBox* timeoutBox_ = nullptr;
    QVBoxLayout* panes_ = nullptr;
    QMenu* sessionMenu_ = nullptr;
    QMenu* editMenu_ = nullptr;
    QMenu* miscMenu_ = nullptr;
};

// An echo window over its session model (Ping's or Traceroute's): the model
// answers the base's questions about the session.
template <class Session>
class EchoWindowOver : public EchoWindow {
public:
    const Session& session() const { return session_; }

protected:
    using EchoWindow::EchoWindow;

    std::string sessionFailed(const std::string& text) override { return session_.onError(text); }
    bool sessionRunning() const override { return session_.running(); }
    std::uint64_t sessionGeneration() const override { return session_.generation(); }
    void sessionCleared() override { session_.clear(); }
    std::optional<std::string> sessionCopy(const std::vector<std::size_t>& rows) const override {
        return session_.copyText(rows);
    }
    PrintReport sessionReport() const override { return session_.printReport(); }
    std::size_t sessionRowCount() const override { return session_.rows().size(); }

    Session session_;
};

// The cells a row shows: Number, TTL, Time, Host, Status (Traceroute: then its first name).
QStringList rowCells(const ResultRow& row, bool traceroute);

} // namespace vn::icmp
