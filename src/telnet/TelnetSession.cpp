#include "telnet/TelnetSession.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/Resolver.h"

namespace vn::telnet {

namespace {
struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};
} // namespace

// Answers go into the send queue (in order with what the user typed);
// terminal bytes go to the parser.
class TelnetSession::CodecOut : public TelnetCodecOutput {
public:
    explicit CodecOut(TelnetSession& s) : s_(s) {}
    void toServer(std::string bytes) override { s_.enqueue(std::move(bytes)); }
    void toTerminal(const char* data, std::size_t size) override { s_.parser_.feed(data, size); }

private:
    TelnetSession& s_;
};

TelnetSession::TelnetSession(TelnetSink& sink)
    : sink_(sink), wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), codecOut_(std::make_unique<CodecOut>(*this)),
      codec_(std::make_unique<TelnetCodec>(*codecOut_)) {
    screen_.onBell = [this] { ++bells_; };
    screen_.onTextWritten = [this](std::string_view t) { sink_.screenText(t); };
}

TelnetSession::~TelnetSession() {
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

void TelnetSession::wake() {
    std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(wakeFd_, &one, sizeof one);
}

void TelnetSession::abort() { wait_.abort(); }

void TelnetSession::shutdown() {
    shutDown_ = true;
    wait_.abort();
}

void TelnetSession::logout() {
    logoutRequested_ = true;
    if (connected_) wake();
    else wait_.abort(); // a look-up or connect still pending ends at once
}

std::size_t TelnetSession::queuedBytes() const {
    std::lock_guard lock(queueMutex_);
    std::size_t n = 0;
    for (const auto& s : queue_) n += s.size();
    return n - queueOffset_;
}

void TelnetSession::enqueue(std::string bytes) {
    if (bytes.empty() || !connected_) return; // sending while not connected does nothing
    {
        std::lock_guard lock(queueMutex_);
        queue_.push_back(std::move(bytes));
    }
    wake();
}

void TelnetSession::sendRaw(std::string bytes) { enqueue(std::move(bytes)); }

void TelnetSession::echo(std::string_view bytes) {
    {
        std::lock_guard lock(screenMutex_);
        std::u32string text = decodeForDisplay(bytes);
        screen_.write(text.data(), text.size(), false);
    }
    sink_.screenChanged();
}

void TelnetSession::typeCharacter(std::string_view utf8) {
    if (utf8.empty() || utf8 == "\t") return;
    if (utf8 == "\r" || utf8 == "\n") {
        enqueue("\r\n");
        return;
    }
    if (utf8 == "\b") {
        bool atStart;
        {
            std::lock_guard lock(screenMutex_);
            atStart = screen_.cursor().col == 1 && !screen_.wrapPending();
            if (!atStart && localEcho_) screen_.backspace();
        }
        if (atStart) {
            sink_.beep();
            return;
        }
        enqueue("\b");
        if (localEcho_) sink_.screenChanged();
        return;
    }
    enqueue(encodeData(utf8));
    if (localEcho_) echo(utf8);
}

void TelnetSession::pressKey(TelnetKey key) {
    enqueue(keyBytes(key));
    if (key == TelnetKey::Delete && localEcho_) {
        {
            std::lock_guard lock(screenMutex_);
            screen_.backspace();
        }
        sink_.screenChanged();
    }
}

void TelnetSession::paste(std::string_view utf8) {
    for (auto& piece : pastePieces(utf8)) enqueue(std::move(piece));
    {
        std::lock_guard lock(screenMutex_);
        screen_.writeTextKeepCursor(utf8);
    }
    sink_.screenChanged();
}

void TelnetSession::eraseLine() { enqueue(eraseLineCommand()); }

void TelnetSession::clearEmulationSeen() {
    std::lock_guard lock(screenMutex_);
    screen_.clearEmulationSeen();
}

void TelnetSession::eraseFromCursor() {
    {
        std::lock_guard lock(screenMutex_);
        screen_.erase('x');
    }
    sink_.screenChanged();
}

// Sends what the queue holds until the socket takes no more. False on a socket error.
bool TelnetSession::flushSome(int fd, int& error) {
    for (;;) {
        std::string front;
        std::size_t offset;
        {
            std::lock_guard lock(queueMutex_);
            if (queue_.empty()) return true;
            front = queue_.front();
            offset = queueOffset_;
        }
        long n = ::send(fd, front.data() + offset, front.size() - offset, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
            error = errno;
            return false;
        }
        std::lock_guard lock(queueMutex_);
        queueOffset_ += static_cast<std::size_t>(n);
        if (queueOffset_ >= queue_.front().size()) {
            queue_.pop_front();
            queueOffset_ = 0;
        }
    }
}

TelnetEnd TelnetSession::endWith(Outcome o, std::string_view status, std::string message, int error,
                                 bool wasConnected) {
    connected_ = false;
    loginStage_ = 0;
    {
        std::lock_guard lock(queueMutex_);
        queue_.clear();
        queueOffset_ = 0;
    }
    if (!status.empty()) sink_.status(std::string(status));
    if (o != Outcome::Aborted && o != Outcome::Done) sink_.beep();
    if (o != Outcome::Aborted && wasConnected && clearScreen_) eraseFromCursor();
    TelnetEnd end;
    end.outcome = o;
    end.message = std::move(message);
    end.error = error;
    end.wasConnected = wasConnected;
    return end;
}

TelnetEnd TelnetSession::run(const TelnetConnectRequest& request) {
    wait_.beginOperation();
    // After the fresh token: a shutdown() from now on cancels it, one before is seen here.
    if (shutDown_) return TelnetEnd{Outcome::Aborted, {}, 0, false};
    logoutRequested_ = false;
    connected_ = false;
    {
        std::lock_guard lock(queueMutex_);
        queue_.clear();
        queueOffset_ = 0;
    }
    {
        std::lock_guard lock(screenMutex_);
        screen_.resetForConnect();
        parser_.reset();
        codec_->reset();
    }
    sink_.screenChanged();
    std::uint64_t drained;
    while (::read(wakeFd_, &drained, sizeof drained) > 0) {
    }

    auto failed = [&](int error) {
        return endWith(Outcome::Failed, kStatusDisconnected, std::string(kConnectionClosed), error, false);
    };
    auto cancelled = [&] {
        if (logoutRequested_) return endWith(Outcome::Done, kStatusDisconnected, {}, 0, false);
        return endWith(Outcome::Aborted, {}, {}, 0, false);
    };

    int err = 0;
    Socket socket = Socket::tcp(err);
    if (!socket.valid())
        return endWith(Outcome::Failed, kStatusDisconnected, ">ERROR " + std::to_string(err) + " : socket not connected.",
                       err, false);

    // A name that begins with a digit must be a dotted address; any other is
    // looked up. Either way a host that gives no address connects nowhere.
    std::string dotted;
    const std::string& host = request.host;
    if (host.empty()) return failed(0);
    if (host[0] >= '0' && host[0] <= '9') {
        if (!isDottedIPv4(host)) return failed(0);
        dotted = host;
    } else {
        LookupResult r = lookupHost(wait_, host, std::nullopt);
        if (r.status == LookupResult::Cancelled) return cancelled();
        if (r.status != LookupResult::Found || !isDottedIPv4(r.dotted)) return failed(r.error);
        dotted = r.dotted;
    }

    sink_.status(std::string(kStatusConnecting));
    sink_.connecting(host);
    int rc = socket.connectStart(dotted, request.port);
    if (rc != 0) return failed(rc);
    Outcome o = wait_.wait(socket.fd(), FD_CONNECT, std::nullopt);
    if (o == Outcome::Aborted) return cancelled();
    if (o != Outcome::Done) return failed(wait_.socketError());
    // The wait has already taken the connect's error from the socket, if there was one.
    if (int e = wait_.socketError() ? wait_.socketError() : socket.pendingError()) return failed(e);

    connected_ = true;
    loginStage_ = request.autoLogin ? 1 : 0;
    sink_.connected(host);
    return serve(socket, request);
}

void TelnetSession::afterBlock(const TelnetConnectRequest& request) {
    if (loginStage_ == 0) return;
    bool seen;
    {
        std::lock_guard lock(screenMutex_);
        seen = screen_.outputSeen();
        if (seen) screen_.clearOutputSeen();
    }
    if (!seen) return;
    if (loginStage_ == 1) {
        enqueue(encodeData(request.login) + "\r\n");
        loginStage_ = 2;
    } else {
        enqueue(encodeData(request.password) + "\r\n");
        loginStage_ = 0;
    }
}

TelnetEnd TelnetSession::serve(Socket& socket, const TelnetConnectRequest& request) {
    Fd ep{::epoll_create1(EPOLL_CLOEXEC)};
    auto brokenDown = [&](int error) {
        socket.close();
        return endWith(Outcome::Failed, kStatusDisconnected, std::string(kConnectionClosed), error, true);
    };
    if (ep.fd < 0) return brokenDown(errno);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = wakeFd_;
    if (::epoll_ctl(ep.fd, EPOLL_CTL_ADD, wakeFd_, &ev) != 0) return brokenDown(errno);
    ev.events = EPOLLIN | EPOLLRDHUP;
    ev.data.fd = socket.fd();
    if (::epoll_ctl(ep.fd, EPOLL_CTL_ADD, socket.fd(), &ev) != 0) return brokenDown(errno);
    bool watchingOut = false;
    std::vector<char> block(blockSize_);

    for (;;) {
        int error = 0;
        if (!flushSome(socket.fd(), error)) return brokenDown(error);
        if (logoutRequested_) return finishLogout(socket);
        bool wantOut = queuedBytes() > 0;
        if (wantOut != watchingOut) {
            ev.events = EPOLLIN | EPOLLRDHUP | (wantOut ? EPOLLOUT : 0u);
            ev.data.fd = socket.fd();
            ::epoll_ctl(ep.fd, EPOLL_CTL_MOD, socket.fd(), &ev);
            watchingOut = wantOut;
        }
        // The epoll set is readable when the socket or the wake-up is ready.
        Outcome o = wait_.wait(ep.fd, FD_READ, std::nullopt);
        if (o == Outcome::Aborted) {
            // A Logout that came while the connect was finishing cancelled the wait.
            if (logoutRequested_ && !shutDown_) return finishLogout(socket);
            socket.close();
            return endWith(Outcome::Aborted, {}, {}, 0, true);
        }
        if (o != Outcome::Done) return brokenDown(0);
        epoll_event got[2];
        int n = ::epoll_wait(ep.fd, got, 2, 0);
        for (int i = 0; i < n; ++i) {
            if (got[i].data.fd == wakeFd_) {
                std::uint64_t v;
                while (::read(wakeFd_, &v, sizeof v) > 0) {
                }
                continue;
            }
            if (!(got[i].events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR))) continue;
            long r = socket.recvSome(block.data(), block.size());
            if (r == 0) {
                socket.close();
                return endWith(Outcome::PeerClosed, kStatusNotConnected, std::string(kConnectionClosed), 0, true);
            }
            if (r < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
                return brokenDown(errno);
            }
            // Every byte received counts, zero bytes included.
            {
                std::lock_guard lock(screenMutex_);
                codec_->receive(block.data(), static_cast<std::size_t>(r));
            }
            sink_.screenChanged();
            if (bells_ > 0) {
                bells_ = 0;
                sink_.beep(); // one per block, however many the server rang
            }
            afterBlock(request);
        }
    }
}

TelnetEnd TelnetSession::finishLogout(Socket& socket) {
    {
        std::lock_guard lock(queueMutex_);
        queue_.push_back(logoutCommand());
    }
    // What was typed before, then "logout": as long as the server takes it
    // within the write time-out (Abort ends the wait at once).
    for (;;) {
        int error = 0;
        if (!flushSome(socket.fd(), error) || queuedBytes() == 0) break;
        if (wait_.wait(socket.fd(), FD_WRITE) != Outcome::Done) break;
    }
    socket.close();
    return endWith(Outcome::Done, kStatusDisconnected, {}, 0, true);
}

} // namespace vn::telnet
