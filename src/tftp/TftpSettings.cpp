#include "tftp/TftpSettings.h"

#include <cstdlib>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

#include "common/DataFolder.h"

namespace vn::tftp {

namespace fs = std::filesystem;

const char* modeName(Mode m) { return m == Mode::NetAscii ? "netascii" : "octet"; }

fs::path iniPath() { return dataFile(kIniName); }

fs::path homeFolder() {
    if (const char* h = std::getenv("HOME"); h && *h) return h;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && *pw->pw_dir) return pw->pw_dir;
    return "/";
}

ClientSettings readClientSettings(const IniFile& ini) {
    ClientSettings s;
    auto positive = [&](std::string_view key, int def) {
        long long v = ini.readInt(kClientSection, key, def);
        return (v > 0 && v <= 0x7fffffff) ? static_cast<int>(v) : def;
    };
    s.port = positive(kPortKey, 69);
    if (s.port > 65535) s.port = 69;
    s.bufferSize = positive(kBufferSizeKey, 8192);
    s.timeoutMs = positive(kTimeOutKey, 3000);
    s.requestedBlock = positive(kRequestedBlockKey, 1024);
    s.mode = ini.readInt(kClientSection, kFileTypeKey, 0) == 1 ? Mode::NetAscii : Mode::Octet;
    return s;
}

bool storeClientSetting(IniFile& ini, std::string_view key, long long value) {
    if (key == kFileTypeKey) {
        if (value != 0 && value != 1) return false;
    } else if (value <= 0) {
        return false;
    }
    return ini.writeInt(kClientSection, key, value);
}

std::string effectiveBaseFolder(std::string_view typed, bool& fellBack) {
    std::error_code ec;
    fellBack = false;
    std::string text(typed);
    if (text.empty() || !fs::is_directory(fs::path(text), ec)) {
        fellBack = true;
        text = homeFolder().string();
    }
    if (text.empty() || text.back() != '/') text.push_back('/');
    return text;
}

ServerSettings readServerSettings(const IniFile& ini, bool* fellBack) {
    ServerSettings s;
    long long port = ini.readInt(kServerSection, kPortKey, 69);
    s.port = (port >= -65535 && port <= 65535) ? static_cast<int>(port) : -1;
    long long buf = ini.readInt(kServerSection, kBufferSizeKey, 8192);
    s.bufferSize = (buf > 0 && buf <= 0x7fffffff) ? static_cast<int>(buf) : 8192;
    bool fb = false;
    s.baseFolder = effectiveBaseFolder(ini.readString(kServerSection, kBaseFolderKey, homeFolder().string()), fb);
    if (fellBack) *fellBack = fb;
    return s;
}

} // namespace vn::tftp
