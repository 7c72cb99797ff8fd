#pragma once
// A scripted Telnet server on 127.0.0.1 for byte-exact tests: it accepts one
// connection at a time, sends exactly what the test says and reads exactly
// what the client sent, with a deadline on every wait.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>

namespace vn::telnet::test {

class FakeTelnetServer {
public:
    using Clock = std::chrono::steady_clock;

    // receiveBuffer > 0: the accepted connections' receive buffer (a server that reads slowly).
    explicit FakeTelnetServer(int receiveBuffer = 0) {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (receiveBuffer > 0) ::setsockopt(listen_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listen_, 4);
        socklen_t len = sizeof a;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~FakeTelnetServer() {
        closeClient();
        if (listen_ >= 0) ::close(listen_);
    }

    std::uint16_t port() const { return port_; }

    // Waits for the client's connection.
    bool accept(std::chrono::milliseconds within = std::chrono::seconds(10)) {
        if (!waitFor(listen_, POLLIN, Clock::now() + within)) return false;
        closeClient();
        client_ = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        return client_ >= 0;
    }
    // True when a connection is waiting to be accepted (it is not accepted).
    bool connectionPending() {
        pollfd p{listen_, POLLIN, 0};
        return ::poll(&p, 1, 0) == 1;
    }

    bool send(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            long n = ::send(client_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    // Reads until `size` bytes arrived (or the deadline, or the end).
    std::string read(std::size_t size, std::chrono::milliseconds within = std::chrono::seconds(10)) {
        std::string out;
        auto deadline = Clock::now() + within;
        while (out.size() < size) {
            if (!waitFor(client_, POLLIN, deadline)) break;
            char buf[65536];
            long n = ::recv(client_, buf, std::min(sizeof buf, size - out.size()), 0);
            if (n <= 0) break;
            out.append(buf, static_cast<std::size_t>(n));
        }
        return out;
    }
    // Reads until the text ends with `tail`.
    std::string readUntil(const std::string& tail, std::chrono::milliseconds within = std::chrono::seconds(10)) {
        std::string out;
        auto deadline = Clock::now() + within;
        while (out.size() < tail.size() || out.compare(out.size() - tail.size(), tail.size(), tail) != 0) {
            if (!waitFor(client_, POLLIN, deadline)) break;
            char c;
            long n = ::recv(client_, &c, 1, 0);
            if (n <= 0) break;
            out += c;
        }
        return out;
    }
    // Reads everything up to the client's end of the stream.
    std::string readToEnd(std::chrono::milliseconds within = std::chrono::seconds(10)) {
        std::string out;
        auto deadline = Clock::now() + within;
        for (;;) {
            if (!waitFor(client_, POLLIN, deadline)) return out + "<no end>";
            char buf[65536];
            long n = ::recv(client_, buf, sizeof buf, 0);
            if (n <= 0) return out;
            out.append(buf, static_cast<std::size_t>(n));
        }
    }

    void closeClient() {
        if (client_ >= 0) ::close(client_);
        client_ = -1;
    }
    int clientFd() const { return client_; }

private:
    static bool waitFor(int fd, short events, Clock::time_point deadline) {
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left < 0) return false;
            pollfd p{fd, events, 0};
            int n = ::poll(&p, 1, static_cast<int>(left));
            if (n < 0 && errno == EINTR) continue;
            return n == 1;
        }
    }

    int listen_ = -1;
    int client_ = -1;
    std::uint16_t port_ = 0;
};

} // namespace vn::telnet::test
