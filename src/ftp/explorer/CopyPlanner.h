#pragma once
// Turns a drop into copy jobs, without widgets: what a list item or a tree
// folder becomes depends on its kind and on where it comes from, never on a
// text the list shows. A remote folder is copied as a tree (CopiarDirectori,
// named after itself below the target); anything local, a folder included,
// and every file or link is copied as an element (CopiarElement) into the target.
#include <string>
#include <vector>

#include "ftp/engine/copy/Copier.h"
#include "ftp/explorer/FileList.h"

namespace vn {

struct CopyJob {
    bool tree; // CopiarDirectori, else CopiarElement
    Place source, destination;
    std::string dest, path;
    bool operator==(const CopyJob& o) const {
        return tree == o.tree && source.session == o.source.session && source.address == o.source.address &&
               destination.session == o.destination.session && destination.address == o.destination.address &&
               dest == o.dest && path == o.path;
    }
};

struct DropItem {
    ItemKind kind;
    std::string name;
};

// The place of a session (0: this machine).
Place placeOf(SessionId session, const std::string& ip);

// List items of folder `dir` at `from`, dropped into folder `into` (ending "/") at `to`.
std::vector<CopyJob> planItems(const std::vector<DropItem>& items, const Place& from, const std::string& dir,
                               const Place& to, const std::string& into);
// A tree folder (`folder`, ending "/", named `name`) at `from`, dropped into `into` at `to`.
CopyJob planFolder(const Place& from, const std::string& folder, const std::string& name, const Place& to,
                   const std::string& into);
// Paths from the desktop (this machine), dropped into `into` at `to`.
std::vector<CopyJob> planDesktop(const std::vector<std::string>& paths, const Place& to, const std::string& into);

// What became of a run of copy jobs, job by job.
struct CopyTally {
    int copied = 0, skipped = 0, failed = 0;
    bool cancelled = false; // the user aborted; the rest was not copied
    void add(TransferResult r);
};
// The message a copy ends with when items failed (a paste, a drop); nothing
// when none failed or the user aborted (the log has the details then).
std::string copyFailureMessage(int failed, bool cancelled);

// Opens as a folder (double click, rename of a node): folders and remote links
// (a link whose name has a dot is listed as a file: FileList decides that once).
inline bool opensAsFolder(ItemKind k) {
    return k == ItemKind::LocalFolder || k == ItemKind::RemoteFolder || k == ItemKind::RemoteLink;
}

} // namespace vn
