#include "Netns.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vn::icmp::test {

namespace {

std::atomic<int> g_counter{0};
constexpr const char* kPrefix = "vnicmp-";

// Removes namespaces of earlier runs whose process is gone.
void sweepStale() {
    static bool swept = false;
    if (swept) return;
    swept = true;
    DIR* d = ::opendir("/run/netns");
    if (!d) return;
    std::vector<std::string> stale;
    while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n.rfind(kPrefix, 0) != 0) continue;
        long pid = std::strtol(n.c_str() + std::strlen(kPrefix), nullptr, 10);
        if (pid > 0 && pid != ::getpid() && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            stale.push_back(n);
    }
    ::closedir(d);
    for (const auto& n : stale) shell("ip netns del " + n);
}

bool loopbackUp() {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
    bool ok = ::ioctl(fd, SIOCGIFFLAGS, &ifr) == 0;
    ifr.ifr_flags |= IFF_UP;
    ok = ok && ::ioctl(fd, SIOCSIFFLAGS, &ifr) == 0;
    ::close(fd);
    return ok;
}

bool writeFile(const char* path, const char* text) {
    int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::write(fd, text, std::strlen(text)) == static_cast<ssize_t>(std::strlen(text));
    ::close(fd);
    return ok;
}

bool joinNetns(const std::string& name) {
    int fd = ::open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::setns(fd, CLONE_NEWNET) == 0;
    ::close(fd);
    return ok;
}

} // namespace

std::optional<std::string> shell(const std::string& command) {
    std::string full = command + " 2>&1";
    FILE* p = ::popen(full.c_str(), "r");
    if (!p) return "cannot run: " + command;
    std::string out;
    char buf[512];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    int status = ::pclose(p);
    if (status == 0) return std::nullopt;
    return "`" + command + "` failed (status " + std::to_string(status) + "): " + out;
}

std::optional<std::string> namespacesUnavailable() {
    if (::geteuid() != 0) return "network namespaces need root (CAP_SYS_ADMIN); this run is not root";
    if (shell("ip -V")) return "iproute2's `ip` is not installed";
    NamedNetns probe;
    if (probe.error()) return "network namespaces cannot be made here: " + *probe.error();
    return std::nullopt;
}

NamedNetns::NamedNetns() {
    sweepStale();
    name_ = std::string(kPrefix) + std::to_string(::getpid()) + "-" + std::to_string(g_counter++);
    if (auto e = shell("ip netns add " + name_)) {
        error_ = e;
        return;
    }
    created_ = true;
    error_ = shell("ip -n " + name_ + " link set lo up");
}

NamedNetns::~NamedNetns() {
    if (created_) shell("ip netns del " + name_);
}

std::optional<std::string> NamedNetns::exec(const std::string& command) const {
    return shell("ip netns exec " + name_ + " " + command);
}

RoutedNet::RoutedNet() {
    for (const NamedNetns* n : {&a, &r, &b})
        if (n->error()) {
            error_ = n->error();
            return;
        }
    const std::string A = a.name(), R = r.name(), B = b.name();
    const std::vector<std::string> steps = {
        "ip -n " + A + " link add veth0 type veth peer name eth-a netns " + R,
        "ip -n " + R + " link add eth-b type veth peer name veth0 netns " + B,
        "ip -n " + A + " addr add 10.77.1.2/24 dev veth0",
        "ip -n " + R + " addr add 10.77.1.1/24 dev eth-a",
        "ip -n " + R + " addr add 10.77.2.1/24 dev eth-b",
        "ip -n " + B + " addr add 10.77.2.2/24 dev veth0",
        "ip -n " + A + " link set veth0 up",
        "ip -n " + R + " link set eth-a up",
        "ip -n " + R + " link set eth-b up",
        "ip -n " + B + " link set veth0 up",
        "ip -n " + A + " route add default via 10.77.1.1",
        "ip -n " + B + " route add default via 10.77.2.1",
        "ip netns exec " + R + " sysctl -qw net.ipv4.ip_forward=1",
        "ip netns exec " + R + " sysctl -qw net.ipv4.icmp_ratelimit=0",
        "ip netns exec " + B + " sysctl -qw net.ipv4.icmp_ratelimit=0",
        "ip netns exec " + A + " sysctl -qw net.ipv4.ping_group_range='0 2147483647'",
    };
    for (const auto& s : steps)
        if (auto e = shell(s)) {
            error_ = e;
            return;
        }
}

void runInNetns(const std::string& name, const std::function<void()>& fn) {
    std::string failure;
    std::thread t([&] {
        if (!joinNetns(name)) {
            failure = std::string("setns: ") + std::strerror(errno);
            return;
        }
        fn();
    });
    t.join();
    if (!failure.empty()) throw std::runtime_error(failure);
}

ChildResult runInChild(const ChildSetup& setup, const std::function<std::string()>& fn) {
    ChildResult res;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        res.failure = "pipe failed";
        return res;
    }
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid < 0) {
        res.failure = "fork failed";
        ::close(fds[0]);
        ::close(fds[1]);
        return res;
    }
    if (pid == 0) {
        ::close(fds[0]);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::alarm(60);  // never outlive a stuck exchange
        auto fail = [&](const std::string& why) {
            std::string msg = "SETUP:" + why + ": " + std::strerror(errno);
            [[maybe_unused]] auto n = ::write(fds[1], msg.data(), msg.size());
            ::_exit(3);
        };
        if (setup.netns) {
            if (!joinNetns(*setup.netns)) fail("setns " + *setup.netns);
        } else {
            if (::unshare(CLONE_NEWNET) != 0) fail("unshare(CLONE_NEWNET)");
            if (!loopbackUp()) fail("lo up");
            // Per namespace: a fresh one starts at "1 0" (nobody may).
            if (setup.widenPingGroupRange && !writeFile("/proc/sys/net/ipv4/ping_group_range", "0 2147483647"))
                fail("ping_group_range");
        }
        if (setup.dropToNobody) {
            if (::setgroups(0, nullptr) != 0) fail("setgroups");
            if (::setgid(65534) != 0) fail("setgid");
            if (::setuid(65534) != 0) fail("setuid");
            if (::geteuid() == 0) fail("still root");
        }
        std::string out = fn();
        std::size_t off = 0;
        while (off < out.size()) {
            ssize_t n = ::write(fds[1], out.data() + off, out.size() - off);
            if (n <= 0) ::_exit(4);
            off += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string got;
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        res.ran = true;
        res.output = got;
    } else {
        res.failure = got.empty() ? "child ended with status " + std::to_string(status) : got;
    }
    return res;
}

} // namespace vn::icmp::test
