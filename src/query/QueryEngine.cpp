#include "query/QueryEngine.h"

#include <cerrno>
#include <chrono>

#include "platform/Resolver.h"
#include "platform/Socket.h"
#include "common/History.h"

namespace vn {

namespace {

// Event texts of the socket error message.
constexpr std::string_view kConnecting = "connecting [CONNECT].";
constexpr std::string_view kReading = "reading.";
constexpr std::string_view kWriting = "writing.";

constexpr std::size_t kPiece = 1024;

bool wouldBlock(int e) { return e == EAGAIN || e == EWOULDBLOCK || e == EINTR; }

std::string socketNotConnected(int code) { return ">ERROR " + std::to_string(code) + " : socket not connected."; }

} // namespace

QueryEngine::QueryEngine(QueryKind kind, EventWait& wait, QuerySink& sink, Prompter& prompter)
    : profile_(queryProfile(kind)), wait_(wait), sink_(sink), prompter_(prompter), zone_(systemZoneBias) {}

void QueryEngine::setZoneSource(std::function<ZoneBias(std::time_t)> source) {
    zone_ = source ? std::move(source) : std::function<ZoneBias(std::time_t)>(systemZoneBias);
}

bool QueryEngine::hostAcceptable(std::string_view host) {
    return host.find_first_not_of(" \t") != std::string_view::npos;
}

void QueryEngine::fail(QueryResult& result, const std::string& message) {
    result.outcome = Outcome::Failed;
    result.error = message;
    prompter_.message(message);
}

bool QueryEngine::connectFailed(Socket& socket, QueryResult& result, Outcome outcome) {
    if (outcome == Outcome::Aborted) result.outcome = Outcome::Aborted;
    socket.close();
    sink_.status(kStatusNotConnected);
    sink_.beep();
    return false;
}

QueryResult QueryEngine::run(const QueryRequest& request) {
    QueryResult result;
    if (!hostAcceptable(request.host)) {
        result.refused = true;
        return result;
    }
    carried_ = 0;
    Socket socket;
    if (connect(request, socket, result)) {
        result.connected = true;
        switch (profile_.exchange) {
        case QueryExchange::SendLine:
            sendLine(socket, request.query, result);
            if (result.error.empty() && result.outcome != Outcome::Aborted) readAll(socket, result);
            break;
        case QueryExchange::ReadAll: readAll(socket, result); break;
        case QueryExchange::ReadTime: readTime(socket, request.synchronise, result); break;
        }
    }
    // The end of every query, whatever happened.
    socket.close();
    sink_.status(kStatusNotConnected);
    sink_.beep();
    return result;
}

bool QueryEngine::connect(const QueryRequest& request, Socket& socket, QueryResult& result) {
    const std::string& host = request.host;
    int port = request.port > 0 && request.port <= 65535 ? request.port : profile_.defaultPort;

    sink_.status(kStatusCreatingSocket);
    int err = 0;
    socket = Socket::tcp(err);
    if (!socket.valid()) {
        fail(result, socketNotConnected(err));
        return connectFailed(socket, result, Outcome::Failed);
    }

    std::string address;
    if (host[0] >= '0' && host[0] <= '9') {
        // A host that starts with a digit is an address, never looked up; one
        // that is not a valid address connects nowhere.
        if (!isDottedIPv4(host)) {
            fail(result, socketErrorText(profile_, EADDRNOTAVAIL, kConnecting));
            return connectFailed(socket, result, Outcome::Failed);
        }
        address = host;
    } else {
        sink_.status(kStatusLookingForHost);
        LookupResult found = lookupHost(wait_, host, std::nullopt);
        if (found.status == LookupResult::Cancelled || wait_.cancelled())
            return connectFailed(socket, result, Outcome::Aborted);
        if (found.status != LookupResult::Found) {
            // A name that does not resolve connects nowhere (never to 0.0.0.0,
            // which is this machine here).
            fail(result, socketErrorText(profile_, EADDRNOTAVAIL, kConnecting));
            return connectFailed(socket, result, Outcome::Failed);
        }
        address = found.dotted;
    }

    int rc = socket.connectStart(address, static_cast<std::uint16_t>(port));
    sink_.status(kStatusConnecting);
    if (rc != 0) {
        fail(result, socketErrorText(profile_, rc, kConnecting));
        return connectFailed(socket, result, Outcome::Failed);
    }
    Outcome o = wait_.wait(socket.fd(), FD_CONNECT | FD_CLOSE, std::nullopt);
    if (o == Outcome::Aborted) return connectFailed(socket, result, Outcome::Aborted);
    if (o != Outcome::Done && o != Outcome::PeerClosed) {
        fail(result, socketNotConnected(errno ? errno : EBADF));
        return connectFailed(socket, result, Outcome::Failed);
    }
    int e = wait_.socketError();
    if (e == 0) e = socket.pendingError();
    // A reset can only end a connection that stood: the peer accepted and
    // reset before this wait woke. What it sent first is still to be read.
    if (e == ECONNRESET) {
        carried_ = e;
        e = 0;
    } else if (e == 0 && !socket.peerAddress()) {
        e = ENOTCONN;
    }
    if (e != 0) {
        fail(result, socketErrorText(profile_, e, kConnecting));
        return connectFailed(socket, result, Outcome::Failed);
    }
    sink_.status(kStatusConnected);
    if (history_) history_->AfegirComAVisitat(host);
    return true;
}

void QueryEngine::sendLine(Socket& socket, const std::string& query, QueryResult& result) {
    // The whole line goes out, however long, over as many sends as it takes.
    if (carried_ != 0) return; // reset already: read what came, then say so
    const std::string line = query + "\r\n";
    std::size_t sent = 0;
    while (sent < line.size()) {
        Outcome o = wait_.wait(socket.fd(), FD_WRITE | FD_CLOSE, std::nullopt);
        if (o == Outcome::Aborted) {
            result.outcome = Outcome::Aborted;
            return;
        }
        if (o == Outcome::Failed) {
            fail(result, socketErrorText(profile_, EBADF, kWriting));
            return;
        }
        long n = socket.sendSome(line.data() + sent, line.size() - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        int e = n < 0 ? errno : 0;
        if (n < 0 && wouldBlock(e)) {
            // The peer has closed and takes nothing more: read what it said.
            if (o == Outcome::PeerClosed) return;
            continue;
        }
        fail(result, socketErrorText(profile_, e ? e : wait_.socketError(), kWriting));
        return;
    }
}

bool QueryEngine::waitToRead(Socket& socket, QueryResult& result, int& pending) {
    const Outcome o = wait_.wait(socket.fd(), FD_READ | FD_CLOSE, std::nullopt);
    if (o == Outcome::Aborted) {
        result.outcome = Outcome::Aborted;
        return false;
    }
    if (o == Outcome::Failed) {
        fail(result, socketErrorText(profile_, EBADF, kReading));
        return false;
    }
    if (wait_.socketError() != 0) pending = wait_.socketError();
    return true;
}

void QueryEngine::readAll(Socket& socket, QueryResult& result) {
    char buf[kPiece];
    // An error the wait picked up (a reset) is reported once the bytes that
    // arrived before it have been shown.
    int pending = carried_;
    for (;;) {
        if (!waitToRead(socket, result, pending)) return;
        long n = socket.recvSome(buf, sizeof buf);
        if (n > 0) {
            // By byte count: a zero byte is part of the reply like any other.
            sink_.reply(std::string(buf, static_cast<std::size_t>(n)));
            result.received += static_cast<std::uint64_t>(n);
            continue;
        }
        if (n == 0) {
            if (pending != 0) fail(result, socketErrorText(profile_, pending, kReading));
            else result.outcome = Outcome::Done;
            return;
        }
        int e = errno;
        if (wouldBlock(e)) continue;
        fail(result, socketErrorText(profile_, e, kReading));
        return;
    }
}

void QueryEngine::readTime(Socket& socket, bool synchronise, QueryResult& result) {
    // Exactly four bytes, each one waited for like any other read: a server
    // that stalls keeps the query until Abort, and one that sends eight (as
    // some do) has its first four taken.
    unsigned char bytes[4] = {};
    std::size_t got = 0;
    int pending = carried_;
    while (got < sizeof bytes) {
        if (!waitToRead(socket, result, pending)) return;
        long n = socket.recvSome(reinterpret_cast<char*>(bytes) + got, sizeof bytes - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
            continue;
        }
        int e = n < 0 ? errno : 0;
        if (n < 0 && wouldBlock(e)) continue;
        if (n == 0 && pending == 0) {
            // A partial value is no time at all: nothing is shown or set.
            fail(result, "ERROR: only " + std::to_string(got) + " of the 4 bytes of the time arrived while " +
                             std::string(kReading) + (profile_.serviceSuffix ? " Service not available." : ""));
            return;
        }
        fail(result, socketErrorText(profile_, n == 0 ? pending : e, kReading));
        return;
    }

    const auto t0 = std::chrono::steady_clock::now();
    const std::uint32_t value = rfc868FromBytes(bytes);
    TimeReading reading =
        readingFor(value, zone_(std::chrono::system_clock::to_time_t(std::chrono::system_clock::now())));
    result.time = reading;
    result.outcome = Outcome::Done;
    sink_.serverTime(reading);

    if (synchronise && !wait_.cancelled()) {
        auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
        this->synchronise(reading, elapsed.count(), result);
    }

    // The server closes after its value; wait for that (or Abort).
    wait_.wait(socket.fd(), FD_READ | FD_CLOSE, std::nullopt);
}

void QueryEngine::synchronise(const TimeReading& reading, std::int64_t elapsedMs, QueryResult& result) {
    // The server's instant plus the time spent since the value arrived; the
    // network's delay is not allowed for.
    using namespace std::chrono;
    ClockSetter::TimePoint instant{duration_cast<system_clock::duration>(seconds(reading.unixSeconds) +
                                                                          milliseconds(elapsedMs))};
    int rc = clock_ ? clock_->setUtc(instant) : EPERM;
    if (rc == 0) {
        result.clockSet = true;
        sink_.beep();
        prompter_.message(kClockSynchronised);
    } else {
        result.clockError = rc;
        prompter_.message(kClockNotSet);
    }
}

std::vector<std::string> replyLines(std::string_view piece) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < piece.size()) {
        std::size_t brk = piece.find_first_of("\r\n", start);
        if (brk == std::string_view::npos) {
            lines.emplace_back(piece.substr(start));
            break;
        }
        lines.emplace_back(piece.substr(start, brk - start));
        start = brk + ((piece[brk] == '\r' && brk + 1 < piece.size() && piece[brk + 1] == '\n') ? 2 : 1);
    }
    if (piece.empty()) lines.emplace_back();
    return lines;
}

} // namespace vn
