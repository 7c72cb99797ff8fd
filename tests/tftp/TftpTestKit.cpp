#include "TftpTestKit.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vn::tftp::test {

namespace {

int udpSocket(std::uint16_t port, std::uint16_t* bound) {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(port);
    ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    socklen_t len = sizeof sa;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    if (bound) *bound = ntohs(sa.sin_port);
    return fd;
}

void sendLoopback(int fd, std::uint16_t port, std::string_view bytes) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(port);
    ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
}

long recvFrom(int fd, std::string& out, std::uint16_t& port) {
    out.resize(70000);
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    long n = ::recvfrom(fd, out.data(), out.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&sa), &len);
    if (n >= 0) {
        out.resize(static_cast<std::size_t>(n));
        port = ntohs(sa.sin_port);
    }
    return n;
}

} // namespace

TempDir::TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "vn-tftp-XXXXXX").string();
    if (char* p = ::mkdtemp(tmpl.data())) path_ = p;
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
}

void makeFile(const fs::path& p, std::uint64_t size, unsigned seed) {
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    std::string chunk(1 << 16, '\0');
    std::uint64_t done = 0;
    std::uint32_t x = seed * 2654435761u + 12345u;
    while (done < size) {
        for (char& c : chunk) {
            x = x * 1103515245u + 12345u;
            c = static_cast<char>(x >> 24);
        }
        const std::uint64_t n = std::min<std::uint64_t>(chunk.size(), size - done);
        f.write(chunk.data(), static_cast<std::streamsize>(n));
        done += n;
    }
}

std::string readAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

bool sameContent(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    if (!fs::exists(a, ec) || !fs::exists(b, ec)) return false;
    if (fs::file_size(a, ec) != fs::file_size(b, ec)) return false;
    return readAll(a) == readAll(b);
}

std::uint16_t freeUdpPort() {
    std::uint16_t p = 0;
    int fd = udpSocket(0, &p);
    ::close(fd);
    return p;
}

Process::Process(const std::vector<std::string>& argv, const fs::path& outputFile, const fs::path& cwd) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
        ::setpgid(0, 0);
        int out = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int in = ::open("/dev/null", O_RDONLY);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(out, 2);
        if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(126);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    if (pid_ > 0) {
        ::setpgid(pid_, pid_);
        pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    }
}

Process::~Process() { kill(); }

std::optional<int> Process::wait(std::chrono::milliseconds limit) {
    if (status_) return status_;
    if (pid_ <= 0) return std::nullopt;
    pollfd p{pidfd_, POLLIN, 0};
    if (pidfd_ >= 0 && ::poll(&p, 1, static_cast<int>(limit.count())) <= 0) {
        kill();
        return std::nullopt;
    }
    int st = 0;
    if (::waitpid(pid_, &st, 0) == pid_) status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    if (pidfd_ >= 0) ::close(pidfd_);
    pidfd_ = -1;
    return status_;
}

bool Process::running() {
    if (status_ || pid_ <= 0) return false;
    pollfd p{pidfd_, POLLIN, 0};
    return ::poll(&p, 1, 0) == 0;
}

void Process::kill() {
    if (pid_ > 0 && !status_) {
        ::kill(-pid_, SIGKILL);
        int st = 0;
        ::waitpid(pid_, &st, 0);
        status_ = -1;
    }
    if (pidfd_ >= 0) ::close(pidfd_);
    pidfd_ = -1;
}

RunResult run(const std::vector<std::string>& argv, std::chrono::milliseconds limit, const fs::path& cwd) {
    TempDir d;
    const fs::path out = d.path() / "out.txt";
    RunResult r;
    {
        Process p(argv, out, cwd);
        auto st = p.wait(limit);
        r.status = st ? *st : -1;
    }
    r.output = readAll(out);
    return r;
}

TftpdHpa::TftpdHpa(int retransmitUs) {
    port_ = freeUdpPort();
    std::error_code ec;
    const std::string daemon = fs::exists("/usr/sbin/in.tftpd", ec) ? "/usr/sbin/in.tftpd" : "in.tftpd";
    std::vector<std::string> argv = {daemon, "-L", "-a", "127.0.0.1:" + std::to_string(port_), "-s", "-c", "-p",
                                     "-u", "root", "-B", "65464"};
    if (retransmitUs > 0) {
        argv.push_back("-T");
        argv.push_back(std::to_string(retransmitUs));
    }
    argv.push_back(root().string());
    proc_ = std::make_unique<Process>(argv, work_.path() / "tftpd.log");
    // Ready once it answers: a request for a missing file gets ERROR 1.
    RawPeer probe;
    const std::string rrq = std::string("\0\1", 2) + "vn-probe-missing" + std::string("\0octet\0", 7);
    for (int i = 0; i < 50 && proc_->running(); ++i) {
        probe.sendTo(port_, rrq);
        if (auto d = probe.recv(std::chrono::milliseconds(100)); d && opcodeOf(*d) == 5) {
            ready_ = true;
            break;
        }
    }
}

TftpdHpa::~TftpdHpa() { proc_.reset(); }

std::string TftpdHpa::log() const { return readAll(work_.path() / "tftpd.log"); }

void RecordingSink::log(const std::string& line) {
    {
        std::lock_guard l(m_);
        lines_.push_back(line);
    }
    cv_.notify_all();
}

void RecordingSink::status(const std::string& text) {
    std::lock_guard l(m_);
    statuses_.push_back(text);
}

void RecordingSink::progress(std::uint64_t, std::uint64_t) {
    std::lock_guard l(m_);
    ++progress_;
}

std::vector<std::string> RecordingSink::lines() const {
    std::lock_guard l(m_);
    return lines_;
}

std::vector<std::string> RecordingSink::statuses() const {
    std::lock_guard l(m_);
    return statuses_;
}

std::size_t RecordingSink::progressCalls() const {
    std::lock_guard l(m_);
    return progress_;
}

std::size_t RecordingSink::count(std::string_view text) const {
    std::lock_guard l(m_);
    std::size_t n = 0;
    for (const auto& s : lines_) n += s == text;
    return n;
}

bool RecordingSink::contains(std::string_view part) const {
    std::lock_guard l(m_);
    for (const auto& s : lines_)
        if (s.find(part) != std::string::npos) return true;
    return false;
}

bool RecordingSink::waitFor(std::string_view text, std::size_t n, std::chrono::milliseconds limit) const {
    std::unique_lock l(m_);
    return cv_.wait_for(l, limit, [&] {
        std::size_t k = 0;
        for (const auto& s : lines_) k += s == text;
        return k >= n;
    });
}

RawPeer::RawPeer() { fd_ = udpSocket(0, &port_); }

RawPeer::~RawPeer() {
    if (fd_ >= 0) ::close(fd_);
}

void RawPeer::sendTo(std::uint16_t port, std::string_view bytes) { sendLoopback(fd_, port, bytes); }

std::optional<std::string> RawPeer::recv(std::chrono::milliseconds limit, std::uint16_t* fromPort) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(limit.count())) <= 0) return std::nullopt;
    std::string out;
    std::uint16_t port = 0;
    if (recvFrom(fd_, out, port) < 0) return std::nullopt;
    if (fromPort) *fromPort = port;
    return out;
}

UdpRelay::UdpRelay(std::uint16_t serverPort, Script script) : serverPort_(serverPort), script_(std::move(script)) {
    front_ = udpSocket(0, &frontPort_);
    up_ = udpSocket(0, nullptr);
    back_ = udpSocket(0, nullptr);
    forger_ = udpSocket(0, nullptr);
    stop_ = ::eventfd(0, EFD_CLOEXEC);
    thread_ = std::thread([this] { loop(); });
}

UdpRelay::~UdpRelay() {
    std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(stop_, &one, sizeof one);
    thread_.join();
    for (int fd : {front_, up_, back_, forger_, stop_}) ::close(fd);
}

std::vector<std::string> UdpRelay::forgedReplies() const {
    std::lock_guard l(m_);
    return forgedReplies_;
}

std::size_t UdpRelay::passed(Dir dir) const {
    std::lock_guard l(m_);
    return counts_[dir == Dir::ToServer ? 0 : 1];
}

void UdpRelay::loop() {
    std::uint16_t client = 0, transfer = 0;
    for (;;) {
        pollfd p[5] = {{front_, POLLIN, 0}, {up_, POLLIN, 0}, {back_, POLLIN, 0}, {forger_, POLLIN, 0}, {stop_, POLLIN, 0}};
        if (::poll(p, 5, -1) < 0) continue;
        if (p[4].revents) return;
        std::string d;
        std::uint16_t from = 0;
        auto pass = [&](Dir dir, int via, std::uint16_t to) {
            std::size_t index;
            {
                std::lock_guard l(m_);
                index = counts_[dir == Dir::ToServer ? 0 : 1]++;
            }
            Action a = script_ ? script_(dir, index, d) : Action{};
            for (int i = 0; i < a.copies; ++i) sendLoopback(via, to, d);
            if (!a.forgedFrom.empty()) sendLoopback(forger_, to, a.forgedFrom);
        };
        if ((p[0].revents & POLLIN) && recvFrom(front_, d, from) >= 0) {
            client = from;
            pass(Dir::ToServer, up_, serverPort_);
        }
        if ((p[1].revents & POLLIN) && recvFrom(up_, d, from) >= 0 && client) {
            // The first port the server answers from is the transfer's. A
            // repeated request starts a second session on another port: the
            // client must see that one from another port too, as it would
            // without the relay, not mixed into the first.
            if (!transfer) transfer = from;
            pass(Dir::ToClient, from == transfer ? back_ : forger_, client);
        }
        if ((p[2].revents & POLLIN) && recvFrom(back_, d, from) >= 0 && transfer && from == client)
            pass(Dir::ToServer, up_, transfer);
        if ((p[3].revents & POLLIN) && recvFrom(forger_, d, from) >= 0) {
            std::lock_guard l(m_);
            forgedReplies_.push_back(d);
        }
    }
}

std::uint16_t opcodeOf(std::string_view d) {
    return d.size() < 2 ? 0xffff : static_cast<std::uint16_t>((static_cast<unsigned char>(d[0]) << 8) | static_cast<unsigned char>(d[1]));
}

std::uint16_t blockOf(std::string_view d) {
    return d.size() < 4 ? 0xffff : static_cast<std::uint16_t>((static_cast<unsigned char>(d[2]) << 8) | static_cast<unsigned char>(d[3]));
}

} // namespace vn::tftp::test
