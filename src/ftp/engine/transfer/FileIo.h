#pragma once
// Local file steps shared by the transfers and the copy routines: whole
// writes, files made beside a target under names nobody can guess (opened
// with O_EXCL and O_NOFOLLOW, so a link planted in a folder others can write
// to is never followed), and the identity of a file (device, inode and
// modification time) that tells a partial file we wrote from one put in its place.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/WholeIo.h"

namespace vn {

// A name that is free now, in the folder of target: "." + target's name +
// "." + 16 random hex digits + suffix.
std::string randomSiblingName(const std::string& target, std::string_view suffix);

// Makes a new file beside target (O_CREAT | O_EXCL | O_NOFOLLOW, mode less
// the umask) and returns its descriptor; path receives its name. -1 with
// errno set when none could be made.
int createSibling(const std::string& target, std::string_view suffix, unsigned mode, std::string& path);

// Device, inode and modification time (ns) of an open file or of a path
// (the path itself, never a link's target).
struct FileStamp {
    std::uint64_t device = 0, inode = 0;
    std::int64_t mtimeNs = 0;
    std::uint64_t size = 0;
    bool regular = false;
    // "device:inode" and the modification time as text, for the resume store.
    std::string id() const;
    std::string mtime() const;
};
bool stampOf(int fd, FileStamp& out);
bool stampOfPath(const std::string& path, FileStamp& out);

} // namespace vn
