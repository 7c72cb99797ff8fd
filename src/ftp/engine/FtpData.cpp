// Data connections (PORT/PASV), the commands a listing needs, and listings.
#include <cerrno>

#include "ftp/engine/FtpEngine.h"

namespace vn {

int pasvPortFromReply(const std::string& line) {
    auto open = line.find('(', line.size() >= 5 ? 4 : 0);
    if (open == std::string::npos) return -1;
    auto close = line.find(')', open);
    if (close == std::string::npos) return -1;
    std::string inner = line.substr(open + 1, close - open - 1);
    int values[6];
    std::size_t pos = 0;
    for (int i = 0; i < 6; ++i) {
        auto end = i < 5 ? inner.find(',', pos) : inner.size();
        if (end == std::string::npos) return -1;
        std::string field = inner.substr(pos, end - pos);
        if (field.empty() || field.size() > 3 || field.find_first_not_of("0123456789") != std::string::npos) return -1;
        values[i] = std::stoi(field);
        if (values[i] > 255) return -1;
        pos = end + 1;
    }
    int port = values[4] * 256 + values[5];
    return port == 0 ? -1 : port;
}

Reply FtpEngine::readReplyLate(SessionId id) {
    bool wasCancelled = wait_.cancelled();
    bool wasTimedOut = wait_.timedOut();
    if (!wasCancelled) return readReply(id);
    if (closing_) return {};
    // After the user's Abort the answer is awaited only briefly: a server that
    // keeps silent must not hold the window for a whole read time-out.
    Timeouts t = wait_.timeouts();
    Timeouts brief = t;
    const auto limit = std::chrono::duration_cast<Timeouts::Duration>(lateReadLimit());
    if (!wasTimedOut && (brief.rx <= Timeouts::Duration::zero() || brief.rx > limit)) brief.rx = limit;
    wait_.lowerCancel();
    wait_.setTimeouts(brief);
    Reply r = readReply(id);
    wait_.setTimeouts(t);
    wait_.raiseCancel();
    return r;
}

bool FtpEngine::fesPORT(SessionId id, const Endpoint& local, int port) {
    std::string h = local.address;
    for (char& ch : h)
        if (ch == '.') ch = ',';
    return announceListener(id, "PORT " + h + "," + std::to_string(port / 256) + "," + std::to_string(port % 256));
}

bool FtpEngine::announceListener(SessionId id, const std::string& command) {
    ControlConnection* c = connection(id);
    if (!c) return false;
    c->drain();
    log(">" + command);
    if (!c->EnviarComanda(command + "\r\n")) return false;
    Reply r = readReply(id);
    if (!r.first().empty()) logReply(r);
    if (wait_.cancelled()) {
        logReply(readReplyLate(id));
        return false;
    }
    // A server that refuses PORT (behind NAT, or by policy) will not connect:
    // the command that needed the data connection is not sent.
    return r.code() == '2';
}

Socket FtpEngine::getListenSocket(SessionId id) {
    ControlConnection* c = connection(id);
    if (!c) return {};
    int err = 0;
    // The listener on the control connection's address, so in its family.
    auto local = c->socket().localAddress();
    Socket listener = local ? Socket::tcpFor(local->address, err) : Socket();
    if (!err && !local) err = errno ? errno : ENOTCONN;
    if (!err) err = listener.listenOn(local->address, 0, 1);
    std::optional<Endpoint> bound;
    if (!err && !(bound = listener.localAddress())) err = errno ? errno : EINVAL;
    if (err) {
        listener.close();
        log(">ERROR " + std::to_string(err) + " : data socket not connected.");
        sink_.beep();
        return {};
    }
    // PORT speaks IPv4 only; an IPv6 connection names its listener with EPRT.
    if (!(local->ipv6() ? fesEPRT(id, *local, bound->port) : fesPORT(id, *local, bound->port))) {
        listener.close();
        return {};
    }
    return listener;
}

Socket FtpEngine::AcceptaSocket(Socket& listener, const std::string& serverAddress) {
    EventWait::Deadline deadline = wait_.deadlineFor(FD_ACCEPT);
    for (;;) {
        if (waitStep(listener.fd(), FD_ACCEPT, deadline) != Outcome::Done) return {};
        Endpoint peer;
        int err = 0;
        Socket data = listener.acceptOne(&peer, err);
        if (!data.valid()) {
            if (err == EAGAIN || err == EWOULDBLOCK || err == ECONNABORTED || err == EINTR) continue;
            log(">Error " + std::to_string(err) + " sending");
            sink_.beep();
            listener.close();
            return {};
        }
        if (peer.address != serverAddress) {
            // Only the server may connect: anyone else could inject or steal the data.
            log(">ERROR: Data connection from " + peer.address + " refused.");
            continue;
        }
        listener.close();
        return data;
    }
}

bool FtpEngine::fesPASV(SessionId id, int& port) {
    ControlConnection* c = connection(id);
    if (!c) return false;
    c->drain();
    if (!sendCommand(id, "PASV")) return false;
    Reply r = readReply(id);
    if (wait_.cancelled()) return false;
    log(">PASV");
    logReply(r);
    int p = pasvPortFromReply(r.first());
    if (r.code() != '2') return false;
    if (p < 0) {
        log(">ERROR: The PASV reply names no usable port.");
        return false;
    }
    port = p;
    if (Session* s = find(id)) s->info.pasvPort = p;
    return true;
}

Socket FtpEngine::getConnectSocket(const std::string& dotted, int port) {
    log(">Connecting Data socket to " + dotted);
    int err = 0;
    Socket s = Socket::tcpFor(dotted, err);
    auto notConnected = [](int n) { return ">ERROR " + std::to_string(n) + " : socket not connected."; };
    if (!s.valid()) {
        log(notConnected(err));
        sink_.beep();
        return {};
    }
    int rc = port > 0 && port < 65536 ? s.connectStart(dotted, static_cast<std::uint16_t>(port)) : EINVAL;
    if (rc != 0) {
        log(notConnected(rc));
        sink_.beep();
        return {};
    }
    if (waitStep(s.fd(), FD_CONNECT, std::nullopt) != Outcome::Done) {
        s.close();
        log("--CANCELED--");
        sink_.beep();
        return {};
    }
    if (wait_.socketError() != 0 || !s.peerAddress()) {
        int n = wait_.socketError() ? wait_.socketError() : ENOTCONN;
        s.close();
        sink_.beep();
        log(notConnected(n));
        if (wait_.cancelled()) log("--CANCELED--");
        return {};
    }
    log(">Socket connected.");
    return s;
}

bool FtpEngine::openDataConnection(SessionId id, Socket& data, Socket& listener) {
    return openDataConnection(id, DataMode::Session, data, listener);
}

bool FtpEngine::openDataConnection(SessionId id, DataMode mode, Socket& data, Socket& listener) {
    Session* s = find(id);
    if (!s) return false;
    const bool passive = mode == DataMode::Session ? s->info.passive : mode == DataMode::Passive;
    if (passive) {
        int port = 0;
        // EPSV on IPv6 (PASV can't name an IPv6 port), and on IPv4 when the
        // server lists it; a refusal falls back to PASV for the session.
        FtpFeatures& f = s->features;
        const bool ipv6 = s->info.dotted.find(':') != std::string::npos;
        bool ok = false;
        if ((ipv6 || f.epsv) && !f.epsvRefused) {
            bool refused = false;
            ok = fesEPSV(id, port, refused);
            if (!ok && refused && !wait_.cancelled()) {
                f.epsvRefused = true;
                log("-The server refused EPSV: PASV is used.");
            }
        }
        if (!ok && !wait_.cancelled() && (f.epsvRefused || (!ipv6 && !f.epsv))) ok = fesPASV(id, port);
        if (wait_.cancelled()) {
            log("--CANCELED--");
            sink_.beep();
            return false;
        }
        if (ok) data = getConnectSocket(s->info.dotted, port);
    } else {
        listener = getListenSocket(id);
    }
    return data.valid() || listener.valid();
}

void FtpEngine::setPassive(SessionId id, bool passive, int pasvPort) {
    if (Session* s = find(id)) {
        s->info.passive = passive;
        s->info.pasvPort = pasvPort;
    }
}

bool FtpEngine::fesCWD(SessionId id, const std::string& folder) {
    ControlConnection* c = connection(id);
    if (!c) return false;
    c->drain();
    if (!sendCommand(id, "CWD", folder)) return !hasLineBreak(folder) && wait_.cancelled();
    Reply r = readReply(id);
    if (wait_.cancelled()) return true;
    log(">CWD " + folder);
    logReply(r);
    if (r.code() == '2') {
        if (Session* s = find(id)) s->info.workingDir = folder.empty() || folder.back() != '/' ? folder + "/" : folder;
        return true;
    }
    log(">Error changing Working Directory");
    return false;
}

bool FtpEngine::fesTYPE(SessionId id, char letter) {
    ControlConnection* c = connection(id);
    if (!c) return false;
    c->drain();
    std::string arg(1, letter);
    if (!sendCommand(id, "TYPE", arg)) return false;
    Reply r = readReply(id);
    if (wait_.cancelled()) return false;
    log(">TYPE " + arg);
    logReply(r);
    if (r.code() != '2') return false;
    c->noteTransferType(letter);
    return true;
}

bool FtpEngine::ensureType(SessionId id, char letter) {
    ControlConnection* c = connection(id);
    if (!c) return false;
    if (c->transferType() == letter) return true;
    return fesTYPE(id, letter);
}

std::optional<char> FtpEngine::typeInForce(SessionId id) const {
    auto it = sessions_.find(id);
    if (it == sessions_.end() || !it->second.conn || it->second.conn->transferType() == 0) return std::nullopt;
    return it->second.conn->transferType();
}

bool FtpEngine::readListing(Socket& data, ListingParser& parser) {
    std::vector<char> chunk(64 * 1024);
    std::size_t total = 0;
    for (;;) {
        // TLS may hold decrypted bytes no socket event announces.
        if (!data.buffered()) {
            const Outcome o = waitStep(data.fd(), data.waitEvents(FD_READ | FD_CLOSE), wait_.deadlineFor(FD_READ));
            if (o != Outcome::Done) {
                data.close();
                return false;
            }
        }
        long n = data.recvSome(chunk.data(), chunk.size());
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
            sink_.beep();
            log("Error receiving LIST");
            data.close();
            return false;
        }
        if (n == 0) {
            data.close();
            return true;
        }
        if (total + static_cast<std::size_t>(n) > kMaxListingBytes) {
            log(">ERROR: The listing is larger than " + std::to_string(kMaxListingBytes >> 20) +
                " MiB; the rest was not read.");
            data.close();
            return true;
        }
        total += static_cast<std::size_t>(n);
        parser.feed(std::string_view(chunk.data(), static_cast<std::size_t>(n)));
    }
}

std::optional<ListingResult> FtpEngine::listFolder(SessionId id, const std::string& folder, DataMode mode) {
    Session* s = find(id);
    if (!s) return std::nullopt;
    if (hasLineBreak(folder)) {
        log(">ERROR: Line breaks are not allowed in 'LIST' arguments; nothing was sent.");
        return std::nullopt;
    }
    s->conn->drain();
    if (listingBusy_.exchange(true)) return std::nullopt;
    struct Lower {
        std::atomic<bool>& f;
        ~Lower() { f = false; }
    } lower{listingBusy_};

    // MLSD when the server lists it: exact sizes, times and types.
    const bool mlsd = s->features.mlsd;
    bool unknown = false;
    auto r = listOnce(id, folder, mode, mlsd, unknown);
    if (!r && mlsd && unknown && !wait_.cancelled()) {
        if (Session* again = find(id)) {
            again->features.mlsd = false;
            log("-The server does not know MLSD: LIST is used.");
            r = listOnce(id, folder, mode, false, unknown);
        }
    }
    return r;
}

std::optional<ListingResult> FtpEngine::listOnce(SessionId id, const std::string& folder, DataMode mode, bool mlsd,
                                                 bool& unknownCommand) {
    unknownCommand = false;
    Session* s = find(id);
    if (!s) return std::nullopt;
    const std::string verb = mlsd ? "MLSD" : "LIST";
    const std::string server = s->info.dotted;
    Socket data, listener;
    if (!openDataConnection(id, mode, data, listener)) {
        // A refused PORT or PASV ends the listing here: nothing else is sent.
        if (!wait_.cancelled()) log(">ERROR creating socket.");
        return std::nullopt;
    }
    ensureType(id, 'A');
    if (wait_.cancelled() || !connection(id)) return std::nullopt;

    if (!sendCommand(id, verb, folder)) return std::nullopt;
    log(">" + verb + " " + folder);
    Reply first = readReply(id);
    if (first.first().empty()) first = readReplyLate(id);
    if (first.lines.empty()) log("--->");
    logReply(first);
    if (first.first().empty()) return std::nullopt;
    if (first.code() != '1' && first.code() != '2') {
        // Refused (no such folder, no data connection, not logged in): no data will come.
        const std::string& l = first.first();
        unknownCommand = l.compare(0, 3, "500") == 0 || l.compare(0, 3, "502") == 0 || l.compare(0, 3, "504") == 0;
        if (!(mlsd && unknownCommand)) sink_.beep();
        return std::nullopt;
    }

    if (!data.valid() && !wait_.cancelled()) data = AcceptaSocket(listener, server);
    if (data.valid() && !secureData(id, data)) data.close();
    ListingParser parser({}, mlsd ? ListingFormat::Mlsd : ListingFormat::List);
    bool complete = false;
    if (data.valid()) complete = readListing(data, parser);
    else if (wait_.cancelled()) log(">...Waiting for data connection to close;");

    if (first.code() != '2') {
        // The data before the completion reply: a listing larger than the
        // socket buffers would otherwise stall both ends.
        Reply last = readReplyLate(id);
        if (!last.first().empty()) logReply(last);
        // A transfer the server reports as aborted is no listing of the folder.
        if (last.code() != '2') complete = false;
    }
    if (wait_.cancelled() || !complete) return std::nullopt;

    ListingResult parsed = parser.finish();
    for (const auto& l : parsed.log) log(l);
    return parsed;
}

std::optional<std::vector<ListingEntry>> FtpEngine::fesLIST(SessionId id, const std::string& folder, bool changeDir) {
    auto parsed = listFolder(id, folder, DataMode::Session);
    if (!parsed) return std::nullopt;
    if (changeDir) fesCWD(id, folder);
    return std::move(parsed->entries);
}

std::optional<std::vector<RemoteName>> FtpEngine::FindLIST(SessionId id, const std::string& folder) {
    auto parsed = listFolder(id, folder, DataMode::Session);
    if (!parsed) {
        if (!wait_.cancelled() && connection(id)) log(">ERROR reading the folder " + folder + "; it was not copied.");
        return std::nullopt;
    }
    std::vector<RemoteName> names;
    names.reserve(parsed->entries.size());
    for (auto& e : parsed->entries) names.push_back({KindLetter(e), std::move(e.name)});
    return names;
}

} // namespace vn
