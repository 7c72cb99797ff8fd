#pragma once
// inetutils-telnetd on 127.0.0.1 for tests and benchmarks: socat listens on a
// free port and runs "telnetd -h -E <script>" for each connection, the script
// standing in for login. socat and every telnetd it started are the peer
// process's, stopped with it.
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "PeerProcess.h"

namespace vn::telnet::test {

inline const char* kTelnetd = "/usr/sbin/telnetd";
inline const char* kSocat = "/usr/bin/socat";

inline bool telnetdAvailable() { return ::access(kTelnetd, X_OK) == 0 && ::access(kSocat, X_OK) == 0; }

class Telnetd {
public:
    // Writes `script` as <dir>/login.sh and starts the server with it.
    bool start(const std::filesystem::path& dir, const std::string& scriptText) {
        namespace fs = std::filesystem;
        fs::path script = dir / "login.sh";
        std::ofstream(script) << scriptText;
        fs::permissions(script, fs::perms::owner_all);
        // Someone may take the port between picking and binding: pick again.
        for (int attempt = 0; attempt < 5; ++attempt) {
            port_ = vn::test::pickFreePort();
            if (launch(script)) return true;
            stop();
        }
        return false;
    }
    std::uint16_t port() const { return port_; }
    void stop() {
        if (process_) process_->finish("socat", "socat.log", [this] { return log(); });
        process_.reset();
    }
    ~Telnetd() { stop(); }

private:
    std::string log() const { return process_ ? vn::test::PeerProcess::readText(logFile()) : std::string(); }
    std::filesystem::path logFile() const { return process_->folder() / "socat.log"; }

    // Waits for socat's "listening on" line (at most a few seconds).
    bool launch(const std::filesystem::path& script) {
        process_ = std::make_unique<vn::test::PeerProcess>("telnetd");
        if (process_->folder().empty()) return false;
        const std::string listen = "TCP-LISTEN:" + std::to_string(port_) + ",bind=127.0.0.1,reuseaddr,fork";
        const std::string exec = "EXEC:" + std::string(kTelnetd) + " -h -E " + script.string();
        const auto started = process_->launch(logFile(), [&] {
            ::execl(kSocat, kSocat, "-d", "-d", listen.c_str(), exec.c_str(), static_cast<char*>(nullptr));
        });
        if (started != vn::test::PeerProcess::Launch::Started) return false;
        const auto deadline = vn::test::PeerProcess::Clock::now() + std::chrono::seconds(5);
        return process_->waitUntil(deadline, std::chrono::milliseconds(10),
                                   [this] { return log().find("listening on") != std::string::npos; }) ==
               vn::test::PeerProcess::Wait::Ready;
    }

    std::unique_ptr<vn::test::PeerProcess> process_;
    std::uint16_t port_ = 0;
};

} // namespace vn::telnet::test
