#pragma once
// The site files of the five site managers: one reader and one writer for the
// FTP layout ("siteman.dat") and the four tool layouts ("fingerman.dat",
// "pingman.dat", "telnetman.dat", "Whoisman.dat").
//
// Text, one value per line, CR LF written, LF or CR LF read: the node count,
// then every node in tree order (each followed by its subtree) as "-----",
// its level (0 = top), "Folder" or "Node" and the layout's fields, then a
// final "-----".
//
// The reader trusts nothing: the count is only an upper bound, every record
// must start with "-----" and its numbers must parse, and whatever does not fit
// ends the reading with a warning, keeping the nodes read so far. A tree read
// with warnings is "not clean": SiteStore copies such a file to "<name>.bak"
// before it first replaces it.
#include "sites/Scrambler.h"

#include <array>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vn {

// One tree node. The tool layouts store no Addresses, AddressCount or Passive;
// fields a manager does not use are empty strings and zeros.
struct TSiteRec {
    std::string HostName{};  // caption: site or folder name
    std::string Address{};
    std::string Login{};     // Finger: user to finger; Whois: the query
    std::string Password{};  // plain in memory
    int LoginType = 0;       // FTP: 0 Normal, 1 Anonymous; Telnet: 0 login and password, 1 I'll write them
    int Port = 0;            // Ping: the time-to-live
    int TransferType = 0;    // FTP: 0 ASCII, 1 Binary, 2 Auto
    std::string RemoteDir{};
    std::string Comments{};
    std::array<std::string, 5> Addresses{};  // slot 1 (index 0) is the main address
    int AddressCount = 0;    // slots in use, 0..5
    bool IsFolder = false;
    bool Passive = false;

    bool operator==(const TSiteRec&) const = default;
};

struct SiteNode {
    TSiteRec rec{};
    std::vector<SiteNode> children{};  // in file order

    bool operator==(const SiteNode&) const = default;
};

// The top-level nodes, in file order.
using SiteTree = std::vector<SiteNode>;

enum class SiteLayout { Ftp, Finger, Ping, Telnet, Whois };

struct SiteLayoutInfo {
    SiteLayout layout;
    std::string_view fileName;      // in the data folder
    const Scrambler* scrambler;     // null: the password line is plain (and unused)
    bool ftpExtras;                 // Passive, AddressCount and the address lines
    bool folderPortZero;            // a folder's port line is always "0"
};

const SiteLayoutInfo& siteLayoutInfo(SiteLayout layout);

// Limits of the reader.
inline constexpr std::size_t kSiteFileMaxBytes = 8u << 20;
inline constexpr std::size_t kSiteFileMaxLine = 64u << 10;
inline constexpr int kSiteTreeMaxDepth = 64;

struct SiteReadResult {
    SiteTree tree;
    std::vector<std::string> warnings;  // for the log or a message; empty when clean
    bool clean = true;                  // read to the final "-----" without a single doubt
    bool exists = false;                // loadSites: the file was there
};

// Parses a site file's bytes.
SiteReadResult readSites(std::string_view bytes, SiteLayout layout);
// The exact bytes of the file for `tree`. CR, LF and NUL are removed from every
// text field (one would shift every following line); levels are the real depths.
std::string writeSites(const SiteTree& tree, SiteLayout layout);

// Reads a file (at most kSiteFileMaxBytes of it). A missing file gives an
// empty, clean tree; one that cannot be read an empty tree that is not clean.
SiteReadResult loadSites(const std::filesystem::path& file, SiteLayout layout);
// Replaces `file` atomically (temporary file in the same folder, write, fsync,
// rename) with mode 0600. On failure returns false, leaves the old file as it
// was and, when error is given, says why.
bool saveSites(const std::filesystem::path& file, const SiteTree& tree, SiteLayout layout,
               std::string* error = nullptr);
// The same for any bytes.
bool replaceFileAtomically(const std::filesystem::path& file, std::string_view bytes,
                           std::string* error = nullptr);

// One manager's site file: remembers whether it was read cleanly, and if not
// copies it to "<name>.bak" (0600) before the first save replaces it.
class SiteStore {
public:
    SiteStore(std::filesystem::path file, SiteLayout layout);

    const std::filesystem::path& path() const { return file_; }
    std::filesystem::path backupPath() const;
    SiteLayout layout() const { return layout_; }

    SiteReadResult load();
    // Replaces the file. Before the first save after a load that was not
    // clean, the file as it was is copied to backupPath(); a save without any
    // load first looks at the file to decide. False when the backup or the file
    // could not be written; the file on disk is then unchanged and lastError()
    // says why.
    bool save(const SiteTree& tree);

    // The last load() read the file cleanly (or there was none).
    bool loadedClean() const { return loadedClean_; }
    const std::string& lastError() const { return error_; }

private:
    std::filesystem::path file_;
    SiteLayout layout_;
    bool loaded_ = false;
    bool loadedClean_ = true;
    bool backupPending_ = false;
    std::string error_;
};

} // namespace vn
