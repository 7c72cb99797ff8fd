#pragma once
// The multi-host upload window: a list of local files, a table of destination
// hosts picked from the FTP site manager's sites, and one worker per host
// (each its own runner and FTP engine) that stores every file there. The
// workers' lines go into the shared log with the "Thread N [name] - " prefix;
// each row shows its worker's percent and whether it finished.
//
// Made once and kept: closing cancels every running worker and hides the
// window once they have unwound; rows, files and log stay until an opener
// clears them (setFiles(), or showing it without files, as the main window does).
#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/ui/ToolWindow.h"
#include "ftp/engine/FtpServices.h"
#include "multiupload/UploadWorker.h"
#include "sites/SiteFile.h"

class QLabel;
class QListWidget;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace vn {

class UploadWindowSink;

class Tmultipleuploadfrm : public ToolWindow {
    Q_OBJECT
public:
    explicit Tmultipleuploadfrm(QWidget* parent = nullptr);
    ~Tmultipleuploadfrm() override;

    // Columns of the host table.
    enum Column { HostCol, UserCol, FolderCol, PercentCol, FinishedCol, PasvCol };

    // The FTP window's "Upload to Multiple Hosts": clears the window and lists
    // these files (full local paths, in order); the next show keeps them.
    void setFiles(std::vector<std::string> files);
    // Empties the host table, the file list and the log, and hides the gauges.
    void clearAll();

    // The operations of the commands (tests call them as the buttons do).
    void addFiles(const QStringList& paths);
    // The open-file dialog (several files at once).
    void addFilesFromDialog();
    void deleteFile();
    // Picks a site of the FTP site manager ("siteman.dat") and adds its row.
    void addHostFromSites();
    // A row for a site (the picker's result) with the site's security
    // choice. False when the site is a folder.
    bool addHost(const TSiteRec& site, FtpSecurity security);
    void deleteHost();
    void changeFolder();
    // Starts the job; false when nothing started (no files, a file that
    // cannot be read, no hosts, a job still running).
    bool startUpload();
    void cancelThisUpload();

    QListWidget* fileList() const { return files_; }
    QTreeWidget* hostTable() const { return hosts_; }
    QStringList files() const;
    // The record of row i (the table's order).
    const HostRecord& host(int row) const;
    // Whether row i's worker is running.
    bool rowRunning(int row) const;
    // The job's total bytes (of the last start).
    std::uint64_t jobBytes() const { return job_.totalBytes; }

    // Where the engines keep what they share; tests give their own.
    void setServices(FtpServices services) { services_ = std::move(services); }

    // From the workers' sinks, on the UI thread.
    void workerSent(std::uint64_t worker, std::uint64_t bytes);
    void workerFinished(std::uint64_t worker);

signals:
    // Every worker of the job has ended.
    void jobEnded();

protected:
    void commandsUpdated(bool busy) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    struct Row {
        HostRecord rec;
        std::uint64_t worker = 0; // the id of the worker started for it; 0: none yet
        bool running = false;
    };
    struct Slot {
        OperationRunner* runner = nullptr;
        UploadWindowSink* sink = nullptr;
        FtpEngine* engine = nullptr;
        UploadWorker* worker = nullptr;
    };
    Slot& slot(std::size_t i);
    int rowOf(std::uint64_t worker) const;
    int selectedRow() const;
    void addRowItem(const Row& row);
    void workerEnded(std::uint64_t worker);

    QTreeWidget* hosts_ = nullptr;
    QListWidget* files_ = nullptr;
    std::vector<Row> rows_;        // in table order
    std::vector<Slot> slots_;      // one per runner, reused job after job
    std::map<std::uint64_t, std::uint64_t> sentBy_; // worker id -> bytes sent
    UploadJob job_;
    int workersRunning_ = 0;
    std::uint64_t nextWorker_ = 1;
    FtpServices services_;
    bool keepOnShow_ = false;
    bool hideWhenIdle_ = false;
};

} // namespace vn
