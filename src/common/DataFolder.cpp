#include "common/DataFolder.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace vn {
namespace fs = std::filesystem;

namespace {

const char* env(const char* name) {
    const char* v = std::getenv(name);
    return (v && *v) ? v : nullptr;
}

fs::path homeFolder() {
    if (const char* h = env("HOME")) return h;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && *pw->pw_dir) return pw->pw_dir;
    std::error_code ec;
    return fs::current_path(ec);
}

// Like create_directories, but each folder we make is private to the user.
void makeFolders(const fs::path& p) {
    std::error_code ec;
    if (p.empty() || fs::is_directory(p, ec)) return;
    makeFolders(p.parent_path());
    ::mkdir(p.c_str(), 0700);
}

fs::path chooseFolder() {
    std::error_code ec;
    if (const char* v = env("VARNELO_HOME")) {
        fs::path p = fs::absolute(v, ec);
        return ec ? fs::path(v) : p;
    }
    if (const char* x = env("XDG_CONFIG_HOME"); x && fs::path(x).is_absolute())
        return fs::path(x) / "varnelo";
    return homeFolder() / ".config" / "varnelo";
}

} // namespace

std::filesystem::path dataFolder() {
    fs::path p = chooseFolder().lexically_normal();
    // "a/b/" normalises to "a/b/"; drop the empty last part so names append cleanly.
    if (!p.has_filename() && p.has_parent_path() && p != p.root_path()) p = p.parent_path();
    makeFolders(p);
    return p;
}

std::filesystem::path dataFile(std::string_view name) { return dataFolder() / fs::path(name); }

std::filesystem::path configFile() { return dataFile("varnelo.ini"); }

} // namespace vn
