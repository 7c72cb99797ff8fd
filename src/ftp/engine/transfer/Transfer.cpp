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

#include "ftp/engine/transfer/ResumeStore.h"
#include "platform/Trash.h"

namespace vn {
namespace {

using Clock = std::chrono::steady_clock;

const char* const kMiddleDot = "\xC2\xB7"; // "·"

std::int64_t msSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The speed line is dropped once the transfer is done, where the sink can drop lines.
template <class Sink>
void removeLineIfSupported(Sink& sink, std::uint64_t handle) {
    if constexpr (requires { sink.removeLine(handle); }) sink.removeLine(handle);
}

class LocalFile {
public:
    explicit LocalFile(int fd) : fd_(fd) {}
    ~LocalFile() { close(); }
    LocalFile(const LocalFile&) = delete;
    LocalFile& operator=(const LocalFile&) = delete;
    int fd() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // False when close reported an error (a write that never reached the disk).
    bool close() {
        if (fd_ < 0) return true;
        int rc = ::close(fd_);
        fd_ = -1;
        return rc == 0;
    }

private:
    int fd_;
};

// Writes a download sequentially; runs of zeros become holes, so a sparse
// source stays sparse here as well.
class SparseWriter {
public:
    SparseWriter(int fd, std::uint64_t pos) : fd_(fd), pos_(pos) {}
    std::uint64_t position() const { return pos_; }
    bool write(const char* p, std::size_t n) {
        if (n >= kMinHole && p[0] == 0 && std::memcmp(p, p + 1, n - 1) == 0) {
            if (::lseek(fd_, static_cast<off_t>(n), SEEK_CUR) < 0) return false;
            pos_ += n;
            hole_ = true;
            return true;
        }
        while (n > 0) {
            ssize_t k = ::write(fd_, p, n);
            if (k < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            p += k;
            n -= static_cast<std::size_t>(k);
            pos_ += static_cast<std::uint64_t>(k);
        }
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
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? std::string(buf, end) : std::to_string(v);
}

RateText rateText(std::uint64_t bytes, std::int64_t elapsedMs) {
    double seconds = static_cast<double>(elapsedMs) / 1000.0;
    double rate = seconds > 0 ? static_cast<double>(bytes) / seconds : 0.0;
    if (rate >= 1000) return {shortestDecimal(std::round(rate) / 1000.0), "KBytes/sec"};
    return {shortestDecimal(std::round(rate * 1000.0) / 1000.0), "Bytes/sec"};
}

std::string speedLine(std::uint64_t bytes, std::int64_t elapsedMs) {
    RateText r = rateText(bytes, elapsedMs);
    return "Transmitting file... [" + r.number + "] " + r.unit + " (" +
           shortestDecimal(static_cast<double>(elapsedMs) / 1000.0) + " secs)";
}

std::string timeNeededLine(std::int64_t elapsedMs) {
    return std::string(kMiddleDot) + ")Time needed = " + shortestDecimal(static_cast<double>(elapsedMs) / 1000.0) +
           " secs.";
}

std::string speedSummaryLine(std::uint64_t bytes, std::int64_t elapsedMs) {
    RateText r = rateText(bytes, elapsedMs);
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
    // At most one update per interval; force shows the last state.
    void update(std::uint64_t done, bool force = false) {
        auto now = Clock::now();
        if (!force && now < next_) return;
        if (force && shown_ && *shown_ == done) return;
        next_ = now + interval_;
        shown_ = done;
        std::int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - start_).count();
        // In ASCII mode more may arrive than was announced.
        sink_.fileProgress(done, total_ != 0 && done > total_ ? done : total_);
        // The speed of this run: bytes a resumed transfer skipped took no time.
        sink_.replaceLine(speed_, speedLine(done - base_, ms));
        sink_.replaceLine(count_, std::string(kMiddleDot) + ") " + std::to_string(done) + " " + what_);
    }
    void dropSpeedLine() { removeLineIfSupported(sink_, speed_); }

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

// ---- transfers ----

FtpTransfer::FtpTransfer(FtpEngine& engine) : engine_(engine) {}

std::size_t FtpTransfer::ioSize(int packetLength) {
    std::size_t block = static_cast<std::size_t>(std::clamp(packetLength, 1, 32768));
    return block * std::max<std::size_t>(1, kIoTarget / block);
}

bool FtpTransfer::SeleccionaTYPE(SessionId id, TransferMode pressed, const std::string& fileName) {
    char letter = typeLetterFor(pressed, fileName);
    bool ok = engine_.fesTYPE(id, letter);
    if (ok) type_[id] = letter;
    else type_.erase(id);
    return ok;
}

char FtpTransfer::typeInForce(SessionId id) const {
    auto it = type_.find(id);
    return it == type_.end() ? 'A' : it->second;
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

TransferResult FtpTransfer::complete(SessionId id, const char* command, const std::string& shownName,
                                     std::uint64_t moved, Clock::time_point start, Progress& progress) {
    Reply done = engine_.readReplyLate(id);
    if (engine_.wait().cancelled()) return stopped(id);
    engine_.logReply(done);
    FtpSink& sink = engine_.sink();
    if (done.code() != '2') {
        sink.log(std::string(">ERROR with ") + command + " command.");
        return TransferResult::Failed;
    }
    const std::int64_t ms = msSince(start);
    progress.dropSpeedLine();
    sink.log(">File '" + shownName + "' transmitted OK.");
    sink.log(timeNeededLine(ms));
    sink.log(speedSummaryLine(moved, ms));
    return TransferResult::Copied;
}

TransferResult FtpTransfer::fesGET(SessionId id, const std::string& remoteName, const std::string& localPath) {
    FtpSink& sink = engine_.sink();
    EventWait& wait = engine_.wait();
    auto log = [&](const std::string& line) { sink.log(line); };
    auto info = engine_.sessionInfo(id);
    ControlConnection* conn = engine_.connection(id);
    if (!info || !conn) return TransferResult::Failed;
    conn->drain();
    if (hasLineBreak(remoteName)) {
        log(">ERROR: Line breaks are not allowed in 'RETR' arguments; nothing was sent.");
        return TransferResult::Failed;
    }
    const std::string server = info->dotted;
    const bool ascii = typeInForce(id) != 'I';

    std::uint64_t marker = EstaEnRESTFile(engine_, id, "RETR", server, remoteName, localPath);
    if (wait.cancelled()) return stopped(id);

    struct stat st{};
    const bool exists = ::stat(localPath.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        log(">ERROR with file " + localPath);
        return TransferResult::Failed;
    }
    // Never past what is really on the disk; byte offsets mean nothing in ASCII mode.
    std::uint64_t offset = ascii || !exists ? 0 : std::min<std::uint64_t>(marker, static_cast<std::uint64_t>(st.st_size));
    if (offset > 0 && !server.empty()) {
        switch (sink.askSmartResume(localPath)) {
        case FtpSink::ResumeAnswer::DontTransfer:
            return TransferResult::Skipped;
        case FtpSink::ResumeAnswer::TransferAll:
            offset = 0;
            break;
        case FtpSink::ResumeAnswer::Resume:
            break;
        }
    } else if (exists) {
        if (!engine_.prompter().askYesNo("The file " + localPath + " already exists.\rDo you want to replace it?"))
            return TransferResult::Skipped;
        offset = 0;
    } else {
        offset = 0;
    }
    if (wait.cancelled()) return stopped(id);
    // The clock starts after the questions: the user's time is not transfer time.
    const auto start = Clock::now();

    // The data connection after the questions, so a passive port cannot time
    // out on the server while the user thinks.
    Socket data, listener;
    if (!engine_.openDataConnection(id, data, listener)) {
        if (wait.cancelled()) return stopped(id);
        log(">ERROR creating socket.");
        return TransferResult::Failed;
    }

    // Opened without truncation: an existing file changes only once the server
    // has accepted RETR; a file made here goes again if nothing arrives.
    LocalFile file(::open(localPath.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
    if (!file.valid()) {
        log(">ERROR with file " + localPath);
        return TransferResult::Failed;
    }
    const bool created = !exists;
    auto dropCreated = [&] {
        file.close();
        if (created) ::unlink(localPath.c_str());
    };

    if (offset > 0) {
        if (!engine_.sendCommand(id, "REST", std::to_string(offset))) {
            dropCreated();
            return wait.cancelled() ? stopped(id) : TransferResult::Failed;
        }
        log(">REST " + std::to_string(offset));
        Reply r = engine_.readReply(id);
        if (wait.cancelled()) {
            dropCreated();
            return stopped(id);
        }
        engine_.logReply(r);
        if (r.code() != '3') {
            // Appending to the partial file now would repeat its beginning.
            log("-The server refused REST: the whole file is transferred.");
            offset = 0;
        }
    }

    if (!engine_.sendCommand(id, "RETR", remoteName)) {
        dropCreated();
        return wait.cancelled() ? stopped(id) : TransferResult::Failed;
    }
    log(">RETR " + remoteName);
    Reply reply = engine_.readReply(id);
    if (wait.cancelled()) {
        dropCreated();
        return stopped(id);
    }
    engine_.logReply(reply);
    if (reply.code() != '1') {
        dropCreated();
        log(">ERROR with RETR command.");
        return TransferResult::Failed;
    }
    // Only scales the gauge: the data is read to its end whatever it says.
    const std::uint64_t expected = expectedSizeFromReply(reply.first());

    auto lateReply = [&] { engine_.logReply(engine_.readReplyLate(id)); };
    // Cut only when there is something to cut: ext4 flushes a file truncated to
    // 0 when it is closed, which would stall an Abort for the whole write-back.
    struct stat now{};
    bool cut = ::fstat(file.fd(), &now) == 0 &&
               (static_cast<std::uint64_t>(now.st_size) == offset || ::ftruncate(file.fd(), static_cast<off_t>(offset)) == 0);
    if (!cut || ::lseek(file.fd(), static_cast<off_t>(offset), SEEK_SET) < 0) {
        log(">ERROR with file " + localPath);
        file.close();
        data.close();
        listener.close();
        lateReply();
        return TransferResult::Failed;
    }

    if (!data.valid() && !wait.cancelled()) data = engine_.AcceptaSocket(listener, server);
    if (!data.valid()) {
        if (offset == 0) dropCreated();
        file.close();
        lateReply();
        if (stopped(id) != TransferResult::Cancelled) log(">ERROR with accept socket.");
        return stopped(id);
    }
    listener.close();

    Progress progress(sink, start, interval_, "Bytes received.");
    progress.begin(offset, expected);
    std::uint64_t received = offset;
    SparseWriter out(file.fd(), offset);
    const std::size_t io = ioSize(engine_.settings().PacketLength);
    std::unique_ptr<char[]> buf(new char[io]);
    enum class Stop { None, Interrupted, ReadError, WriteError } stop = Stop::None;
    int localError = 0;
    for (;;) {
        long n = data.recvSome(buf.get(), io);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                progress.update(received);
                if (wait.EsperaWSA(data.fd(), FD_READ) != 1 || wait.cancelled()) {
                    stop = Stop::Interrupted;
                    break;
                }
                continue;
            }
            stop = Stop::ReadError;
            break;
        }
        if (n == 0) break;
        if (!out.write(buf.get(), static_cast<std::size_t>(n))) {
            localError = errno;
            stop = Stop::WriteError;
            break;
        }
        received += static_cast<std::uint64_t>(n);
        progress.update(received);
        if (wait.cancelled()) {
            stop = Stop::Interrupted;
            break;
        }
    }
    progress.update(received, true);
    if (!out.finish() && stop == Stop::None) {
        localError = errno;
        stop = Stop::WriteError;
    }
    if (!file.close() && stop == Stop::None) {
        localError = errno;
        stop = Stop::WriteError;
    }
    const std::uint64_t fileSize = out.position();

    if (stop != Stop::None) {
        if (stop == Stop::ReadError) log(">ERROR receiving.");
        if (stop == Stop::WriteError) log(">ERROR writing file " + localPath + " (" + std::strerror(localError) + ")");
        data.close();
        lateReply();
        if (received == 0 && created) ::unlink(localPath.c_str());
        // The file holds what was received: the next transfer can continue from there.
        if (received > 0 && !ascii) EscriuRESTfile(engine_, id, "RETR", remoteName, localPath, received);
        return stop == Stop::Interrupted ? stopped(id) : TransferResult::Failed;
    }

    data.close();
    if (TransferResult r = complete(id, "RETR", localPath, fileSize - offset, start, progress); r != TransferResult::Copied)
        return r;
    if (engine_.settings().DeleteFileAfterDownload && !keepSource_) {
        engine_.fesDELETEFILE(id, remoteName);
        if (refresh_) refresh_();
    }
    return TransferResult::Copied;
}

TransferResult FtpTransfer::fesPUT(SessionId id, const std::string& localPath, const std::string& remoteName) {
    FtpSink& sink = engine_.sink();
    EventWait& wait = engine_.wait();
    auto log = [&](const std::string& line) { sink.log(line); };
    auto info = engine_.sessionInfo(id);
    ControlConnection* conn = engine_.connection(id);
    if (!info || !conn) return TransferResult::Failed;
    conn->drain();
    if (hasLineBreak(remoteName)) {
        log(">ERROR: Line breaks are not allowed in 'STOR' arguments; nothing was sent.");
        return TransferResult::Failed;
    }
    const std::string server = info->dotted;
    const bool ascii = typeInForce(id) != 'I';

    std::uint64_t marker = EstaEnRESTFile(engine_, id, "STOR", server, localPath, remoteName);
    if (wait.cancelled()) return stopped(id);

    // The source first: nothing goes to the server for a file that cannot be read.
    LocalFile file(::open(localPath.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st{};
    if (!file.valid() || ::fstat(file.fd(), &st) != 0 || !S_ISREG(st.st_mode)) {
        log(">ERROR with file " + localPath);
        return TransferResult::Failed;
    }
    const std::uint64_t size = static_cast<std::uint64_t>(st.st_size);

    std::uint64_t offset = 0;
    if (marker > 0 && !server.empty() && !ascii) {
        switch (sink.askSmartResume(localPath)) {
        case FtpSink::ResumeAnswer::DontTransfer:
            return TransferResult::Skipped;
        case FtpSink::ResumeAnswer::TransferAll:
            break;
        case FtpSink::ResumeAnswer::Resume: {
            // What the server really holds, not what was handed to the kernel.
            conn->drain();
            if (!engine_.sendCommand(id, "SIZE", remoteName)) return wait.cancelled() ? stopped(id) : TransferResult::Failed;
            Reply r = engine_.readReply(id);
            if (wait.cancelled()) return stopped(id);
            log(">SIZE " + remoteName);
            engine_.logReply(r);
            std::uint64_t remote = 0;
            const std::string& l = r.first();
            bool known = r.code() == '2' && l.size() > 4;
            if (known) {
                auto [p, ec] = std::from_chars(l.data() + 4, l.data() + l.size(), remote);
                known = ec == std::errc() && (p == l.data() + l.size() || *p == ' ' || *p == '\r');
            }
            if (!known) log("-The server can not tell the size of " + remoteName + ": the whole file is transferred.");
            else if (remote > size) log("-The remote file is larger than " + localPath + ": the whole file is transferred.");
            else offset = remote;
            break;
        }
        }
    }
    if (wait.cancelled()) return stopped(id);
    const auto start = Clock::now();

    Socket data, listener;
    if (!engine_.openDataConnection(id, data, listener)) {
        if (wait.cancelled()) return stopped(id);
        log(">ERROR with listen socket.");
        return TransferResult::Failed;
    }

    if (offset > 0) {
        if (!engine_.sendCommand(id, "REST", std::to_string(offset))) return wait.cancelled() ? stopped(id) : TransferResult::Failed;
        log(">REST " + std::to_string(offset));
        Reply r = engine_.readReply(id);
        if (wait.cancelled()) return stopped(id);
        engine_.logReply(r);
        if (r.code() != '3') {
            // STOR would then write the tail alone over the remote file.
            log("-The server refused REST: the whole file is transferred.");
            offset = 0;
        }
    }
    if (::lseek(file.fd(), static_cast<off_t>(offset), SEEK_SET) < 0) {
        log(">ERROR with file " + localPath);
        return TransferResult::Failed;
    }

    if (!engine_.sendCommand(id, "STOR", remoteName)) return wait.cancelled() ? stopped(id) : TransferResult::Failed;
    log(">STOR " + remoteName);
    Reply reply = engine_.readReply(id);
    if (wait.cancelled()) return stopped(id);
    engine_.logReply(reply);
    if (reply.code() != '1') {
        log(">ERROR with STOR command.");
        return TransferResult::Failed;
    }

    auto lateReply = [&] { engine_.logReply(engine_.readReplyLate(id)); };
    if (!data.valid() && !wait.cancelled()) data = engine_.AcceptaSocket(listener, server);
    if (!data.valid()) {
        file.close();
        lateReply();
        if (stopped(id) != TransferResult::Cancelled) log(">ERROR with accept socket.");
        return stopped(id);
    }
    listener.close();

    Progress progress(sink, start, interval_, "Bytes sent.");
    progress.begin(offset, size);
    std::uint64_t sent = offset;
    const std::size_t io = ioSize(engine_.settings().PacketLength);
    std::unique_ptr<char[]> buf(new char[io]);
    enum class Stop { None, Interrupted, ReadError, SendError } stop = Stop::None;
    int localError = 0;
    for (;;) {
        ssize_t n = ::read(file.fd(), buf.get(), io);
        if (n < 0) {
            if (errno == EINTR) continue;
            localError = errno;
            stop = Stop::ReadError;
            break;
        }
        if (n == 0) break;
        std::size_t done = 0;
        while (done < static_cast<std::size_t>(n) && stop == Stop::None) {
            long k = data.sendSome(buf.get() + done, static_cast<std::size_t>(n) - done);
            if (k >= 0) {
                done += static_cast<std::size_t>(k);
            } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
                if (wait.EsperaWSA(data.fd(), FD_WRITE) != 1 || wait.cancelled()) stop = Stop::Interrupted;
            } else if (errno != EINTR) {
                stop = Stop::SendError;
            }
        }
        if (stop != Stop::None) break;
        sent += static_cast<std::uint64_t>(n);
        progress.update(sent);
        if (wait.cancelled()) {
            stop = Stop::Interrupted;
            break;
        }
    }
    progress.update(sent, true);
    file.close();

    if (stop != Stop::None) {
        if (stop == Stop::ReadError) log(">ERROR reading file " + localPath + " (" + std::strerror(localError) + ")");
        if (stop == Stop::SendError) log(">ERROR sending.");
        resetClose(data);
        lateReply();
        if (sent > 0 && !ascii) EscriuRESTfile(engine_, id, "STOR", localPath, remoteName, sent);
        return stop == Stop::Interrupted ? stopped(id) : TransferResult::Failed;
    }

    data.close();
    if (TransferResult r = complete(id, "STOR", remoteName, sent - offset, start, progress); r != TransferResult::Copied)
        return r;
    if (engine_.settings().DeleteFileAfterUpload && !keepSource_) {
        deleteLocal(localPath);
        if (refresh_) refresh_();
    }
    return TransferResult::Copied;
}

} // namespace vn
