#pragma once
// One Telnet connection and its terminal: the connect, the receive loop
// (codec -> terminal parser -> screen), the user's input, paste, Erase Line,
// Logout and the automatic login of a site. run() is the whole connection and
// runs on the window's worker (vn::TaskThread); everything else may be called
// from any thread.
//
// There is no time-out on the look-up or the connect: abort() (the window
// closing) or logout() ends them at once. Everything sent goes through one
// queue that the worker empties however slowly the server reads, so nothing
// typed or pasted is lost; every 0xFF sent as data is doubled.
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "common/ToolSink.h"
#include "platform/EventWait.h"
#include "platform/Outcome.h"
#include "platform/Socket.h"
#include "telnet/Screen.h"
#include "telnet/TelnetCodec.h"
#include "telnet/TerminalParser.h"

namespace vn::telnet {

// The box text of a connection that failed, was refused, broke or was closed by the server.
inline constexpr std::string_view kConnectionClosed = "The connection with the Host has been closed.";
// Status texts (first status panel).
inline constexpr std::string_view kStatusNotConnected = "Not Connected.";        // creation, server closed
inline constexpr std::string_view kStatusConnecting = "Connected...";            // from the start of the connect
inline constexpr std::string_view kStatusDisconnected = "Not Connected...";      // Logout, a socket error

// What the session reports besides ToolSink's status() and beep().
class TelnetSink : public ToolSink {
public:
    void log(const std::string&) override {}
    // The connect has started (caption "Varnelo FTP Suite - Telnet : " + host).
    virtual void connecting(const std::string& /*host*/) {}
    // The connection stands (disable the connect commands; add to the history).
    virtual void connected(const std::string& /*host*/) {}
    // The screen model changed: take its damage and repaint (any thread).
    virtual void screenChanged() {}
    // A text written on the screen, for the screen log; one call per write.
    // Called with the screen locked: don't call back into the session.
    // (beep() and everything else are called with nothing locked.)
    virtual void screenText(std::string_view /*utf8*/) {}
};

struct TelnetConnectRequest {
    std::string host;        // name or dotted address, as the user gave it
    std::uint16_t port = 23;
    // A site with login type 0: the login goes after the server's first
    // output, the password after its next output, each followed by CR LF.
    bool autoLogin = false;
    std::string login;
    std::string password;
};

struct TelnetEnd {
    Outcome outcome = Outcome::Failed; // Done: Logout; PeerClosed: the server closed;
                                       // Aborted: abort(); Failed: no connection or a socket error
    std::string message;               // a box for the user, or empty
    int error = 0;                     // errno or look-up code, when there is one
    bool wasConnected = false;
};

class TelnetSession {
public:
    explicit TelnetSession(TelnetSink& sink);
    ~TelnetSession();
    TelnetSession(const TelnetSession&) = delete;
    TelnetSession& operator=(const TelnetSession&) = delete;

    // Settings the window hands on ("LocalEcho", "ClearScreen").
    void setLocalEcho(bool on) { localEcho_ = on; }
    bool localEcho() const { return localEcho_; }
    void setClearScreen(bool on) { clearScreen_ = on; }
    // The receive size of one block (tests use small ones).
    void setBlockSize(std::size_t n) { blockSize_ = n ? n : 1; }

    // Worker: connects and serves the connection until it ends. The screen is
    // reset first. Status texts go to the sink; the returned message is for a box.
    TelnetEnd run(const TelnetConnectRequest& request);

    // -- any thread --
    // Ends a pending look-up or connect, or the connection, at once. Only the
    // run in progress: a run() that has not started yet is not affected.
    void abort();
    // The window is closing: ends the run in progress at once and makes every
    // later run() return Aborted without connecting, so a worker that is
    // about to start one can always be joined.
    void shutdown();
    // Logout: a pending connect ends at once; a connection gets "logout" CR LF
    // (after everything queued before it), then closes.
    void logout();
    bool connected() const { return connected_.load(); }

    // A character event (UTF-8 of one character): Enter sends CR LF;
    // Backspace sends 8, or beeps at column 1; any other character is sent
    // (and written at the cursor with local echo). Tab comes as a key.
    void typeCharacter(std::string_view utf8);
    // A key-up event.
    void pressKey(TelnetKey key);
    // Sent in pieces of at most 1024 bytes, then written at the cursor
    // whatever the local echo (the cursor stays).
    void paste(std::string_view utf8);
    void eraseLine();
    // Sends raw, already encoded bytes (tests, custom keys).
    void sendRaw(std::string bytes);

    // The screen, locked for as long as the returned object lives.
    class ScreenAccess {
    public:
        ScreenAccess(std::mutex& m, Screen& s) : lock_(m), screen_(s) {}
        Screen& operator*() const { return screen_; }
        Screen* operator->() const { return &screen_; }

    private:
        std::unique_lock<std::mutex> lock_;
        Screen& screen_;
    };
    ScreenAccess screen() { return ScreenAccess(screenMutex_, screen_); }
    // Window creation and site-manager connections forget that escape
    // sequences were seen; erase from the cursor ("ClearScreen").
    void clearEmulationSeen();
    void eraseFromCursor();

    // Bytes waiting to be sent (tests).
    std::size_t queuedBytes() const;

private:
    class CodecOut;
    void enqueue(std::string bytes);
    void wake();
    bool flushSome(int fd, int& error);
    TelnetEnd serve(vn::Socket& socket, const TelnetConnectRequest& request);
    TelnetEnd finishLogout(vn::Socket& socket);
    TelnetEnd endWith(Outcome o, std::string_view status, std::string message, int error, bool connected);
    void afterBlock(const TelnetConnectRequest& request);
    void echo(std::string_view bytes);

    TelnetSink& sink_;
    EventWait wait_;
    int wakeFd_ = -1;

    std::mutex screenMutex_;
    Screen screen_;
    TerminalParser parser_{screen_};
    std::unique_ptr<CodecOut> codecOut_;
    std::unique_ptr<TelnetCodec> codec_;

    mutable std::mutex queueMutex_;
    std::deque<std::string> queue_;
    std::size_t queueOffset_ = 0; // bytes of queue_.front() already sent

    std::atomic<bool> connected_{false};
    std::atomic<bool> logoutRequested_{false};
    std::atomic<bool> shutDown_{false};
    std::atomic<bool> localEcho_{false};
    std::atomic<bool> clearScreen_{false};
    std::size_t blockSize_ = 4096;
    int bells_ = 0; // rung while the screen was locked, reported after
    int loginStage_ = 0; // 1: login waits for output, 2: password waits, 0: none
};

} // namespace vn::telnet
