#pragma once
// Network namespaces for the ICMP tests. Every name is unique to this run
// ("vnicmp-<pid>-<n>") and removed when its owner goes; names left by a run
// that died are removed by the next one. Addresses are only ever loopback and
// the namespaces' own private links; nothing leaves the machine.
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vn::icmp::test {

// Runs a shell command; nullopt on success, else its output and exit status.
std::optional<std::string> shell(const std::string& command);

// Why namespaces cannot be made here (not root, no `ip`, refused), or nullopt.
std::optional<std::string> namespacesUnavailable();

class NamedNetns {
public:
    NamedNetns();  // creates it with lo up; check error()
    ~NamedNetns();
    NamedNetns(const NamedNetns&) = delete;
    NamedNetns& operator=(const NamedNetns&) = delete;

    const std::string& name() const { return name_; }
    const std::optional<std::string>& error() const { return error_; }
    // "ip netns exec <name> " + command.
    std::optional<std::string> exec(const std::string& command) const;

private:
    std::string name_;
    std::optional<std::string> error_;
    bool created_ = false;
};

// A - R - B: A 10.77.1.2/24, R 10.77.1.1 and 10.77.2.1, B 10.77.2.2/24;
// R forwards and answers with ICMP errors at any rate; ping sockets are
// allowed for every group in A.
class RoutedNet {
public:
    RoutedNet();
    const std::optional<std::string>& error() const { return error_; }
    NamedNetns a, r, b;
    static constexpr const char* kA = "10.77.1.2";
    static constexpr const char* kRouterNearA = "10.77.1.1";
    static constexpr const char* kB = "10.77.2.2";

private:
    std::optional<std::string> error_;
};

// Runs fn on a thread that has joined the named namespace (the caller's threads stay where they are).
void runInNetns(const std::string& name, const std::function<void()>& fn);

struct ChildResult {
    bool ran = false;     // the child reached fn and exited normally
    std::string output;   // what fn returned
    std::string failure;  // why it did not run
};

struct ChildSetup {
    std::optional<std::string> netns;  // join this named namespace, else a fresh private one with lo up
    bool widenPingGroupRange = true;   // in a fresh namespace: allow ping sockets for every group
    bool dropToNobody = true;          // uid/gid 65534, no supplementary groups, no capabilities
};

// Forks a child that sets itself up as asked and returns fn()'s text through a pipe.
ChildResult runInChild(const ChildSetup& setup, const std::function<std::string()>& fn);

} // namespace vn::icmp::test
