#include "ftp/engine/copy/LocalFiles.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "ftp/engine/copy/CopyPaths.h"
#include "ftp/engine/transfer/FileIo.h"
#include "platform/Trash.h"

namespace vn {
namespace {

std::string reason(int e) { return std::strerror(e); }

// Deeper trees hold more descriptors than is wise; they are reported, not walked.
constexpr int kMaxLocalDepth = 256;

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    // close() with its error: a write that never reached the disk.
    bool close() {
        int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

struct Remover {
    const StopCheck& stop;
    LocalResult result;
    bool stopped = false;

    void failed(const std::string& path, int e) {
        if (result.error.empty()) result.error = path + ": " + reason(e);
        ++result.failures;
    }

    // Removes `name` of the open folder `dirfd`; true when it is gone.
    bool remove(int dirfd, const std::string& name, const std::string& path, int depth) {
        struct stat st{};
        if (::fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) return true;
            failed(path, errno);
            return false;
        }
        if (!S_ISDIR(st.st_mode)) {
            // Files, links and special files alike: the entry goes, nothing is opened.
            if (::unlinkat(dirfd, name.c_str(), 0) == 0 || errno == ENOENT) return true;
            failed(path, errno);
            return false;
        }
        if (depth >= kMaxLocalDepth) {
            failed(path, ELOOP);
            return false;
        }
        Fd dir(::openat(dirfd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!dir.valid()) {
            failed(path, errno);
            return false;
        }
        std::vector<std::string> names;
        {
            int listFd = ::dup(dir.get());
            DIR* d = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
            if (!d) {
                if (listFd >= 0) ::close(listFd);
                failed(path, errno);
                return false;
            }
            while (dirent* e = ::readdir(d)) {
                std::string n = e->d_name;
                if (n != "." && n != "..") names.push_back(std::move(n));
            }
            ::closedir(d);
        }
        for (const auto& n : names) {
            if (stop && stop()) {
                stopped = true;
                return false;
            }
            remove(dir.get(), n, path + "/" + n, depth + 1);
            if (stopped) return false;
        }
        dir.reset();
        if (::unlinkat(dirfd, name.c_str(), AT_REMOVEDIR) == 0) return true;
        failed(path, errno);
        return false;
    }
};


bool copyBytes(int in, int out, std::uint64_t size, const CopyProgress& progress, std::string& error,
               bool& cancelled) {
    std::uint64_t done = 0;
    bool useRange = true;
    std::unique_ptr<char[]> buf;
    constexpr std::size_t kChunk = 1u << 20;
    if (progress && !progress(0, size)) {
        cancelled = true;
        return false;
    }
    for (;;) {
        ssize_t n = -1;
        if (useRange) {
            n = ::copy_file_range(in, nullptr, out, nullptr, kChunk, 0);
            if (n < 0 && done == 0 &&
                (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP || errno == EPERM)) {
                useRange = false;
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                error = reason(errno);
                return false;
            }
        } else {
            if (!buf) buf.reset(new char[kChunk]);
            n = ::read(in, buf.get(), kChunk);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                error = reason(errno);
                return false;
            }
            if (!writeFully(out, buf.get(), static_cast<std::size_t>(n))) {
                error = reason(errno);
                return false;
            }
        }
        if (n == 0) return true;
        done += static_cast<std::uint64_t>(n);
        if (progress && !progress(done, size)) {
            cancelled = true;
            return false;
        }
    }
}

} // namespace

RecycleMode recycleModeFrom(long long recycleBin) {
    if (recycleBin == 0) return RecycleMode::Delete;
    if (recycleBin == 1) return RecycleMode::Trash;
    return RecycleMode::Keep;
}

RecycleMode readRecycleMode() { return recycleModeFrom(IniFile(configFile()).readInt("FTP", "RecycleBin", 1)); }

LocalResult EsborrarDirectori(const std::string& path, const StopCheck& stop) {
    LocalResult r;
    const std::string p = withoutSlash(path);
    if (p.empty() || p == "/") {
        r.error = "nothing to delete";
        r.failures = 1;
        return r;
    }
    auto slash = p.find_last_of('/');
    const std::string parent = slash == std::string::npos ? "." : (slash == 0 ? "/" : p.substr(0, slash));
    const std::string name = slash == std::string::npos ? p : p.substr(slash + 1);
    Fd dir(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid()) {
        r.error = parent + ": " + reason(errno);
        r.failures = 1;
        return r;
    }
    struct stat st{};
    if (::fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        r.error = p + ": " + reason(errno);
        r.failures = 1;
        return r;
    }
    Remover rm{stop, {}};
    r.ok = rm.remove(dir.get(), name, p, 0);
    r.error = rm.result.error;
    r.failures = rm.result.failures;
    if (rm.stopped && r.error.empty()) r.error = p + ": stopped";
    return r;
}

LocalResult DeleteFileRecycleBin(const std::string& path) {
    LocalResult r;
    TrashResult t = moveToTrash(withoutSlash(path));
    r.ok = t.ok;
    if (!t.ok) {
        r.error = t.error;
        r.failures = 1;
    }
    return r;
}

LocalResult deleteLocal(const std::string& path, RecycleMode mode, const StopCheck& stop) {
    switch (mode) {
    case RecycleMode::Delete:
        return EsborrarDirectori(path, stop);
    case RecycleMode::Trash:
        return DeleteFileRecycleBin(path);
    case RecycleMode::Keep:
        break;
    }
    LocalResult r;
    r.kept = true;
    return r;
}

LocalResult renameLocal(const std::string& folder, const std::string& oldName, const std::string& newName) {
    LocalResult r;
    r.failures = 1;
    if (!isSafeComponent(oldName) || !isSafeComponent(newName)) {
        r.error = "'" + newName + "' is not a valid name";
        return r;
    }
    const std::string base = withSlash(folder);
    const std::string from = base + oldName, to = base + newName;
    // POSIX rename replaces an existing entry silently; a rename must not.
    int rc = ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
        struct stat st{};
        if (::lstat(to.c_str(), &st) == 0) errno = EEXIST;
        else rc = ::rename(from.c_str(), to.c_str());
    }
    if (rc != 0) {
        r.error = from + ": " + reason(errno);
        return r;
    }
    r.ok = true;
    r.failures = 0;
    return r;
}

LocalResult makeLocalFolder(const std::string& folder, const std::string& name) {
    LocalResult r;
    if (!isSafeComponent(name)) {
        r.error = "'" + name + "' is not a valid name";
        r.failures = 1;
        return r;
    }
    const std::string path = withSlash(folder) + name;
    if (::mkdir(path.c_str(), 0777) != 0) {
        r.error = path + ": " + reason(errno);
        r.failures = 1;
        return r;
    }
    r.ok = true;
    return r;
}

std::string siblingTempPath(const std::string& target) {
    // Unguessable, so nobody can plant a link under the name before it is
    // made (it is then opened with O_EXCL | O_NOFOLLOW).
    return randomSiblingName(withoutSlash(target), ".part");
}

LocalCopyResult copyLocalEntry(const std::string& from, const std::string& to, bool replace,
                               const CopyProgress& progress) {
    LocalCopyResult r;
    const std::string src = withoutSlash(from), dst = withoutSlash(to);
    struct stat st{};
    if (::lstat(src.c_str(), &st) != 0) {
        r.error = src + ": " + reason(errno);
        return r;
    }
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
        r.status = LocalCopyStatus::NotCopyable;
        r.error = src + ": " + (S_ISDIR(st.st_mode) ? "a folder" : "not a regular file, a folder or a link");
        return r;
    }
    struct stat old{};
    const bool exists = ::lstat(dst.c_str(), &old) == 0;
    if (exists && !replace) {
        r.error = dst + ": " + reason(EEXIST);
        return r;
    }
    if (exists && S_ISDIR(old.st_mode)) {
        r.error = dst + ": a folder of that name exists";
        return r;
    }
    const std::string out = exists ? siblingTempPath(dst) : dst;

    auto finish = [&](bool ok, const std::string& why) {
        if (!ok) {
            ::unlink(out.c_str());
            r.error = why;
            return r;
        }
        if (exists && ::rename(out.c_str(), dst.c_str()) != 0) {
            int e = errno;
            ::unlink(out.c_str());
            r.error = dst + ": " + reason(e);
            return r;
        }
        r.status = LocalCopyStatus::Copied;
        return r;
    };

    if (S_ISLNK(st.st_mode)) {
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        ssize_t n = ::readlink(src.c_str(), target.data(), target.size());
        if (n < 0 || static_cast<std::size_t>(n) >= target.size()) {
            r.error = src + ": " + reason(n < 0 ? errno : ENAMETOOLONG);
            return r;
        }
        target.resize(static_cast<std::size_t>(n));
        if (::symlink(target.c_str(), out.c_str()) != 0) {
            r.error = dst + ": " + reason(errno);
            return r;
        }
        return finish(true, {});
    }

    Fd in(::open(src.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    struct stat now{};
    if (!in.valid() || ::fstat(in.get(), &now) != 0) {
        r.error = src + ": " + reason(errno);
        return r;
    }
    if (!S_ISREG(now.st_mode)) { // swapped for something else meanwhile
        r.status = LocalCopyStatus::NotCopyable;
        r.error = src + ": not a regular file";
        return r;
    }
    Fd outFd(::open(out.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, now.st_mode & 0777));
    if (!outFd.valid()) {
        r.error = dst + ": " + reason(errno);
        return r;
    }
    std::string error;
    bool cancelled = false;
    bool ok = copyBytes(in.get(), outFd.get(), static_cast<std::uint64_t>(now.st_size), progress, error, cancelled);
    if (ok && exists && ::fsync(outFd.get()) != 0) {
        ok = false;
        error = reason(errno);
    }
    if (!outFd.close() && ok) {
        ok = false;
        error = reason(errno);
    }
    if (cancelled) {
        finish(false, dst + ": cancelled");
        r.status = LocalCopyStatus::Cancelled;
        return r;
    }
    return finish(ok, dst + ": " + error);
}

} // namespace vn
