// TLS in the FTP engine (RFC 4217): AUTH TLS or implicit TLS on the control
// connection, the certificate check, PBSZ/PROT and the data connections.
#include "ftp/engine/FtpEngine.h"
#include "ftp/engine/QuickHost.h"
#include "ftp/engine/tls/CertificateTrust.h"

namespace vn {

Outcome FtpEngine::tlsHandshake(Socket& s, const std::string& host, const TlsLayer* resumeFrom,
                                std::string& error) {
    auto layer = TlsLayer::client(s.fd(), host, resumeFrom, error);
    if (!layer) return lastOutcome_ = Outcome::Failed;
    s.attachTls(std::move(layer));
    const EventWait::Deadline deadline = wait_.deadlineFor(FD_CONNECT);
    for (;;) {
        TlsLayer::Step step = s.tls()->handshake();
        if (step == TlsLayer::Step::Done) return lastOutcome_ = Outcome::Done;
        if (step == TlsLayer::Step::Failed) {
            error = s.tls()->error();
            return lastOutcome_ = Outcome::Failed;
        }
        const Outcome o = waitStep(s.fd(), s.tls()->wants() | FD_CLOSE, deadline);
        if (o != Outcome::Done) return o;
        if (wait_.cancelled()) return lastOutcome_ = Outcome::Aborted;
    }
}

bool FtpEngine::acceptCertificate(const CertificateInfo& info, const std::string& host, int port) {
    CertificateTrust trust(services_.trustFile);
    const std::string key = CertificateTrust::key(host, port);
    if (auto pinned = trust.fingerprint(key)) {
        if (*pinned == info.sha256) {
            log("-The certificate of " + key + " is one you trusted (SHA-256 " + info.sha256 + ").");
            return true;
        }
        // Never a question: the answer people give to a routine question here is Yes.
        const std::string text = "The certificate of " + key +
                                 " has CHANGED since you trusted it. Someone may be intercepting the "
                                 "connection; it was refused.\r\rTrusted SHA-256: " +
                                 *pinned + "\rPresented SHA-256: " + info.sha256 +
                                 "\r\rIf the server's owner confirms the new certificate, remove " + key +
                                 " from \"" + services_.trustFile.filename().string() + "\" in the data folder.";
        log(">ERROR: The certificate of " + key + " has CHANGED since it was trusted (SHA-256 " + info.sha256 +
            "); the connection was refused.");
        sink_.beep();
        prompter_.message(text);
        return false;
    }
    const std::string text = "The certificate of " + key + " could not be verified: " + info.verifyError +
                             ".\r\rSubject: " + info.subject + "\rIssuer: " + info.issuer + "\rValid from " +
                             info.notBefore + " to " + info.notAfter + "\rSHA-256 fingerprint: " + info.sha256 +
                             "\r\rTrust this certificate?";
    auto answer = prompter_.choose(text, {"Trust once", "Trust always", "Cancel"});
    if (wait_.cancelled()) return false;
    if (!answer || *answer == 2) {
        log(">ERROR: The certificate of " + key + " was not trusted; not connected.");
        return false;
    }
    if (*answer == 1) {
        if (trust.remember(key, info.sha256)) log("-The certificate of " + key + " is trusted from now on.");
        else log(">ERROR: Could not write " + services_.trustFile.string() + "; the certificate is trusted this once.");
    }
    return true;
}

bool FtpEngine::secureControl(ControlConnection& conn, const ConnectParams& p, std::string& fingerprint) {
    // "[::1]:2121" as typed: the certificate names the bare host, and trust is kept per port in use.
    const HostText typed = splitHostText(p.host);
    const int port = typed.port > 0 ? typed.port : p.port;
    std::string error;
    const Outcome o = tlsHandshake(conn.socket(), typed.host, nullptr, error);
    if (o != Outcome::Done) {
        log(o == Outcome::Failed ? ">ERROR: TLS handshake failed: " + error : "--CANCELED--");
        return false;
    }
    CertificateInfo info = conn.socket().tls()->peerCertificate();
    if (info.sha256.empty()) {
        log(">ERROR: The server presented no certificate.");
        return false;
    }
    if (!info.verified && !acceptCertificate(info, typed.host, port)) {
        if (wait_.cancelled()) log("--CANCELED--");
        return false;
    }
    fingerprint = info.sha256;
    log("-TLS connection established: " + conn.socket().tls()->version() + ", " + conn.socket().tls()->cipher() + ".");
    return true;
}

FtpEngine::AuthResult FtpEngine::negotiateAuth(ControlConnection& conn, const ConnectParams& p,
                                               std::string& fingerprint) {
    if (!conn.EnviarComanda("AUTH TLS\r\n")) {
        if (wait_.cancelled()) log("--CANCELED--");
        return AuthResult::Failed;
    }
    Reply r = conn.readReply();
    if (wait_.cancelled() || !r.complete) {
        log("--CANCELED--");
        return AuthResult::Failed;
    }
    log(">AUTH TLS");
    logReply(r);
    if (r.code() != '2') return AuthResult::Refused;
    // Whatever the server sent after its 234 would be read as clear text.
    return secureControl(conn, p, fingerprint) ? AuthResult::Secured : AuthResult::Failed;
}

void FtpEngine::protectData(SessionId id) {
    if (!exchange(id, "PBSZ", "0", '2') || !exchange(id, "PROT", "P", '2')) {
        if (!wait_.cancelled()) log("-The server refused PROT P: data connections are NOT encrypted.");
        return;
    }
    if (Session* s = find(id)) s->info.protectedData = true;
}

bool FtpEngine::secureData(SessionId id, Socket& data) {
    Session* s = find(id);
    if (!s || !s->info.protectedData || !data.valid()) return true;
    std::string error;
    const Outcome o = tlsHandshake(data, s->info.host, s->conn->socket().tls(), error);
    if (o != Outcome::Done) {
        if (o == Outcome::Failed) log(">ERROR: TLS on the data connection failed: " + error);
        data.close();
        return false;
    }
    // The data connection must come from the server we checked, not from whoever reached the port first.
    CertificateInfo info = data.tls()->peerCertificate();
    if (info.sha256 != s->certificate) {
        log(">ERROR: The data connection presented another certificate (SHA-256 " + info.sha256 +
            "); it was closed.");
        data.close();
        return false;
    }
    return true;
}

void FtpEngine::finishData(Socket& data) {
    if (data.tls() && data.valid()) {
        const EventWait::Deadline deadline = wait_.deadlineFor(FD_READ);
        for (;;) {
            TlsLayer::Step step = data.tls()->shutdown(true);
            if (step != TlsLayer::Step::Want) break;
            if (wait_.wait(data.fd(), data.tls()->wants() | FD_CLOSE, deadline) != Outcome::Done) break;
        }
    }
    data.close();
}

} // namespace vn
