#include "ftp/engine/transfer/FileTimes.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace vn {

std::optional<std::int64_t> localModificationTime(const std::string& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return static_cast<std::int64_t>(st.st_mtim.tv_sec);
}

bool setLocalModificationTime(const std::string& path, std::int64_t seconds) {
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT; // the access time stays
    times[1].tv_sec = static_cast<time_t>(seconds);
    times[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

void keepDownloadTime(FtpEngine& engine, SessionId id, const std::string& remote, const std::string& local) {
    if (!engine.settings().KeepFileTimes) return;
    const FtpFeatures* f = engine.features(id);
    if (!f || !f->mdtm) return;
    auto t = engine.fesMDTM(id, remote);
    if (!t) return;
    if (!setLocalModificationTime(local, *t))
        engine.sink().log(">ERROR: The time of " + local + " could not be set (" + std::strerror(errno) + ")");
}

void keepUploadTime(FtpEngine& engine, SessionId id, const std::string& local, const std::string& remote) {
    if (!engine.settings().KeepFileTimes) return;
    const FtpFeatures* f = engine.features(id);
    if (!f || !f->mfmt) return;
    auto t = localModificationTime(local);
    if (!t) return;
    if (!engine.fesMFMT(id, remote, *t) && !engine.wait().cancelled() && engine.connection(id))
        engine.sink().log("-The server did not keep the time of " + remote + ".");
}

} // namespace vn
