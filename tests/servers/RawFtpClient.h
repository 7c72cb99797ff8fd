#pragma once
// A deliberately tiny FTP client on raw sockets, so the test peers are checked
// without the code they exist to test.
#include <chrono>
#include <cstdint>
#include <string>

namespace vn::test {

class RawFtpClient {
public:
    RawFtpClient() = default;
    ~RawFtpClient();
    RawFtpClient(const RawFtpClient&) = delete;
    RawFtpClient& operator=(const RawFtpClient&) = delete;

    bool connect(uint16_t port);
    void close();
    bool sendRaw(const std::string& bytes);
    bool sendLine(const std::string& line) { return sendRaw(line + "\r\n"); }
    // One complete reply, multi-line included; "" on time-out or close.
    std::string readReply(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    std::string command(const std::string& line) { return sendLine(line) ? readReply() : std::string(); }
    // What one recv() returns ("" on time-out or close).
    std::string recvOnce(std::chrono::milliseconds timeout);
    // True when the peer closed the connection within the time-out.
    bool closedByPeer(std::chrono::milliseconds timeout);
    int fd() const { return fd_; }

    // Passive data: parses a 227 reply and connects to it (-1 on failure).
    static int connectPassive(const std::string& reply227);
    static int connectTo(uint16_t port);
    // Reads a data connection to its end and closes it.
    static std::string readAll(int fd, std::chrono::milliseconds timeout = std::chrono::seconds(5));

private:
    int fd_ = -1;
    std::string buffer_;
};

} // namespace vn::test
