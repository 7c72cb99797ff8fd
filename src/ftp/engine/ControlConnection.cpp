#include "ftp/engine/ControlConnection.h"

#include <cctype>
#include <cerrno>

namespace vn {

const std::string& Reply::first() const {
    static const std::string empty;
    return lines.empty() ? empty : lines.front();
}

ControlConnection::ControlConnection(EventWait& wait, Logger log) : wait_(wait), log_(std::move(log)) {}

void ControlConnection::markEnded() {
    ended_ = true;
    last_ = Outcome::PeerClosed;
    // The operation can't go on without its connection: its loops unwind.
    wait_.raiseCancel();
}

bool ControlConnection::waitFor(unsigned events) {
    const Outcome o = wait_.wait(sock_.fd(), events);
    if (o == Outcome::Done || o == Outcome::PeerClosed) return true; // arrived() tells which
    last_ = o;
    // A time-out ends the operation as an Abort does (the log says ">ERROR: Timeout").
    if (o == Outcome::TimedOut) wait_.raiseCancel();
    return false;
}

bool ControlConnection::EnviarComanda(std::string_view text) {
    if (ended_ || !sock_.valid()) {
        last_ = ended_ ? Outcome::PeerClosed : Outcome::Failed;
        return false;
    }
    while (!text.empty()) {
        std::string_view block = text.substr(0, kBlock);
        text.remove_prefix(block.size());
        while (!block.empty()) {
            if (!waitFor(sock_.waitEvents(FD_WRITE | FD_CLOSE))) return false;
            if (wait_.arrived() & FD_CLOSE) {
                markEnded();
                return false;
            }
            long n = sock_.sendSome(block.data(), block.size());
            if (n < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
                markEnded();
                return false;
            }
            block.remove_prefix(static_cast<std::size_t>(n));
        }
    }
    last_ = Outcome::Done;
    return true;
}

bool ControlConnection::LlegirLinia(std::string& line) {
    std::string built;
    for (;;) {
        auto lf = buf_.find('\n');
        std::size_t take = lf == std::string::npos ? buf_.size() : lf + 1;
        for (std::size_t i = 0; i < take; ++i) {
            char c = buf_[i];
            if (c == '\r' || c == '\n') continue;
            if (built.size() < kMaxLine) built.push_back(c); // the rest of a longer line is dropped
        }
        buf_.erase(0, take);
        if (lf != std::string::npos) break;

        if (ended_ || !sock_.valid()) {
            last_ = ended_ ? Outcome::PeerClosed : Outcome::Failed;
            line.clear();
            return false;
        }
        // TLS may hold decrypted bytes no socket event announces.
        if (!sock_.buffered() && !waitFor(sock_.waitEvents(FD_READ))) {
            line.clear();
            return false;
        }
        char chunk[4096];
        long n = sock_.recvSome(chunk, sizeof chunk);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
        if (wait_.cancelled()) {
            if (n > 0) buf_.append(chunk, static_cast<std::size_t>(n));
            if (log_) log_("--CANCELED--");
            last_ = Outcome::Aborted;
            return false;
        }
        if (n <= 0) {
            // The end of the connection (or a failed read) inside a line: no line.
            markEnded();
            return false;
        }
        buf_.append(chunk, static_cast<std::size_t>(n));
    }
    line = std::move(built);
    last_ = Outcome::Done;
    return true;
}

Reply ControlConnection::readReply() {
    Reply r;
    std::string line;
    if (!LlegirLinia(line)) {
        r.outcome = last_;
        return r;
    }
    r.lines.push_back(line);
    auto digits = [](const std::string& s) {
        return s.size() >= 3 && std::isdigit(static_cast<unsigned char>(s[0])) &&
               std::isdigit(static_cast<unsigned char>(s[1])) && std::isdigit(static_cast<unsigned char>(s[2]));
    };
    if (line.size() >= 4 && line[3] == '-' && digits(line)) {
        const std::string code = line.substr(0, 3);
        for (;;) {
            std::string next;
            if (!LlegirLinia(next)) {
                r.outcome = last_;
                return r;
            }
            bool last = next.compare(0, 3, code) == 0 && (next.size() == 3 || next[3] == ' ');
            if (r.lines.size() < kMaxReplyLines) r.lines.push_back(next);
            if (last) break;
        }
    }
    r.complete = true;
    r.outcome = Outcome::Done;
    return r;
}

void ControlConnection::drain() {
    buf_.clear();
    if (!sock_.valid()) return;
    char chunk[1024];
    for (;;) {
        long n = sock_.recvSome(chunk, sizeof chunk);
        if (n > 0) continue;
        if (n == 0) markEnded();
        break;
    }
}

} // namespace vn
