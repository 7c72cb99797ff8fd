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
    wait_.raiseCancel();
}

bool ControlConnection::EnviarComanda(std::string_view text) {
    if (ended_ || !sock_.valid()) return false;
    // Whatever sends a TYPE, the type in force is unknown until its answer is noted.
    if (text.size() >= 4 && (text[0] | 0x20) == 't' && (text[1] | 0x20) == 'y' && (text[2] | 0x20) == 'p' &&
        (text[3] | 0x20) == 'e')
        type_ = 0;
    while (!text.empty()) {
        std::string_view block = text.substr(0, kBlock);
        text.remove_prefix(block.size());
        while (!block.empty()) {
            if (wait_.EsperaWSA(sock_.fd(), FD_WRITE | FD_CLOSE) != 1) return false;
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
    return true;
}

bool ControlConnection::LlegirLinia(std::string& line) {
    std::string built;
    bool cut = false;
    for (;;) {
        auto lf = buf_.find('\n');
        std::size_t take = lf == std::string::npos ? buf_.size() : lf + 1;
        for (std::size_t i = 0; i < take; ++i) {
            char c = buf_[i];
            if (c == '\r' || c == '\n') continue;
            if (built.size() < kMaxLine) built.push_back(c);
            else cut = true;
        }
        buf_.erase(0, take);
        if (lf != std::string::npos) break;

        if (ended_ || !sock_.valid()) {
            line.clear();
            return false;
        }
        if (wait_.EsperaWSA(sock_.fd(), FD_READ) != 1) {
            line.clear();
            return false;
        }
        char chunk[4096];
        long n = sock_.recvSome(chunk, sizeof chunk);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
        if (wait_.cancelled()) {
            if (n > 0) buf_.append(chunk, static_cast<std::size_t>(n));
            if (log_) log_("--CANCELED--");
            return false;
        }
        if (n <= 0) {
            // The end of the connection (or a failed read) inside a line: no line.
            markEnded();
            return false;
        }
        buf_.append(chunk, static_cast<std::size_t>(n));
    }
    (void)cut;
    line = std::move(built);
    return true;
}

Reply ControlConnection::readReply() {
    Reply r;
    std::string line;
    if (!LlegirLinia(line)) return r;
    r.lines.push_back(line);
    auto digits = [](const std::string& s) {
        return s.size() >= 3 && std::isdigit(static_cast<unsigned char>(s[0])) &&
               std::isdigit(static_cast<unsigned char>(s[1])) && std::isdigit(static_cast<unsigned char>(s[2]));
    };
    if (line.size() >= 4 && line[3] == '-' && digits(line)) {
        const std::string code = line.substr(0, 3);
        for (;;) {
            std::string next;
            if (!LlegirLinia(next)) return r;
            bool last = next.compare(0, 3, code) == 0 && (next.size() == 3 || next[3] == ' ');
            if (r.lines.size() < kMaxReplyLines) r.lines.push_back(next);
            if (last) break;
        }
    }
    r.complete = true;
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
