#pragma once
// The explorer clipboard "copy.dat" in the data folder: Copy and Cut write it,
// Paste reads it, every window and every instance shares it. Plain text,
// CR LF lines (LF alone is read too), paths written as the bytes they are:
//   "COPY" or "CUT"
//   then five lines per entry:
//     session id, decimal; -1 for a local entry (this line decides the side)
//     the server's dotted address; empty for a local entry
//     the full path; a folder's ends with "/" on both sides
//     passive flag "0" or "1"
//     passive port, decimal; -1 when none
// The file is replaced atomically by each Copy or Cut and left in place by a
// Paste. Reading trusts nothing: a malformed file is refused as a whole.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/engine/FtpEngine.h"

namespace vn {

struct ClipEntry {
    SessionId session = 0; // 0: an entry of this machine
    std::string address;   // the session's dotted address; empty for a local entry
    std::string path;      // full path; a folder's ends with "/"
    bool passive = false;
    int pasvPort = -1;

    bool local() const { return session == 0; }
    bool folder() const { return !path.empty() && path.back() == '/'; }
    bool operator==(const ClipEntry&) const = default;
};

struct Clipboard {
    bool cut = false;
    std::vector<ClipEntry> entries;
};

// The message of a clipboard that cannot be written or read.
inline constexpr const char* kClipboardError = "Error creating temp file. ";

// A clipboard file larger than this is refused unread.
inline constexpr std::uintmax_t kMaxClipboardBytes = 64u << 20;

std::filesystem::path clipboardFile(); // dataFile("copy.dat")
bool clipboardExists();

// The file's bytes; nullopt (and why in *error) for an entry that cannot be
// written faithfully: a path that is not absolute, holds CR, LF or NUL, or "."
// and ".." parts (a forged line would become an entry a later Cut deletes), a
// local entry with an address, a remote one without.
std::optional<std::string> formatClipboard(const Clipboard& clip, std::string* error = nullptr);
// The entries of the file's bytes; nullopt and why in *error when anything is
// off (marker, a number, a truncated entry, an entry formatClipboard refuses).
// An empty text is a clipboard without entries.
std::optional<Clipboard> parseClipboard(std::string_view bytes, std::string* error = nullptr);

// Copy and Cut: writes the file afresh (temporary file and rename, so a
// reader never sees half of one). False, and nothing changed, on failure.
bool writeClipboard(bool cut, const std::vector<ClipEntry>& entries, std::string* error = nullptr);
// Paste: nullopt with *error empty when there is no file, with the reason
// when it cannot be read or is malformed.
std::optional<Clipboard> readClipboard(std::string* error = nullptr);

} // namespace vn
