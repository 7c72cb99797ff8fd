#include "InetdPeer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sched.h>
#include <sstream>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace vn::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kNamespaceExit = 3;
constexpr int kAttempts = 3;
constexpr auto kListenTimeout = std::chrono::seconds(5);

// Only async-signal-safe calls: this runs between fork and exec.
void childFail(const char* what) {
    int e = errno;
    const char* why = strerror(e);
    if (::write(2, what, strlen(what)) < 0 || ::write(2, ": ", 2) < 0 || ::write(2, why, strlen(why)) < 0 ||
        ::write(2, "\n", 1) < 0) {
    }
    _exit(kNamespaceExit);
}

void writeProc(const char* path, const char* text) {
    int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) childFail(path);
    if (::write(fd, text, strlen(text)) < 0) childFail(path);
    ::close(fd);
}

} // namespace

InetdPeer::InetdPeer() : process_("inetd") {
    // The folder is mode 0755: services run as other users and must reach their scripts.
    if (folder().empty()) error_ = "cannot create a temporary folder for inetd";
}

InetdPeer::~InetdPeer() {
    process_.finish("inetd", "inetd", [this] { return log(); });
}

InetdPeer& InetdPeer::internal(const std::string& service) {
    services_.push_back({service, true, {}, "root"});
    return *this;
}

InetdPeer& InetdPeer::program(const std::string& tag, std::vector<std::string> argv, const std::string& user) {
    services_.push_back({tag, false, std::move(argv), user});
    return *this;
}

uint16_t InetdPeer::port(const std::string& tag) const {
    auto it = ports_.find(tag);
    return it == ports_.end() ? 0 : it->second;
}

std::string InetdPeer::log() const {
    return folder().empty() ? std::string() : PeerProcess::readText(folder() / "inetd.log");
}

bool InetdPeer::start() {
    if (folder().empty()) return false;
    if (access(binary, X_OK) != 0) {
        error_ = std::string(binary) + " not found: install the Debian package openbsd-inetd (scripts/install-deps.sh)";
        return false;
    }
    if (services_.empty()) {
        error_ = "no service to run";
        return false;
    }
    std::string why;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (launchOnce(why)) {
            ready_ = true;
            error_.clear();
            return true;
        }
        stop();
        if (noNamespace_) break;
    }
    error_ = why + "\n" + log();
    return false;
}

bool InetdPeer::launchOnce(std::string& why) {
    ports_.clear();
    const bool asRoot = geteuid() == 0;
    // Without root, inetd runs as this user and starts its programs as this
    // user too (it can change to no other).
    std::string ownUser;
    if (!asRoot) {
        struct passwd* pw = getpwuid(geteuid());
        if (!pw) {
            why = "this user has no name in the password database";
            return false;
        }
        ownUser = pw->pw_name;
    }
    std::string services, conf;
    std::vector<uint16_t> ports;
    for (const auto& s : services_) {
        uint16_t p = pickFreePort();
        if (p == 0) {
            why = "no free loopback port";
            return false;
        }
        ports_[s.tag] = p;
        ports.push_back(p);
        if (s.internal) {
            // inetd knows its own services by their official names only.
            services += s.tag + "\t" + std::to_string(p) + "/tcp\n";
            conf += "127.0.0.1:" + s.tag + "\tstream\ttcp4\tnowait\troot\tinternal\n";
        } else {
            conf += "127.0.0.1:" + std::to_string(p) + "\tstream\ttcp4\tnowait\t" + (asRoot ? s.user : ownUser);
            for (const auto& a : s.argv) conf += "\t" + a;
            conf += "\n";
        }
    }
    const fs::path servicesFile = folder() / "services";
    const fs::path confFile = folder() / "inetd.conf";
    if (!PeerProcess::writeText(servicesFile, services) || !PeerProcess::writeText(confFile, conf)) {
        why = "cannot write inetd's configuration in " + folder().string();
        return false;
    }
    chmod(servicesFile.c_str(), 0644);

    const std::string servicesPath = servicesFile.string();
    const std::string confPath = confFile.string();
    const uid_t uid = geteuid();
    const gid_t gid = getegid();
    char uidMap[64], gidMap[64];
    // The user keeps its own ids inside; the namespace only lends it the
    // right to mount.
    std::snprintf(uidMap, sizeof uidMap, "%u %u 1\n", static_cast<unsigned>(uid), static_cast<unsigned>(uid));
    std::snprintf(gidMap, sizeof gidMap, "%u %u 1\n", static_cast<unsigned>(gid), static_cast<unsigned>(gid));

    const auto launched = process_.launch(folder() / "inetd.log", [&] {
        if (asRoot) {
            if (unshare(CLONE_NEWNS) != 0) childFail("unshare(CLONE_NEWNS)");
        } else {
            if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) childFail("unshare(CLONE_NEWUSER | CLONE_NEWNS)");
            writeProc("/proc/self/setgroups", "deny");
            writeProc("/proc/self/uid_map", uidMap);
            writeProc("/proc/self/gid_map", gidMap);
        }
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) childFail("mount --make-rprivate /");
        if (mount("tmpfs", "/run", "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755") != 0) childFail("mount tmpfs /run");
        if (mount(servicesPath.c_str(), "/etc/services", nullptr, MS_BIND, nullptr) != 0)
            childFail("mount --bind /etc/services");
        execl(binary, "inetd", "-d", confPath.c_str(), static_cast<char*>(nullptr));
    });
    if (launched == PeerProcess::Launch::NoOutput) {
        why = "cannot open inetd's log";
        return false;
    }
    if (launched == PeerProcess::Launch::NoFork) {
        why = "fork failed";
        return false;
    }

    // inetd tells no one when it listens; look again shortly.
    switch (process_.waitUntil(Clock::now() + kListenTimeout, std::chrono::milliseconds(10),
                               [&] { return listening(ports); })) {
    case PeerProcess::Wait::Ready:
        return true;
    case PeerProcess::Wait::Exited:
        if (WIFEXITED(process_.status()) && WEXITSTATUS(process_.status()) == kNamespaceExit) {
            noNamespace_ = true;
            why = "cannot make a private mount namespace for inetd";
        } else {
            why = "inetd exited at start";
        }
        return false;
    case PeerProcess::Wait::Late:
        break;
    }
    why = "inetd did not listen on all of its ports in time";
    return false;
}

// Every port is a listening socket on 127.0.0.1 held by our inetd (not by
// whatever process took a port in the meantime).
bool InetdPeer::listening(const std::vector<uint16_t>& ports) const {
    std::vector<std::string> inodes;
    std::error_code dirError;
    for (const auto& e : fs::directory_iterator("/proc/" + std::to_string(process_.pid()) + "/fd", dirError)) {
        std::error_code ec;
        std::string target = fs::read_symlink(e.path(), ec).string();
        if (!ec && target.rfind("socket:[", 0) == 0) inodes.push_back(target.substr(8, target.size() - 9));
    }
    std::istringstream table(PeerProcess::readText("/proc/net/tcp"));
    std::string line;
    std::getline(table, line); // heading
    std::vector<uint16_t> found;
    while (std::getline(table, line)) {
        std::istringstream f(line);
        std::string slot, local, remote, state, queues, timer, retr, uid, timeout, inode;
        f >> slot >> local >> remote >> state >> queues >> timer >> retr >> uid >> timeout >> inode;
        if (state != "0A" || local.size() != 13 || local.compare(0, 9, "0100007F:") != 0) continue;
        uint16_t p = static_cast<uint16_t>(std::strtoul(local.substr(9).c_str(), nullptr, 16));
        for (const auto& i : inodes)
            if (i == inode) found.push_back(p);
    }
    for (uint16_t p : ports)
        if (std::find(found.begin(), found.end(), p) == found.end()) return false;
    return true;
}

void InetdPeer::stop() {
    process_.stop();
    ready_ = false;
}

} // namespace vn::test
