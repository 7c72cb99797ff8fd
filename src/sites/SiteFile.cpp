#include "sites/SiteFile.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vn {
namespace {

constexpr std::string_view kSeparator = "-----";
constexpr std::string_view kFolder = "Folder";
constexpr std::string_view kNode = "Node";
constexpr std::string_view kEol = "\r\n";

constexpr size_t kMaxWarnings = 50;

bool isLineBreakOrNul(char c) { return c == '\r' || c == '\n' || c == '\0'; }

std::string stripped(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s)
        if (!isLineBreakOrNul(c)) out += c;
    return out;
}

// What the writer puts on a line must be readable again: longer text is cut.
// A scrambled byte takes at most two bytes, hence the password's own limit.
constexpr size_t kMaxPassword = kSiteFileMaxLine / 2 - 4;

std::string fitted(std::string_view s, size_t max) {
    std::string out = stripped(s);
    if (out.size() > max) out.resize(max);
    return out;
}

// Empty alternate slots (2..5) are dropped so that the connect never tries an
// empty address; slot 1 keeps its place as the main address.
void compactAddresses(TSiteRec& r) {
    int count = r.AddressCount < 0 ? 0 : r.AddressCount > 5 ? 5 : r.AddressCount;
    std::array<std::string, 5> out;
    int n = 0;
    for (int i = 0; i < count; ++i)
        if (i == 0 || !r.Addresses[i].empty()) out[n++] = std::move(r.Addresses[i]);
    r.Addresses = std::move(out);
    r.AddressCount = n;
}

// ---------------------------------------------------------------- reading

class Lines {
public:
    enum Status { Ok, End, TooLong };

    explicit Lines(std::string_view data) : data_(data) {}

    Status next(std::string_view& line) {
        if (pos_ >= data_.size()) return End;
        size_t eol = data_.find('\n', pos_);
        size_t stop = eol == std::string_view::npos ? data_.size() : eol;
        line = data_.substr(pos_, stop - pos_);
        pos_ = eol == std::string_view::npos ? data_.size() : eol + 1;
        ++number_;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return line.size() > kSiteFileMaxLine ? TooLong : Ok;
    }

    int number() const { return number_; }

private:
    std::string_view data_;
    size_t pos_ = 0;
    int number_ = 0;
};

std::optional<int> parseInt(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return std::nullopt;
    int v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size()) return std::nullopt;
    return v;
}

struct FlatRecord {
    int level;
    TSiteRec rec;
};

class Reader {
public:
    Reader(std::string_view bytes, const SiteLayoutInfo& layout) : lines_(bytes), layout_(layout) {}

    SiteReadResult run(std::string_view bytes, bool truncated);

private:
    // Each returns false when reading must stop (a warning has been given).
    bool line(std::string_view& out, const char* what) {
        switch (lines_.next(out)) {
        case Lines::Ok: return true;
        case Lines::End: warn("the file ends inside a record (" + std::string(what) + " missing)"); return false;
        case Lines::TooLong: warnAt("line too long (" + std::string(what) + ")"); return false;
        }
        return false;
    }
    bool number(int& out, const char* what) {
        std::string_view s;
        if (!line(s, what)) return false;
        auto v = parseInt(s);
        if (!v) {
            warnAt(std::string(what) + " is not a number");
            return false;
        }
        out = *v;
        return true;
    }
    bool text(std::string& out, const char* what) {
        std::string_view s;
        if (!line(s, what)) return false;
        out = stripped(s);
        if (out.size() != s.size()) warnAt(std::string(what) + ": CR or NUL characters removed");
        return true;
    }
    bool record(FlatRecord& r, bool& stopAfter);

    void warn(std::string msg) {
        result_.clean = false;
        if (result_.warnings.size() < kMaxWarnings)
            result_.warnings.push_back(std::move(msg));
        else if (result_.warnings.size() == kMaxWarnings)
            result_.warnings.push_back("further warnings omitted");
    }
    void warnAt(const std::string& msg) { warn("line " + std::to_string(lines_.number()) + ": " + msg); }

    Lines lines_;
    const SiteLayoutInfo& layout_;
    SiteReadResult result_;
};

bool Reader::record(FlatRecord& r, bool& stopAfter) {
    TSiteRec& rec = r.rec;
    std::string_view kind;
    if (!number(r.level, "level")) return false;
    if (r.level < 0) {
        warnAt("negative level taken as 0");
        r.level = 0;
    }
    if (!line(kind, "kind")) return false;
    if (kind == kFolder) {
        rec.IsFolder = true;
    } else if (kind != kNode) {
        warnAt("expected \"Folder\" or \"Node\"");
        return false;
    }
    if (!text(rec.HostName, "host name") || !text(rec.Address, "address") ||
        !number(rec.Port, "port") || !text(rec.Login, "login"))
        return false;
    if (layout_.scrambler) {
        int length = 0;
        std::string_view scrambled;
        if (!number(length, "password length") || !line(scrambled, "password")) return false;
        auto plain = layout_.scrambler->desencriptar(scrambled, length);
        if (!plain) {
            warnAt("the password does not fit its length; password cleared");
        } else {
            rec.Password = stripped(*plain);
            if (rec.Password.size() != plain->size())
                warnAt("password: CR, LF or NUL characters removed");
        }
    } else if (!text(rec.Password, "password")) {
        return false;
    }
    if (!text(rec.RemoteDir, "remote folder") || !number(rec.LoginType, "login type") ||
        !number(rec.TransferType, "transfer type") || !text(rec.Comments, "comments"))
        return false;

    if (rec.IsFolder && layout_.folderPortZero) rec.Port = 0;
    if (layout_.layout == SiteLayout::Ftp) {
        if (rec.LoginType != 0 && rec.LoginType != 1) {
            warnAt("login type out of range; taken as 0");
            rec.LoginType = 0;
        }
        if (rec.TransferType < 0 || rec.TransferType > 2) {
            warnAt("transfer type out of range; taken as 2");
            rec.TransferType = 2;
        }
    } else if (layout_.layout == SiteLayout::Telnet && rec.LoginType != 0 && rec.LoginType != 1) {
        warnAt("login type out of range; taken as 1");
        rec.LoginType = 1;
    }

    if (layout_.ftpExtras) {
        int passive = 0, count = 0;
        if (!number(passive, "passive")) return false;
        if (passive != 0 && passive != 1) warnAt("passive is neither 0 nor 1");
        rec.Passive = passive != 0;
        if (!number(count, "address count")) return false;
        if (count < 0 || count > 5) {
            // The lines that follow cannot be told apart: keep this record
            // without addresses and read no further.
            warnAt("address count out of range 0..5; reading stopped");
            stopAfter = true;
            return true;
        }
        rec.AddressCount = count;
        for (int i = 0; i < count; ++i)
            if (!text(rec.Addresses[i], "address slot")) return false;
        int before = rec.AddressCount;
        compactAddresses(rec);
        if (rec.AddressCount != before) warnAt("empty alternate addresses dropped");
    }
    return true;
}

SiteReadResult Reader::run(std::string_view bytes, bool truncated) {
    if (truncated) warn("the file is larger than 8 MiB; only its beginning was read");
    if (bytes.empty()) {
        warn("the file is empty");
        return std::move(result_);
    }
    int count = 0;
    if (!number(count, "node count")) return std::move(result_);
    if (count < 0) {
        warnAt("negative node count taken as 0");
        count = 0;
    }

    std::vector<FlatRecord> flat;
    bool stop = false;
    bool ended = false;  // the final "-----" was read
    for (int i = 0; i < count && !stop; ++i) {
        std::string_view sep;
        Lines::Status st = lines_.next(sep);
        if (st == Lines::End) {
            warn("the file ends after " + std::to_string(i) + " of " + std::to_string(count) + " records");
            stop = true;
            break;
        }
        if (st == Lines::TooLong || sep != kSeparator) {
            warnAt("expected \"-----\"");
            stop = true;
            break;
        }
        // A separator followed by nothing is the final one: the count was too big.
        Lines probe = lines_;
        std::string_view rest;
        Lines::Status ps;
        while ((ps = probe.next(rest)) == Lines::Ok && rest.empty()) {
        }
        if (ps == Lines::End) {
            warn("the file holds " + std::to_string(i) + " records, its count says " + std::to_string(count));
            ended = true;
            stop = true;
            break;
        }
        FlatRecord r{};
        if (!record(r, stop)) {
            stop = true;
            break;
        }
        flat.push_back(std::move(r));
    }
    if (!stop) {
        std::string_view last;
        Lines::Status st = lines_.next(last);
        if (st == Lines::Ok && last == kSeparator) {
            ended = true;
        } else if (st == Lines::End) {
            warn("the final \"-----\" is missing");
        } else {
            warnAt("expected the final \"-----\"");
        }
    }
    if (ended) {
        std::string_view extra;
        Lines::Status st;
        while ((st = lines_.next(extra)) == Lines::Ok && extra.empty()) {
        }
        if (st != Lines::End) warnAt("data after the final \"-----\" ignored");
    }

    // Rebuild the nesting from the levels: a record deeper than the previous
    // node is its child; otherwise it goes under the nearest node above with a
    // lower level, or to the top.
    std::vector<std::pair<int, SiteNode*>> chain;  // levels strictly increase along it
    bool tooDeep = false;
    for (auto& r : flat) {
        while (!chain.empty() && chain.back().first >= r.level) chain.pop_back();
        if (chain.size() >= size_t(kSiteTreeMaxDepth)) {
            if (!tooDeep)
                warn("nesting deeper than " + std::to_string(kSiteTreeMaxDepth) +
                     " levels; deeper nodes were moved up");
            tooDeep = true;
            chain.resize(kSiteTreeMaxDepth - 1);
        }
        auto& siblings = chain.empty() ? result_.tree : chain.back().second->children;
        siblings.push_back(SiteNode{std::move(r.rec), {}});
        chain.emplace_back(r.level, &siblings.back());
    }
    return std::move(result_);
}

// ---------------------------------------------------------------- writing

size_t countNodes(const SiteTree& nodes) {
    size_t n = 0;
    for (const auto& node : nodes) n += 1 + countNodes(node.children);
    return n;
}

class Writer {
public:
    explicit Writer(const SiteLayoutInfo& layout) : layout_(layout) {}

    std::string run(const SiteTree& tree) {
        number(static_cast<long long>(countNodes(tree)));
        nodes(tree, 0);
        put(kSeparator);
        return std::move(out_);
    }

private:
    void put(std::string_view s) {
        out_ += s;
        out_ += kEol;
    }
    void text(std::string_view s) { put(fitted(s, kSiteFileMaxLine)); }
    void number(long long v) { put(std::to_string(v)); }

    void nodes(const SiteTree& list, int depth) {
        for (const auto& node : list) {
            record(node.rec, depth);
            nodes(node.children, depth + 1);
        }
    }

    void record(const TSiteRec& r, int depth) {
        put(kSeparator);
        number(depth);
        put(r.IsFolder ? kFolder : kNode);
        text(r.HostName);
        text(r.Address);
        number(r.IsFolder && layout_.folderPortZero ? 0 : r.Port);
        text(r.Login);
        if (layout_.scrambler) {
            std::string plain = fitted(r.Password, kMaxPassword);
            number(static_cast<long long>(plain.size()));
            put(layout_.scrambler->encriptar(plain));
        } else {
            text(r.Password);
        }
        text(r.RemoteDir);
        number(r.LoginType);
        number(r.TransferType);
        text(r.Comments);
        if (layout_.ftpExtras) {
            number(r.Passive ? 1 : 0);
            TSiteRec c = r;
            for (auto& a : c.Addresses) a = fitted(a, kSiteFileMaxLine);
            compactAddresses(c);
            number(c.AddressCount);
            for (int i = 0; i < c.AddressCount; ++i) put(c.Addresses[i]);
        }
    }

    const SiteLayoutInfo& layout_;
    std::string out_;
};

// ---------------------------------------------------------------- files

std::string sysError(const char* what, const std::filesystem::path& p) {
    return std::string(what) + " " + p.string() + ": " + std::strerror(errno);
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(size_t(n));
    }
    return true;
}

enum class ReadStatus { Ok, Missing, Failed };

// Reads up to `limit` bytes of the file (limit 0: all of it).
ReadStatus readFile(const std::filesystem::path& file, std::string& out, size_t limit,
                    std::string* error) {
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return ReadStatus::Missing;
        if (error) *error = sysError("cannot open", file);
        return ReadStatus::Failed;
    }
    out.clear();
    char buf[65536];
    for (;;) {
        size_t want = sizeof buf;
        if (limit && limit - out.size() < want) want = limit - out.size();
        if (want == 0) break;
        ssize_t n = ::read(fd, buf, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (error) *error = sysError("cannot read", file);
            ::close(fd);
            return ReadStatus::Failed;
        }
        if (n == 0) break;
        out.append(buf, size_t(n));
    }
    ::close(fd);
    return ReadStatus::Ok;
}

} // namespace

const SiteLayoutInfo& siteLayoutInfo(SiteLayout layout) {
    static const SiteLayoutInfo layouts[] = {
        {SiteLayout::Ftp, "siteman.dat", &ftpScrambler(), true, false},
        {SiteLayout::Finger, "fingerman.dat", nullptr, false, false},
        {SiteLayout::Ping, "pingman.dat", nullptr, false, false},
        {SiteLayout::Telnet, "telnetman.dat", &telnetScrambler(), false, true},
        {SiteLayout::Whois, "Whoisman.dat", nullptr, false, false},
    };
    for (const auto& l : layouts)
        if (l.layout == layout) return l;
    return layouts[0];
}

SiteReadResult readSites(std::string_view bytes, SiteLayout layout) {
    bool truncated = bytes.size() > kSiteFileMaxBytes;
    if (truncated) bytes = bytes.substr(0, kSiteFileMaxBytes);
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    Reader reader(bytes, siteLayoutInfo(layout));
    return reader.run(bytes, truncated);
}

std::string writeSites(const SiteTree& tree, SiteLayout layout) {
    return Writer(siteLayoutInfo(layout)).run(tree);
}

SiteReadResult loadSites(const std::filesystem::path& file, SiteLayout layout) {
    std::string bytes, error;
    switch (readFile(file, bytes, kSiteFileMaxBytes + 1, &error)) {
    case ReadStatus::Missing: return {};
    case ReadStatus::Failed: {
        SiteReadResult r;
        r.exists = true;
        r.clean = false;
        r.warnings.push_back(error);
        return r;
    }
    case ReadStatus::Ok: break;
    }
    SiteReadResult r = readSites(bytes, layout);
    r.exists = true;
    return r;
}

bool replaceFileAtomically(const std::filesystem::path& file, std::string_view bytes,
                           std::string* error) {
    std::filesystem::path dir = file.parent_path();
    std::string templ = (dir / ("." + file.filename().string() + ".XXXXXX")).string();
    int fd = ::mkostemp(templ.data(), O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = sysError("cannot create a temporary file for", file);
        return false;
    }
    bool ok = ::fchmod(fd, 0600) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    if (!ok && error) *error = sysError("cannot write", templ);
    if (::close(fd) != 0 && ok) {
        ok = false;
        if (error) *error = sysError("cannot write", templ);
    }
    if (ok && ::rename(templ.c_str(), file.c_str()) != 0) {
        ok = false;
        if (error) *error = sysError("cannot replace", file);
    }
    if (!ok) {
        ::unlink(templ.c_str());
        return false;
    }
    // Make the rename itself durable.
    int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

bool saveSites(const std::filesystem::path& file, const SiteTree& tree, SiteLayout layout,
               std::string* error) {
    return replaceFileAtomically(file, writeSites(tree, layout), error);
}

SiteStore::SiteStore(std::filesystem::path file, SiteLayout layout)
    : file_(std::move(file)), layout_(layout) {}

std::filesystem::path SiteStore::backupPath() const {
    std::filesystem::path p = file_;
    p += ".bak";
    return p;
}

SiteReadResult SiteStore::load() {
    SiteReadResult r = loadSites(file_, layout_);
    loaded_ = true;
    loadedClean_ = r.clean;
    backupPending_ = !r.clean && r.exists;
    return r;
}

bool SiteStore::save(const SiteTree& tree) {
    error_.clear();
    if (!loaded_) load();  // never replace a file we have not looked at without a backup
    if (backupPending_) {
        std::string original;
        switch (readFile(file_, original, 0, &error_)) {
        case ReadStatus::Failed: return false;
        case ReadStatus::Missing: break;
        case ReadStatus::Ok:
            if (!replaceFileAtomically(backupPath(), original, &error_)) return false;
            break;
        }
        backupPending_ = false;
    }
    return saveSites(file_, tree, layout_, &error_);
}

} // namespace vn
