#pragma once
// The local roots of the explorer tree on Linux: the home folder, "/" and the
// real mounted volumes. Pure work on a mount list, which tests inject.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vn {

struct MountEntry {
    std::string mountPoint; // as the kernel shows it, octal escapes undone
    std::string fsType;
    std::string source;     // device or remote share
    std::string label;      // volume label, empty when none is known
};

// How a mount shows in the tree.
enum class MountClass {
    Skip,      // a kernel or run-time file system, or "/" (which has its own root)
    Fixed,     // a drive node, probed for sub-folders at start
    Removable  // removable, network or FUSE: never probed at start, always a placeholder
};
MountClass classifyMount(const MountEntry& m);

// The drive kind the System Information window shows.
enum class DriveKind { Error, Removable, Fixed, Remote, CdRom, RamDisk };
DriveKind driveKindOf(const MountEntry& m);

// The lines of /proc/self/mountinfo to entries (labels left empty).
std::vector<MountEntry> parseMountInfo(const std::string& text);

// The mounts of this machine: /proc/self/mountinfo with labels from
// /dev/disk/by-label; a test may install another provider (nullptr restores).
using MountProvider = std::function<std::vector<MountEntry>()>;
std::vector<MountEntry> currentMounts();
void setMountProvider(MountProvider p);

// The mount a local folder lives on: the longest mount point that is the
// folder or one of its parents.
std::optional<MountEntry> mountOf(const std::string& folder, const std::vector<MountEntry>& mounts);

// The caption of a root: "label (mount point)" or "(mount point)".
std::string rootCaption(const std::string& label, const std::string& mountPoint);

struct RootNode {
    std::string caption;
    std::string path;      // with trailing "/"
    bool removable = false;
};
// Home first, then "/", then every mount that is not skipped, in mount order.
std::vector<RootNode> localRoots(const std::vector<MountEntry>& mounts, const std::string& home);

} // namespace vn
