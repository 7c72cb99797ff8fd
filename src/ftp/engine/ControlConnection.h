#pragma once
// The control connection of one FTP session: command lines out, reply lines in,
// every step through the window's socket event wait. Replies are read through
// a buffer; what follows a line stays in it for the next reader, and the drain
// empties it as well as the socket.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/EventWait.h"
#include "platform/Socket.h"

namespace vn {

// One whole reply: its lines, CR and LF removed.
struct Reply {
    std::vector<std::string> lines;
    bool complete = false; // false: the read was cancelled, timed out or the connection ended
    // Why the read ended: Done with a whole reply, otherwise what stopped it.
    Outcome outcome = Outcome::Failed;

    const std::string& first() const;
    // First character of the first line, 0 when there is none.
    char code() const { return lines.empty() || lines.front().empty() ? 0 : lines.front()[0]; }
};

class ControlConnection {
public:
    using Logger = std::function<void(const std::string&)>;

    static constexpr std::size_t kBlock = 1024;           // commands go out in blocks of this size
    static constexpr std::size_t kMaxLine = 64 * 1024;    // longer reply lines are cut there
    static constexpr std::size_t kMaxReplyLines = 10000;  // a reply that never ends is cut there

    ControlConnection(EventWait& wait, Logger log);

    Socket& socket() { return sock_; }
    const Socket& socket() const { return sock_; }

    // Sends text (which already ends in CR LF) in blocks of kBlock bytes. Logs nothing.
    bool EnviarComanda(std::string_view text);
    // Reads one reply line; false when none was delivered (line is then empty
    // after a failed wait, unchanged after a cancel noticed at the read).
    bool LlegirLinia(std::string& line);
    // Reads one whole reply: a line whose fourth character is "-" opens a
    // multi-line reply that ends with the line starting with the same code and a blank.
    Reply readReply();
    // Throws away whatever the server sent that nobody read (leftovers of earlier replies).
    void drain();

    // The server ended the connection (or it failed) inside a read or a send.
    bool ended() const { return ended_; }
    // The TYPE the server last accepted on this connection; 0 when unknown
    // (none yet, or a TYPE was sent whose answer has not been noted).
    char transferType() const { return type_; }
    void noteTransferType(char letter) { type_ = letter; }
    // What the last send or read came to.
    Outcome lastOutcome() const { return last_; }
    void close() { sock_.close(); }

private:
    void markEnded();
    // Waits for events; anything but Done (or a close seen with them) is recorded as the outcome.
    bool waitFor(unsigned events);

    EventWait& wait_;
    Logger log_;
    Socket sock_;
    std::string buf_;
    bool ended_ = false;
    char type_ = 0;
    Outcome last_ = Outcome::Done;
};

} // namespace vn
