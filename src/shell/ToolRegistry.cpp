#include "shell/ToolRegistry.h"

#include "ftp/explorer/TFTPfrm.h"
#include "icmp/ui/TPingfrm.h"
#include "multiupload/ui/Tmultipleuploadfrm.h"
#include "icmp/ui/TTraceroutefrm.h"
#include "query/ui/TQueryfrm.h"
#include "query/ui/TTimefrm.h"
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
    return it != entries_.end() && it->second.closing && it->second.closing(window);
}

std::vector<ToolKind> ToolRegistry::kinds() const {
    std::vector<ToolKind> out;
    for (const auto& [kind, entry] : entries_) out.push_back(kind);
    return out;
}

ToolRegistry builtTools() {
    ToolRegistry r;
    // An FTP window that ignored its close is busy with the QUIT round (or with
    // the operation it is aborting) and closes itself afterwards.
    r.add(ToolKind::FTP, [] { return new TFTPfrm; },
          [](const QWidget& w) {
              auto* f = qobject_cast<const TFTPfrm*>(&w);
              return f && f->busy();
          });
    // A tool window closed during an operation closes once the aborted operation has unwound (at once).
    auto busy = [](const QWidget& w) {
        auto* t = qobject_cast<const ToolWindow*>(&w);
        return t && t->busy();
    };
    r.add(ToolKind::Upload, [] { return new Tmultipleuploadfrm; }, busy);
    r.add(ToolKind::Ping, [] { return new icmp::TPingfrm; }, busy);
    r.add(ToolKind::Traceroute, [] { return new icmp::TTraceroutefrm; }, busy);
    r.add(ToolKind::Finger, [] { return new TFingerfrm; }, busy);
    r.add(ToolKind::Whois, [] { return new TWhoisfrm; }, busy);
    r.add(ToolKind::DayTime, [] { return new TDayTimefrm; }, busy);
    r.add(ToolKind::Time, [] { return new TTimefrm; }, busy);
    r.add(ToolKind::TFTPClient, [] { return new tftp::TTrivialFTPfrm; }, busy);
    r.add(ToolKind::TFTPServer, [] { return new tftp::TTFTPServerfrm; });
    return r;
}

} // namespace vn
