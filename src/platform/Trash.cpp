#include "platform/Trash.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace vn {
namespace {

std::string errnoText(int e) { return std::strerror(e); }

fs::path userHome() {
    if (const char* h = std::getenv("HOME"); h && *h) return h;
    if (struct passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return {};
}

// mkdir -p, the folders we create private (0700).
bool makeDirs(const fs::path& dir, std::string& error) {
    std::error_code ec;
    if (fs::is_directory(dir, ec)) return true;
    if (!dir.has_parent_path() || dir.parent_path() == dir) {
        error = dir.string() + ": no such folder";
        return false;
    }
    if (!makeDirs(dir.parent_path(), error)) return false;
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        error = dir.string() + ": " + errnoText(errno);
        return false;
    }
    if (!fs::is_directory(dir, ec)) {
        error = dir.string() + ": not a folder";
        return false;
    }
    return true;
}

// The top folder of the mount that holds `p` (p exists; walk up while the device stays).
fs::path mountTop(const fs::path& p, dev_t dev) {
    fs::path top = p;
    for (fs::path up = p.parent_path(); !up.empty(); up = up.parent_path()) {
        struct stat st;
        if (::stat(up.c_str(), &st) != 0 || st.st_dev != dev) break;
        top = up;
        if (up == up.root_path()) break;
    }
    return top;
}

// A $topdir/.Trash-$uid that is a real folder of ours (never follow a planted link).
bool topdirTrash(const fs::path& top, fs::path& trash, std::string& error) {
    trash = top / (".Trash-" + std::to_string(getuid()));
    if (::mkdir(trash.c_str(), 0700) != 0 && errno != EEXIST) {
        error = trash.string() + ": " + errnoText(errno);
        return false;
    }
    struct stat st;
    if (::lstat(trash.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) {
        error = trash.string() + ": not a trash folder of this user";
        return false;
    }
    return true;
}

std::string deletionDate() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
    return buf;
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string candidateName(const fs::path& name, int n) {
    if (n == 1) return name.string();
    return name.stem().string() + "." + std::to_string(n) + name.extension().string();
}

} // namespace

fs::path homeTrash() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    fs::path data = xdg && *xdg == '/' ? fs::path(xdg) : userHome() / ".local" / "share";
    return data / "Trash";
}

std::string trashInfoPath(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                    c == '_' || c == '.' || c == '~' || c == '/';
        if (keep) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

TrashResult moveToTrash(const fs::path& path) {
    TrashResult r;
    std::error_code ec;
    fs::path abs = fs::absolute(path, ec).lexically_normal();
    if (ec || abs.filename().empty()) {
        r.error = path.string() + ": not a file name";
        return r;
    }
    struct stat st;
    if (::lstat(abs.c_str(), &st) != 0) {
        r.error = abs.string() + ": " + errnoText(errno);
        return r;
    }

    // The home trash when it is on the file's own file system (rename cannot
    // cross one); otherwise the trash at the top of the file's mount.
    fs::path trash = homeTrash();
    std::string infoPath = abs.string();
    std::string error;
    if (!makeDirs(trash / "files", error) || !makeDirs(trash / "info", error)) {
        r.error = error;
        return r;
    }
    struct stat tst;
    if (::stat((trash / "files").c_str(), &tst) != 0) {
        r.error = (trash / "files").string() + ": " + errnoText(errno);
        return r;
    }
    if (tst.st_dev != st.st_dev) {
        fs::path top = mountTop(abs, st.st_dev);
        if (!topdirTrash(top, trash, error) || !makeDirs(trash / "files", error) ||
            !makeDirs(trash / "info", error)) {
            r.error = error;
            return r;
        }
        // Relative to the mount's top, so the entry survives another mount point.
        infoPath = abs.lexically_relative(top).string();
    }

    const fs::path name = abs.filename();
    const std::string info = "[Trash Info]\nPath=" + trashInfoPath(infoPath) + "\nDeletionDate=" + deletionDate() + "\n";
    for (int n = 1; n < 100000; ++n) {
        std::string candidate = candidateName(name, n);
        fs::path infoFile = trash / "info" / (candidate + ".trashinfo");
        fs::path target = trash / "files" / candidate;
        // The info file, created exclusively, reserves the name.
        int fd = ::open(infoFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            r.error = infoFile.string() + ": " + errnoText(errno);
            return r;
        }
        struct stat existing;
        if (::lstat(target.c_str(), &existing) == 0) {
            ::close(fd);
            ::unlink(infoFile.c_str());
            continue;
        }
        bool written = writeAll(fd, info);
        int writeErr = errno;
        if (::close(fd) != 0 && written) {
            written = false;
            writeErr = errno;
        }
        if (!written) {
            ::unlink(infoFile.c_str());
            r.error = infoFile.string() + ": " + errnoText(writeErr);
            return r;
        }
        // Never over an entry that appeared meanwhile.
        int rc = ::renameat2(AT_FDCWD, abs.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
        if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) rc = ::rename(abs.c_str(), target.c_str());
        if (rc != 0) {
            int e = errno;
            ::unlink(infoFile.c_str());
            if (e == EEXIST) continue;
            r.error = abs.string() + ": " + errnoText(e);
            return r;
        }
        r.ok = true;
        r.trashedAs = target;
        return r;
    }
    r.error = abs.string() + ": no free name in " + trash.string();
    return r;
}

} // namespace vn
