#include "RealFtpServers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <mutex>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace vn::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kLocalHome = "/var/tmp/vnftptest-home";
constexpr int kStartTimeoutMs = 10000;

// Runs a helper command to completion; its output is dropped.
int run(const std::vector<std::string>& argv, const std::string& input = {}) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int in[2];
    if (pipe2(in, O_CLOEXEC) != 0) return -1;
    int devnull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(devnull, 1);
        dup2(devnull, 2);
        execv(args[0], args.data());
        _exit(127);
    }
    close(in[0]);
    close(devnull);
    if (pid < 0) {
        close(in[1]);
        return -1;
    }
    if (!input.empty() && write(in[1], input.data(), input.size()) < 0) { /* status tells */ }
    close(in[1]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The system user for password logins, created once (idempotent, and
// serialized across test processes running in parallel).
bool ensureLocalUser(const std::string& user, const std::string& password, std::string& why) {
    static std::mutex m;
    static int state = 0;
    static std::string reason;
    std::lock_guard lock(m);
    if (state != 0) {
        why = reason;
        return state > 0;
    }
    int lockFd = open("/var/tmp/vnftptest.lock", O_CREAT | O_RDWR | O_CLOEXEC, 0644);
    if (lockFd >= 0) flock(lockFd, LOCK_EX);
    auto finish = [&](bool ok, std::string r) {
        if (lockFd >= 0) close(lockFd);
        state = ok ? 1 : -1;
        reason = why = std::move(r);
        return ok;
    };
    if (!getpwnam(user.c_str()) &&
        run({"/usr/sbin/useradd", "--system", "--home-dir", kLocalHome, "--shell", "/bin/bash", user}) != 0)
        return finish(false, "useradd " + user + " failed");
    struct passwd* pw = getpwnam(user.c_str());
    if (!pw) return finish(false, "user " + user + " missing after useradd");
    uid_t uid = pw->pw_uid;
    gid_t gid = pw->pw_gid;
    // Debian's PAM stack for vsftpd wants a shell listed in /etc/shells.
    if (std::string(pw->pw_shell) != "/bin/bash") run({"/usr/sbin/usermod", "-s", "/bin/bash", user});
    std::error_code ec;
    fs::create_directories(kLocalHome, ec);
    if (chown(kLocalHome, uid, gid) != 0) return finish(false, std::string("chown ") + kLocalHome + " failed");
    if (run({"/usr/sbin/chpasswd"}, user + ":" + password + "\n") != 0)
        return finish(false, "chpasswd failed");
    return finish(true, {});
}

bool readReply220(int fd, std::string& got, Clock::time_point deadline) {
    char buf[1024];
    for (;;) {
        // A complete greeting ends with a "220 " line.
        size_t at = 0;
        while (at < got.size()) {
            size_t nl = got.find('\n', at);
            if (nl == std::string::npos) break;
            if (got.compare(at, 4, "220 ") == 0) return true;
            at = nl + 1;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        timeval tv{static_cast<time_t>(left / 1000), static_cast<suseconds_t>((left % 1000) * 1000)};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return false;
        got.append(buf, static_cast<size_t>(n));
    }
}

} // namespace

RealFtpServer::RealFtpServer(const char* tag, RealServerOptions options)
    : options_(std::move(options)), process_(tag) {
    if (folder().empty()) {
        fail("cannot create a temporary folder for " + std::string(tag));
        return;
    }
    root_ = folder() / "root";
    localRoot_ = folder() / "local";
    std::error_code ec;
    fs::create_directories(uploadDir(), ec);
    fs::create_directories(localRoot_, ec);
    chmod(root_.c_str(), 0755);
    chmod(uploadDir().c_str(), 0777);
    chmod(localRoot_.c_str(), 0755);
    logFiles_.push_back(folder() / "server.log");
}

RealFtpServer::~RealFtpServer() { process_.finish("FTP server", "server", [this] { return log(); }); }

void RealFtpServer::fail(const std::string& message) {
    error_ = message;
    // The destructor prints the server's log of a failed test.
    ADD_FAILURE() << message;
}

std::string RealFtpServer::log() const {
    std::string all;
    for (const auto& f : logFiles_) {
        std::string text = PeerProcess::readText(f);
        if (!text.empty()) all += "[" + f.filename().string() + "]\n" + text + (text.back() == '\n' ? "" : "\n");
    }
    return all;
}

bool RealFtpServer::launch(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    return process_.launch(folder() / "server.log", [&] { execv(args[0], args.data()); }) ==
           PeerProcess::Launch::Started;
}

bool RealFtpServer::makeCertificate() {
    std::string cmd = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
                      "-subj /CN=localhost -keyout '" + privateKey().string() + "' -out '" +
                      (folder() / "cert.pem").string() + "' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) {
        fail("openssl could not make a certificate (Debian package openssl, scripts/install-deps.sh)");
        return false;
    }
    chmod(privateKey().c_str(), 0644); // the server's session processes drop privileges
    return true;
}

bool RealFtpServer::waitForGreeting(int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string last;
    auto greets = [&] {
        int fd = socket(options_.ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_storage a;
        socklen_t len = loopbackAddress(options_.ipv6, port_, a);
        const bool connected = fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&a), len) == 0;
        if (connected && options_.tls == RealServerOptions::Tls::Implicit) {
            // The greeting comes inside TLS: listening is ready enough.
            close(fd);
            return true;
        }
        if (connected) {
            std::string got;
            bool ok = readReply220(fd, got, deadline);
            if (ok) {
                static const char quit[] = "QUIT\r\n";
                if (::send(fd, quit, sizeof quit - 1, MSG_NOSIGNAL) < 0) { /* only a courtesy */ }
                close(fd);
                return true;
            }
            last = got;
        }
        if (fd >= 0) close(fd);
        return false;
    };
    switch (process_.waitUntil(deadline, std::chrono::milliseconds(20), greets)) {
    case PeerProcess::Wait::Ready:
        return true;
    case PeerProcess::Wait::Exited:
        return false;
    case PeerProcess::Wait::Late:
        break;
    }
    error_ = "no 220 greeting on port " + std::to_string(port_) + (last.empty() ? "" : ", got: " + last);
    return false;
}

std::vector<pid_t> RealFtpServer::processes() const { return process_.processes(); }

void RealFtpServer::stop() {
    process_.stop();
    ready_ = false;
}

// ---- vsftpd ----

Vsftpd::Vsftpd(Options options) : RealFtpServer("vsftpd", std::move(options)) {
    if (folder().empty()) return;
    if (access(binary, X_OK) != 0) {
        fail(std::string(binary) + " not found: install the Debian package vsftpd (scripts/install-deps.sh)");
        return;
    }
    const bool asRoot = geteuid() == 0;
    if (asRoot) {
        std::string why;
        localUserAvailable_ = ensureLocalUser(localUser_, localPassword_, why);
        if (localUserAvailable_) {
            struct passwd* pw = getpwnam(localUser_.c_str());
            if (!pw || chown(localRoot_.c_str(), pw->pw_uid, pw->pw_gid) != 0) localUserAvailable_ = false;
        } else {
            std::cerr << "vsftpd local user unavailable: " << why << "\n";
        }
    }
    if (options_.tls != Options::Tls::Off && !makeCertificate()) return;
    fs::path empty = folder() / "empty";
    fs::create_directories(empty);
    chmod(empty.c_str(), 0755);
    fs::path protocolLog = folder() / "vsftpd.log";
    logFiles_.push_back(protocolLog);

    std::string bannerLine;
    if (options_.banner.find('\n') == std::string::npos) {
        bannerLine = "ftpd_banner=" + options_.banner + "\n";
    } else {
        PeerProcess::writeText(folder() / "banner.txt", options_.banner);
        bannerLine = "banner_file=" + (folder() / "banner.txt").string() + "\n";
    }

    for (int attempt = 0;; ++attempt) {
        port_ = pickFreePort(options_.ipv6);
        std::string conf =
            std::string(options_.ipv6 ? "listen=NO\nlisten_ipv6=YES\nlisten_address6=::1\n"
                                      : "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\n") +
            "listen_port=" + std::to_string(port_) + "\n"
            "background=NO\n"
            "seccomp_sandbox=NO\n"
            "secure_chroot_dir=" + empty.string() + "\n"
            "anonymous_enable=YES\n"
            "anon_root=" + root_.string() + "\n"
            "allow_writeable_chroot=YES\n"
            "write_enable=YES\n"
            "anon_upload_enable=YES\n"
            "anon_mkdir_write_enable=YES\n"
            "anon_other_write_enable=YES\n"
            "anon_world_readable_only=NO\n"
            "anon_umask=022\n"
            "local_umask=022\n"
            "pasv_enable=YES\n"
            "pasv_min_port=40000\n"
            "pasv_max_port=60000\n"
            "port_enable=YES\n"
            "connect_from_port_20=NO\n"
            "async_abor_enable=YES\n"
            "ls_recurse_enable=YES\n"
            "dirmessage_enable=NO\n"
            "max_per_ip=0\n"
            "max_clients=0\n" +
            (options_.maxRateBytesPerSecond > 0
                 ? "anon_max_rate=" + std::to_string(options_.maxRateBytesPerSecond) + "\nlocal_max_rate=" +
                       std::to_string(options_.maxRateBytesPerSecond) + "\n"
                 : std::string()) +
            ""
            "delay_failed_login=0\n"
            // Only the protocol log in the folder, no system xferlog or syslog.
            "xferlog_enable=YES\n"
            "xferlog_std_format=NO\n"
            "dual_log_enable=NO\n"
            "syslog_enable=NO\n"
            "log_ftp_protocol=YES\n"
            "vsftpd_log_file=" + protocolLog.string() + "\n"
            "idle_session_timeout=" + std::to_string(options_.idleSessionTimeoutSeconds) + "\n" +
            bannerLine;
        if (options_.tls != Options::Tls::Off)
            conf += "ssl_enable=YES\n"
                    "rsa_cert_file=" + certificate().string() + "\n"
                    "rsa_private_key_file=" + privateKey().string() + "\n"
                    "ssl_ciphers=HIGH\n"
                    "ssl_tlsv1=YES\nssl_sslv2=NO\nssl_sslv3=NO\n"
                    "require_ssl_reuse=YES\n"
                    "force_local_logins_ssl=YES\n"
                    "force_local_data_ssl=YES\n"
                    "allow_anon_ssl=YES\n"
                    "force_anon_logins_ssl=NO\n"
                    "force_anon_data_ssl=NO\n" +
                    std::string(options_.tls == Options::Tls::Implicit ? "implicit_ssl=YES\n" : "");
        if (localUserAvailable_)
            conf += "local_enable=YES\n"
                    "pam_service_name=vsftpd\n"
                    "check_shell=NO\n"
                    "local_root=" + localRoot_.string() + "\n";
        else
            conf += "local_enable=NO\n";
        if (!asRoot) conf += "run_as_launching_user=YES\n";
        fs::path confFile = folder() / "vsftpd.conf";
        if (!PeerProcess::writeText(confFile, conf)) {
            fail("cannot write " + confFile.string());
            return;
        }
        if (!launch({binary, confFile.string()})) {
            fail("cannot start " + std::string(binary));
            return;
        }
        if (waitForGreeting(kStartTimeoutMs)) {
            ready_ = true;
            return;
        }
        stop();
        // Someone took the port between picking and binding: pick again.
        if (attempt < 4 && PeerProcess::readText(folder() / "server.log").find("could not bind") != std::string::npos)
            continue;
        fail("vsftpd did not come up" + (error_.empty() ? std::string() : ": " + error_));
        return;
    }
}

// ---- pyftpdlib ----

PyFtpd::PyFtpd(Options options) : RealFtpServer("pyftpd", std::move(options)) {
    if (folder().empty()) return;
    localUserAvailable_ = true;  // a virtual user of the script
    chmod(root_.c_str(), 0777);
    chmod(localRoot_.c_str(), 0777);
    if (access(python, X_OK) != 0 || !fs::exists("/usr/lib/python3/dist-packages/pyftpdlib")) {
        fail(std::string(python) +
             " with pyftpdlib not found: install the Debian package python3-pyftpdlib (scripts/install-deps.sh)");
        return;
    }
    std::string script = VN_SOURCE_DIR "/tests/support/pyftpd_server.py";
    std::vector<std::string> argv{python, "-u", script, "--address", host(), "--port", "0", "--root", root_.string(),
                                  "--home", localRoot_.string(), "--user", localUser_, "--password", localPassword_,
                                  "--banner", options_.banner, "--idle-timeout",
                                  std::to_string(options_.idleSessionTimeoutSeconds), "--max-rate",
                                  std::to_string(options_.maxRateBytesPerSecond)};
    if (options_.tls != Options::Tls::Off) {
        if (!makeCertificate()) return;
        for (const std::string& a : {std::string("--tls"),
                                     std::string(options_.tls == Options::Tls::Implicit ? "implicit" : "explicit"),
                                     std::string("--cert"), certificate().string(), std::string("--key"),
                                     privateKey().string()})
            argv.push_back(a);
    }
    if (!launch(argv)) {
        fail("cannot start " + script);
        return;
    }
    auto deadline = Clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    auto reported = [&] {
        std::string out = PeerProcess::readText(folder() / "server.log");
        size_t at = out.find("READY ");
        if (at == std::string::npos || out.find('\n', at) == std::string::npos) return false;
        port_ = static_cast<uint16_t>(std::atoi(out.c_str() + at + 6));
        return true;
    };
    if (process_.waitUntil(deadline, std::chrono::milliseconds(10), reported) != PeerProcess::Wait::Ready) {
        stop();
        fail("pyftpd_server.py did not report READY");
        return;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (!waitForGreeting(static_cast<int>(std::max<long long>(left, 500)))) {
        stop();
        fail("pyftpd_server.py did not greet: " + error_);
        return;
    }
    ready_ = true;
}

} // namespace vn::test
