#include "shell/ToolRegistry.h"

#include "common/ui/ToolWindow.h"
#include "ftp/explorer/TFTPfrm.h"
#include "icmp/ui/TPingfrm.h"
#include "multiupload/ui/Tmultipleuploadfrm.h"
#include "icmp/ui/TTraceroutefrm.h"
#include "query/ui/TQueryfrm.h"
#include "query/ui/TTimefrm.h"
#include "shell/TWhatIPfrm.h"
#include "telnet/ui/TTelnet2frm.h"
#include "tftp/ui/TTFTPServerfrm.h"
#include "tftp/ui/TTrivialFTPfrm.h"

namespace vn {

ToolRegistry& ToolRegistry::add(ToolKind kind, Factory make, StillClosing closing) {
    entries_[kind] = Entry{std::move(make), std::move(closing)};
    return *this;
}

bool ToolRegistry::has(ToolKind kind) const { return entries_.count(kind) != 0; }

QWidget* ToolRegistry::create(ToolKind kind) const {
    auto it = entries_.find(kind);
    return it == entries_.end() || !it->second.make ? nullptr : it->second.make();
}

bool ToolRegistry::stillClosing(ToolKind kind, const QWidget& window) const {
    auto it = entries_.find(kind);
    if (it == entries_.end()) return false;
    if (it->second.closing) return it->second.closing(window);
    // A tool window says so itself: aborting its operation or in its last round.
    auto* tool = qobject_cast<const ToolWindow*>(&window);
    return tool && (tool->closeState() == ToolWindow::CloseState::Aborting ||
                    tool->closeState() == ToolWindow::CloseState::Quitting);
}

std::vector<ToolKind> ToolRegistry::kinds() const {
    std::vector<ToolKind> out;
    for (const auto& [kind, entry] : entries_) out.push_back(kind);
    return out;
}

ToolRegistry builtTools() {
    ToolRegistry r;
    // A tool window that ignored its close is aborting its operation or in its
    // last round (the FTP window's QUIT) and closes itself afterwards.
    r.add(ToolKind::FTP, [] { return new TFTPfrm; });
    // The upload window keeps itself (hidden) after a close; it is still closing
    // while its workers unwind.
    r.add(ToolKind::Upload, [] { return new Tmultipleuploadfrm; }, [](const QWidget& w) {
        auto* t = qobject_cast<const ToolWindow*>(&w);
        return t && t->busy();
    });
    r.add(ToolKind::Telnet, [] { return new telnet::TTelnet2frm; });
    r.add(ToolKind::Ping, [] { return new icmp::TPingfrm; });
    r.add(ToolKind::Traceroute, [] { return new icmp::TTraceroutefrm; });
    r.add(ToolKind::Finger, [] { return new TFingerfrm; });
    r.add(ToolKind::Whois, [] { return new TWhoisfrm; });
    r.add(ToolKind::DNS, [] { return new TWhatIPfrm; });
    r.add(ToolKind::DayTime, [] { return new TDayTimefrm; });
    r.add(ToolKind::Time, [] { return new TTimefrm; });
    r.add(ToolKind::TFTPClient, [] { return new tftp::TTrivialFTPfrm; });
    r.add(ToolKind::TFTPServer, [] { return new tftp::TTFTPServerfrm; });
    return r;
}

} // namespace vn
