#pragma once
// The kinds of tool window the main window can open and the factories of the
// ones built so far. A command whose kind has no factory stays disabled, so a
// new tool window enables all its commands with one line in builtTools().
#include <QWidget>

#include <functional>
#include <map>
#include <vector>

namespace vn {

// In the order of the tool bar and the Sessions menu.
enum class ToolKind { FTP, Upload, TFTPClient, TFTPServer, Telnet, Ping, Traceroute, Finger, Whois, DNS, DayTime, Time };

class ToolRegistry {
public:
    using Factory = std::function<QWidget*()>;
    // True while a window that ignored its close is still finishing it (for
    // instance sending QUIT); it closes itself when done. Without one, a tool
    // window's own close state tells.
    using StillClosing = std::function<bool(const QWidget&)>;

    ToolRegistry& add(ToolKind kind, Factory make, StillClosing closing = {});

    bool has(ToolKind kind) const;
    // A new window of the kind, nullptr when the kind is not built.
    QWidget* create(ToolKind kind) const;
    bool stillClosing(ToolKind kind, const QWidget& window) const;
    std::vector<ToolKind> kinds() const;

private:
    struct Entry {
        Factory make;
        StillClosing closing;
    };
    std::map<ToolKind, Entry> entries_;
};

// The tool windows that exist today.
ToolRegistry builtTools();

} // namespace vn
