#include "ftp/engine/FtpEngine.h"

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "ftp/engine/QuickHost.h"
#include "platform/Resolver.h"

namespace vn {

namespace {

std::atomic<SessionId> g_nextSession{1};

std::string stars(const std::string& text) {
    // One "*" per character: count UTF-8 lead bytes, not bytes.
    std::size_t n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++n;
    return std::string(n, '*');
}

} // namespace

std::string folderFromPwdReply(const std::string& l) {
    std::string folder;
    if (!l.empty() && l[0] == '2') {
        // The quoted path; a doubled quote inside stands for one quote.
        auto open = l.find('"');
        if (open != std::string::npos) {
            for (std::size_t i = open + 1; i < l.size(); ++i) {
                if (l[i] == '"') {
                    if (i + 1 < l.size() && l[i + 1] == '"') {
                        folder.push_back('"');
                        ++i;
                        continue;
                    }
                    break;
                }
                folder.push_back(l[i]);
            }
        } else if (l.size() > 4) {
            folder = l.substr(4);
        }
    }
    if (!folder.empty() && folder.back() == '/') folder.pop_back();
    return folder + "/";
}

bool hasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

FtpEngine::FtpEngine(FtpSink& sink, Prompter& prompter) : FtpEngine(sink, prompter, FtpServices::standard()) {}

FtpEngine::FtpEngine(FtpSink& sink, Prompter& prompter, FtpServices services)
    : sink_(sink), prompter_(prompter), services_(std::move(services)) {
    wait_.setLogger([this](const std::string& line) { sink_.log(line); });
}

FtpEngine::~FtpEngine() { wait_.setLogger(nullptr); }

void FtpEngine::applySettings(const FtpSettings& s) {
    settings_ = s;
    wait_.setTimeouts({s.CxTOut, s.TxTOut, s.RxTOut});
}

void FtpEngine::setConnecting(bool on) {
    connecting_ = on;
    sink_.connectingChanged(on);
}

FtpEngine::Session* FtpEngine::find(SessionId id) {
    auto it = sessions_.find(id);
    return it == sessions_.end() ? nullptr : &it->second;
}

ControlConnection* FtpEngine::connection(SessionId id) {
    Session* s = find(id);
    return s ? s->conn.get() : nullptr;
}

std::vector<SessionId> FtpEngine::sessionIds() const { return order_; }

std::optional<SessionInfo> FtpEngine::sessionInfo(SessionId id) const {
    auto it = sessions_.find(id);
    if (it == sessions_.end()) return std::nullopt;
    return it->second.info;
}

void FtpEngine::logReply(const Reply& r) {
    for (const auto& l : r.lines) log("--->" + l);
}

bool FtpEngine::sendCommand(SessionId id, const std::string& verb, const std::string& argument) {
    ControlConnection* c = connection(id);
    if (!c) return false;
    if (hasLineBreak(argument)) {
        log(">ERROR: Line breaks are not allowed in '" + verb + "' arguments; nothing was sent.");
        return false;
    }
    std::string line = argument.empty() ? verb : verb + " " + argument;
    struct Record {
        FtpEngine& e;
        ControlConnection* c;
        ~Record() { e.lastOutcome_ = c->lastOutcome(); }
    } record{*this, c};
    // A TYPE (or a new login) the engine did not track leaves the type unknown.
    auto startsNoCase = [&](const char* w) {
        std::size_t n = std::char_traits<char>::length(w);
        if (line.size() < n) return false;
        for (std::size_t i = 0; i < n; ++i)
            if (std::toupper(static_cast<unsigned char>(line[i])) != w[i]) return false;
        return true;
    };
    if (startsNoCase("TYPE") || startsNoCase("REIN") || startsNoCase("USER"))
        c->noteTransferType(0);
    return c->EnviarComanda(line + "\r\n");
}

Reply FtpEngine::readReply(SessionId id) {
    ControlConnection* c = connection(id);
    if (!c) {
        lastOutcome_ = Outcome::Failed;
        return {};
    }
    Reply r = c->readReply();
    lastOutcome_ = r.outcome;
    return r;
}

Outcome FtpEngine::waitStep(int fd, unsigned events, EventWait::Deadline deadline) {
    Outcome o = wait_.wait(fd, events, deadline);
    if (o == Outcome::PeerClosed) o = Outcome::Done; // the step that follows sees the close
    lastOutcome_ = o;
    if (o == Outcome::TimedOut) wait_.raiseCancel();
    return o;
}

std::optional<SessionId> FtpEngine::ConnectarAServidor(const ConnectParams& p) {
    struct Done {
        FtpEngine& e;
        ~Done() { e.setConnecting(false); }
    };
    setConnecting(true);
    Done done{*this};

    log(">Connecting socket to " + p.host + " [" + p.siteName + "]");
    if (hasLineBreak(p.host) || hasLineBreak(p.login) || hasLineBreak(p.password)) {
        log(">ERROR: Line breaks are not allowed in the host, login or password; nothing was sent.");
        sink_.beep();
        return std::nullopt;
    }

    auto conn = std::make_unique<ControlConnection>(wait_, [this](const std::string& l) { log(l); });
    auto fail = [&](const std::string& line) -> std::optional<SessionId> {
        conn->close();
        if (!line.empty()) log(line);
        sink_.beep();
        return std::nullopt;
    };
    auto notConnected = [&](int n) { return ">ERROR " + std::to_string(n) + " : socket not connected."; };

    // "[v6]" and "[v6]:port" as typed; the port written there wins.
    const HostText typed = splitHostText(p.host);
    const int port = typed.port > 0 ? typed.port : p.port;

    // A literal address only when it parses as one; a name is looked up (IPv6
    // and IPv4), and look-up plus the first connect are bounded by CxTOut.
    std::vector<std::string> addresses;
    EventWait::Deadline deadline;
    if (isDottedIPv4(typed.host) || isIPv6Literal(typed.host)) {
        addresses.push_back(typed.host);
    } else {
        deadline = wait_.deadlineFor(FD_CONNECT);
        LookupResult r = lookupHost(wait_, typed.host, deadline, LookupFamily::Any);
        if (r.status == LookupResult::Cancelled || r.status == LookupResult::TimedOut || wait_.cancelled()) {
            lastOutcome_ = r.status == LookupResult::TimedOut ? Outcome::TimedOut : Outcome::Aborted;
            return fail("--CANCELED--");
        }
        addresses = r.all();
        if (r.status != LookupResult::Found || addresses.empty())
            // Never fall back to 0.0.0.0: on Linux that reaches this machine.
            return fail(notConnected(r.error));
    }
    if (port < 1 || port > 65535) return fail(notConnected(EINVAL));

    // Each address of the name in turn, until one answers; a cancel ends the try.
    for (std::size_t i = 0;; ++i) {
        const std::string& address = addresses[i];
        const bool last = i + 1 == addresses.size();
        if (i > 0) {
            log(">Trying the next address of " + typed.host + ": " + address);
            deadline = wait_.deadlineFor(FD_CONNECT);
        }
        int err = 0;
        conn->socket() = Socket::tcpFor(address, err);
        if (!conn->socket().valid()) {
            if (last) return fail(notConnected(err));
            log(notConnected(err));
            continue;
        }
        int rc = conn->socket().connectStart(address, static_cast<std::uint16_t>(port));
        if (rc != 0) {
            log(std::to_string(rc));
            if (last) return fail(notConnected(rc));
            conn->close();
            log(notConnected(rc));
            continue;
        }
        const Outcome w = waitStep(conn->socket().fd(), FD_CONNECT, deadline);
        if (w != Outcome::Done) return fail(w == Outcome::Failed ? notConnected(EINVAL) : "--CANCELED--");
        if (wait_.socketError() != 0 || !conn->socket().peerAddress()) {
            int n = wait_.socketError() ? wait_.socketError() : ENOTCONN;
            conn->close();
            log(notConnected(n));
            if (wait_.cancelled()) {
                sink_.beep();
                log("--CANCELED--");
                return std::nullopt;
            }
            if (last) {
                sink_.beep();
                return std::nullopt;
            }
            continue;
        }
        break;
    }
    // The peer as the kernel names it: data connections go to (and may only come from) it.
    const std::string dotted = conn->socket().peerAddress()->address;
    log(">Socket connected.");

    std::string certificate;
    if (p.security == FtpSecurity::Implicit && !secureControl(*conn, p, certificate)) return fail("");

    // Greeting: the whole reply, so its last line is never taken as the USER reply.
    Reply greeting = conn->readReply();
    if (wait_.cancelled() || !greeting.complete || greeting.first().size() < 4) return fail("--CANCELED--");
    if (greeting.code() != '2') return fail("--->" + greeting.first() + " Service Unavailable");
    std::string welcome;
    for (const auto& l : greeting.lines) {
        log("--->" + l);
        welcome += (welcome.empty() ? "" : "\r") + l;
    }
    if (p.security == FtpSecurity::ExplicitIfAvailable || p.security == FtpSecurity::RequireExplicit) {
        switch (negotiateAuth(*conn, p, certificate)) {
        case AuthResult::Secured: break;
        case AuthResult::Failed: return fail("");
        case AuthResult::Refused:
            // Only a refusal falls back, and never quietly.
            if (p.security == FtpSecurity::RequireExplicit)
                return fail(">ERROR: The server refused AUTH TLS and this site requires TLS; not connected.");
            log("-The server does not support TLS: this session is NOT encrypted.");
            break;
        }
    }

    bool loggedIn = false;
    if (!conn->EnviarComanda("USER " + p.login + "\r\n")) return fail(wait_.cancelled() ? "--CANCELED--" : "");
    Reply user = conn->readReply();
    if (wait_.cancelled() || !user.complete) return fail("--CANCELED--");
    log(">USER " + p.login);
    logReply(user);
    if (user.code() == '2') {
        loggedIn = true;
    } else if (user.code() == '3') {
        if (!conn->EnviarComanda("PASS " + p.password + "\r\n")) return fail(wait_.cancelled() ? "--CANCELED--" : "");
        log(">PASS " + stars(p.password));
        Reply pass = conn->readReply();
        if (wait_.cancelled() || !pass.complete) return fail("--CANCELED--");
        for (const auto& l : pass.lines) {
            log("--->" + l);
            if (!welcome.empty()) welcome += "\r" + l;
        }
        if (pass.code() == '2') loggedIn = true;
        else if (pass.code() != '3') log(">ERROR with password");
    } else {
        log(">ERROR with USER");
    }
    if (!loggedIn) return fail("--NOT CONNECTED-- ");

    if (services_.rememberHost) services_.rememberHost(p.host);
    sink_.beep();
    if (settings_.ShowWelcome) prompter_.message(welcome);

    SessionId id = g_nextSession++;
    Session s;
    s.info.id = id;
    s.info.host = p.host;
    s.info.siteName = p.siteName;
    s.info.caption = p.host + "[" + p.siteName + "]";
    s.info.port = port;
    s.info.encrypted = conn->socket().tls() != nullptr;
    s.certificate = certificate;
    s.conn = std::move(conn);
    sessions_.emplace(id, std::move(s));
    order_.push_back(id);

    if (sessions_.at(id).info.encrypted) protectData(id);
    askFeatures(id);
    std::string cwd = wait_.cancelled() ? std::string() : fesPWD(id);
    Session* sp = find(id);
    if (wait_.cancelled() || !sp || sp->conn->ended()) {
        if (sp) sp->conn->close();
        sessions_.erase(id);
        order_.erase(std::remove(order_.begin(), order_.end(), id), order_.end());
        log("--CANCELED--");
        sink_.beep();
        return std::nullopt;
    }
    sp->info.dotted = dotted;
    sp->info.passive = p.passive;
    sp->info.pasvPort = 0;
    sp->info.workingDir = cwd;

    // The window lists the working folder here (its server node and folder
    // chain come from that listing), then the REST probe follows.
    SessionInfo info = sp->info;
    sink_.sessionOpened(info);
    setConnecting(false);
    if (wait_.cancelled() || !find(id)) return std::nullopt;
    ComprobarREST(id, true);
    return id;
}

std::optional<SessionId> FtpEngine::connectWithRetries(ConnectParams p, const std::vector<std::string>& alternates,
                                                        RetryStyle style) {
    std::vector<std::string> addresses{p.host};
    for (const auto& a : alternates)
        if (!a.empty()) addresses.push_back(a);
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        if (i > 0) log(">Trying to connect to alternate address " + addresses[i]);
        p.host = addresses[i];
        for (int k = 0;; ++k) {
            if (k > 0)
                log(style == RetryStyle::SiteManager ? ">Trying again to connect to " + p.host : ">Trying again...");
            auto id = ConnectarAServidor(p);
            if (wait_.cancelled()) return std::nullopt;
            if (id) return id;
            if (settings_.CxRT == k + 1) break;
        }
    }
    return std::nullopt;
}

std::string FtpEngine::fesPWD(SessionId id) {
    if (!sendCommand(id, "PWD")) return {};
    Reply r = readReply(id);
    if (wait_.cancelled()) return {};
    log(">PWD");
    logReply(r);
    std::string folder = folderFromPwdReply(r.first());
    if (Session* s = find(id)) s->info.workingDir = folder;
    return folder;
}

void FtpEngine::fesNOOP(SessionId id) {
    Session* s = find(id);
    if (!s || s->conn->ended() || !s->conn->socket().peerAddress()) return;
    if (!sendCommand(id, "NOOP")) return;
    Reply r = readReply(id);
    if (!wait_.cancelled() && !r.first().empty()) {
        log(">NOOP " + s->info.dotted);
        logReply(r);
    }
}

void FtpEngine::fesQUIT(SessionId id) {
    Session* s = find(id);
    if (!s) return;
    if (sendCommand(id, "QUIT")) {
        Reply r = readReply(id);
        if (!wait_.cancelled()) {
            log(">QUIT");
            logReply(r);
            if (r.first().size() >= 2 && r.code() != '2') log(">Error Logging Out");
        }
    }
    s->conn->close();
    sessions_.erase(id);
    order_.erase(std::remove(order_.begin(), order_.end(), id), order_.end());
}

void FtpEngine::quitAll() {
    for (SessionId id : sessionIds()) fesQUIT(id);
}

void FtpEngine::DesConnecta(SessionId id) {
    Session* s = find(id);
    if (!s) return;
    s->conn->close();
    log(">CONNECTION with " + s->info.caption + " has been CLOSED");
    sessions_.erase(id);
    order_.erase(std::remove(order_.begin(), order_.end(), id), order_.end());
    sink_.sessionClosed(id);
}

bool FtpEngine::ComprobarREST(SessionId id, bool mayChangeType) {
    ControlConnection* c = connection(id);
    if (!c) return false;
    c->drain();
    if (!sendCommand(id, "REST", "0")) return false;
    Reply r = readReply(id);
    if (wait_.cancelled()) return false;
    log(">REST 0");
    logReply(r);
    if (r.code() == '3') {
        log("-This Server can resume broken downloads.");
        return true;
    }
    if (namesAscii(r)) {
        // Refused because of the type in force (a listing leaves TYPE A), not
        // for good: ask again in binary mode, or leave the answer open.
        if (mayChangeType && typeInForce(id) != 'I' && fesTYPE(id, 'I') && !wait_.cancelled())
            return ComprobarREST(id, false);
        return false;
    }
    log("-This Server can not resume broken downloads.");
    return false;
}

bool namesAscii(const Reply& r) {
    for (const auto& l : r.lines) {
        std::string upper = l;
        for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        if (upper.find("ASCII") != std::string::npos) return true;
    }
    return false;
}

void FtpEngine::finishOperation() {
    for (SessionId id : sessionIds()) {
        Session* s = find(id);
        if (s && s->conn->ended()) {
            sink_.beep();
            DesConnecta(id);
        }
    }
}

} // namespace vn
