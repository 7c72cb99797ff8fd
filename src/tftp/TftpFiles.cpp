#include "tftp/TftpFiles.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace vn::tftp {

namespace {

std::atomic<bool> g_forceWalk{false};

bool isDrivePrefix(std::string_view s) {
    return s.size() >= 2 && s[1] == ':' && ((s[0] >= 'a' && s[0] <= 'z') || (s[0] >= 'A' && s[0] <= 'Z'));
}

std::vector<std::string_view> splitParts(std::string_view rel) {
    std::vector<std::string_view> parts;
    std::size_t pos = 0;
    while (pos <= rel.size()) {
        std::size_t slash = rel.find('/', pos);
        if (slash == std::string_view::npos) slash = rel.size();
        parts.push_back(rel.substr(pos, slash - pos));
        pos = slash + 1;
    }
    return parts;
}

// openat2 beneath dirfd; -1 with errno. ENOSYS (or a sandbox's EPERM) means
// it is not available.
int openat2Beneath(int dirfd, const std::string& rel, int flags) {
    open_how how{};
    how.flags = static_cast<std::uint64_t>(flags) | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    return static_cast<int>(::syscall(SYS_openat2, dirfd, rel.c_str(), &how, sizeof how));
}

// Part by part, following no link at all.
int walkBeneath(int dirfd, const std::string& rel, int flags) {
    const auto parts = splitParts(rel);
    int cur = dirfd;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        std::string part(parts[i]);
        int next = ::openat(cur, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        int e = errno;
        struct stat st {};
        // A link in the middle reports ENOTDIR; it counts as leaving the folder.
        if (next < 0 && ::fstatat(cur, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) e = ELOOP;
        if (cur != dirfd) ::close(cur);
        if (next < 0) {
            errno = e;
            return -1;
        }
        cur = next;
    }
    std::string leaf(parts.back());
    int fd = ::openat(cur, leaf.c_str(), flags | O_NOFOLLOW | O_CLOEXEC);
    int e = errno;
    struct stat st {};
    if (fd < 0 && ::fstatat(cur, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) e = ELOOP;
    if (cur != dirfd) ::close(cur);
    errno = e;
    return fd;
}

int openBeneath(int dirfd, const std::string& rel, int flags) {
    if (!g_forceWalk.load()) {
        int fd = openat2Beneath(dirfd, rel, flags);
        if (fd >= 0 || (errno != ENOSYS && errno != EPERM && errno != E2BIG)) return fd;
    }
    return walkBeneath(dirfd, rel, flags);
}

void classify(OpenResult& r, int err) {
    r.err = err;
    // EXDEV: openat2 saw the path leave the folder; ELOOP: a link the walk
    // (or the magic-link rule) refuses.
    r.escapes = err == EXDEV || err == ELOOP;
}

std::string randomTempName() {
    unsigned char b[8] = {};
    if (::getrandom(b, sizeof b, 0) != static_cast<ssize_t>(sizeof b)) {
        // Still unique enough with O_EXCL; the name is only harder to guess with getrandom.
        auto t = static_cast<unsigned long long>(::getpid()) ^ reinterpret_cast<std::uintptr_t>(&b);
        for (int i = 0; i < 8; ++i) b[i] = static_cast<unsigned char>(t >> (i * 8));
    }
    char hex[17] = {};
    for (int i = 0; i < 8; ++i) std::snprintf(hex + 2 * i, 3, "%02x", b[i]);
    return std::string(".tftp-") + hex + ".part";
}

} // namespace

void setForceBeneathWalk(bool force) { g_forceWalk = force; }

NameCheck checkRequestName(std::string_view name) {
    NameCheck c;
    if (name.empty()) {
        c.reason = "empty file name";
        return c;
    }
    for (char ch : name) {
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f) {
            c.reason = "control character in the file name";
            return c;
        }
    }
    // The server's own rule, kept: ".." or a "c:" within the first four characters.
    const std::string_view head = name.substr(0, 4);
    for (std::size_t i = 0; i + 1 < head.size(); ++i) {
        if ((head[i] == '.' && head[i + 1] == '.') || ((head[i] == 'c' || head[i] == 'C') && head[i + 1] == ':')) {
            c.reason = "parent folder or drive in the file name";
            return c;
        }
    }
    std::string s(name);
    for (char& ch : s)
        if (ch == '\\') ch = '/';
    if (isDrivePrefix(s)) {
        c.reason = "drive in the file name";
        return c;
    }
    std::string rel;
    for (std::string_view part : splitParts(s)) {
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            c.reason = "parent folder in the file name";
            return c;
        }
        if (!rel.empty()) rel.push_back('/');
        rel.append(part);
    }
    if (rel.empty()) {
        c.reason = "no file in the file name";
        return c;
    }
    c.ok = true;
    c.relative = std::move(rel);
    return c;
}

BaseFolder::~BaseFolder() {
    if (fd_ >= 0) ::close(fd_);
}

std::shared_ptr<const BaseFolder> BaseFolder::open(const std::filesystem::path& path, int& err) {
    err = 0;
    if (path.empty()) {
        err = ENOENT;
        return nullptr;
    }
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        err = errno;
        return nullptr;
    }
    std::string text = path.string();
    if (text.empty() || text.back() != '/') text.push_back('/');
    return std::shared_ptr<const BaseFolder>(new BaseFolder(fd, std::move(text)));
}

OpenResult openBeneathForRead(int dirfd, const std::string& relative) {
    OpenResult r;
    // O_NONBLOCK: opening a FIFO must not hang the transfer thread.
    int fd = openBeneath(dirfd, relative, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        classify(r, errno);
        return r;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        r.err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        r.notRegular = true;
        ::close(fd);
        return r;
    }
    int fl = ::fcntl(fd, F_GETFL);
    if (fl >= 0) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    r.fd = fd;
    return r;
}

OpenResult openParentBeneath(int dirfd, const std::string& relative, std::string& leaf) {
    OpenResult r;
    const auto slash = relative.rfind('/');
    leaf = slash == std::string::npos ? relative : relative.substr(slash + 1);
    int fd = slash == std::string::npos
                 ? ::fcntl(dirfd, F_DUPFD_CLOEXEC, 0)
                 : openBeneath(dirfd, relative.substr(0, slash), O_RDONLY | O_DIRECTORY);
    if (fd < 0) {
        classify(r, errno);
        return r;
    }
    struct stat st {};
    if (::fstatat(fd, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISREG(st.st_mode)) {
            r.err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
            r.notRegular = true;
            ::close(fd);
            return r;
        }
    } else if (errno != ENOENT) {
        // A name the folder can't hold (ENAMETOOLONG) fails now, not after the data came.
        r.err = errno;
        ::close(fd);
        return r;
    }
    r.fd = fd;
    return r;
}

TempFile::~TempFile() { discard(); }

TempFile::TempFile(TempFile&& o) noexcept
    : dirfd_(o.dirfd_), fd_(o.fd_), leaf_(std::move(o.leaf_)), temp_(std::move(o.temp_)) {
    o.dirfd_ = o.fd_ = -1;
}

TempFile& TempFile::operator=(TempFile&& o) noexcept {
    if (this != &o) {
        discard();
        dirfd_ = o.dirfd_;
        fd_ = o.fd_;
        leaf_ = std::move(o.leaf_);
        temp_ = std::move(o.temp_);
        o.dirfd_ = o.fd_ = -1;
    }
    return *this;
}

TempFile TempFile::createIn(int dirfd, std::string leaf, int& err) {
    TempFile t;
    t.dirfd_ = dirfd;
    t.leaf_ = std::move(leaf);
    err = 0;
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::string name = randomTempName();
        int fd = ::openat(dirfd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            t.fd_ = fd;
            t.temp_ = std::move(name);
            return t;
        }
        err = errno;
        if (err != EEXIST) break;
    }
    t.closeAll();
    return t;
}

TempFile TempFile::createFor(const std::filesystem::path& target, int& err) {
    std::filesystem::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    const std::string leaf = target.filename().string();
    if (leaf.empty() || leaf == "." || leaf == "..") {
        err = EISDIR;
        return {};
    }
    int dirfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirfd < 0) {
        err = errno;
        return {};
    }
    struct stat st {};
    if (::fstatat(dirfd, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode)) {
        err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(dirfd);
        return {};
    }
    return createIn(dirfd, leaf, err);
}

int TempFile::commit() {
    if (fd_ < 0 || dirfd_ < 0) return EBADF;
    struct stat st {};
    if (::fstatat(dirfd_, leaf_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
        ::fchmod(fd_, st.st_mode & 07777);
    int rc = ::close(fd_);
    fd_ = -1;
    if (rc != 0) {
        int e = errno;
        discard();
        return e;
    }
    if (::renameat(dirfd_, temp_.c_str(), dirfd_, leaf_.c_str()) != 0) {
        int e = errno;
        discard();
        return e;
    }
    temp_.clear();
    closeAll();
    return 0;
}

void TempFile::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (dirfd_ >= 0 && !temp_.empty()) ::unlinkat(dirfd_, temp_.c_str(), 0);
    temp_.clear();
    closeAll();
}

void TempFile::closeAll() {
    if (fd_ >= 0) ::close(fd_);
    if (dirfd_ >= 0) ::close(dirfd_);
    fd_ = dirfd_ = -1;
}

} // namespace vn::tftp
