#include "ftp/engine/transfer/Transfer.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ftp/engine/transfer/FileIo.h"
#include "ftp/engine/transfer/FileTimes.h"
#include "ftp/engine/transfer/ResumeStore.h"
#include "platform/Trash.h"

namespace vn {
namespace {

using Clock = std::chrono::steady_clock;

const char* const kMiddleDot = "\xC2\xB7"; // "·"

Elapsed since(Clock::time_point start) { return std::chrono::duration_cast<Elapsed>(Clock::now() - start); }

// Seconds of an elapsed time, never less than one microsecond.
double secondsOf(Elapsed e) { return static_cast<double>(std::max<std::int64_t>(e.count(), 1)) / 1e6; }

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Writes a download sequentially; runs of zeros become holes, so a sparse
// source stays sparse here as well.
class SparseWriter {
public:
    SparseWriter(int fd, std::uint64_t pos) : fd_(fd), pos_(pos) {}
    void restart(std::uint64_t pos) {
        pos_ = pos;
        hole_ = false;
    }
    std::uint64_t position() const { return pos_; }
    bool write(const char* p, std::size_t n) {
        if (n >= kMinHole && p[0] == 0 && std::memcmp(p, p + 1, n - 1) == 0) {
            if (::lseek(fd_, static_cast<off_t>(n), SEEK_CUR) < 0) return false;
            pos_ += n;
            hole_ = true;
            return true;
        }
        if (!writeFully(fd_, p, n)) return false;
        pos_ += n;
        hole_ = false;
        return true;
    }
    // A hole at the end has no bytes yet: the size is set explicitly.
    bool finish() {
        if (!hole_) return true;
        hole_ = false;
        return ::ftruncate(fd_, static_cast<off_t>(pos_)) == 0;
    }

private:
    static constexpr std::size_t kMinHole = 16 * 1024;
    int fd_;
    std::uint64_t pos_;
    bool hole_ = false;
};

// An upload that stops part-way resets its data connection, so the server
// reports the transfer as failed instead of completing a truncated file.
void resetClose(Socket& s) {
    if (!s.valid()) return;
    int fd = s.release();
    linger l{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    ::close(fd);
}

} // namespace

// ---- texts ----

char typeLetterFor(TransferMode mode, std::string_view fileName) {
    switch (mode) {
    case TransferMode::Ascii:
        return 'A';
    case TransferMode::Binary:
        return 'I';
    case TransferMode::Auto:
        break;
    }
    auto slash = fileName.find_last_of('/');
    std::string_view base = slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
    auto dot = base.rfind('.');
    if (dot == std::string_view::npos) return 'I';
    std::string ext = lower(base.substr(dot));
    return ext == ".txt" || ext == ".htm" || ext == ".html" ? 'A' : 'I';
}

std::string retornamfitxerdesti(const std::string& remotePath) {
    auto slash = remotePath.find_last_of('/');
    return slash == std::string::npos ? remotePath : remotePath.substr(slash + 1);
}

std::string shortestDecimal(double v) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    return ec == std::errc() ? std::string(buf, end) : std::to_string(v);
}

RateText rateText(std::uint64_t bytes, Elapsed elapsed) {
    const double rate = static_cast<double>(bytes) / secondsOf(elapsed);
    if (rate >= 1000) return {shortestDecimal(std::round(rate) / 1000.0), "KBytes/sec"};
    double shown = std::round(rate * 1000.0) / 1000.0;
    // Bytes that moved never show as no speed at all.
    if (bytes > 0 && shown == 0) shown = 0.001;
    return {shortestDecimal(shown), "Bytes/sec"};
}

std::string speedLine(std::uint64_t bytes, Elapsed elapsed) {
    RateText r = rateText(bytes, elapsed);
    return "Transmitting file... [" + r.number + "] " + r.unit + " (" + shortestDecimal(secondsOf(elapsed)) + " secs)";
}

std::string timeNeededLine(Elapsed elapsed) {
    return std::string(kMiddleDot) + ")Time needed = " + shortestDecimal(secondsOf(elapsed)) + " secs.";
}

std::string speedSummaryLine(std::uint64_t bytes, Elapsed elapsed) {
    RateText r = rateText(bytes, elapsed);
    return std::string(kMiddleDot) + ")Speed = " + r.number + " " + r.unit;
}

std::uint64_t expectedSizeFromReply(const std::string& line) {
    auto open = line.find('(');
    if (open == std::string::npos) return 0;
    auto end = line.find(' ', open + 1);
    std::string_view digits(line.data() + open + 1, (end == std::string::npos ? line.size() : end) - open - 1);
    std::uint64_t v = 0;
    auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (ec != std::errc() || p != digits.data() + digits.size()) return 0;
    return v;
}

// ---- progress ----

class FtpTransfer::Progress {
public:
    Progress(FtpSink& sink, Clock::time_point start, std::chrono::milliseconds interval, const char* what)
        : sink_(sink), start_(start), interval_(interval), what_(what) {}

    void begin(std::uint64_t done, std::uint64_t total) {
        total_ = total;
        base_ = done;
        sink_.fileProgress(done, total);
        speed_ = sink_.addReplaceableLine("Transmitting file...");
        count_ = sink_.addReplaceableLine("");
        next_ = Clock::now() + interval_;
    }
    // A restart from byte 0 (the server refused REST).
    void rebase(std::uint64_t done) { base_ = done; }
    // At most one update per interval; force shows the last state.
    void update(std::uint64_t done, bool force = false) {
        auto now = Clock::now();
        if (!force && now < next_) return;
        if (force && shown_ && *shown_ == done) return;
        next_ = now + interval_;
        shown_ = done;
        // In ASCII mode more may arrive than was announced.
        sink_.fileProgress(done, total_ != 0 && done > total_ ? done : total_);
        // The speed of this run: bytes a resumed transfer skipped took no time.
        sink_.replaceLine(speed_, speedLine(done - std::min(base_, done), since(start_)));
        sink_.replaceLine(count_, std::string(kMiddleDot) + ") " + std::to_string(done) + " " + what_);
    }

private:
    FtpSink& sink_;
    Clock::time_point start_;
    std::chrono::milliseconds interval_;
    const char* what_;
    std::uint64_t total_ = 0;
    std::uint64_t base_ = 0;
    std::uint64_t speed_ = 0, count_ = 0;
    Clock::time_point next_;
    std::optional<std::uint64_t> shown_;
};

// ---- the two policies of the skeleton ----

// What one block of the data loop did.
struct Step {
    enum Kind { Moved, WouldBlock, End, NetError, LocalError } kind;
    std::size_t bytes = 0;
};

class FtpTransfer::Leg {
public:
    Leg(FtpTransfer& t, SessionId id, Attempt attempt) : t_(t), e_(t.engine_), id_(id), attempt_(attempt) {}
    virtual ~Leg() = default;

    virtual const char* verb() const = 0;
    virtual const std::string& remote() const = 0;
    virtual const std::string& local() const = 0;
    virtual const char* noSocketText() const = 0;
    virtual const char* movedText() const = 0;
    virtual unsigned waitEvent() const = 0;
    virtual std::string shownName() const = 0;

    // The resume decision and its questions: the offset to start from, or
    // the result when the transfer ends here.
    virtual std::optional<TransferResult> prepare(std::uint64_t& offset) = 0;
    // The local file ready at offset; false (errno set) on a file error.
    virtual bool openLocal(std::uint64_t offset) = 0;
    // The server refused REST: from byte 0.
    virtual bool restart() = 0;
    // The size the transfer moves, 0 when unknown, from the preliminary reply.
    virtual std::uint64_t expected(const Reply& preliminary) const = 0;
    virtual Step move(Socket& data, char* buf, std::size_t io) = 0;
    // Called as bytes move (position: where the local file stands).
    virtual void moving(std::uint64_t /*position*/, Elapsed /*running*/) {}
    // The local side finished after the last block; false (errno set) on a file error.
    virtual bool closeLocal() = 0;
    // The data connection after the last block, or after a failure.
    virtual void closeData(Socket& data, bool failed) = 0;
    // Everything the server confirmed arrived: false makes it a failure.
    virtual bool whole(std::uint64_t /*position*/, std::uint64_t /*expected*/) { return true; }
    // Nothing moved and the transfer ends: undo what prepare/openLocal made.
    virtual void abandon() = 0;
    // The transfer stopped after position bytes: record it.
    virtual void interrupted(std::uint64_t position) = 0;
    // The server confirmed the whole transfer.
    virtual TransferResult succeeded() = 0;

    bool binary() const { return t_.typeInForce(id_) == 'I'; }

protected:
    void log(const std::string& line) { e_.sink().log(line); }
    bool cancelled() const { return e_.wait().cancelled(); }

    FtpTransfer& t_;
    FtpEngine& e_;
    SessionId id_;
    Attempt attempt_;
};

namespace {

// A partial file fits its record: our own file (same device and inode), at
// least as long as the marker, and unchanged since the record's time when
// the record has one. The offset it allows goes to offset.
bool partialFits(const ResumeRecord& r, std::uint64_t& offset) {
    FileStamp st;
    if (r.partial.empty() || !stampOfPath(r.partial, st) || !st.regular || st.id() != r.fileId) return false;
    if (st.size < r.marker) return false;
    if (!r.mtime.empty()) {
        if (st.mtime() != r.mtime) return false;
        offset = r.marker;
    } else {
        // The program stopped mid-transfer: the file holds what arrived.
        offset = st.size;
    }
    return true;
}

} // namespace

class FtpTransfer::Download final : public FtpTransfer::Leg {
public:
    Download(FtpTransfer& t, SessionId id, Attempt a, const std::string& remote, const std::string& local)
        : Leg(t, id, a), remote_(remote), local_(local) {}
    ~Download() override { closeFile(); }

    const char* verb() const override { return "RETR"; }
    const std::string& remote() const override { return remote_; }
    const std::string& local() const override { return local_; }
    const char* noSocketText() const override { return ">ERROR creating socket."; }
    const char* movedText() const override { return "Bytes received."; }
    unsigned waitEvent() const override { return FD_READ; }
    std::string shownName() const override { return local_; }

    std::optional<TransferResult> prepare(std::uint64_t& offset) override {
        FtpSink& sink = e_.sink();
        ip_ = resumeAddress(e_, id_);
        struct stat st{};
        const bool exists = ::stat(local_.c_str(), &st) == 0;
        if (exists && !S_ISREG(st.st_mode)) {
            log(">ERROR with file " + local_);
            return TransferResult::Failed;
        }
        // The exact size, when the server tells it: a RETR reply that names
        // none still gets its cut transfers caught, and a remote file now
        // smaller than the partial one is not continued.
        if (binary() && e_.features(id_) && e_.features(id_)->size) {
            if (auto size = e_.fesSIZE(id_, remote_)) remoteSize_ = *size;
            if (cancelled()) return t_.stopped(id_);
        }
        ResumeStore store;
        auto rec = store.find(verb(), ip_, remote_, local_, todayLocal());
        bool resumable = false;
        if (rec) {
            std::uint64_t at = 0;
            const bool fits = partialFits(*rec, at);
            const bool shrunk = fits && remoteSize_ > 0 && remoteSize_ < at;
            if (shrunk) log("-The remote file is smaller than the partial " + local_ + ": the whole file is transferred.");
            // Byte offsets mean nothing in ASCII mode.
            resumable = fits && !shrunk && at > 0 && binary() && t_.canResume(id_);
            if (cancelled()) return t_.stopped(id_);
            if (resumable) {
                offset = at;
                record_ = *rec;
            } else {
                if (fits) ::unlink(rec->partial.c_str());
                else if (!rec->partial.empty())
                    log("-The partial file of " + local_ +
                        " is not the one the interrupted transfer left; it is not resumed.");
                store.remove(verb(), ip_, remote_, local_);
            }
        }
        if (resumable) {
            const auto answer = attempt_ == Attempt::Retry ? FtpSink::ResumeAnswer::Resume : sink.askSmartResume(local_);
            switch (answer) {
            case FtpSink::ResumeAnswer::DontTransfer:
                // The partial file and its record stay for a later resume.
                return TransferResult::Skipped;
            case FtpSink::ResumeAnswer::TransferAll:
                offset = 0;
                break;
            case FtpSink::ResumeAnswer::Resume:
                break;
            }
        } else if (exists && attempt_ == Attempt::First) {
            if (!e_.prompter().askYesNo("The file " + local_ + " already exists.\rDo you want to replace it?"))
                return TransferResult::Skipped;
        }
        return std::nullopt;
    }

    bool openLocal(std::uint64_t offset) override {
        if (record_) {
            fd_ = ::open(record_->partial.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
            FileStamp st;
            if (fd_ < 0 || !stampOf(fd_, st) || !st.regular || st.id() != record_->fileId) {
                // Swapped since it was checked: never write into another file.
                closeFile();
                record_.reset();
                errno = errno ? errno : EEXIST;
                return false;
            }
            partial_ = record_->partial;
            fileId_ = record_->fileId;
            if (st.size != offset && ::ftruncate(fd_, static_cast<off_t>(offset)) != 0) return false;
            if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) return false;
            // The record stays while the partial grows; without a time it
            // trusts the file's own size, so a stop at any point resumes.
            recorded_ = true;
            writeRecord(offset, false);
        } else {
            fd_ = createSibling(local_, kPartialSuffix, 0666, partial_);
            if (fd_ < 0) return false;
            FileStamp st;
            if (stampOf(fd_, st)) fileId_ = st.id();
        }
        out_ = std::make_unique<SparseWriter>(fd_, offset);
        return true;
    }

    bool restart() override {
        if (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) < 0) return false;
        out_->restart(0);
        return true;
    }

    std::uint64_t expected(const Reply& preliminary) const override {
        const std::uint64_t announced = expectedSizeFromReply(preliminary.first());
        if (announced > 0) return announced;
        // SIZE counts the whole file, as the position does.
        return remoteSize_;
    }

    Step move(Socket& data, char* buf, std::size_t io) override {
        long n = data.recvSome(buf, io);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return {Step::WouldBlock};
            return {Step::NetError};
        }
        if (n == 0) return {Step::End};
        if (!out_->write(buf, static_cast<std::size_t>(n))) return {Step::LocalError};
        return {Step::Moved, static_cast<std::size_t>(n)};
    }

    void moving(std::uint64_t position, Elapsed running) override {
        // A fresh download that takes a while gets its record, so even a
        // stop nobody sees (the program killed) leaves a resumable file.
        if (recorded_ || !binary() || running < kRecordAfter) return;
        recorded_ = true;
        writeRecord(position, false);
    }

    bool closeLocal() override {
        bool ok = out_->finish();
        int err = errno;
        ok = closeFile() && ok;
        if (!ok && err) errno = err;
        return ok;
    }

    void closeData(Socket& data, bool) override { data.close(); }

    bool whole(std::uint64_t position, std::uint64_t expected) override {
        // In binary mode the announced size is exact: fewer bytes is a cut
        // transfer, whatever the server says. In ASCII mode it only scales the gauge.
        if (!binary() || expected == 0 || position >= expected) return true;
        log(">ERROR: " + std::to_string(position) + " of the " + std::to_string(expected) + " bytes of '" + remote_ +
            "' arrived.");
        return false;
    }

    void abandon() override {
        closeFile();
        if (!recorded_ && !partial_.empty()) ::unlink(partial_.c_str());
    }

    void interrupted(std::uint64_t position) override {
        if (out_) out_->finish();
        closeFile();
        if (partial_.empty()) return;
        if (position > 0 && binary()) {
            // The partial file holds what arrived; the next transfer continues from there.
            recorded_ = true;
            writeRecord(position, true);
        } else {
            ::unlink(partial_.c_str());
            if (recorded_) ResumeStore().remove(verb(), ip_, remote_, local_);
        }
    }

    TransferResult succeeded() override {
        if (::rename(partial_.c_str(), local_.c_str()) != 0) {
            log(">ERROR replacing " + local_ + " (" + std::strerror(errno) + ")");
            ::unlink(partial_.c_str());
            if (recorded_) ResumeStore().remove(verb(), ip_, remote_, local_);
            return TransferResult::Failed;
        }
        if (recorded_) ResumeStore().remove(verb(), ip_, remote_, local_);
        return TransferResult::Copied;
    }

private:
    bool closeFile() {
        if (fd_ < 0) return true;
        int rc = ::close(fd_);
        fd_ = -1;
        return rc == 0;
    }
    void writeRecord(std::uint64_t marker, bool withTime) {
        ResumeRecord r;
        r.type = verb();
        r.ip = ip_;
        r.source = remote_;
        r.destination = local_;
        r.marker = marker;
        r.partial = partial_;
        r.fileId = fileId_;
        FileStamp st;
        if (withTime && stampOfPath(partial_, st) && st.id() == fileId_) r.mtime = st.mtime();
        if (!ResumeStore().put(r, todayLocal()))
            log(">ERROR: The resume store could not be written; " + local_ + " can not be resumed.");
    }

    std::string remote_, local_, ip_;
    std::uint64_t remoteSize_ = 0; // SIZE's answer; 0 when unknown
    std::optional<ResumeRecord> record_;
    std::string partial_, fileId_;
    int fd_ = -1;
    bool recorded_ = false;
    std::unique_ptr<SparseWriter> out_;
};

class FtpTransfer::Upload final : public FtpTransfer::Leg {
public:
    Upload(FtpTransfer& t, SessionId id, Attempt a, const std::string& local, const std::string& remote)
        : Leg(t, id, a), local_(local), remote_(remote) {}
    ~Upload() override {
        if (fd_ >= 0) ::close(fd_);
    }

    const char* verb() const override { return "STOR"; }
    const std::string& remote() const override { return remote_; }
    const std::string& local() const override { return local_; }
    const char* noSocketText() const override { return ">ERROR with listen socket."; }
    const char* movedText() const override { return "Bytes sent."; }
    unsigned waitEvent() const override { return FD_WRITE; }
    std::string shownName() const override { return remote_; }

    std::optional<TransferResult> prepare(std::uint64_t& offset) override {
        ip_ = resumeAddress(e_, id_);
        // The source first: nothing goes to the server for a file that cannot be read.
        fd_ = ::open(local_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0 || !stampOf(fd_, stamp_) || !stamp_.regular) {
            log(">ERROR with file " + local_);
            return TransferResult::Failed;
        }
        ResumeStore store;
        auto rec = store.find(verb(), ip_, local_, remote_, todayLocal());
        if (!rec) return std::nullopt;
        hadRecord_ = true;
        // The tail of another file appended to this one's head would be garbage.
        const bool same = rec->fileId == stamp_.id() && rec->mtime == stamp_.mtime() && stamp_.size >= rec->marker;
        const bool resumable = same && rec->marker > 0 && binary() && t_.canResume(id_);
        if (cancelled()) return t_.stopped(id_);
        if (!resumable) {
            if (!same) log("-" + local_ + " changed since its transfer stopped; it is not resumed.");
            store.remove(verb(), ip_, local_, remote_);
            hadRecord_ = false;
            return std::nullopt;
        }
        const auto answer =
            attempt_ == Attempt::Retry ? FtpSink::ResumeAnswer::Resume : e_.sink().askSmartResume(local_);
        switch (answer) {
        case FtpSink::ResumeAnswer::DontTransfer:
            return TransferResult::Skipped;
        case FtpSink::ResumeAnswer::TransferAll:
            return std::nullopt;
        case FtpSink::ResumeAnswer::Resume:
            break;
        }
        return remoteSize(offset);
    }

    bool openLocal(std::uint64_t offset) override { return ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) >= 0; }
    bool restart() override {
        pending_ = done_ = 0;
        return ::lseek(fd_, 0, SEEK_SET) >= 0;
    }
    std::uint64_t expected(const Reply&) const override { return stamp_.size; }

    Step move(Socket& data, char* buf, std::size_t io) override {
        if (done_ == pending_) {
            ssize_t n = ::read(fd_, buf, io);
            if (n < 0) return {errno == EINTR ? Step::Moved : Step::LocalError};
            if (n == 0) return {Step::End};
            pending_ = static_cast<std::size_t>(n);
            done_ = 0;
        }
        long k = data.sendSome(buf + done_, pending_ - done_);
        if (k < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) return {Step::WouldBlock};
            if (errno == EINTR) return {Step::Moved};
            return {Step::NetError};
        }
        done_ += static_cast<std::size_t>(k);
        return {Step::Moved, static_cast<std::size_t>(k)};
    }

    bool closeLocal() override {
        int rc = ::close(fd_);
        fd_ = -1;
        return rc == 0 || errno == EINTR;
    }

    void closeData(Socket& data, bool failed) override {
        // An upload that stops part-way resets its data connection, so the
        // server reports the transfer as failed instead of completing a truncated file.
        if (failed) resetClose(data);
        else e_.finishData(data);
    }

    void abandon() override {}

    void interrupted(std::uint64_t position) override {
        if (position == 0 || !binary()) {
            if (hadRecord_) ResumeStore().remove(verb(), ip_, local_, remote_);
            return;
        }
        ResumeRecord r;
        r.type = verb();
        r.ip = ip_;
        r.source = local_;
        r.destination = remote_;
        r.marker = position;
        r.fileId = stamp_.id();
        r.mtime = stamp_.mtime();
        ResumeStore().put(r, todayLocal());
    }

    TransferResult succeeded() override {
        if (hadRecord_) ResumeStore().remove(verb(), ip_, local_, remote_);
        return TransferResult::Copied;
    }

private:
    // What the server really holds, not what was handed to the kernel.
    std::optional<TransferResult> remoteSize(std::uint64_t& offset) {
        ControlConnection* conn = e_.connection(id_);
        if (!conn) return TransferResult::Failed;
        conn->drain();
        if (!e_.sendCommand(id_, "SIZE", remote_)) return cancelled() ? t_.stopped(id_) : TransferResult::Failed;
        Reply r = e_.readReply(id_);
        if (cancelled()) return t_.stopped(id_);
        log(">SIZE " + remote_);
        e_.logReply(r);
        std::uint64_t size = 0;
        const std::string& l = r.first();
        bool known = r.code() == '2' && l.size() > 4;
        if (known) {
            auto [p, ec] = std::from_chars(l.data() + 4, l.data() + l.size(), size);
            known = ec == std::errc() && (p == l.data() + l.size() || *p == ' ' || *p == '\r');
        }
        if (!known) log("-The server can not tell the size of " + remote_ + ": the whole file is transferred.");
        else if (size > stamp_.size) log("-The remote file is larger than " + local_ + ": the whole file is transferred.");
        else offset = size;
        return std::nullopt;
    }

    std::string local_, remote_, ip_;
    int fd_ = -1;
    FileStamp stamp_;
    bool hadRecord_ = false;
    std::size_t pending_ = 0, done_ = 0;
};

// ---- the skeleton ----

FtpTransfer::FtpTransfer(FtpEngine& engine) : engine_(engine) {}

std::size_t FtpTransfer::ioSize(int packetLength) {
    std::size_t block = static_cast<std::size_t>(std::clamp(packetLength, 1, 32768));
    return block * std::max<std::size_t>(1, kIoTarget / block);
}

bool FtpTransfer::SeleccionaTYPE(SessionId id, TransferMode pressed, const std::string& fileName) {
    const char letter = typeLetterFor(pressed, fileName);
    // One TYPE per change, not one per file: the connection knows the type the
    // server last accepted, whoever asked for it (a listing sends its own).
    bool ok = engine_.ensureType(id, letter);
    if (ok) type_[id] = letter;
    else type_.erase(id);
    return ok;
}

char FtpTransfer::typeInForce(SessionId id) const {
    auto it = type_.find(id);
    return it == type_.end() ? 'A' : it->second;
}

bool FtpTransfer::canResume(SessionId id) {
    auto it = canRest_.find(id);
    if (it != canRest_.end()) return it->second;
    bool can = engine_.ComprobarREST(id);
    // A probe that got no answer says nothing about the server.
    if (!engine_.wait().cancelled()) canRest_[id] = can;
    return can;
}

TransferResult FtpTransfer::stopped(SessionId id) {
    const EventWait& w = engine_.wait();
    // A time-out or a connection the server ended also raises the cancel flag,
    // but neither is the user's choice.
    ControlConnection* c = engine_.connection(id);
    if (!c || c->ended() || w.timedOut() || !w.cancelled()) return TransferResult::Failed;
    return TransferResult::Cancelled;
}

void FtpTransfer::deleteLocal(const std::string& path) {
    FtpSink& sink = engine_.sink();
    const int recycle = engine_.settings().RecycleBin;
    if (recycle != 0 && recycle != 1) {
        // Neither the trash nor a delete was chosen: the file stays.
        sink.log("File " + path + " was kept (RecycleBin is neither 0 nor 1)");
    } else if (recycle == 1) {
        TrashResult t = moveToTrash(path);
        // A file that cannot go to the trash stays where it is.
        if (t.ok) sink.log("File " + path + " has been successfully sent to Recycle Bin");
        else sink.log(">ERROR: File " + path + " could not be sent to Recycle Bin (" + t.error + ")");
    } else if (::unlink(path.c_str()) == 0) {
        sink.log("File " + path + " has been deleted successfully");
    } else {
        sink.log(">ERROR deleting file " + path + " (" + std::strerror(errno) + ")");
    }
}

TransferResult FtpTransfer::run(SessionId id, Leg& leg) {
    FtpSink& sink = engine_.sink();
    EventWait& wait = engine_.wait();
    auto log = [&](const std::string& line) { sink.log(line); };
    const std::string verb = leg.verb();
    auto info = engine_.sessionInfo(id);
    ControlConnection* conn = engine_.connection(id);
    if (!info || !conn) return TransferResult::Failed;
    conn->drain();
    if (hasLineBreak(leg.remote())) {
        log(">ERROR: Line breaks are not allowed in '" + verb + "' arguments; nothing was sent.");
        return TransferResult::Failed;
    }
    const std::string server = info->dotted;

    std::uint64_t offset = 0;
    if (auto r = leg.prepare(offset)) return *r;
    if (wait.cancelled()) return stopped(id);
    // The clock starts after the questions: the user's time is not transfer time.
    const auto start = Clock::now();

    // The data connection after the questions, so a passive port cannot time
    // out on the server while the user thinks.
    Socket data, listener;
    if (!engine_.openDataConnection(id, data, listener)) {
        if (wait.cancelled()) return stopped(id);
        log(leg.noSocketText());
        return TransferResult::Failed;
    }
    // Until the first byte, a way out leaves things as they were.
    auto giveUp = [&](TransferResult r) {
        leg.abandon();
        return r;
    };
    auto lateReply = [&] { engine_.logReply(engine_.readReplyLate(id)); };

    if (!leg.openLocal(offset)) {
        log(">ERROR with file " + leg.local());
        return giveUp(TransferResult::Failed);
    }
    if (offset > 0) {
        if (!engine_.sendCommand(id, "REST", std::to_string(offset)))
            return giveUp(wait.cancelled() ? stopped(id) : TransferResult::Failed);
        log(">REST " + std::to_string(offset));
        Reply r = engine_.readReply(id);
        if (wait.cancelled()) return giveUp(stopped(id));
        engine_.logReply(r);
        if (r.code() != '3') {
            // Continuing now would repeat the beginning (download) or leave the
            // remote file holding only the tail (upload).
            log("-The server refused REST: the whole file is transferred.");
            offset = 0;
            if (!leg.restart()) {
                log(">ERROR with file " + leg.local());
                return giveUp(TransferResult::Failed);
            }
        }
    }

    if (!engine_.sendCommand(id, verb, leg.remote()))
        return giveUp(wait.cancelled() ? stopped(id) : TransferResult::Failed);
    log(">" + verb + " " + leg.remote());
    Reply reply = engine_.readReply(id);
    if (wait.cancelled()) return giveUp(stopped(id));
    engine_.logReply(reply);
    if (reply.code() != '1') {
        log(">ERROR with " + verb + " command.");
        return giveUp(TransferResult::Failed);
    }
    const std::uint64_t expected = leg.expected(reply);

    if (!data.valid() && !wait.cancelled()) data = engine_.AcceptaSocket(listener, server);
    if (data.valid() && !engine_.secureData(id, data)) data.close();
    if (!data.valid()) {
        lateReply();
        if (stopped(id) != TransferResult::Cancelled) log(">ERROR with accept socket.");
        return giveUp(stopped(id));
    }
    listener.close();

    Progress progress(sink, start, interval_, leg.movedText());
    progress.begin(offset, expected);
    std::uint64_t position = offset;
    const std::size_t io = ioSize(engine_.settings().PacketLength);
    std::unique_ptr<char[]> buf(new char[io]);
    const auto dataStart = Clock::now();
    enum class Stop { None, Aborted, Waited, NetError, LocalError } stop = Stop::None;
    int localError = 0;
    for (;;) {
        Step s = leg.move(data, buf.get(), io);
        if (s.kind == Step::End) break;
        if (s.kind == Step::NetError) {
            stop = Stop::NetError;
            break;
        }
        if (s.kind == Step::LocalError) {
            localError = errno;
            stop = Stop::LocalError;
            break;
        }
        if (s.kind == Step::WouldBlock) {
            progress.update(position);
            Outcome o = wait.wait(data.fd(), data.waitEvents(leg.waitEvent()));
            if (o != Outcome::Done) {
                stop = o == Outcome::Aborted ? Stop::Aborted : Stop::Waited;
                break;
            }
            continue;
        }
        position += s.bytes;
        progress.update(position);
        leg.moving(position, since(dataStart));
        if (wait.cancelled()) {
            stop = Stop::Aborted;
            break;
        }
    }
    progress.update(position, true);
    if (stop == Stop::None && !leg.closeLocal()) {
        localError = errno;
        stop = Stop::LocalError;
    }

    if (stop != Stop::None) {
        if (stop == Stop::NetError) log(verb == "RETR" ? ">ERROR receiving." : ">ERROR sending.");
        if (stop == Stop::LocalError)
            log(std::string(verb == "RETR" ? ">ERROR writing file " : ">ERROR reading file ") + leg.local() + " (" +
                std::strerror(localError) + ")");
        leg.closeData(data, true);
        lateReply();
        leg.interrupted(position);
        return stop == Stop::Aborted ? stopped(id) : TransferResult::Failed;
    }

    // All the data is here; only the server's success reply makes it a whole file.
    leg.closeData(data, false);
    Reply done = engine_.readReplyLate(id);
    if (wait.cancelled() && !conn->ended() && !wait.timedOut()) {
        // The user's Abort while the reply was awaited.
        if (!done.lines.empty()) engine_.logReply(done);
        leg.interrupted(position);
        return stopped(id);
    }
    engine_.logReply(done);
    if (done.code() != '2') {
        log(">ERROR with " + verb + " command.");
        leg.interrupted(position);
        return TransferResult::Failed;
    }
    if (!leg.whole(position, expected)) {
        leg.interrupted(position);
        return TransferResult::Failed;
    }
    TransferResult r = leg.succeeded();
    if (r != TransferResult::Copied) return r;
    const Elapsed took = since(start);
    log(">File '" + leg.shownName() + "' transmitted OK.");
    log(timeNeededLine(took));
    log(speedSummaryLine(position - offset, took));
    return TransferResult::Copied;
}

TransferResult FtpTransfer::fesGET(SessionId id, const std::string& remoteName, const std::string& localPath,
                                   Attempt attempt) {
    Download leg(*this, id, attempt, remoteName, localPath);
    TransferResult r = run(id, leg);
    if (r == TransferResult::Copied) keepDownloadTime(engine_, id, remoteName, localPath);
    if (r == TransferResult::Copied && engine_.settings().DeleteFileAfterDownload && !keepSource_)
        engine_.fesDELETEFILE(id, remoteName);
    return r;
}

TransferResult FtpTransfer::fesPUT(SessionId id, const std::string& localPath, const std::string& remoteName,
                                   Attempt attempt) {
    Upload leg(*this, id, attempt, localPath, remoteName);
    TransferResult r = run(id, leg);
    if (r == TransferResult::Copied) keepUploadTime(engine_, id, localPath, remoteName);
    if (r == TransferResult::Copied && engine_.settings().DeleteFileAfterUpload && !keepSource_) deleteLocal(localPath);
    return r;
}

void FtpTransfer::discardDownload(SessionId id, const std::string& remoteName, const std::string& localPath) {
    ResumeStore store;
    const std::string ip = resumeAddress(engine_, id);
    if (auto rec = store.find("RETR", ip, remoteName, localPath, todayLocal())) {
        std::uint64_t at = 0;
        if (partialFits(*rec, at)) ::unlink(rec->partial.c_str());
        store.remove("RETR", ip, remoteName, localPath);
    }
}

void FtpTransfer::discardUpload(SessionId id, const std::string& localPath, const std::string& remoteName) {
    ResumeStore().remove("STOR", resumeAddress(engine_, id), localPath, remoteName);
}

} // namespace vn
