#pragma once
// Moving a file or folder to the desktop's trash, in the freedesktop.org
// layout: $XDG_DATA_HOME/Trash (default ~/.local/share/Trash) with files/ and
// info/<name>.trashinfo holding the original Path and the DeletionDate. A file
// on another file system than the home trash goes to $topdir/.Trash-$uid of
// its own mount. A failure leaves the file where it was: it is never deleted
// in place of being trashed.
#include <filesystem>
#include <string>

namespace vn {

struct TrashResult {
    bool ok = false;
    std::filesystem::path trashedAs; // the entry under files/ when ok
    std::string error;               // why not, when !ok
};

// The home trash folder ($XDG_DATA_HOME/Trash or ~/.local/share/Trash).
std::filesystem::path homeTrash();

TrashResult moveToTrash(const std::filesystem::path& path);

// The percent-encoding of a path for the Path key (RFC 2396 escaping, "/" kept).
std::string trashInfoPath(const std::string& path);

} // namespace vn
