#include "shell/ToolRegistry.h"

#include "common/ui/ToolWindow.h"
#include "ftp/explorer/TFTPfrm.h"

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
    // An FTP window that ignored its close is in its QUIT round (or aborting
    // its operation) and closes itself afterwards.
    r.add(ToolKind::FTP, [] { return new TFTPfrm; });
    return r;
}

} // namespace vn
