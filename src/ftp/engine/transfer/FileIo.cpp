#include "ftp/engine/transfer/FileIo.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vn {
namespace {

std::string randomHex() {
    unsigned char bytes[8] = {};
    std::size_t got = 0;
    while (got < sizeof bytes) {
        ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

bool fill(const struct stat& st, FileStamp& out) {
    out.device = static_cast<std::uint64_t>(st.st_dev);
    out.inode = static_cast<std::uint64_t>(st.st_ino);
    out.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    out.size = static_cast<std::uint64_t>(st.st_size);
    out.regular = S_ISREG(st.st_mode);
    return true;
}

} // namespace

std::string randomSiblingName(const std::string& target, std::string_view suffix) {
    std::string t = target;
    while (t.size() > 1 && t.back() == '/') t.pop_back();
    auto slash = t.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : t.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? t : t.substr(slash + 1);
    // Room for the dot, the random part and the suffix within NAME_MAX.
    const std::size_t room = 255 - 2 - 16 - suffix.size();
    if (base.size() > room) base.resize(room);
    return folder + "." + base + "." + randomHex() + std::string(suffix);
}

int createSibling(const std::string& target, std::string_view suffix, unsigned mode, std::string& path) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        path = randomSiblingName(target, suffix);
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

std::string FileStamp::id() const { return std::to_string(device) + ":" + std::to_string(inode); }
std::string FileStamp::mtime() const { return std::to_string(mtimeNs); }

bool stampOf(int fd, FileStamp& out) {
    struct stat st{};
    return ::fstat(fd, &st) == 0 && fill(st, out);
}

bool stampOfPath(const std::string& path, FileStamp& out) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0 && fill(st, out);
}

} // namespace vn
