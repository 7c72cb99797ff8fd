#pragma once
// The certificates the user chose to trust always, by "host:port": the
// SHA-256 fingerprint of each, in one INI file of the data folder that only
// its owner may read or write (0600).
#include <filesystem>
#include <optional>
#include <string>

namespace vn {

class CertificateTrust {
public:
    explicit CertificateTrust(std::filesystem::path file) : file_(std::move(file)) {}

    static std::string key(const std::string& host, int port);
    // The fingerprint trusted for key; nullopt when none.
    std::optional<std::string> fingerprint(const std::string& key) const;
    // False when the file could not be written.
    bool remember(const std::string& key, const std::string& fingerprint);

private:
    std::filesystem::path file_;
};

} // namespace vn
