#include "ftp/explorer/misc/TemporalFiles.h"

#include <system_error>

namespace vn {

namespace fs = std::filesystem;

namespace {

// Removes a file (or a link, never what it points to); true when it went.
bool removeFile(const fs::path& p) {
    std::error_code ec;
    const auto st = fs::symlink_status(p, ec);
    if (ec || fs::is_directory(st) || !fs::exists(st)) return false;
    return fs::remove(p, ec) && !ec;
}

int removeTmpIn(const fs::path& folder, int depth) {
    int count = 0;
    std::error_code ec;
    fs::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const fs::path p = it->path();
        std::error_code sec;
        const auto st = it->symlink_status(sec);
        if (sec) continue;
        if (fs::is_directory(st)) {
            if (depth == 0) count += removeTmpIn(p, depth + 1);
            continue;
        }
        if (p.extension() == ".tmp" && removeFile(p)) ++count;
    }
    return count;
}

} // namespace

int deleteTemporalFiles(const fs::path& dataFolder) {
    int count = 0;
    for (const char* name : {"rest.ini", "copy.dat"})
        if (removeFile(dataFolder / name)) ++count;
    std::error_code ec;
    const fs::path temp = dataFolder / "TEMP";
    if (fs::is_directory(fs::symlink_status(temp, ec))) count += removeTmpIn(temp, 0);
    return count;
}

} // namespace vn
