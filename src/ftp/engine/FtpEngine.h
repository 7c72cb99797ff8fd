#pragma once
// The FTP engine of one explorer window: any number of sessions (logged-in
// control connections) sharing the window's one socket event wait. Runs on the
// window's worker thread only; the window learns what happens through FtpSink.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Prompter.h"
#include "common/ToolSink.h"
#include "ftp/engine/ConnectParams.h"
#include "ftp/engine/ControlConnection.h"
#include "ftp/engine/Features.h"
#include "ftp/engine/FtpServices.h"
#include "ftp/engine/FtpSettings.h"
#include "ftp/engine/listing/Listing.h"
#include "platform/EventWait.h"
#include "platform/Tls.h"

namespace vn {

// Process-unique and never reused (descriptor numbers are reused at once).
using SessionId = std::uint64_t;

struct SessionInfo {
    SessionId id = 0;
    std::string host;     // as entered
    std::string siteName;
    std::string caption;  // host + "[" + site name + "]", the server node's caption
    std::string dotted;   // CurrentIp: the control connection's peer (IPv4 or IPv6)
    int port = 21;
    bool passive = false; // CurrentPasv
    int pasvPort = 0;     // CurrentPASVPort
    std::string workingDir; // CurrentDir from PWD
    bool encrypted = false;     // the control connection runs under TLS (the padlock)
    bool protectedData = false; // PROT P accepted: data connections run under TLS
};

class FtpSink : public ToolSink {
public:
    virtual void connectingChanged(bool /*connecting*/) {}
    // A session logged in and knows its working folder. Called on the worker
    // inside the connect, after PWD and before the REST probe: the explorer
    // runs its first listing of the working folder here, which builds the
    // server node and its folder chain. A cancel raised meanwhile fails the
    // connect; the session then stays open with what the listing built.
    virtual void sessionOpened(const SessionInfo&) {}
    // The session ended: its server node and keep-alive timer go.
    virtual void sessionClosed(SessionId) {}

    // ---- transfers ----
    // The file gauge: bytes moved of the expected total (0 when unknown).
    virtual void fileProgress(std::uint64_t /*done*/, std::uint64_t /*total*/) {}
    // The Smart Resume question; blocks the worker until the user answers.
    enum class ResumeAnswer { Resume, TransferAll, DontTransfer };
    virtual ResumeAnswer askSmartResume(const std::string& /*localPath*/) { return ResumeAnswer::Resume; }
    // The total gauge of a paste or a drop: steps done of the steps expected
    // (a step is one transfer, one local copy or one deletion of a cut).
    virtual void totalProgress(std::uint64_t /*done*/, std::uint64_t /*total*/) {}
};

// How a data connection is opened: the session's own mode, or forced.
enum class DataMode { Session, Active, Passive };

// How the retry loop announces a further attempt.
enum class RetryStyle {
    SiteManager, // ">Trying again to connect to " + address
    Quick        // ">Trying again..."
};

class FtpEngine {
public:
    // The services default to the data folder's (FtpServices::standard()).
    FtpEngine(FtpSink& sink, Prompter& prompter);
    FtpEngine(FtpSink& sink, Prompter& prompter, FtpServices services);
    ~FtpEngine();

    EventWait& wait() { return wait_; }
    void applySettings(const FtpSettings& s);
    const FtpSettings& settings() const { return settings_; }
    const FtpServices& services() const { return services_; }

    // One connect-and-login attempt to one address.
    std::optional<SessionId> ConnectarAServidor(const ConnectParams& p);
    // The entry points' attempts: CxRT attempts per address (0 or less: until
    // one succeeds or the user aborts), then each further address in turn.
    std::optional<SessionId> connectWithRetries(ConnectParams p, const std::vector<std::string>& alternates,
                                                RetryStyle style);

    std::string fesPWD(SessionId id);
    void fesNOOP(SessionId id);
    void fesQUIT(SessionId id);
    void DesConnecta(SessionId id);
    // The "REST 0" probe: true when the server can resume. A refusal that
    // names ASCII says nothing about binary transfers: with mayChangeType the
    // probe is repeated in binary mode (TYPE I), otherwise the answer is left
    // open (false, and no conclusion in the log).
    bool ComprobarREST(SessionId id, bool mayChangeType = false);
    // QUIT to every open session (closing the window).
    void quitAll();

    // ---- data connections ----
    // Active mode: a listener on the control connection's local address, and PORT.
    Socket getListenSocket(SessionId id);
    // The data connection from the listener; only the control connection's peer
    // may connect (another peer is turned away and the wait goes on until CxTOut).
    Socket AcceptaSocket(Socket& listener, const std::string& serverAddress);
    // Passive mode: PASV and the port it names (the address in the reply is ignored).
    bool fesPASV(SessionId id, int& port);
    // EPSV and the port it names; refused tells a server that answered with a
    // refusal (it will not learn EPSV later) from a failure.
    bool fesEPSV(SessionId id, int& port, bool& refused);
    Socket getConnectSocket(const std::string& dotted, int port);
    // The data connection of one transfer in the session's mode: passive, PASV
    // and the connected socket in data; active, the listener (PORT sent) in
    // listener. False when neither could be had; a cancel after PASV logs
    // "--CANCELED--" here.
    bool openDataConnection(SessionId id, Socket& data, Socket& listener);
    // The same in a given mode. A refused PORT or PASV gives false and nothing
    // more is sent.
    bool openDataConnection(SessionId id, DataMode mode, Socket& data, Socket& listener);
    // TLS on a data connection of a session whose data is protected (PROT P),
    // resuming the control connection's TLS session; nothing to do otherwise.
    // False (logged) when it failed: the connection is then no use.
    bool secureData(SessionId id, Socket& data);
    // Ends a data connection we sent on: close_notify, and the peer's, within
    // the read time-out, so its end is not taken for a truncation.
    void finishData(Socket& data);
    // The passive switch of one session.
    void setPassive(SessionId id, bool passive, int pasvPort);

    // ---- the server's extensions (FtpExtensions.cpp) ----
    // FEAT, asked once right after login; "OPTS UTF8 ON" when UTF8 is listed.
    void askFeatures(SessionId id);
    // What the session's server listed; nullptr for no session.
    const FtpFeatures* features(SessionId id) const;
    // Replaces what the session knows of its server (a server whose list is
    // wrong, or a test that compares MLSD with LIST).
    void setFeatures(SessionId id, const FtpFeatures& f);
    // SIZE of a remote file, when the server lists SIZE and answers 213.
    std::optional<std::uint64_t> fesSIZE(SessionId id, const std::string& path);
    // MDTM of a remote file (UTC seconds), when listed and answered 213.
    std::optional<std::int64_t> fesMDTM(SessionId id, const std::string& path);
    // MFMT: sets a remote file's modification time; false when not listed or refused.
    bool fesMFMT(SessionId id, const std::string& path, std::int64_t seconds);

    // ---- commands ----
    bool fesCWD(SessionId id, const std::string& folder);
    bool fesTYPE(SessionId id, char letter);
    // TYPE only when the session is not known to be in that type already.
    bool ensureType(SessionId id, char letter);
    // The type the server last accepted through fesTYPE; nullopt when unknown
    // (before the first TYPE, or after a TYPE the engine did not send itself).
    std::optional<char> typeInForce(SessionId id) const;
    // A failed send or a cancel is a failure for each of these (the caller
    // would otherwise take an unsent command for a done one).
    // CDUP, then PWD whatever CDUP said, so the session's working folder is
    // wherever the server now is; false when CDUP was refused.
    bool fesCDUP(SessionId id);
    bool fesMKD(SessionId id, const std::string& folder);
    bool fesRMD(SessionId id, const std::string& folder);
    bool fesDELETEFILE(SessionId id, const std::string& path);
    bool fesRENAME(SessionId id, const std::string& from, const std::string& to);
    // The reply line when it starts with "2" (also shown in a message box);
    // otherwise the window's beep and an empty text.
    std::string fesSYST(SessionId id);
    // Removes a remote folder with everything below it, depth first, in active
    // mode. True only when the folder is gone; a cancel stops where it is and
    // is a failure. Names a server lists that could leave the folder ("..",
    // "a/b") are never acted on.
    bool EsborrarDirectoriRemot(SessionId id, const std::string& folder);
    static constexpr int kMaxDeleteDepth = 64;

    // ---- listings ----
    // The one LIST routine every listing goes through (the file list, the
    // folder copy's enumeration, the recursive delete's walk): the data
    // connection in `mode`, TYPE A when needed, LIST, the data (parsed as it
    // arrives, never held whole), then the completion reply. nullopt when it
    // failed, was refused or cancelled (the log says why); a refused PORT or
    // PASV ends it before LIST.
    std::optional<ListingResult> listFolder(SessionId id, const std::string& folder,
                                            DataMode mode = DataMode::Session);
    // listFolder in the session's mode. changeDir: CWD to the folder
    // afterwards, as when the file list shows it.
    std::optional<std::vector<ListingEntry>> fesLIST(SessionId id, const std::string& folder, bool changeDir);
    // The light enumeration of a folder for the folder copy (session's mode);
    // a failure is logged.
    std::optional<std::vector<RemoteName>> FindLIST(SessionId id, const std::string& folder);
    bool listingBusy() const { return listingBusy_; }
    static constexpr std::size_t kMaxListingBytes = 256u << 20;

    // Sends verb + argument + CR LF; an argument holding CR or LF is refused with
    // an ">ERROR" line and nothing is sent (it would inject commands).
    bool sendCommand(SessionId id, const std::string& verb, const std::string& argument = {});
    Reply readReply(SessionId id);
    // Reads a reply even after a cancel: the cancel flag is lowered for the read
    // and raised again, so the answer to an interrupted command is consumed.
    Reply readReplyLate(SessionId id);
    // How long the answer to a command interrupted by Abort is awaited.
    static constexpr std::chrono::seconds kLateReadAfterAbort{5};
    void setLateReadLimit(std::chrono::milliseconds limit) { lateReadLimit_ = limit; }
    std::chrono::milliseconds lateReadLimit() const { return lateReadLimit_; }
    // While the window closes, late replies are not waited for at all.
    void setClosing(bool closing) { closing_ = closing; }
    void logReply(const Reply& r);
    FtpSink& sink() { return sink_; }
    Prompter& prompter() { return prompter_; }

    // Ends the sessions whose connection ended during the step that just unwound.
    // The window's worker calls it after every operation.
    void finishOperation();

    // What the last network step of the engine came to: Done (it completed,
    // whatever the server answered), Aborted, TimedOut, PeerClosed or Failed.
    // Callers tell an Abort from a time-out or a lost connection by it.
    Outcome lastOutcome() const { return lastOutcome_; }

    bool connecting() const { return connecting_; }
    std::vector<SessionId> sessionIds() const;
    std::optional<SessionInfo> sessionInfo(SessionId id) const;
    ControlConnection* connection(SessionId id);

private:
    struct Session {
        SessionInfo info;
        std::unique_ptr<ControlConnection> conn;
        FtpFeatures features;
        std::string certificate; // SHA-256 of the control connection's certificate
    };
    // ---- TLS (tls/FtpTls.cpp) ----
    enum class AuthResult { Secured, Refused, Failed };
    // The handshake on a connected socket, bounded by CxTOut; error says why it failed.
    Outcome tlsHandshake(Socket& s, const std::string& host, const TlsLayer* resumeFrom, std::string& error);
    // Handshake and certificate check on the control connection; false (logged) fails the connect.
    bool secureControl(ControlConnection& conn, const ConnectParams& p, std::string& fingerprint);
    // "AUTH TLS" and, when accepted, secureControl.
    AuthResult negotiateAuth(ControlConnection& conn, const ConnectParams& p, std::string& fingerprint);
    // A certificate that did not verify: a trusted fingerprint, or the user's answer.
    bool acceptCertificate(const CertificateInfo& info, const std::string& host, int port);
    // PBSZ 0 and PROT P after the login.
    void protectData(SessionId id);
    Session* find(SessionId id);
    void log(const std::string& line) { sink_.log(line); }
    void setConnecting(bool on);
    // False when PORT could not be sent or the server refused it.
    bool fesPORT(SessionId id, const Endpoint& local, int port);
    // The same for EPRT (IPv6 control connections).
    bool fesEPRT(SessionId id, const Endpoint& local, int port);
    // Sends PORT or EPRT (`command`) and judges the reply.
    bool announceListener(SessionId id, const std::string& command);
    // The answer of a one-line command about a path (SIZE, MDTM), logged; a
    // reply that does not start with "213" gives nothing.
    std::optional<std::string> askPath(SessionId id, const std::string& verb, const std::string& path);
    // One listing command (LIST or MLSD) with its data connection.
    std::optional<ListingResult> listOnce(SessionId id, const std::string& folder, DataMode mode, bool mlsd,
                                          bool& unknownCommand);
    // Reads a listing's data connection to its end into the parser; false when
    // the wait or a read failed.
    bool readListing(Socket& data, ListingParser& parser);
    // Sends verb + argument, reads the reply and logs ">" + verb + argument and
    // the reply; false when nothing could be sent, the read was cancelled or the
    // reply does not start with `success`.
    bool exchange(SessionId id, const std::string& verb, const std::string& argument, char success);
    bool removeTree(SessionId id, const std::string& folder, int depth);

    FtpSink& sink_;
    Prompter& prompter_;
    EventWait wait_;
    FtpSettings settings_;
    FtpServices services_;
    std::atomic<bool> connecting_{false};
    std::map<SessionId, Session> sessions_;
    std::vector<SessionId> order_;
    std::atomic<bool> listingBusy_{false};
    std::atomic<bool> closing_{false};
    Outcome lastOutcome_ = Outcome::Done;
    // Waits for a data or connect event; records the outcome, and a time-out
    // ends the operation as an Abort does.
    Outcome waitStep(int fd, unsigned events, EventWait::Deadline deadline);
    std::atomic<std::chrono::milliseconds> lateReadLimit_{kLateReadAfterAbort};
};

// The port of a PASV reply ("h1,h2,h3,h4,p1,p2)" after the first "(" from the
// fifth character on), or -1 when the reply is malformed or names a port that
// cannot be (a byte above 255, port 0). The address in the reply is never used.
int pasvPortFromReply(const std::string& line);

// The working folder a PWD reply names, with one trailing "/" ("/" when none).
std::string folderFromPwdReply(const std::string& line);

// A reply that names the ASCII type (a refusal because of the type in force).
bool namesAscii(const Reply& r);

// Refuses text holding CR or LF (sent as part of a command it would inject another).
bool hasLineBreak(std::string_view text);

} // namespace vn
