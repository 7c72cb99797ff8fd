#pragma once
// The query window: one window for Finger, Whois and Daytime, told apart by
// their look (captions, menus, hints, files) and their engine profile. It asks
// for a host (quick dialog, site manager or a visited host), runs the query
// on its worker and shows the reply as it arrives. The Time window
// (TTimefrm) is this window without the output, plus its clocks.
#include <QSize>
#include <QString>

#include <memory>
#include <string>

#include "common/ui/ToolWindow.h"
#include "query/QueryEngine.h"

class QLabel;
class QLineEdit;
class QMenu;

namespace vn {

class History;
class IniFile;
class TQuickFinger;

struct QueryWindowLook {
    QueryKind kind;
    QString objectName;
    QString caption;
    QString helpPage;
    QString menu;                    // the query menu ("&Finger")
    QString siteEntry, siteHint;     // empty: no site manager
    QString quickEntry, quickHint;
    QString syncEntry, syncHint;     // empty: no synchronise command (all but Time)
    QString cancelEntry, cancelHint;
    QString portLabel;
    QString setPortEntry, setPortCaption; // empty: no set-port entry
    QString thinkingEntry;
    bool output = true;              // the output area with Edit and Miscellaneous
    QString printTitle;
    QString saveFile, saveTitle;
    QSize fixedSize;                 // empty: resizable
    int outputPixels = 0;            // 0: the default font
};

const QueryWindowLook& queryWindowLook(QueryKind kind);

// "Disable Thinking Indicator", and the form with Thinking in double quotes.
inline constexpr const char* kThinkingEntry = "Disable Thinking Indicator";
inline constexpr const char* kThinkingEntryQuoted = "Disable \"Thinking\" Indicator";
inline constexpr const char* kPortPrompt = "&Please enter the new Port value:";

class TQueryfrm : public ToolWindow {
    Q_OBJECT
public:
    // Where a query's host comes from; it decides the quick dialog's look.
    enum class Origin { Quick, SiteManager, History, Synchronise };

    explicit TQueryfrm(QueryKind kind, QWidget* parent = nullptr);
    ~TQueryfrm() override;

    const QueryWindowLook& look() const { return look_; }
    const QueryProfile& profile() const { return engine_->profile(); }
    int port() const { return port_; }
    QLineEdit* portBox() const { return portBox_; }
    QMenu* queryMenu() const { return queryMenu_; }
    QMenu* miscMenu() const { return miscMenu_; }
    QMenu* editMenu() const { return editMenu_; }

    // The commands (also reachable through their actions).
    void siteManager();
    void quick();
    void fromHistory(const QString& host);
    void cancelQuery();
    void copy();
    void selectAll();
    void clearOutput();
    void print();
    void saveToFile();
    void setPortCommand();
    void toggleThinking();
    void about();
    void visitWebSite();

    // The port box's rule (a value below 1 becomes the default); stored at once.
    void applyPort(const QString& typed);

protected:
    // For the Time window, which shows no output area.
    QueryEngine& engine() { return *engine_; }
    // Asks through the quick dialog, then runs the query.
    void ask(Origin origin, const QString& host, const QString& query);
    void startQuery(const QString& host, const QString& query, bool synchronise);
    // The quick dialog of this window for that origin, not shown yet.
    virtual std::unique_ptr<TQuickFinger> quickDialog(Origin origin) const;
    // UI thread: the Time value arrived (Time only).
    virtual void showServerTime(const TimeReading& /*reading*/) {}
    virtual void queryEnded(const QueryResult& /*result*/) {}
    // The synchronise command (Time only).
    virtual void synchronise() {}

    // The window's size: fixed for Daytime and Time; again after panes are added.
    void applySize();
    void commandsUpdated(bool busy) override;
    void showEvent(QShowEvent* event) override;
    void busyLook(bool busy) override;

private:
    class Sink;
    void buildCommands();
    void readThinking();
    bool thinkingDisabledSetting() const;

    const QueryWindowLook& look_;
    QueryEngine* engine_ = nullptr;
    Sink* sink_ = nullptr;
    History* history_ = nullptr; // used by the worker
    int port_ = 0;
    QLineEdit* portBox_ = nullptr;
    QLabel* portLabel_ = nullptr;
    QMenu* queryMenu_ = nullptr;
    QMenu* editMenu_ = nullptr;
    QMenu* miscMenu_ = nullptr;
    QMenu* lastHosts_ = nullptr;
};

class TFingerfrm : public TQueryfrm {
    Q_OBJECT
public:
    explicit TFingerfrm(QWidget* parent = nullptr) : TQueryfrm(QueryKind::Finger, parent) {}
};

class TWhoisfrm : public TQueryfrm {
    Q_OBJECT
public:
    explicit TWhoisfrm(QWidget* parent = nullptr) : TQueryfrm(QueryKind::Whois, parent) {}
};

class TDayTimefrm : public TQueryfrm {
    Q_OBJECT
public:
    explicit TDayTimefrm(QWidget* parent = nullptr) : TQueryfrm(QueryKind::DayTime, parent) {}
};

} // namespace vn
