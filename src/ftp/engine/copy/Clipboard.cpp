#include "ftp/engine/copy/Clipboard.h"

#include "ftp/engine/transfer/FileIo.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/DataFolder.h"
#include "ftp/engine/copy/CopyPaths.h"

namespace vn {
namespace {

bool fail(std::string* error, std::string why) {
    if (error) *error = std::move(why);
    return false;
}

bool validAddress(std::string_view a) {
    if (a.empty() || a.size() > 255) return false;
    for (char c : a) {
        auto u = static_cast<unsigned char>(c);
        if (u <= ' ' || u == 0x7F) return false;
    }
    return true;
}

bool checkEntry(const ClipEntry& e, std::size_t index, std::string* error) {
    const std::string at = "entry " + std::to_string(index + 1) + ": ";
    if (!isPlainAbsolutePath(e.path)) return fail(error, at + "the path is not a plain absolute path");
    if (e.local()) {
        if (!e.address.empty()) return fail(error, at + "a local entry has a server address");
    } else if (!validAddress(e.address)) {
        return fail(error, at + "the server address is missing or malformed");
    }
    if (e.pasvPort < -1 || e.pasvPort > 65535) return fail(error, at + "the passive port is out of range");
    return true;
}

template <class T>
bool parseNumber(std::string_view s, T& out) {
    if (s.empty() || s.size() > 20) return false;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && p == s.data() + s.size();
}

} // namespace

std::filesystem::path clipboardFile() { return dataFile("copy.dat"); }

bool clipboardExists() {
    std::error_code ec;
    return std::filesystem::is_regular_file(clipboardFile(), ec);
}

std::optional<std::string> formatClipboard(const Clipboard& clip, std::string* error) {
    std::string out = clip.cut ? "CUT\r\n" : "COPY\r\n";
    for (std::size_t i = 0; i < clip.entries.size(); ++i) {
        const ClipEntry& e = clip.entries[i];
        if (!checkEntry(e, i, error)) return std::nullopt;
        out += (e.local() ? std::string("-1") : std::to_string(e.session)) + "\r\n";
        out += e.address + "\r\n";
        out += e.path + "\r\n";
        out += e.passive ? "1\r\n" : "0\r\n";
        out += std::to_string(e.pasvPort) + "\r\n";
    }
    return out;
}

std::optional<Clipboard> parseClipboard(std::string_view bytes, std::string* error) {
    Clipboard clip;
    if (bytes.empty()) return clip;
    std::vector<std::string_view> lines;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        auto lf = bytes.find('\n', pos);
        if (lf == std::string_view::npos) {
            // The last line without its line end: accepted as a line.
            lines.push_back(bytes.substr(pos));
            break;
        }
        std::string_view line = bytes.substr(pos, lf - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        pos = lf + 1;
    }
    for (auto l : lines)
        if (l.find('\r') != std::string_view::npos || l.find('\0') != std::string_view::npos) {
            fail(error, "a line holds a stray CR or NUL");
            return std::nullopt;
        }
    if (lines[0] == "CUT") clip.cut = true;
    else if (lines[0] != "COPY") {
        fail(error, "the first line is neither COPY nor CUT");
        return std::nullopt;
    }
    if ((lines.size() - 1) % 5 != 0) {
        fail(error, "the file ends inside an entry (truncated)");
        return std::nullopt;
    }
    for (std::size_t i = 1; i < lines.size(); i += 5) {
        const std::size_t n = clip.entries.size();
        const std::string at = "entry " + std::to_string(n + 1) + ": ";
        ClipEntry e;
        if (lines[i] != "-1") {
            if (lines[i].empty() || lines[i].front() == '+' || lines[i].front() == '-' || !parseNumber(lines[i], e.session) ||
                e.session == 0) {
                fail(error, at + "the session number is malformed");
                return std::nullopt;
            }
        }
        e.address = std::string(lines[i + 1]);
        e.path = std::string(lines[i + 2]);
        if (lines[i + 3] == "1") e.passive = true;
        else if (lines[i + 3] != "0") {
            fail(error, at + "the passive flag is neither 0 nor 1");
            return std::nullopt;
        }
        if (!parseNumber(lines[i + 4], e.pasvPort)) {
            fail(error, at + "the passive port is malformed");
            return std::nullopt;
        }
        if (!checkEntry(e, n, error)) return std::nullopt;
        clip.entries.push_back(std::move(e));
    }
    return clip;
}

bool writeClipboard(bool cut, const std::vector<ClipEntry>& entries, std::string* error) {
    auto bytes = formatClipboard(Clipboard{cut, entries}, error);
    if (!bytes) return false;
    const std::filesystem::path target = clipboardFile();
    const std::string temp = target.string() + ".new" + std::to_string(::getpid());
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return fail(error, temp + ": " + std::strerror(errno));
    bool ok = writeFully(fd, *bytes);
    int err = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return fail(error, target.string() + ": " + std::strerror(err));
    }
    return true;
}

std::optional<Clipboard> readClipboard(std::string* error) {
    if (error) error->clear();
    const std::filesystem::path file = clipboardFile();
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno != ENOENT) fail(error, file.string() + ": " + std::strerror(errno));
        return std::nullopt;
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        fail(error, file.string() + ": not a regular file");
        return std::nullopt;
    }
    if (static_cast<std::uintmax_t>(st.st_size) > kMaxClipboardBytes) {
        ::close(fd);
        fail(error, file.string() + ": larger than " + std::to_string(kMaxClipboardBytes) + " bytes");
        return std::nullopt;
    }
    std::string bytes;
    char buf[65536];
    for (;;) {
        ssize_t k = ::read(fd, buf, sizeof buf);
        if (k < 0 && errno == EINTR) continue;
        if (k < 0) {
            int e = errno;
            ::close(fd);
            fail(error, file.string() + ": " + std::strerror(e));
            return std::nullopt;
        }
        if (k == 0) break;
        bytes.append(buf, static_cast<std::size_t>(k));
        // It may have grown since fstat.
        if (bytes.size() > kMaxClipboardBytes) {
            ::close(fd);
            fail(error, file.string() + ": larger than " + std::to_string(kMaxClipboardBytes) + " bytes");
            return std::nullopt;
        }
    }
    ::close(fd);
    std::string why;
    auto clip = parseClipboard(bytes, &why);
    if (!clip) fail(error, file.string() + ": " + why);
    return clip;
}

} // namespace vn
