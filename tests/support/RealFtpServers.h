#pragma once
// Real FTP servers on 127.0.0.1 for the tests: Debian's vsftpd and a small
// pyftpdlib script. Each runs from a fresh temporary folder with its own
// config and is killed, with every process it started, by the destructor.
//
// Layout of the temporary folder (the same for both servers):
//   root()       anonymous root, shown as "/"; on vsftpd read-only for
//                anonymous at the top (it refuses a writable chroot); files the
//                test puts there are served as they are
//   uploadDir()  root()/"upload", writable by anonymous
//   localRoot()  where the local user lands after login, writable by that user
// If the server is missing or doesn't come up, the constructor records a
// gtest failure (never hangs) and ready() is false:
//   vn::test::Vsftpd server;
//   ASSERT_TRUE(server.ready()) << server.error();
#include "PeerProcess.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vn::test {

struct RealServerOptions {
    // Lines separated by '\n' give a multi-line greeting.
    std::string banner = "Varnelo test FTP server ready.";
    int idleSessionTimeoutSeconds = 300;
    // Bytes per second each data connection may move (0: no limit), so a
    // test can stop a transfer part-way.
    int maxRateBytesPerSecond = 0;
    // Listen on ::1 instead of 127.0.0.1; see ipv6LoopbackAvailable().
    bool ipv6 = false;
    // TLS with a self-signed certificate made at start-up (certificate()):
    // Explicit requires "AUTH TLS" before a local login and PROT P for its
    // data (vsftpd also TLS session reuse on data connections); Implicit
    // speaks TLS from the first byte.
    enum class Tls { Off, Explicit, Implicit };
    Tls tls = Tls::Off;
};

class RealFtpServer {
public:
    virtual ~RealFtpServer();
    RealFtpServer(const RealFtpServer&) = delete;
    RealFtpServer& operator=(const RealFtpServer&) = delete;

    bool ready() const { return ready_; }
    const std::string& error() const { return error_; }
    const char* host() const { return options_.ipv6 ? "::1" : "127.0.0.1"; }
    uint16_t port() const { return port_; }
    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path uploadDir() const { return root_ / "upload"; }
    const std::filesystem::path& localRoot() const { return localRoot_; }
    const std::string& localUser() const { return localUser_; }
    const std::string& localPassword() const { return localPassword_; }
    bool localUserAvailable() const { return localUserAvailable_; }
    const std::string& banner() const { return options_.banner; }
    const std::filesystem::path& folder() const { return process_.folder(); }
    // The TLS certificate and key (PEM), empty without TLS.
    std::filesystem::path certificate() const {
        return options_.tls == RealServerOptions::Tls::Off ? "" : folder() / "cert.pem";
    }
    std::filesystem::path privateKey() const { return folder() / "key.pem"; }
    // The server's output and its own log, for failure messages.
    std::string log() const;
    // The server process and its session processes, as of now.
    pid_t pid() const { return process_.pid(); }
    std::vector<pid_t> processes() const;
    // Kills the server and every process below it, and reaps them; bounded.
    void stop();

protected:
    RealFtpServer(const char* tag, RealServerOptions options);
    // Forks `argv`, output to the folder's server.log, in a process group of
    // its own.
    bool launch(const std::vector<std::string>& argv);
    // Waits (bounded) until the port greets with a complete 220 reply.
    bool waitForGreeting(int timeoutMs);
    void fail(const std::string& message);
    // Makes certificate() and privateKey() with openssl (CN localhost).
    bool makeCertificate();

    RealServerOptions options_;
    PeerProcess process_;
    std::filesystem::path root_;
    std::filesystem::path localRoot_;
    std::vector<std::filesystem::path> logFiles_;
    std::string localUser_ = "vnftptest";
    std::string localPassword_ = "Secret-42";
    bool localUserAvailable_ = false;
    uint16_t port_ = 0;
    bool ready_ = false;
    std::string error_;
};

// /usr/sbin/vsftpd, standalone, from a generated config. The local user is
// the system user "vnftptest" (created once, home /var/tmp/vnftptest-home);
// it is not chrooted, so PWD after its login shows localRoot()'s full path.
// Without root, vsftpd runs as the launching user: no local user
// (localUserAvailable() is false) and no chroot for anonymous either, whose
// paths are then the machine's own.
class Vsftpd : public RealFtpServer {
public:
    using Options = RealServerOptions;
    explicit Vsftpd(Options options = {});
    static constexpr const char* binary = "/usr/sbin/vsftpd";
};

// tests/support/pyftpd_server.py run by Debian's python3 (the one that sees
// python3-pyftpdlib, whatever python3 is first on PATH): anonymous plus one
// virtual user with a password, both chrooted and allowed to write anywhere.
// The script binds port 0 and reports the port it got, so no port race.
class PyFtpd : public RealFtpServer {
public:
    using Options = RealServerOptions;
    explicit PyFtpd(Options options = {});
    static constexpr const char* python = "/usr/bin/python3";
};

} // namespace vn::test
