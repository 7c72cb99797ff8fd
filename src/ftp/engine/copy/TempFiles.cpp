#include "ftp/engine/copy/TempFiles.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include "common/DataFolder.h"
#include "ftp/engine/copy/CopyPaths.h"
#include "ftp/engine/copy/LocalFiles.h"

namespace vn {
namespace {

std::atomic<unsigned> g_windows{0};

bool makeFolder(const std::filesystem::path& p) {
    if (::mkdir(p.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st{};
    // A link planted in its place is not our folder.
    return ::lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::filesystem::path tempRoot() { return dataFile("TEMP"); }

TempFiles::TempFiles()
    : name_("w" + std::to_string(::getpid()) + "-" + std::to_string(g_windows.fetch_add(1))) {}

TempFiles::~TempFiles() { clean(); }

std::filesystem::path TempFiles::folder() {
    const std::filesystem::path root = tempRoot();
    if (!makeFolder(root)) return {};
    std::filesystem::path mine = root / name_;
    if (!makeFolder(mine)) return {};
    return mine;
}

std::filesystem::path TempFiles::path(const std::string& name) {
    if (!isSafeComponent(name)) return {};
    std::filesystem::path f = folder();
    return f.empty() ? f : f / name;
}

void TempFiles::clean() {
    struct stat st{};
    const std::filesystem::path mine = tempRoot() / name_;
    if (::lstat(mine.c_str(), &st) == 0) EsborrarDirectori(mine.string());
}

void TempFiles::sweepStale() {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(tempRoot(), ec)) {
        const std::string n = e.path().filename().string();
        if (n.size() < 4 || n[0] != 'w') continue;
        auto dash = n.find('-');
        if (dash == std::string::npos || dash == 1) continue;
        long pid = 0;
        bool digits = true;
        for (std::size_t i = 1; i < dash; ++i) {
            if (n[i] < '0' || n[i] > '9' || pid > 100000000) {
                digits = false;
                break;
            }
            pid = pid * 10 + (n[i] - '0');
        }
        if (!digits || pid <= 0) continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        EsborrarDirectori(e.path().string());
    }
}

} // namespace vn
