#pragma once
// inetutils-telnetd on 127.0.0.1 for tests and benchmarks: socat listens on a
// free port and runs "telnetd -h -E <script>" for each connection, the script
// standing in for login. socat runs in a process group of its own, which is
// ended with it.
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace vn::telnet::test {

inline const char* kTelnetd = "/usr/sbin/telnetd";
inline const char* kSocat = "/usr/bin/socat";

inline bool telnetdAvailable() { return ::access(kTelnetd, X_OK) == 0 && ::access(kSocat, X_OK) == 0; }

inline std::uint16_t freePort() {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

class Telnetd {
public:
    // Writes `script` as <dir>/login.sh and starts the server with it.
    bool start(const std::filesystem::path& dir, const std::string& scriptText) {
        namespace fs = std::filesystem;
        fs::path script = dir / "login.sh";
        std::ofstream(script) << scriptText;
        fs::permissions(script, fs::perms::owner_all);
        for (int attempt = 0; attempt < 5; ++attempt) {
            port_ = freePort();
            if (launch(script)) return true;
            stop();
        }
        return false;
    }
    std::uint16_t port() const { return port_; }
    void stop() {
        if (pid_ > 0) {
            ::kill(-pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        if (err_ >= 0) ::close(err_);
        err_ = -1;
    }
    ~Telnetd() { stop(); }

private:
    // Waits for socat's "listening on" line (at most a few seconds).
    bool launch(const std::filesystem::path& script) {
        int p[2];
        if (::pipe2(p, O_CLOEXEC) != 0) return false;
        std::string listen = "TCP-LISTEN:" + std::to_string(port_) + ",bind=127.0.0.1,reuseaddr,fork";
        std::string exec = "EXEC:" + std::string(kTelnetd) + " -h -E " + script.string();
        pid_t pid = ::fork();
        if (pid == 0) {
            ::setpgid(0, 0);
            ::dup2(p[1], 2);
            ::execl(kSocat, kSocat, "-d", "-d", listen.c_str(), exec.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(p[1]);
        pid_ = pid;
        err_ = p[0];
        std::string seen;
        for (;;) {
            pollfd pfd{err_, POLLIN, 0};
            if (::poll(&pfd, 1, 5000) != 1) return false;
            char buf[512];
            long n = ::read(err_, buf, sizeof buf);
            if (n <= 0) return false;
            seen.append(buf, static_cast<std::size_t>(n));
            if (seen.find("listening on") != std::string::npos) return true;
        }
    }

    pid_t pid_ = -1;
    int err_ = -1;
    std::uint16_t port_ = 0;
};

} // namespace vn::telnet::test
