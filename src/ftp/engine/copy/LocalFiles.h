#pragma once
// File operations on this machine for the explorer: the recursive delete (or
// the move to the trash, by RecycleBin), rename, new folder, and the copy of
// one entry. Symbolic links are handled as links everywhere: a linked folder
// is never entered, so nothing outside the tree is read as part of it,
// written or deleted. Special files (FIFOs, devices, sockets) are never
// opened: a copy refuses them; a delete removes the entry itself.
#include <cstdint>
#include <functional>
#include <string>

namespace vn {

// RecycleBin of [FTP]: 0 deletes, 1 moves to the trash, any other value keeps
// local entries where they are.
enum class RecycleMode { Delete, Trash, Keep };
RecycleMode recycleModeFrom(long long recycleBin);
// From the configuration file (default 1).
RecycleMode readRecycleMode();

struct LocalResult {
    bool ok = false;
    bool kept = false;  // RecycleMode::Keep: nothing was touched
    std::string error;  // the first failure, "path: reason"
    int failures = 0;   // entries that could not be removed
};

// Polled between entries; true stops the operation where it is.
using StopCheck = std::function<bool()>;

// Removes a file, a link (not what it points to), a special file, or a folder
// with everything below it (EsborrarDirectori), by `mode`: Trash moves the
// entry to the trash whole, and a failed move is reported, never turned into
// a delete. A trailing "/" is allowed. ok only when the entry is gone.
LocalResult deleteLocal(const std::string& path, RecycleMode mode, const StopCheck& stop = {});
// The recursive delete proper (mode Delete).
LocalResult EsborrarDirectori(const std::string& path, const StopCheck& stop = {});
// The move of one file or folder to the trash, without asking.
LocalResult DeleteFileRecycleBin(const std::string& path);

// folder + oldName gets the name folder + newName. An existing entry of the
// new name is never replaced; newName must be one safe component.
LocalResult renameLocal(const std::string& folder, const std::string& oldName, const std::string& newName);
// Makes folder + name; name must be one safe component; fails when it exists.
LocalResult makeLocalFolder(const std::string& folder, const std::string& name);

enum class LocalCopyStatus { Copied, Failed, Cancelled, NotCopyable };
struct LocalCopyResult {
    LocalCopyStatus status = LocalCopyStatus::Failed;
    std::string error;
};
// Called with bytes copied and the file's size; false cancels.
using CopyProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

// Copies a regular file (with its permission bits, less the umask) or a
// symbolic link (as a link with the same target) to `to`. An existing `to`
// is an error unless `replace`; then the copy is written to a temporary file
// beside it and renamed over it, so a failed or cancelled copy leaves the
// old file as it was. A new `to` that fails part-way is removed. A folder or
// a special file gives NotCopyable and nothing is opened.
LocalCopyResult copyLocalEntry(const std::string& from, const std::string& to, bool replace,
                               const CopyProgress& progress = {});

// A name beside `target`, in its folder, that nothing uses: the temporary
// file a replacement is written to before it is renamed over the target.
std::string siblingTempPath(const std::string& target);

} // namespace vn
