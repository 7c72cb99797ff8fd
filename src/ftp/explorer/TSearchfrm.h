#pragma once
// The "Search" window of an explorer: finds files by whole name (letter case
// aside) below the folder the explorer showed when it opened, on the local
// disk or on the server, and lists their full paths in the order found. The
// walk runs on the explorer's worker (the starter given here), so both
// windows stay responsive; Cancel stops it after the current entry. A
// double-click on a result closes the window with that result chosen.
#include <QDialog>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "ftp/engine/FileSearch.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace vn {

class TSearchfrm : public QDialog {
    Q_OBJECT
public:
    struct Request {
        std::string text;
        // Reports on the worker; forwards to this window while it exists.
        std::shared_ptr<SearchSink> sink;
        // UI thread, when the walk has ended.
        std::function<void(const SearchSummary&)> done;
    };
    // Starts the walk for the request; false when it cannot start now.
    using Starter = std::function<bool(Request)>;

    TSearchfrm(std::string startFolder, bool remote, Starter start, std::function<void()> cancel,
               QWidget* parent = nullptr);
    ~TSearchfrm() override;

    // The buttons (tests call them as the buttons do).
    void SearchSBClick();
    void CancelSBClick();
    void ExitSBClick();
    // A double-click on the result in that row.
    void chooseResult(int row);

    const std::string& startFolder() const { return start_; }
    bool remote() const { return remote_; }
    bool searching() const { return searching_; }
    // The result chosen by a double-click (folder with trailing "/", name);
    // empty when the window closed without one.
    const std::string& chosenFolder() const { return chosenFolder_; }
    const std::string& chosenName() const { return chosenName_; }

    QLineEdit* textEdit() const { return Edit1; }
    QListWidget* results() const { return ListBox1; }
    QString panelText() const;
    QString statusText() const;
    QPushButton* searchButton() const { return searchSB_; }
    QPushButton* cancelButton() const { return cancelSB_; }
    QPushButton* exitButton() const { return exitSB_; }

signals:
    // A walk ended (its results are all shown).
    void searchEnded();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    class Forwarder;
    void addResult(const std::string& folder, const std::string& name);
    void showSearching(const std::string& folder);
    void ended(const SearchSummary& s);
    void idleLook(bool searching);

    std::string start_;
    bool remote_;
    Starter starter_;
    std::function<void()> cancel_;
    std::shared_ptr<Forwarder> forwarder_;
    bool searching_ = false;
    bool cancelled_ = false;
    std::string chosenFolder_, chosenName_;

    QLineEdit* Edit1 = nullptr;
    QLabel* Panel1 = nullptr;
    QLabel* status_ = nullptr;
    QListWidget* ListBox1 = nullptr;
    QPushButton* searchSB_ = nullptr;
    QPushButton* cancelSB_ = nullptr;
    QPushButton* exitSB_ = nullptr;
};

} // namespace vn
