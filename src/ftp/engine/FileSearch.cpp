#include "ftp/engine/FileSearch.h"

#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>

#include <algorithm>
#include <filesystem>
#include <locale>
#include <set>
#include <utility>
#include <vector>

#include "ftp/engine/listing/Listing.h"

namespace vn {

namespace {

const std::locale& foldLocale() {
    static const std::locale loc = [] {
        try {
            return std::locale("C.UTF-8");
        } catch (...) {
            return std::locale::classic();
        }
    }();
    return loc;
}

// The next character of a UTF-8 text, folded to lower case; a byte that starts
// no valid sequence stands for itself (above the Unicode range, so it never
// equals a character).
char32_t nextFolded(std::string_view s, std::size_t& i) {
    const auto b = static_cast<unsigned char>(s[i]);
    int len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
    char32_t c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    bool ok = len > 0 && i + static_cast<std::size_t>(len) <= s.size();
    for (int k = 1; ok && k < len; ++k) {
        const auto cont = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        if ((cont & 0xC0) != 0x80) ok = false;
        c = (c << 6) | (cont & 0x3F);
    }
    if (!ok) {
        ++i;
        return 0x110000 + b;
    }
    i += static_cast<std::size_t>(len);
    return static_cast<char32_t>(std::tolower(static_cast<wchar_t>(c), foldLocale()));
}

// The order the file list shows: letter case aside, then byte order.
bool nameLess(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const char32_t x = nextFolded(a, i), y = nextFolded(b, j);
        if (x != y) return x < y;
    }
    if (i < a.size() || j < b.size()) return j < b.size();
    return a < b;
}

// The system's own folders (processes, devices, kernel objects): the local
// counterpart of hidden and system folders, never searched.
bool systemFolder(const std::string& folder) {
    struct statfs fs {};
    if (::statfs(folder.c_str(), &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEVPTS_SUPER_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case BPF_FS_MAGIC:
        return true;
    default:
        return false;
    }
}

std::string withSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

} // namespace

bool searchNameMatches(std::string_view name, std::string_view text) {
    std::size_t i = 0, j = 0;
    while (i < name.size() && j < text.size())
        if (nextFolded(name, i) != nextFolded(text, j)) return false;
    return i == name.size() && j == text.size();
}

FileSearch::FileSearch(std::string text, SearchSink& sink, std::function<bool()> cancelled)
    : text_(std::move(text)), sink_(sink), cancelled_(std::move(cancelled)) {}

void FileSearch::match(const std::string& folder, const std::string& name) {
    if (!searchNameMatches(name, text_)) return;
    ++summary_.matches;
    sink_.found(folder, name);
}

SearchSummary FileSearch::local(const std::string& start) {
    namespace fs = std::filesystem;
    summary_ = {};
    std::set<std::pair<dev_t, ino_t>> seen;
    // Each level's names are read (and sorted) before the walk goes down, so an
    // open folder handle is never held per level.
    std::function<bool(const std::string&, int)> walk = [&](const std::string& folder, int depth) -> bool {
        struct stat st {};
        if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            ++summary_.unreadable;
            return depth > 0;
        }
        if (!seen.insert({st.st_dev, st.st_ino}).second) return true;
        if (depth > 0 && systemFolder(folder)) return true;
        sink_.searching(folder);
        struct Item {
            std::string name;
            bool folder;
        };
        std::vector<Item> items;
        std::error_code ec;
        fs::directory_iterator it(fs::path(folder), fs::directory_options::skip_permission_denied, ec);
        if (ec) {
            ++summary_.unreadable;
            return depth > 0;
        }
        for (const fs::directory_iterator end; it != end; it.increment(ec)) {
            if (ec) {
                ++summary_.unreadable;
                break;
            }
            std::string name = it->path().filename().string();
            if (name.empty() || name[0] == '.') continue; // hidden
            std::error_code kindError;
            const auto own = it->symlink_status(kindError);
            const bool isLink = fs::is_symlink(own);
            const bool isFolder = fs::is_directory(isLink ? it->status(kindError) : own);
            // A link to a folder is neither read nor a match: it could lead
            // out of the start folder or back into it.
            if (isLink && isFolder) continue;
            items.push_back({std::move(name), isFolder});
            if (cancelled()) return false;
        }
        std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return nameLess(a.name, b.name); });
        for (const Item& item : items) {
            if (!item.folder) match(folder, item.name);
            else if (depth + 1 > kMaxDepth) ++summary_.tooDeep;
            else if (!walk(folder + item.name + "/", depth + 1)) return false;
            if (cancelled()) return false;
        }
        return true;
    };
    const bool whole = walk(withSlash(start), 0);
    summary_.outcome = cancelled() ? Outcome::Aborted : whole ? Outcome::Done : Outcome::Failed;
    return summary_;
}

SearchSummary FileSearch::remote(FtpEngine& engine, SessionId id, const std::string& start) {
    summary_ = {};
    bool lost = false;
    // MLSD describes a link by what it reaches: its "unique" fact tells a
    // folder already walked (a link cycle) apart.
    std::set<std::string> seen;
    std::function<bool(const std::string&, int)> walk = [&](const std::string& folder, int depth) -> bool {
        sink_.searching(folder);
        auto listed = engine.listFolder(id, folder, DataMode::Session);
        if (cancelled()) return false;
        if (!engine.connection(id)) {
            lost = true;
            return false;
        }
        if (!listed) {
            ++summary_.unreadable;
            return depth > 0;
        }
        for (const ListingEntry& e : listed->entries) {
            // The listing already leaves out names that could leave the
            // folder ("..", "a/b", empty); never trust that here either.
            if (IsValidEntryName(e.name)) {
                if (e.kind != ListingEntry::Kind::Folder) match(folder, e.name);
                else if (!e.unique.empty() && !seen.insert(e.unique).second) continue;
                else if (depth + 1 > kMaxDepth) ++summary_.tooDeep;
                else if (!walk(folder + e.name + "/", depth + 1)) return false;
            }
            if (cancelled()) return false;
        }
        return true;
    };
    // The start folder's own identity, from its parent's listing, so a link
    // back to it is known too.
    const std::string from = withSlash(start);
    const FtpFeatures* features = engine.features(id);
    if (features && features->mlsd && from.size() > 1) {
        const std::size_t cut = from.find_last_of('/', from.size() - 2);
        const std::string parent = from.substr(0, cut + 1), name = from.substr(cut + 1, from.size() - cut - 2);
        if (auto listed = engine.listFolder(id, parent, DataMode::Session))
            for (const ListingEntry& e : listed->entries)
                if (e.name == name && e.kind == ListingEntry::Kind::Folder && !e.unique.empty()) seen.insert(e.unique);
    }
    const bool whole = !cancelled() && walk(from, 0);
    if (cancelled()) summary_.outcome = engine.lastOutcome() == Outcome::TimedOut ? Outcome::TimedOut : Outcome::Aborted;
    else if (lost) summary_.outcome = Outcome::PeerClosed;
    else summary_.outcome = whole ? Outcome::Done : Outcome::Failed;
    return summary_;
}

} // namespace vn
