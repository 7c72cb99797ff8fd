#pragma once
// TLS on one non-blocking socket (OpenSSL), client side only. Nothing here
// waits: a step that cannot go on now says which socket event it needs, and
// the caller waits for it through the window's EventWait, so Abort and the
// time-outs work inside handshakes and transfers as on plain sockets.
#include <memory>
#include <string>

namespace vn {

// What a certificate shows the user, and whether it verified against the
// system's store and the host name.
struct CertificateInfo {
    std::string subject;
    std::string issuer;
    std::string notBefore;
    std::string notAfter;
    std::string sha256; // "AB:CD:..." of the DER certificate
    bool verified = false;
    std::string verifyError; // why it did not verify, when it did not
};

class TlsLayer {
public:
    enum class Step { Done, Want, Failed };

    ~TlsLayer();
    TlsLayer(const TlsLayer&) = delete;
    TlsLayer& operator=(const TlsLayer&) = delete;

    // A client for the connected socket fd; host is what the certificate must
    // name (a name or a literal address). resumeFrom: a connection whose TLS
    // session this one resumes (FTP data connections). nullptr with error set
    // when OpenSSL can't make one.
    static std::unique_ptr<TlsLayer> client(int fd, const std::string& host, const TlsLayer* resumeFrom,
                                            std::string& error);

    // One handshake step; after Want, wants() tells the event to wait for.
    Step handshake();
    // Like recv/send: bytes moved; -1 with errno EAGAIN when an event is
    // needed first (wants()), -1 with another errno on failure. read gives 0
    // only for the peer's close_notify; an end without it is a failure
    // (ECONNRESET): a truncated stream.
    long read(char* data, std::size_t size);
    long write(const char* data, std::size_t size);
    // Sends close_notify (once) and, when waitPeer, waits for the peer's:
    // Done when finished, Want when an event is needed, Failed otherwise.
    Step shutdown(bool waitPeer);
    // FD_READ or FD_WRITE: the event the last Want needed.
    unsigned wants() const { return wants_; }
    // The event a retried read (FD_READ in events) or write needs: what the
    // last read or write of that kind wanted, else events unchanged.
    unsigned wantsFor(unsigned events) const;
    // Bytes already decrypted that no socket event announces.
    bool pending() const;

    CertificateInfo peerCertificate() const;
    std::string version() const;
    std::string cipher() const;
    bool resumed() const;
    // OpenSSL's reason for the last failure.
    const std::string& error() const { return error_; }

private:
    TlsLayer() = default;
    // Maps an OpenSSL result; fills wants_ or error_.
    Step classify(int rc);

    struct Impl;
    std::unique_ptr<Impl> impl_;
    unsigned wants_ = 0;
    unsigned readWants_ = 0;
    unsigned writeWants_ = 0;
    std::string error_;
    bool sentClose_ = false;
};

} // namespace vn
