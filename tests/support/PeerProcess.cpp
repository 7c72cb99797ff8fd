#include "PeerProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace vn::test {
namespace {

void becomeSubreaper() {
    // Processes that a peer forks outlive it as orphans; as their reaper this
    // process can collect them instead of leaving zombies.
    static std::once_flag once;
    std::call_once(once, [] { prctl(PR_SET_CHILD_SUBREAPER, 1); });
}

pid_t parentOf(pid_t pid) {
    std::string stat = PeerProcess::readText("/proc/" + std::to_string(pid) + "/stat");
    size_t close = stat.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream rest(stat.substr(close + 1));
    char state;
    pid_t ppid = -1;
    rest >> state >> ppid;
    return ppid;
}

std::vector<pid_t> descendantsOf(pid_t root) {
    std::vector<std::pair<pid_t, pid_t>> all;  // pid, parent
    if (DIR* d = opendir("/proc")) {
        while (dirent* e = readdir(d)) {
            char* end = nullptr;
            long pid = std::strtol(e->d_name, &end, 10);
            if (*end || pid <= 0) continue;
            all.emplace_back(static_cast<pid_t>(pid), parentOf(static_cast<pid_t>(pid)));
        }
        closedir(d);
    }
    std::vector<pid_t> found{root};
    for (size_t i = 0; i < found.size(); ++i)
        for (const auto& [pid, ppid] : all)
            if (ppid == found[i]) found.push_back(pid);
    found.erase(found.begin());
    return found;
}

// Reaps `pid` if it is ours by now; true once it has left the process table.
// A killed process's own child is briefly a zombie of that process before it
// is handed to this process (the subreaper), so a zombie is not yet gone.
bool reapedOrGone(pid_t pid) {
    int status;
    waitpid(pid, &status, WNOHANG);
    return access(("/proc/" + std::to_string(pid)).c_str(), F_OK) != 0;
}

} // namespace

std::string PeerProcess::readText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool PeerProcess::writeText(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    return bool(out.flush());
}

PeerProcess::PeerProcess(const std::string& tag) {
    std::string templ = (fs::temp_directory_path() / ("vn-" + tag + "-XXXXXX")).string();
    if (!mkdtemp(templ.data())) return;
    folder_ = templ;
    chmod(folder_.c_str(), 0755);
}

PeerProcess::~PeerProcess() { stop(); }

void PeerProcess::finish(const std::string& what, const std::string& logName,
                         const std::function<std::string()>& log) {
    stop();
    if (folder_.empty()) return;
    if (::testing::Test::HasFailure()) {
        std::cerr << "---- " << what << " folder kept: " << folder_ << "\n"
                  << log() << "---- end of " << logName << " log\n";
        return;
    }
    std::error_code ec;
    fs::remove_all(folder_, ec);
}

PeerProcess::Launch PeerProcess::launch(const fs::path& output, const std::function<void()>& exec) {
    becomeSubreaper();
    int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    int devnull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (out < 0 || devnull < 0) {
        if (out >= 0) ::close(out);
        if (devnull >= 0) ::close(devnull);
        return Launch::NoOutput;
    }
    const pid_t parent = getpid();
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        // Dies with the test even if the test itself crashes.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(126);
        dup2(devnull, 0);
        dup2(out, 1);
        dup2(out, 2);
        close_range(3, ~0U, 0);
        exec();
        _exit(127);
    }
    ::close(out);
    ::close(devnull);
    if (pid < 0) return Launch::NoFork;
    setpgid(pid, pid);
    pid_ = pid;
    return Launch::Started;
}

bool PeerProcess::exited() {
    if (pid_ <= 0) return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = status;
        pid_ = -1;
        return true;
    }
    return false;
}

PeerProcess::Wait PeerProcess::waitUntil(Clock::time_point deadline, std::chrono::milliseconds interval,
                                         const std::function<bool()>& ready) {
    for (;;) {
        if (exited()) return Wait::Exited;
        if (ready()) return Wait::Ready;
        if (Clock::now() > deadline) return Wait::Late;
        std::this_thread::sleep_for(interval);
    }
}

std::vector<pid_t> PeerProcess::processes() const {
    if (pid_ <= 0) return {};
    std::vector<pid_t> all{pid_};
    for (pid_t p : descendantsOf(pid_)) all.push_back(p);
    return all;
}

void PeerProcess::stop() {
    if (pid_ <= 0) return;
    // Frozen, the peer forks no new processes while its tree is collected.
    kill(pid_, SIGSTOP);
    std::vector<pid_t> tree;
    for (int pass = 0; pass < 5; ++pass) {
        bool grew = false;
        for (pid_t p : descendantsOf(pid_)) {
            if (std::find(tree.begin(), tree.end(), p) != tree.end()) continue;
            kill(p, SIGSTOP);
            tree.push_back(p);
            grew = true;
        }
        if (!grew) break;
    }
    // Sessions may lead process groups of their own (vsftpd's do); killing
    // the groups also takes a child one forked while being collected.
    for (pid_t p : tree) {
        kill(-p, SIGKILL);
        kill(p, SIGKILL);
    }
    kill(-pid_, SIGKILL);
    kill(pid_, SIGKILL);
    tree.push_back(pid_);
    auto deadline = Clock::now() + std::chrono::seconds(5);
    for (pid_t p : tree) {
        while (!reapedOrGone(p) && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    pid_ = -1;
}

// The loopback address of a family, port set.
socklen_t loopbackAddress(bool ipv6, uint16_t port, sockaddr_storage& ss) {
    ss = {};
    if (ipv6) {
        auto& a = reinterpret_cast<sockaddr_in6&>(ss);
        a.sin6_family = AF_INET6;
        a.sin6_addr = in6addr_loopback;
        a.sin6_port = htons(port);
        return sizeof a;
    }
    auto& a = reinterpret_cast<sockaddr_in&>(ss);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return sizeof a;
}

uint16_t pickFreePort(bool ipv6) {
    int fd = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_storage a;
    socklen_t len = loopbackAddress(ipv6, 0, a);
    uint16_t port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), len) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6&>(a).sin6_port : reinterpret_cast<sockaddr_in&>(a).sin_port);
    close(fd);
    return port;
}

bool ipv6LoopbackAvailable(std::string& why) {
    int fd = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        why = std::string("no IPv6 sockets here: ") + std::strerror(errno);
        return false;
    }
    sockaddr_storage a;
    socklen_t len = loopbackAddress(true, 0, a);
    bool ok = bind(fd, reinterpret_cast<sockaddr*>(&a), len) == 0;
    if (!ok) why = std::string("::1 can't be bound here (no IPv6 on loopback): ") + std::strerror(errno);
    close(fd);
    return ok;
}

} // namespace vn::test
