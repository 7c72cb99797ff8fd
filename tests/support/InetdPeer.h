#pragma once
// Debian's openbsd-inetd on 127.0.0.1 with a private configuration, for tests
// that want real inetd-run peers: its internal services (daytime, time, echo,
// discard, chargen) and any program it starts per connection (in.fingerd, a
// whois script, telnetd -E ...).
//
// Every service listens on 127.0.0.1 at a free high port. inetd knows an
// internal service only by its official name, so the daemon runs in a mount
// namespace of its own where a private /etc/services gives those names the
// chosen ports (and a private /run takes its pid file); the machine's files
// are never touched. As root the namespace is a plain mount namespace; as a
// user it is a user namespace too (the user keeps its ids in it), and
// programs then run as that user whatever user the service names.
//
//   vn::test::InetdPeer inetd;
//   inetd.internal("daytime").internal("time")
//        .program("finger", {"/usr/sbin/in.fingerd", "in.fingerd"}, "nobody");
//   ASSERT_TRUE(inetd.start()) << inetd.error();
//   connect to 127.0.0.1 : inetd.port("daytime") ...
//
// The destructor stops the daemon and every process it started. A failed
// start leaves the daemon's output in error().
#include "PeerProcess.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vn::test {

class InetdPeer {
public:
    static constexpr const char* binary = "/usr/sbin/inetd";

    InetdPeer();
    ~InetdPeer();
    InetdPeer(const InetdPeer&) = delete;
    InetdPeer& operator=(const InetdPeer&) = delete;

    // One of inetd's own services, by its official name.
    InetdPeer& internal(const std::string& service);
    // A program started for every connection with the connection as its
    // standard input and output; argv[0] is the program's path, the rest its
    // arguments as it sees them (argv[1] is usually its name). `tag` names
    // the service for port().
    InetdPeer& program(const std::string& tag, std::vector<std::string> argv, const std::string& user = "nobody");

    // Launches the daemon and waits (bounded) until it listens on every port.
    // False, with error() saying why, when inetd is missing, the namespace
    // cannot be made or the ports never open.
    bool start();
    // Whether start() failed because this machine can't make the namespace
    // (tests skip then, saying so).
    bool namespaceUnavailable() const { return noNamespace_; }
    bool ready() const { return ready_; }
    const std::string& error() const { return error_; }

    uint16_t port(const std::string& tag) const;
    // A folder (mode 0755, below /tmp) for scripts the services run; removed
    // by the destructor.
    const std::filesystem::path& folder() const { return process_.folder(); }
    // The daemon's own output (-d): a line per service added and per connection.
    std::string log() const;
    pid_t pid() const { return process_.pid(); }
    void stop();

private:
    struct Service {
        std::string tag;
        bool internal = false;
        std::vector<std::string> argv;
        std::string user;
    };
    bool launchOnce(std::string& why);
    bool listening(const std::vector<uint16_t>& ports) const;

    std::vector<Service> services_;
    std::map<std::string, uint16_t> ports_;
    PeerProcess process_;
    bool ready_ = false;
    bool noNamespace_ = false;
    std::string error_;
};

} // namespace vn::test
