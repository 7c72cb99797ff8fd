#include "ftp/explorer/LocalRoots.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>

namespace vn {

namespace {

bool startsWith(const std::string& s, const std::string& p) { return s.compare(0, p.size(), p) == 0; }

// True when path is `top` or below it.
bool within(const std::string& path, const std::string& top) {
    return path == top || (startsWith(path, top) && path.size() > top.size() && path[top.size()] == '/');
}

const std::set<std::string>& kernelTypes() {
    static const std::set<std::string> t = {
        "proc",     "sysfs",      "cgroup",    "cgroup2",     "squashfs", "devpts", "devtmpfs", "securityfs",
        "pstore",   "bpf",        "tracefs",   "debugfs",     "mqueue",   "hugetlbfs", "configfs", "fusectl",
        "binfmt_misc", "autofs",  "efivarfs",  "nsfs",        "rpc_pipefs", "selinuxfs", "ramfs_kernel"};
    return t;
}

const std::set<std::string>& networkTypes() {
    static const std::set<std::string> t = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "9p", "afs", "ceph",
                                            "glusterfs", "davfs", "ncpfs", "coda", "lustre"};
    return t;
}

bool isFuse(const std::string& type) { return type == "fuse" || type == "fuseblk" || startsWith(type, "fuse."); }
bool isRam(const std::string& type) { return type == "tmpfs" || type == "ramfs"; }
bool isOptical(const std::string& type) { return type == "iso9660" || type == "udf"; }

bool underRemovablePlace(const std::string& mp) {
    return within(mp, "/media") || within(mp, "/run/media") || within(mp, "/mnt");
}

std::string unescape(const std::string& s) {
    // mountinfo writes blanks, tabs, newlines and backslashes as \ooo.
    auto oct = [](char c) { return c >= '0' && c <= '7'; };
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && oct(s[i + 1]) && oct(s[i + 2]) && oct(s[i + 3])) {
            out.push_back(static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0')));
            i += 3;
            continue;
        }
        out.push_back(s[i]);
    }
    return out;
}

std::mutex g_mutex;
MountProvider g_provider;

std::vector<MountEntry> systemMounts() {
    std::ifstream in("/proc/self/mountinfo");
    std::stringstream ss;
    ss << in.rdbuf();
    std::vector<MountEntry> mounts = parseMountInfo(ss.str());
    // Labels: /dev/disk/by-label/<label> links to the device.
    std::map<std::string, std::string> labelOf;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/dev/disk/by-label", ec)) {
        std::error_code ec2;
        auto dev = std::filesystem::canonical(e.path(), ec2);
        if (!ec2) labelOf[dev.string()] = unescape(e.path().filename().string());
    }
    for (auto& m : mounts)
        if (auto it = labelOf.find(m.source); it != labelOf.end()) m.label = it->second;
    return mounts;
}

} // namespace

MountClass classifyMount(const MountEntry& m) {
    const std::string& mp = m.mountPoint;
    const std::string& t = m.fsType;
    if (mp.empty() || mp == "/" || mp[0] != '/') return MountClass::Skip;
    if (kernelTypes().count(t)) return MountClass::Skip;
    if (within(mp, "/proc") || within(mp, "/sys") || within(mp, "/dev")) return MountClass::Skip;
    // Run-time tmpfs: /run and its children (except removable media below it), /tmp.
    if (within(mp, "/run") && !within(mp, "/run/media")) return MountClass::Skip;
    if (isRam(t) && (within(mp, "/tmp") || within(mp, "/var/run") || within(mp, "/var/lock"))) return MountClass::Skip;
    if (networkTypes().count(t) || isFuse(t) || isOptical(t) || underRemovablePlace(mp)) return MountClass::Removable;
    return MountClass::Fixed;
}

DriveKind driveKindOf(const MountEntry& m) {
    const std::string& t = m.fsType;
    if (t.empty()) return DriveKind::Error;
    if (isOptical(t)) return DriveKind::CdRom;
    if (isRam(t)) return DriveKind::RamDisk;
    if (networkTypes().count(t) || (isFuse(t) && t != "fuseblk")) return DriveKind::Remote;
    if (underRemovablePlace(m.mountPoint)) return DriveKind::Removable;
    return DriveKind::Fixed;
}

std::vector<MountEntry> parseMountInfo(const std::string& text) {
    // id parent major:minor root mount-point options [optional...] - type source super-options
    std::vector<MountEntry> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream f(line);
        std::vector<std::string> w;
        std::string word;
        while (f >> word) w.push_back(word);
        auto dash = std::find(w.begin(), w.end(), "-");
        if (w.size() < 5 || dash == w.end() || std::distance(dash, w.end()) < 3) continue;
        MountEntry m;
        m.mountPoint = unescape(w[4]);
        m.fsType = *(dash + 1);
        m.source = unescape(*(dash + 2));
        out.push_back(std::move(m));
    }
    return out;
}

std::vector<MountEntry> currentMounts() {
    MountProvider p;
    {
        std::lock_guard lock(g_mutex);
        p = g_provider;
    }
    return p ? p() : systemMounts();
}

void setMountProvider(MountProvider p) {
    std::lock_guard lock(g_mutex);
    g_provider = std::move(p);
}

std::optional<MountEntry> mountOf(const std::string& folder, const std::vector<MountEntry>& mounts) {
    std::string f = folder;
    while (f.size() > 1 && f.back() == '/') f.pop_back();
    std::optional<MountEntry> best;
    for (const auto& m : mounts) {
        if (m.mountPoint == "/" || within(f, m.mountPoint)) {
            // A later mount on the same point hides the earlier one.
            if (!best || m.mountPoint.size() >= best->mountPoint.size()) best = m;
        }
    }
    return best;
}

std::string rootCaption(const std::string& label, const std::string& mountPoint) {
    return label.empty() ? "(" + mountPoint + ")" : label + " (" + mountPoint + ")";
}

std::vector<RootNode> localRoots(const std::vector<MountEntry>& mounts, const std::string& home) {
    std::vector<RootNode> roots;
    std::string h = home;
    while (h.size() > 1 && h.back() == '/') h.pop_back();
    if (!h.empty() && h != "/") roots.push_back({rootCaption("Home", h), h + "/", false});
    roots.push_back({rootCaption({}, "/"), "/", false});
    std::set<std::string> seen{"/"};
    for (const auto& m : mounts) {
        MountClass c = classifyMount(m);
        if (c == MountClass::Skip || !seen.insert(m.mountPoint).second) continue;
        if (c == MountClass::Fixed) {
            // A bind mount of a single file is no folder to show; a fixed mount is
            // local, so looking is safe.
            struct stat st{};
            if (stat(m.mountPoint.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        }
        roots.push_back({rootCaption(m.label, m.mountPoint), m.mountPoint + "/", c == MountClass::Removable});
    }
    return roots;
}

} // namespace vn
