#pragma once
// One running copy per user and data folder. The first start holds a lock and
// listens on a local socket in the user's runtime folder; a later start hands
// its hosts over through that socket and ends.
//
// Files, in $XDG_RUNTIME_DIR/varnelo (else /tmp/varnelo-<uid>), both folders
// owned by the user and closed to everyone else, named after the data folder:
//   <key>.lock    held by the running copy for its whole run (a crashed copy's
//                 lock goes with it, so its socket file is known stale)
//   <key>.start   held while one start decides, so two starts never both win
//   <key>.socket  where the running copy listens
#include <QObject>
#include <QStringList>

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>

class QLocalServer;
class QLocalSocket;

namespace vn {

// A real folder (not a link) owned by `uid` that nobody else may enter or write.
bool privateFolder(const std::filesystem::path& folder, uid_t uid);
// The process at the other end of a connected local socket runs as `uid`.
bool peerIsUser(int fd, uid_t uid);

class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Role {
        Undecided,
        Primary,    // this is the running copy; later starts reach it
        Forwarded,  // the running copy took the arguments; this start ends
        Alone,      // runs without the others (no safe folder, or no answer)
    };

    struct Place {
        std::filesystem::path runtimeFolder;  // default: $XDG_RUNTIME_DIR
        std::filesystem::path fallbackBase = "/tmp";
        uid_t uid = uid_t(-1);                // default: the real user; -1 owns nothing
        int answerTimeoutMs = 5000;
    };
    static Place defaultPlace();

    explicit SingleInstance(const std::filesystem::path& dataFolder, Place place = defaultPlace(),
                            QObject* parent = nullptr);
    ~SingleInstance() override;

    // Decides the role without Qt's event loop (before the application object
    // exists): hands `arguments` to the running copy, or becomes it.
    Role start(const QStringList& arguments);
    Role role() const { return role_; }
    // Why the role is Alone; empty otherwise.
    const std::string& problem() const { return problem_; }
    std::filesystem::path socketPath() const { return socket_; }

    // Primary only, once the application object exists: takes connections.
    bool serve();
    // Stops listening and removes the socket; the lock goes last.
    void close();
    // Receives each later start's arguments; any that came before are given at once.
    void setReceiver(std::function<void(const QStringList&)> receiver);

private:
    bool choosePlace();
    Role forward(const QStringList& arguments);
    bool listenHere();
    void alone(std::string why);
    void readRequest(QLocalSocket* socket);
    void deliver(const QStringList& arguments);

    std::filesystem::path dataFolder_;
    Place place_;
    std::filesystem::path folder_, socket_, lock_, startLock_;
    Role role_ = Role::Undecided;
    std::string problem_;
    int lockFd_ = -1;
    int listenFd_ = -1;
    ino_t socketInode_ = 0;
    QLocalServer* server_ = nullptr;
    std::function<void(const QStringList&)> receiver_;
    QList<QStringList> early_;
};

} // namespace vn
