#include "RawFtpClient.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace vn::test {
namespace {

bool waitIn(int fd, std::chrono::milliseconds timeout) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, static_cast<int>(timeout.count())) > 0;
}

} // namespace

RawFtpClient::~RawFtpClient() { close(); }

int RawFtpClient::connectTo(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool RawFtpClient::connect(uint16_t port) {
    close();
    fd_ = connectTo(port);
    return fd_ >= 0;
}

void RawFtpClient::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    buffer_.clear();
}

bool RawFtpClient::sendRaw(const std::string& bytes) {
    return fd_ >= 0 && ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

std::string RawFtpClient::recvOnce(std::chrono::milliseconds timeout) {
    if (!buffer_.empty()) return std::exchange(buffer_, {});
    if (fd_ < 0 || !waitIn(fd_, timeout)) return {};
    char buf[4096];
    ssize_t n = recv(fd_, buf, sizeof buf, 0);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

bool RawFtpClient::closedByPeer(std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    char buf[4096];
    while (fd_ >= 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !waitIn(fd_, left)) return false;
        ssize_t n = recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) return true;
    }
    return false;
}

std::string RawFtpClient::readReply(std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        // The reply ends with the first line "ddd " after its first line's code.
        size_t at = 0;
        std::string code;
        while (at < buffer_.size()) {
            size_t nl = buffer_.find('\n', at);
            if (nl == std::string::npos) break;
            std::string line = buffer_.substr(at, nl - at);
            if (code.empty()) code = line.substr(0, 3);
            if (line.size() >= 4 && line.compare(0, 3, code) == 0 && line[3] == ' ') {
                std::string reply = buffer_.substr(0, nl + 1);
                buffer_.erase(0, nl + 1);
                return reply;
            }
            at = nl + 1;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (fd_ < 0 || left.count() <= 0 || !waitIn(fd_, left)) return {};
        char buf[4096];
        ssize_t n = recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) return {};
        buffer_.append(buf, static_cast<size_t>(n));
    }
}

int RawFtpClient::connectPassive(const std::string& reply227) {
    size_t open = reply227.find('(');
    unsigned v[6];
    if (open == std::string::npos ||
        std::sscanf(reply227.c_str() + open + 1, "%u,%u,%u,%u,%u,%u", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]) != 6)
        return -1;
    if (v[0] != 127) return -1;  // loopback only
    return connectTo(static_cast<uint16_t>(v[4] * 256 + v[5]));
}

std::string RawFtpClient::readAll(int fd, std::chrono::milliseconds timeout) {
    std::string all;
    char buf[4096];
    while (fd >= 0 && waitIn(fd, timeout)) {
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        all.append(buf, static_cast<size_t>(n));
    }
    if (fd >= 0) ::close(fd);
    return all;
}

} // namespace vn::test
