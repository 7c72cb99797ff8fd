#include "ftp/engine/custom/CommandStore.h"

#include <algorithm>
#include <cctype>

namespace vn {

namespace {
constexpr const char* kSection = "Commands";
}

std::vector<std::string> CommandStore::defaults() {
    return {"HELP", "HELP SITE", "SITE PSWD \"%[Old Passwd]\" \"%[New Passwd]\"", "SITE CHMOD %[Attributes] %f",
            "SITE INDEX %[File]"};
}

std::vector<std::string> CommandStore::read(const IniFile& ini) {
    const long long total = std::clamp(ini.readInt(kSection, "Total", 0), 0LL, static_cast<long long>(kMaxCommands));
    std::vector<std::string> out;
    out.reserve(static_cast<std::size_t>(total));
    for (long long i = 0; i < total; ++i) out.push_back(ini.readString(kSection, std::to_string(i), ""));
    return out;
}

std::vector<std::string> CommandStore::menuEntries(const IniFile& ini) {
    auto stored = read(ini);
    return stored.empty() ? defaults() : stored;
}

std::vector<std::string> CommandStore::loadForEditor(IniFile& ini) {
    auto stored = read(ini);
    if (!stored.empty()) return stored;
    stored = defaults();
    sort(stored);
    write(ini, stored);
    return stored;
}

bool CommandStore::write(IniFile& ini, const std::vector<std::string>& commands) {
    const long long before = std::clamp(ini.readInt(kSection, "Total", 0), 0LL, static_cast<long long>(kMaxCommands));
    bool ok = ini.writeInt(kSection, "Total", static_cast<long long>(commands.size()));
    for (std::size_t i = 0; i < commands.size(); ++i) ok = ini.writeString(kSection, std::to_string(i), commands[i]) && ok;
    for (long long i = static_cast<long long>(commands.size()); i < before; ++i) ini.deleteKey(kSection, std::to_string(i));
    return ok;
}

void CommandStore::sort(std::vector<std::string>& commands) {
    auto lower = [](const std::string& s) {
        std::string l = s;
        for (char& c : l) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return l;
    };
    std::stable_sort(commands.begin(), commands.end(),
                     [&](const std::string& a, const std::string& b) { return lower(a) < lower(b); });
}

} // namespace vn
