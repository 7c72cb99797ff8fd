#include "common/LogMirror.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <unistd.h>

#include "common/DataFolder.h"
#include "common/IniFile.h"

namespace vn {
namespace fs = std::filesystem;

namespace {

// [Misc] LogFile, read again only when "varnelo.ini" changed: the information
// box calls this for every line it adds.
fs::path configuredLogPath() {
    static fs::path cachedIni, cachedLog;
    static fs::file_time_type cachedTime;
    static std::uintmax_t cachedSize = 0;
    static bool valid = false;
    fs::path ini = configFile();
    std::error_code ec;
    auto t = fs::last_write_time(ini, ec);
    if (ec) t = {};
    auto size = fs::file_size(ini, ec);
    if (ec) size = 0;
    if (!valid || ini != cachedIni || t != cachedTime || size != cachedSize) {
        cachedLog.clear();
        std::string name = IniFile(ini).readString("Misc", "LogFile");
        if (!name.empty()) {
            fs::path p(name);
            cachedLog = p.is_relative() ? dataFolder() / p : p;
        }
        cachedIni = ini;
        cachedTime = t;
        cachedSize = size;
        valid = true;
    }
    return cachedLog;
}

fs::path logPath() {
    if (const char* v = std::getenv("VARNELO_LOG"); v && *v) return v;
    return configuredLogPath();
}

std::string stamp() {
    std::time_t now = std::time(nullptr);
    std::tm tm {};
    char buf[32] = "";
    if (::localtime_r(&now, &tm)) std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

// One entry is one line of the log, whatever the message holds.
std::string oneLine(const std::string& s) {
    std::string out = s;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    for (char& c : out)
        if (c == '\n' || c == '\r' || c == '\0') c = ' ';
    return out;
}

} // namespace

void LogMirror::append(const std::string& windowCaption, const std::string& line) {
    static std::mutex m;
    try {
        std::lock_guard<std::mutex> g(m);
        fs::path p = logPath();
        if (p.empty()) return;
        std::string entry = stamp() + " [" + oneLine(windowCaption) + "] " + oneLine(line) + "\n";
        int fd = ::open(p.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) return;
        // A single write so concurrent writers (other processes too) never split an entry.
        std::string_view rest = entry;
        while (!rest.empty()) {
            ssize_t n = ::write(fd, rest.data(), rest.size());
            if (n < 0) {
                if (errno == EINTR) continue;
                break;
            }
            rest.remove_prefix(static_cast<size_t>(n));
        }
        ::close(fd);
    } catch (...) {
        // The log is a mirror; losing a line must never disturb the caller.
    }
}

void WindowLogMirror::setCaption(std::string caption) {
    flush();
    caption_ = std::move(caption);
}

void WindowLogMirror::add(std::uint64_t /*id*/, const std::string& line) {
    flush();
    LogMirror::append(caption_, line);
}

void WindowLogMirror::addReplaceable(std::uint64_t id, const std::string& line) { held_.push_back({id, line}); }

void WindowLogMirror::replace(std::uint64_t id, const std::string& line) {
    for (auto& h : held_)
        if (h.id == id) h.line = line;
}

void WindowLogMirror::flush() {
    std::vector<Held> held;
    held.swap(held_);
    for (const auto& h : held) LogMirror::append(caption_, h.line);
}

} // namespace vn
