#include "ftp/engine/tls/CertificateTrust.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/IniFile.h"

namespace vn {

namespace {
constexpr const char* kSection = "Trusted";
}

std::string CertificateTrust::key(const std::string& host, int port) {
    const bool v6 = host.find(':') != std::string::npos && host.front() != '[';
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::optional<std::string> CertificateTrust::fingerprint(const std::string& key) const {
    if (file_.empty()) return std::nullopt;
    IniFile ini(file_);
    if (!ini.hasKey(kSection, key)) return std::nullopt;
    std::string fp = ini.readString(kSection, key, "");
    if (fp.empty()) return std::nullopt;
    return fp;
}

bool CertificateTrust::remember(const std::string& key, const std::string& fingerprint) {
    if (file_.empty()) return false;
    std::error_code ec;
    if (file_.has_parent_path()) std::filesystem::create_directories(file_.parent_path(), ec);
    // Made 0600 before anything is written to it, and kept so after each write.
    int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    ::chmod(file_.c_str(), 0600);
    IniFile ini(file_);
    bool ok = ini.writeString(kSection, key, fingerprint);
    ::chmod(file_.c_str(), 0600);
    return ok;
}

} // namespace vn
