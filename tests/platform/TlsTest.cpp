// TLS on a non-blocking socket: the handshake and reads driven by EventWait,
// and the end of a stream: the peer's close_notify ends it, a bare close is a
// truncation (an error), never an end.
#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "TestHome.h"
#include "platform/EventWait.h"
#include "platform/Socket.h"
#include "platform/Tls.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

struct TlsPair : ::testing::Test {
    fs::path dir = test::scratchDir("tls-platform");
    SSL_CTX* server = nullptr;

    void SetUp() override {
        const std::string cmd = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 "
                                "-subj /CN=localhost -keyout '" + (dir / "key.pem").string() + "' -out '" +
                                (dir / "cert.pem").string() + "' >/dev/null 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        server = SSL_CTX_new(TLS_server_method());
        ASSERT_EQ(SSL_CTX_use_certificate_file(server, (dir / "cert.pem").c_str(), SSL_FILETYPE_PEM), 1);
        ASSERT_EQ(SSL_CTX_use_PrivateKey_file(server, (dir / "key.pem").c_str(), SSL_FILETYPE_PEM), 1);
    }
    void TearDown() override { SSL_CTX_free(server); }

    // A blocking server on one end of a socket pair: handshake, send payload,
    // then close with or without close_notify.
    std::thread serve(int fd, std::string payload, bool closeNotify) {
        return std::thread([this, fd, payload, closeNotify] {
            SSL* ssl = SSL_new(server);
            SSL_set_fd(ssl, fd);
            if (SSL_accept(ssl) == 1) {
                SSL_write(ssl, payload.data(), static_cast<int>(payload.size()));
                if (closeNotify) SSL_shutdown(ssl);
            }
            SSL_free(ssl);
            ::shutdown(fd, SHUT_RDWR);
            ::close(fd);
        });
    }

    // The client end: handshake through the wait, then everything until the stream ends.
    long readAll(int fd, std::string& got, CertificateInfo& cert) {
        EventWait wait;
        Socket s(fd);
        std::string error;
        auto tls = TlsLayer::client(s.fd(), "localhost", nullptr, error);
        EXPECT_TRUE(tls) << error;
        if (!tls) return -2;
        s.attachTls(std::move(tls));
        for (;;) {
            auto step = s.tls()->handshake();
            if (step == TlsLayer::Step::Done) break;
            EXPECT_EQ(step, TlsLayer::Step::Want) << s.tls()->error();
            if (step != TlsLayer::Step::Want) return -2;
            EXPECT_EQ(wait.wait(s.fd(), s.tls()->wants(), EventWait::Clock::now() + std::chrono::seconds(10)),
                      Outcome::Done);
        }
        cert = s.tls()->peerCertificate();
        char buf[1000]; // smaller than a record: the rest waits inside TLS, announced by no event
        for (;;) {
            long n = s.recvSome(buf, sizeof buf);
            if (n > 0) {
                got.append(buf, static_cast<std::size_t>(n));
                continue;
            }
            if (n == 0) return 0;
            if (errno != EAGAIN) return -errno;
            if (s.buffered()) continue;
            if (wait.wait(s.fd(), s.waitEvents(FD_READ), EventWait::Clock::now() + std::chrono::seconds(10)) !=
                Outcome::Done)
                return -1000;
        }
    }
};

TEST_F(TlsPair, CloseNotifyEndsTheStreamAndABareCloseIsATruncation) {
    const std::string payload(40000, 'x');
    for (bool closeNotify : {true, false}) {
        SCOPED_TRACE(closeNotify ? "close_notify" : "bare close");
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        std::thread t = serve(fds[1], payload, closeNotify);
        ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
        std::string got;
        CertificateInfo cert;
        long end = readAll(fds[0], got, cert);
        t.join();
        EXPECT_EQ(got, payload);
        if (closeNotify) EXPECT_EQ(end, 0);
        else EXPECT_EQ(end, -ECONNRESET);
        EXPECT_FALSE(cert.verified); // self-signed
        EXPECT_EQ(cert.subject, "CN=localhost");
        EXPECT_EQ(cert.sha256.size(), 95u);
    }
}

} // namespace
} // namespace vn
