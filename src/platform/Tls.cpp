#include "platform/Tls.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <climits>
#include <csignal>
#include <cstdio>
#include <mutex>

#include "platform/EventWait.h"

namespace vn {

namespace {

SSL_CTX* clientContext() {
    static SSL_CTX* ctx = [] {
        // OpenSSL writes with write(): a peer gone must be an error, not a signal.
        std::signal(SIGPIPE, SIG_IGN);
        SSL_CTX* c = SSL_CTX_new(TLS_client_method());
        if (!c) return c;
        SSL_CTX_set_min_proto_version(c, TLS1_2_VERSION);
        SSL_CTX_set_default_verify_paths(c);
        // Verified after the handshake: an unknown certificate is a question, not a failure.
        SSL_CTX_set_verify(c, SSL_VERIFY_NONE, nullptr);
        SSL_CTX_set_mode(c, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
        // Sessions are resumed by hand, control to data connection.
        SSL_CTX_set_session_cache_mode(c, SSL_SESS_CACHE_OFF);
        return c;
    }();
    return ctx;
}

std::string lastSslError() {
    unsigned long e = ERR_get_error();
    if (e == 0) return {};
    char buf[256];
    ERR_error_string_n(e, buf, sizeof buf);
    ERR_clear_error();
    return buf;
}

std::string nameText(X509_NAME* n) {
    if (!n) return {};
    BIO* b = BIO_new(BIO_s_mem());
    X509_NAME_print_ex(b, n, 0, XN_FLAG_RFC2253);
    char* p = nullptr;
    long len = BIO_get_mem_data(b, &p);
    std::string s(p, static_cast<std::size_t>(len));
    BIO_free(b);
    return s;
}

std::string timeText(const ASN1_TIME* t) {
    if (!t) return {};
    BIO* b = BIO_new(BIO_s_mem());
    ASN1_TIME_print(b, t);
    char* p = nullptr;
    long len = BIO_get_mem_data(b, &p);
    std::string s(p, static_cast<std::size_t>(len));
    BIO_free(b);
    return s;
}

bool isLiteralAddress(const std::string& host) {
    unsigned char buf[16];
    return inet_pton(AF_INET, host.c_str(), buf) == 1 || inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

} // namespace

struct TlsLayer::Impl {
    SSL* ssl = nullptr;
    ~Impl() {
        if (ssl) SSL_free(ssl);
    }
};

TlsLayer::~TlsLayer() = default;

std::unique_ptr<TlsLayer> TlsLayer::client(int fd, const std::string& host, const TlsLayer* resumeFrom,
                                           std::string& error) {
    SSL_CTX* ctx = clientContext();
    if (!ctx) {
        error = "cannot set up TLS: " + lastSslError();
        return nullptr;
    }
    std::unique_ptr<TlsLayer> t(new TlsLayer);
    t->impl_ = std::make_unique<Impl>();
    SSL* ssl = t->impl_->ssl = SSL_new(ctx);
    if (!ssl || SSL_set_fd(ssl, fd) != 1) {
        error = "cannot set up TLS: " + lastSslError();
        return nullptr;
    }
    std::string bare = host;
    if (bare.size() > 2 && bare.front() == '[' && bare.back() == ']') bare = bare.substr(1, bare.size() - 2);
    if (isLiteralAddress(bare)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), bare.c_str());
    } else {
        SSL_set_tlsext_host_name(ssl, bare.c_str());
        SSL_set1_host(ssl, bare.c_str());
    }
    if (resumeFrom && resumeFrom->impl_ && resumeFrom->impl_->ssl) {
        if (SSL_SESSION* s = SSL_get1_session(resumeFrom->impl_->ssl)) {
            SSL_set_session(ssl, s);
            SSL_SESSION_free(s);
        }
    }
    SSL_set_connect_state(ssl);
    return t;
}

TlsLayer::Step TlsLayer::classify(int rc) {
    const int saved = errno;
    int e = SSL_get_error(impl_->ssl, rc);
    switch (e) {
    case SSL_ERROR_WANT_READ:
        wants_ = FD_READ;
        return Step::Want;
    case SSL_ERROR_WANT_WRITE:
        wants_ = FD_WRITE;
        return Step::Want;
    case SSL_ERROR_SYSCALL: {
        std::string why = lastSslError();
        if (why.empty()) why = saved ? std::strerror(saved) : "the connection ended without TLS close_notify";
        error_ = why;
        errno = saved ? saved : ECONNRESET;
        return Step::Failed;
    }
    default: {
        std::string why = lastSslError();
        error_ = why.empty() ? "TLS error " + std::to_string(e) : why;
        errno = EPROTO;
        return Step::Failed;
    }
    }
}

TlsLayer::Step TlsLayer::handshake() {
    ERR_clear_error();
    int rc = SSL_do_handshake(impl_->ssl);
    if (rc == 1) {
        wants_ = 0;
        return Step::Done;
    }
    return classify(rc);
}

long TlsLayer::read(char* data, std::size_t size) {
    ERR_clear_error();
    errno = 0;
    int rc = SSL_read(impl_->ssl, data, static_cast<int>(std::min<std::size_t>(size, INT_MAX)));
    readWants_ = 0;
    if (rc > 0) {
        wants_ = 0;
        return rc;
    }
    if (SSL_get_error(impl_->ssl, rc) == SSL_ERROR_ZERO_RETURN) return 0;
    if (classify(rc) == Step::Want) {
        readWants_ = wants_;
        errno = EAGAIN;
    }
    else if (errno == EPROTO || errno == 0) errno = ECONNRESET; // truncated or broken: never an end
    return -1;
}

long TlsLayer::write(const char* data, std::size_t size) {
    if (size == 0) return 0;
    ERR_clear_error();
    errno = 0;
    int rc = SSL_write(impl_->ssl, data, static_cast<int>(std::min<std::size_t>(size, INT_MAX)));
    writeWants_ = 0;
    if (rc > 0) {
        wants_ = 0;
        return rc;
    }
    if (classify(rc) == Step::Want) {
        writeWants_ = wants_;
        errno = EAGAIN;
    } else if (errno == 0 || errno == EPROTO) {
        errno = EPIPE;
    }
    return -1;
}

TlsLayer::Step TlsLayer::shutdown(bool waitPeer) {
    ERR_clear_error();
    int rc = SSL_shutdown(impl_->ssl);
    if (rc == 1) return Step::Done;
    if (rc == 0) {
        sentClose_ = true;
        if (!waitPeer) return Step::Done;
        // Ours is out; the peer's close_notify (or its end) is read next.
        char buf[4096];
        for (;;) {
            ERR_clear_error();
            int n = SSL_read(impl_->ssl, buf, sizeof buf);
            if (n > 0) continue;
            int e = SSL_get_error(impl_->ssl, n);
            if (e == SSL_ERROR_ZERO_RETURN) return Step::Done;
            if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) return classify(n);
            // The peer closed without answering: ours was delivered all the same.
            return Step::Done;
        }
    }
    return classify(rc);
}

unsigned TlsLayer::wantsFor(unsigned events) const {
    const unsigned w = (events & FD_READ) ? readWants_ : (events & FD_WRITE) ? writeWants_ : 0;
    return w ? w | (events & FD_CLOSE) : events;
}

bool TlsLayer::pending() const { return impl_ && impl_->ssl && SSL_pending(impl_->ssl) > 0; }

CertificateInfo TlsLayer::peerCertificate() const {
    CertificateInfo info;
    X509* cert = SSL_get1_peer_certificate(impl_->ssl);
    if (!cert) {
        info.verifyError = "the server sent no certificate";
        return info;
    }
    info.subject = nameText(X509_get_subject_name(cert));
    info.issuer = nameText(X509_get_issuer_name(cert));
    info.notBefore = timeText(X509_get0_notBefore(cert));
    info.notAfter = timeText(X509_get0_notAfter(cert));
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (X509_digest(cert, EVP_sha256(), md, &len) == 1) {
        static const char* hex = "0123456789ABCDEF";
        for (unsigned i = 0; i < len; ++i) {
            if (i) info.sha256.push_back(':');
            info.sha256.push_back(hex[md[i] >> 4]);
            info.sha256.push_back(hex[md[i] & 15]);
        }
    }
    X509_free(cert);
    long v = SSL_get_verify_result(impl_->ssl);
    info.verified = v == X509_V_OK;
    if (!info.verified) info.verifyError = X509_verify_cert_error_string(v);
    return info;
}

std::string TlsLayer::version() const { return SSL_get_version(impl_->ssl); }

std::string TlsLayer::cipher() const {
    const char* c = SSL_get_cipher_name(impl_->ssl);
    return c ? c : "";
}

bool TlsLayer::resumed() const { return SSL_session_reused(impl_->ssl) == 1; }

} // namespace vn
