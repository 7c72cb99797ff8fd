#pragma once
// One host's worker of the multi-host upload: connect (with the FTP keys'
// retries and time-outs), log in, change to the destination folder, then store
// every file of the job in binary mode, one after the other. All protocol work
// is the shared FTP engine's; this only strings its steps together and turns
// the engine's per-file progress into the worker's running byte count.
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Prompter.h"
#include "ftp/engine/FtpEngine.h"

namespace vn {

// One destination host (a row of the upload window).
struct HostRecord {
    std::string name;     // the site's name
    std::string address;  // host name or address
    std::string user;
    std::string password;
    std::string folder;   // destination folder
    bool passive = false;
    int port = 21;
    FtpSecurity security = FtpSecurity::ExplicitIfAvailable; // the site's choice in the Site Manager
    int number = 0;       // the worker's number, counted from 1 when the job starts
};

// What every worker of a job shares and nobody changes while they run.
struct UploadJob {
    std::shared_ptr<const std::vector<std::string>> files; // full local paths
    std::uint64_t totalBytes = 0;                          // sum of their sizes
};

// The worker's reports besides the engine's own lines.
class UploadSink : public FtpSink {
public:
    // A line without the worker's prefix ("Executing Thread n.3").
    virtual void plainLine(const std::string& line) { log(line); }
    // Bytes this worker has sent so far, over all its files.
    virtual void sent(std::uint64_t /*bytes*/) {}
    // The run ended without being cancelled (the row's "Finished" becomes "YES").
    virtual void finished() {}
};

// The question after a refused CWD.
inline constexpr const char* kFolderQuestion =
    "It seems to be a problem with the destination folder... Continue anyway?";

// Percent of the job's bytes, rounded; an empty job is 100 once done.
int percentOf(std::uint64_t sent, std::uint64_t total, bool done);

class UploadWorker {
public:
    // The engine (its sink must forward to `sink`) and the prompter it asks through.
    UploadWorker(FtpEngine& engine, UploadSink& sink, Prompter& prompter);

    // Runs the whole job against one host on the calling thread. Returns
    // false when it was cancelled (no finished mark, nothing logged after).
    bool run(const HostRecord& host, const UploadJob& job);

    // The user's cancel (any thread): the run stops at its next step, logs
    // nothing more and skips the finished mark. Abort the engine's wait too,
    // so a pending step ends at once. A lost connection or a time-out is not
    // a cancel: the run reports it and ends as finished.
    void cancel() { userCancel_ = true; }
    // Before the next run (UI thread, while no run is going).
    void rearm() { userCancel_ = false; }
    const std::atomic<bool>& userCancel() const { return userCancel_; }

    // The file bytes sent by the last run.
    std::uint64_t bytesSent() const { return sent_; }

private:
    bool cancelled() const { return userCancel_.load(); }
    void end(std::optional<SessionId> id, bool markFinished);
    bool connected(SessionId id);

    FtpEngine& engine_;
    UploadSink& sink_;
    Prompter& prompter_;
    std::uint64_t sent_ = 0;
    std::atomic<bool> userCancel_{false};
};

// An FtpSink that passes everything to an UploadSink and adds the bytes of
// the files already done to each file's progress; silent once the worker was
// cancelled.
class WorkerSinkAdapter : public FtpSink {
public:
    explicit WorkerSinkAdapter(UploadSink& out) : out_(out) {}
    // The worker's cancel flag, which silences it (set once the worker exists).
    void setCancelFlag(const std::atomic<bool>* flag) { cancel_ = flag; }
    void log(const std::string& line) override {
        if (!quiet()) out_.log(line);
    }
    void beep() override { out_.beep(); }
    std::uint64_t addReplaceableLine(const std::string& line) override {
        return quiet() ? 0 : out_.addReplaceableLine(line);
    }
    void replaceLine(std::uint64_t h, const std::string& line) override {
        if (!quiet()) out_.replaceLine(h, line);
    }
    void status(const std::string& text) override { out_.status(text); }
    // Every file goes whole: an interrupted upload of another job is never continued.
    ResumeAnswer askSmartResume(const std::string&) override { return ResumeAnswer::TransferAll; }
    void fileProgress(std::uint64_t done, std::uint64_t) override {
        current_ = done;
        out_.sent(base_ + done);
    }
    // The file ended: what it sent counts for good.
    std::uint64_t closeFile() {
        base_ += current_;
        current_ = 0;
        return base_;
    }
    void reset() { base_ = current_ = 0; }

private:
    bool quiet() const { return cancel_ && cancel_->load(); }
    UploadSink& out_;
    const std::atomic<bool>* cancel_ = nullptr;
    std::uint64_t base_ = 0, current_ = 0;
};

// The prompter a worker's engine asks through: questions go to the user,
// messages (the server's welcome text) become one log entry, as only the
// folder question may interrupt the user.
class WorkerPrompterAdapter : public Prompter {
public:
    WorkerPrompterAdapter(Prompter& questions, ToolSink& log) : questions_(questions), log_(log) {}
    bool askYesNo(const std::string& text) override { return questions_.askYesNo(text); }
    void message(const std::string& text) override { log_.log(text); }
    std::optional<std::string> input(const std::string& caption, const std::string& prompt,
                                     const std::string& initial) override {
        return questions_.input(caption, prompt, initial);
    }

private:
    Prompter& questions_;
    ToolSink& log_;
};

} // namespace vn
