#pragma once
// INI-style configuration file with Windows profile semantics: section and key
// names compare without regard to case, a missing or malformed key reads as its
// default, integers are decimal, and every read and write goes to the file, so
// two instances (or two windows) always see each other's writes. A write
// replaces the file atomically (temporary file, flush, rename).
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vn {

class IniFile {
public:
    explicit IniFile(std::filesystem::path path);

    const std::filesystem::path& path() const { return path_; }

    std::string readString(std::string_view section, std::string_view key,
                           std::string_view def = {}) const;
    // Decimal integer; missing, empty, non-numeric or out-of-range text gives def.
    long long readInt(std::string_view section, std::string_view key, long long def) const;

    // False when the file could not be written; the old file is then untouched.
    bool writeString(std::string_view section, std::string_view key, std::string_view value);
    bool writeInt(std::string_view section, std::string_view key, long long value);
    bool deleteKey(std::string_view section, std::string_view key);
    bool deleteSection(std::string_view section);

    bool hasKey(std::string_view section, std::string_view key) const;
    // Key names of a section in file order, as they are written in the file.
    std::vector<std::string> keys(std::string_view section) const;

private:
    std::filesystem::path path_;
};

} // namespace vn
