#pragma once
// Files a transfer reads or writes. A server request name resolves beneath the
// base folder only (openat2 with RESOLVE_BENEATH, or a walk that follows no
// link where that is not available), only regular files are read, and a
// received file is written to a temporary file beside its target that replaces
// the target only when the transfer succeeded.
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace vn::tftp {

struct NameCheck {
    bool ok = false;
    std::string relative; // '/'-separated, never empty, no "." or ".." parts
    std::string reason;   // when refused
};

// A request's file name as a path beneath the base folder. '\' counts as '/',
// leading slashes and "." parts are dropped ("/etc/passwd" is base/etc/passwd).
// Refused: an empty name, control bytes, a drive prefix ("c:"), ".." or "c:"
// within the first four characters, and any ".." part.
NameCheck checkRequestName(std::string_view name);

// An open folder that request names resolve beneath.
class BaseFolder {
public:
    ~BaseFolder();
    BaseFolder(const BaseFolder&) = delete;
    BaseFolder& operator=(const BaseFolder&) = delete;
    // nullptr with errno in err when `path` is not a folder that can be opened.
    static std::shared_ptr<const BaseFolder> open(const std::filesystem::path& path, int& err);
    int fd() const { return fd_; }
    // The folder as given, with one trailing '/'.
    const std::string& text() const { return text_; }

private:
    BaseFolder(int fd, std::string text) : fd_(fd), text_(std::move(text)) {}
    int fd_;
    std::string text_;
};

struct OpenResult {
    int fd = -1;      // owned by the caller when >= 0
    int err = 0;      // errno when fd < 0
    bool escapes = false;    // the path leaves the folder (a link pointing out)
    bool notRegular = false; // a folder, device, FIFO, socket or link
};

// Opens `relative` (as checkRequestName made it) beneath `dirfd` for reading.
OpenResult openBeneathForRead(int dirfd, const std::string& relative);
// Opens the folder that holds `relative` beneath `dirfd` and gives the last
// part in `leaf`. The leaf must be absent or a regular file (notRegular else).
OpenResult openParentBeneath(int dirfd, const std::string& relative, std::string& leaf);

// Tests switch between openat2 and the link-refusing walk.
void setForceBeneathWalk(bool force);

// A new, exclusively created file with an unpredictable name in the target's
// folder. commit() renames it over the target (taking an existing target's
// permissions); otherwise it is removed and the target stays as it was.
class TempFile {
public:
    TempFile() = default;
    ~TempFile();
    TempFile(TempFile&& o) noexcept;
    TempFile& operator=(TempFile&& o) noexcept;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Takes ownership of `dirfd`. Invalid with errno in err on failure.
    static TempFile createIn(int dirfd, std::string leaf, int& err);
    // The same for a local path: its folder must exist, and the path must not
    // name a folder or anything but a regular file.
    static TempFile createFor(const std::filesystem::path& target, int& err);

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    const std::string& tempName() const { return temp_; }
    // 0, or errno when the rename failed (the temporary file is then removed).
    int commit();
    void discard();

private:
    void closeAll();
    int dirfd_ = -1;
    int fd_ = -1;
    std::string leaf_;
    std::string temp_;
};

} // namespace vn::tftp
