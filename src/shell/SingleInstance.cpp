#include "shell/SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QVariant>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace vn {

namespace fs = std::filesystem;

namespace {

// "varnelo-open <payload bytes>\n", then each argument in UTF-8 followed by a
// NUL byte; the running copy answers "ok\n" once it has taken them.
constexpr char kHeader[] = "varnelo-open ";
constexpr char kAnswer[] = "ok\n";
constexpr qsizetype kMaxPayload = 1 << 20;

// FNV-1a: the same data folder gives the same name in every build.
std::string keyFor(const fs::path& dataFolder) {
    std::error_code ec;
    fs::path canonical = fs::weakly_canonical(dataFolder, ec);
    if (ec) canonical = dataFolder.lexically_normal();
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : canonical.string()) {
        h ^= c;
        h *= 1099511628211ull;
    }
    static const char digits[] = "0123456789abcdef";
    std::string key;
    for (int shift = 60; shift >= 0; shift -= 4) key += digits[(h >> shift) & 0xf];
    return key;
}

// A lock file of ours, opened without following links; anything else in its
// place is removed once and made again.
int openLockFile(const fs::path& path, uid_t uid) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        struct stat st {};
        if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == uid) return fd;
        if (fd >= 0) ::close(fd);
        ::unlink(path.c_str());
    }
    return -1;
}

bool lockFile(int fd, int how) {
    int r;
    do r = ::flock(fd, how);
    while (r != 0 && errno == EINTR);
    return r == 0;
}

bool fillAddress(const fs::path& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    const std::string& s = path.native();
    if (s.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, s.data(), s.size());
    return true;
}

int remainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? int(left.count()) : 0;
}

} // namespace

bool privateFolder(const fs::path& folder, uid_t uid) {
    struct stat st {};
    return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid && (st.st_mode & 077) == 0;
}

bool peerIsUser(int fd, uid_t uid) {
    struct ucred cred {};
    socklen_t length = sizeof cred;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) == 0 && length == sizeof cred && cred.uid == uid;
}

SingleInstance::Place SingleInstance::defaultPlace() {
    Place p;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR")) p.runtimeFolder = runtime;
    p.uid = ::getuid();
    return p;
}

SingleInstance::SingleInstance(const fs::path& dataFolder, Place place, QObject* parent)
    : QObject(parent), dataFolder_(dataFolder), place_(std::move(place)) {}

SingleInstance::~SingleInstance() { close(); }

void SingleInstance::close() {
    if (server_) {
        delete server_;  // closes the listening socket it was given
        server_ = nullptr;
        listenFd_ = -1;
    }
    if (listenFd_ >= 0) ::close(listenFd_);
    listenFd_ = -1;
    // Only our own socket file goes; the lock is still ours, so nobody replaced it.
    struct stat st {};
    if (role_ == Role::Primary && ::lstat(socket_.c_str(), &st) == 0 && st.st_ino == socketInode_)
        ::unlink(socket_.c_str());
    socketInode_ = 0;
    if (lockFd_ >= 0) ::close(lockFd_);
    lockFd_ = -1;
}

void SingleInstance::alone(std::string why) {
    role_ = Role::Alone;
    problem_ = std::move(why);
}

bool SingleInstance::choosePlace() {
    // The runtime folder when it is the user's own, else a private folder in /tmp.
    std::vector<fs::path> candidates;
    if (place_.runtimeFolder.is_absolute() && privateFolder(place_.runtimeFolder, place_.uid))
        candidates.push_back(place_.runtimeFolder / "varnelo");
    candidates.push_back(place_.fallbackBase / ("varnelo-" + std::to_string(place_.uid)));
    const std::string key = keyFor(dataFolder_);
    for (const fs::path& folder : candidates) {
        ::mkdir(folder.c_str(), 0700);
        if (!privateFolder(folder, place_.uid)) continue;
        sockaddr_un probe;
        if (!fillAddress(folder / (key + ".socket"), probe)) continue;
        folder_ = folder;
        socket_ = folder / (key + ".socket");
        lock_ = folder / (key + ".lock");
        startLock_ = folder / (key + ".start");
        return true;
    }
    alone("no private folder for the running-copy socket (" + candidates.back().string() + ")");
    return false;
}

SingleInstance::Role SingleInstance::start(const QStringList& arguments) {
    if (role_ != Role::Undecided) return role_;
    if (!choosePlace()) return role_;
    // Starts decide one at a time: the winner listens before the next one looks.
    const int startFd = openLockFile(startLock_, place_.uid);
    if (startFd < 0 || !lockFile(startFd, LOCK_EX)) {
        if (startFd >= 0) ::close(startFd);
        alone("cannot lock " + startLock_.string());
        return role_;
    }
    lockFd_ = openLockFile(lock_, place_.uid);
    if (lockFd_ < 0) {
        alone("cannot open " + lock_.string());
    } else if (lockFile(lockFd_, LOCK_EX | LOCK_NB)) {
        if (listenHere()) {
            role_ = Role::Primary;
        } else {
            ::close(lockFd_);  // later starts must not wait on a copy nobody can reach
            lockFd_ = -1;
        }
    } else {
        ::close(lockFd_);
        lockFd_ = -1;
        role_ = forward(arguments);
    }
    ::close(startFd);
    return role_;
}

bool SingleInstance::listenHere() {
    // We hold the lock, so whatever is at the socket's name is stale (a crashed
    // copy's) or not ours at all: either way it goes.
    ::unlink(socket_.c_str());
    sockaddr_un address;
    fillAddress(socket_, address);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct stat st {};
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(socket_.c_str(), 0600) != 0 || ::listen(fd, 16) != 0 || ::lstat(socket_.c_str(), &st) != 0) {
        const int e = errno;
        if (fd >= 0) ::close(fd);
        ::unlink(socket_.c_str());
        alone("cannot listen on " + socket_.string() + ": " + std::strerror(e));
        return false;
    }
    listenFd_ = fd;
    socketInode_ = st.st_ino;
    return true;
}

SingleInstance::Role SingleInstance::forward(const QStringList& arguments) {
    // Only a socket of this user, answered by a process of this user, ever hears the hosts.
    struct stat st {};
    if (::lstat(socket_.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode) || st.st_uid != place_.uid) {
        alone("the running copy's socket " + socket_.string() + " is missing or not the user's own");
        return role_;
    }
    sockaddr_un address;
    fillAddress(socket_, address);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        !peerIsUser(fd, place_.uid)) {
        if (fd >= 0) ::close(fd);
        alone("the running copy cannot be reached at " + socket_.string());
        return role_;
    }

    QByteArray payload;
    for (const QString& a : arguments) payload += a.toUtf8() + '\0';
    const QByteArray message = QByteArray(kHeader) + QByteArray::number(payload.size()) + '\n' + payload;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(place_.answerTimeoutMs);
    bool ok = payload.size() <= kMaxPayload;
    for (qsizetype sent = 0; ok && sent < message.size();) {
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, remainingMs(deadline)) <= 0) {
            ok = false;
            break;
        }
        const ssize_t n = ::send(fd, message.constData() + sent, size_t(message.size() - sent), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) sent += n;
        else if (n < 0 && errno != EINTR && errno != EAGAIN) ok = false;
    }
    QByteArray answer;
    while (ok && !answer.endsWith('\n') && answer.size() < 16) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, remainingMs(deadline)) <= 0) {
            ok = false;
            break;
        }
        char buffer[16];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) answer.append(buffer, n);
        else if (n == 0 || (errno != EINTR && errno != EAGAIN)) ok = false;
    }
    ::close(fd);
    if (ok && answer == kAnswer) return Role::Forwarded;
    alone("the running copy did not answer");
    return role_;
}

bool SingleInstance::serve() {
    if (role_ != Role::Primary || server_) return server_ != nullptr;
    server_ = new QLocalServer(this);
    if (!server_->listen(qintptr(listenFd_))) {
        delete server_;
        server_ = nullptr;
        return false;
    }
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            if (!peerIsUser(int(socket->socketDescriptor()), place_.uid)) {
                socket->abort();
                continue;
            }
            // A start that connects and then says nothing is not waited for.
            QTimer::singleShot(place_.answerTimeoutMs, socket, [socket] { socket->abort(); });
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
            readRequest(socket);
        }
    });
    return true;
}

void SingleInstance::readRequest(QLocalSocket* socket) {
    if (socket->state() != QLocalSocket::ConnectedState || socket->property("vnDone").toBool()) return;
    const QByteArray data = socket->peek(socket->bytesAvailable());
    const qsizetype newline = data.indexOf('\n');
    if (newline < 0) {
        if (data.size() > 64) socket->abort();
        return;
    }
    const QByteArray header = data.left(newline);
    bool ok = header.startsWith(kHeader);
    const qsizetype size = ok ? header.mid(qsizetype(sizeof kHeader) - 1).toLongLong(&ok) : 0;
    if (!ok || size < 0 || size > kMaxPayload || data.size() > newline + 1 + size) {
        socket->abort();
        return;
    }
    if (data.size() < newline + 1 + size) return;  // the rest is on its way
    socket->read(data.size());
    const QByteArray payload = data.mid(newline + 1);
    if (!payload.isEmpty() && !payload.endsWith('\0')) {
        socket->abort();
        return;
    }
    QStringList arguments;
    for (qsizetype from = 0; from < payload.size();) {
        const qsizetype end = payload.indexOf('\0', from);
        arguments << QString::fromUtf8(payload.mid(from, end - from));
        from = end + 1;
    }
    socket->setProperty("vnDone", true);
    socket->write(kAnswer);
    socket->flush();
    socket->disconnectFromServer();
    deliver(arguments);
}

void SingleInstance::setReceiver(std::function<void(const QStringList&)> receiver) {
    receiver_ = std::move(receiver);
    const QList<QStringList> early = std::exchange(early_, {});
    for (const QStringList& arguments : early) deliver(arguments);
}

void SingleInstance::deliver(const QStringList& arguments) {
    if (receiver_) receiver_(arguments);
    else early_ << arguments;
}

} // namespace vn
