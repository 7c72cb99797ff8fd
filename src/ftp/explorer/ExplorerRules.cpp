#include "ftp/explorer/ExplorerRules.h"

#include <QString>

#include "common/ui/WireText.h"

namespace vn {

std::string RetornaDirectori(const TNodeInfo& n) {
    if (n.DirNom.empty()) return n.Path;
    return (n.Path.empty() || n.Path.back() == '/' ? n.Path : n.Path + "/") + n.DirNom + "/";
}

std::string ExtreuDirNet(const std::string& path) {
    if (!path.empty() && path.back() == '/') return path.substr(0, path.size() - 1);
    return path;
}

namespace {
int compareFolded(const std::string& a, const std::string& b) {
    return fromWire(a).compare(fromWire(b), Qt::CaseInsensitive);
}
} // namespace

bool treeLess(const TNodeInfo& a, const TNodeInfo& b) {
    bool na = a.DirNom.empty(), nb = b.DirNom.empty();
    if (na != nb) return na;
    if (na) {
        if (a.remote() != b.remote()) return !a.remote();
        // Local roots keep the order they were made in (home, "/", the mounts).
        if (!a.remote()) return false;
        return compareFolded(a.Path, b.Path) < 0;
    }
    return compareFolded(a.DirNom, b.DirNom) < 0;
}

bool isSubfolder(const std::string& inner, const std::string& outer) {
    return !outer.empty() && inner.compare(0, outer.size(), outer) == 0;
}

EnableState enablingRule(const EnableInput& in) {
    EnableState s;
    bool focused = in.treeSelection || in.listSelection;
    s.cut = s.copy = in.folderKnown && focused;
    s.paste = in.folderKnown && in.clipboardFile;
    s.selectAll = in.folderKnown && in.listHasItems;
    s.del = in.selectedCount > 0 || in.treeSelection;
    s.invert = in.selectedCount > 0;
    s.up = s.newFolder = s.search = in.folderKnown;
    s.rename = in.selectedCount == 1 || in.treeSelection;
    s.quit = s.types = in.folderKnown && in.remote;
    s.upload = in.folderKnown && !in.remote && in.selectedCount > 0;
    return s;
}

std::string serverCaption(const std::string& host, int port, const std::string& site, const std::string& login,
                          bool sharesHostAndPort) {
    std::string out;
    if (sharesHostAndPort && !login.empty()) out = login + "@";
    out += host;
    if (port != 21) out += ":" + std::to_string(port);
    return out + "[" + site + "]";
}

} // namespace vn
