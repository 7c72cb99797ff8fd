#pragma once
// A scripted FTP peer on 127.0.0.1 for the cases real servers won't produce:
// replies split across segments, stalls, abrupt closes, odd reply texts.
//
// Every accepted control connection runs the script from its first step in a
// thread of its own; after the last step it answers from the responder table.
// The listener is bound (kernel-chosen port) on construction; accepting starts
// with start() or, implicitly, with the first call of port(), so build the
// script before asking for the port. Steps and responder entries added later
// still reach connections that have not got that far.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace vn::test {

class FakeFtpServer {
public:
    FakeFtpServer();
    ~FakeFtpServer();
    FakeFtpServer(const FakeFtpServer&) = delete;
    FakeFtpServer& operator=(const FakeFtpServer&) = delete;

    // ---- script steps ----
    // Writes exactly these bytes in one write (TCP_NODELAY is on).
    FakeFtpServer& send(std::string bytes);
    FakeFtpServer& pause(std::chrono::milliseconds duration);
    // Reads command lines until one starts with `prefix` (case-sensitive);
    // lines before it are recorded and ignored, except FEAT (asked at every
    // login), which is answered from the responder (by default refused), and
    // "AUTH ...", answered "502" as a server without TLS does.
    FakeFtpServer& expect(std::string prefix);
    FakeFtpServer& reply(std::string prefix, std::string bytes);
    FakeFtpServer& closeConnection();
    // Reads and records forever without answering.
    FakeFtpServer& silence();

    // ---- responder (after the last step; first matching prefix wins) ----
    // An entry with the same prefix as an earlier one replaces it in place,
    // so presets can be overridden. Built in at the end: "QUIT" answers
    // "221 Goodbye." and closes; anything unmatched gets "502 ...".
    FakeFtpServer& on(std::string prefix, std::string bytes);
    FakeFtpServer& onClose(std::string prefix, std::string bytes);

    // PASV: listens on 127.0.0.1 and answers "227 Entering Passive Mode
    // (127,0,0,1,p1,p2).". With `bytes`, serves them on the first data
    // connection and closes it; without, keeps the listener for onData/onList.
    FakeFtpServer& dataPassive(std::string bytes = {});
    // EPSV: the same with "229 Entering Extended Passive Mode (|||port|)".
    FakeFtpServer& dataExtendedPassive(std::string bytes = {});
    // PORT h1,h2,h3,h4,p1,p2: answers "200 PORT command successful.". With
    // `bytes`, connects there at once, sends them and closes; without, keeps
    // the address for onData/onList.
    FakeFtpServer& dataActive(std::string bytes = {});
    // A data command: sends `preliminary`, opens the data connection set up by
    // the last PASV/PORT, sends `bytes`, closes it, then sends `completion`.
    // Without PASV/PORT first it answers "425 Use PORT or PASV first.".
    FakeFtpServer& onData(std::string prefix, std::string bytes,
                          std::string preliminary = "150 Opening data connection.\r\n",
                          std::string completion = "226 Transfer complete.\r\n");
    FakeFtpServer& onList(std::string listing,
                          std::string preliminary = "150 Here comes the listing.\r\n",
                          std::string completion = "226 Done.\r\n");
    // Like onData, but receives until the client closes; see uploads().
    FakeFtpServer& onUpload(std::string prefix = "STOR",
                            std::string preliminary = "150 Ok to send data.\r\n",
                            std::string completion = "226 Transfer complete.\r\n");

    // ---- presets ----
    // Greeting, USER -> 331, PASS -> 230, and answers for PWD, NOOP, "REST 0",
    // TYPE and SYST.
    FakeFtpServer& login(std::string greeting = "220 Fake FTP ready\r\n");
    static std::unique_ptr<FakeFtpServer> loginScript(std::string greeting = "220 Fake FTP ready\r\n");

    // ---- control ----
    void start();
    // Closes every socket and joins every thread; never blocks on a peer.
    // Also run by the destructor.
    void stop();
    uint16_t port();

    // Every line received, all connections, in arrival order, without CR LF.
    std::vector<std::string> commands() const;
    bool waitForCommand(const std::string& prefix, std::chrono::milliseconds timeout) const;
    int connections() const;
    bool waitForConnections(int count, std::chrono::milliseconds timeout) const;
    // What each onUpload transfer received, in order.
    std::vector<std::string> uploads() const;

    // A loopback port with nothing listening on it.
    static uint16_t refusingPort();

private:
    enum class StepKind { Send, Pause, Expect, Close, Silence };
    struct Step {
        StepKind kind;
        std::string text;
        std::chrono::milliseconds duration{0};
    };
    enum class Action { Answer, AnswerClose, Passive, ExtendedPassive, Active, DataOut, DataIn };
    struct Entry {
        std::string prefix;
        Action action;
        std::string bytes;
        std::string preliminary;
        std::string completion;
    };
    struct Session;

    FakeFtpServer& addStep(Step step);
    FakeFtpServer& addEntry(Entry entry);
    void acceptLoop();
    void serve(int fd);
    bool respond(Session& s, const std::string& line);
    bool readLine(Session& s, std::string& line);
    void record(const std::string& line);
    bool spawn(std::thread&& t);
    bool registerFd(int fd);
    void closeFd(int fd);
    bool waitReadable(int fd, int timeoutMs) const;
    int acceptData(int listener);
    int connectData(const Session& s);
    bool openPassive(Session& s);

    int listener_ = -1;
    uint16_t port_ = 0;
    int stopPipe_[2] = {-1, -1};

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool started_ = false;
    bool stopping_ = false;
    std::vector<Step> steps_;
    std::vector<Entry> entries_;
    std::vector<std::string> commands_;
    std::vector<std::string> uploads_;
    int connections_ = 0;
    std::set<int> fds_;
    std::vector<std::thread> threads_;
};

// A loopback address where a TCP connect neither succeeds nor fails: a
// listener with backlog 0 whose accept queue is filled with connections it
// never accepts, so the kernel drops further SYNs. hangs() tells whether a
// probe connect stayed pending; on a kernel where it doesn't, tests skip.
class HangingConnectTarget {
public:
    HangingConnectTarget();
    ~HangingConnectTarget();
    HangingConnectTarget(const HangingConnectTarget&) = delete;
    HangingConnectTarget& operator=(const HangingConnectTarget&) = delete;

    const char* host() const { return "127.0.0.1"; }
    uint16_t port() const { return port_; }
    bool hangs() const { return hangs_; }

private:
    int listener_ = -1;
    uint16_t port_ = 0;
    bool hangs_ = false;
    std::vector<int> fillers_;
};

} // namespace vn::test
