#include "common/IniFile.h"

#include "common/WholeIo.h"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <unordered_map>

namespace vn {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::string_view trim(std::string_view s) {
    auto b = s.find_first_not_of(kBlanks);
    if (b == std::string_view::npos) return {};
    auto e = s.find_last_not_of(kBlanks);
    return s.substr(b, e - b + 1);
}

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

bool hasLineBreaking(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// Names that would read back as something else once written are refused.
bool validSection(std::string_view s) {
    return !s.empty() && !hasLineBreaking(s) && s.find(']') == std::string_view::npos;
}

bool validKey(std::string_view k) {
    return !k.empty() && !hasLineBreaking(k) && k.find('=') == std::string_view::npos &&
           k.front() != '[' && k.front() != ';' && k.front() != '#';
}

struct Line {
    enum Kind { Other, Section, Key };
    std::string text;  // as in the file, without its line end
    Kind kind = Other;
    std::string name;  // section or key name, trimmed
    std::string value; // key value, trimmed
};

struct Document {
    bool bom = false;
    std::vector<Line> lines;

    // Index of the first header of the section, or npos.
    size_t findSection(std::string_view section) const {
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i].kind == Line::Section && sameName(lines[i].name, section)) return i;
        return npos;
    }
    // One past the last line that belongs to the section whose header is at h.
    size_t sectionEnd(size_t h) const {
        size_t i = h + 1;
        while (i < lines.size() && lines[i].kind != Line::Section) ++i;
        return i;
    }
    const Line* findKey(std::string_view section, std::string_view key) const {
        size_t h = findSection(section);
        if (h == npos) return nullptr;
        for (size_t i = h + 1, e = sectionEnd(h); i < e; ++i)
            if (lines[i].kind == Line::Key && sameName(lines[i].name, key)) return &lines[i];
        return nullptr;
    }
    static constexpr size_t npos = static_cast<size_t>(-1);
};

Line parseLine(std::string text) {
    Line l;
    std::string_view t = trim(text);
    if (!t.empty() && t.front() == '[') {
        auto close = t.find(']');
        if (close != std::string_view::npos) {
            l.kind = Line::Section;
            l.name = std::string(trim(t.substr(1, close - 1)));
        }
    } else if (!t.empty() && t.front() != ';' && t.front() != '#') {
        auto eq = t.find('=');
        if (eq != std::string_view::npos) {
            std::string_view k = trim(t.substr(0, eq));
            if (!k.empty()) {
                l.kind = Line::Key;
                l.name = std::string(k);
                l.value = std::string(trim(t.substr(eq + 1)));
            }
        }
    }
    l.text = std::move(text);
    return l;
}

Document parse(std::string_view data) {
    Document doc;
    if (data.substr(0, kBom.size()) == kBom) {
        doc.bom = true;
        data.remove_prefix(kBom.size());
    }
    while (!data.empty()) {
        auto nl = data.find('\n');
        std::string_view raw = data.substr(0, nl);
        data.remove_prefix(nl == std::string_view::npos ? data.size() : nl + 1);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        doc.lines.push_back(parseLine(std::string(raw)));
    }
    return doc;
}

// errno of the failure; ENOENT means "no file", which reads as empty.
int readAll(const fs::path& p, std::string& out) {
    out.clear();
    int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    char buf[16384];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            int e = errno;
            ::close(fd);
            return e;
        }
        if (n == 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return 0;
}

Document load(const fs::path& p) {
    std::string data;
    if (readAll(p, data) != 0) return {};
    return parse(data);
}

std::string serialize(const Document& doc) {
    std::string out;
    if (doc.bom) out += kBom;
    for (const auto& l : doc.lines) {
        out += l.text;
        out += '\n';
    }
    return out;
}

// The file a write must replace: a symbolic link is followed so the link survives.
fs::path writeTarget(const fs::path& p) {
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(p, ec))) {
        fs::path real = fs::weakly_canonical(p, ec);
        if (!ec) return real;
    }
    return p;
}

bool replaceAtomically(const fs::path& path, const std::string& data) {
    const fs::path target = writeTarget(path);
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";

    mode_t mode = 0600;
    uid_t uid = static_cast<uid_t>(-1);
    gid_t gid = static_cast<gid_t>(-1);
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) return false;
        mode = st.st_mode & 07777;
        uid = st.st_uid;
        gid = st.st_gid;
    } else if (errno != ENOENT) {
        return false;
    }

    std::string tmpl = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
    int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fchmod(fd, mode) == 0;
    if (ok && uid != static_cast<uid_t>(-1) && (uid != ::geteuid() || gid != ::getegid())) {
        // Only possible with the privilege to do so; the file keeps our owner otherwise.
        if (::fchown(fd, uid, gid) != 0) {
        }
    }
    ok = ok && writeFully(fd, data) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(tmpl.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(tmpl.c_str());
        return false;
    }
    // Make the rename itself durable.
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

// One mutex per file, shared by every instance in the process, so concurrent
// read-modify-write cycles never drop each other's changes.
std::mutex& fileMutex(const fs::path& p) {
    static std::mutex mapMutex;
    static std::unordered_map<std::string, std::unique_ptr<std::mutex>> mutexes;
    std::error_code ec;
    fs::path key = fs::absolute(p, ec);
    if (ec) key = p;
    fs::path canon = fs::weakly_canonical(key, ec);
    if (!ec) key = canon;
    key = key.lexically_normal();
    std::lock_guard<std::mutex> g(mapMutex);
    auto& m = mutexes[key.string()];
    if (!m) m = std::make_unique<std::mutex>();
    return *m;
}

template <class Edit>
bool modify(const fs::path& path, Edit edit) {
    std::lock_guard<std::mutex> g(fileMutex(path));
    std::string data;
    int err = readAll(path, data);
    // An unreadable file must not be replaced by what little we know of it.
    if (err != 0 && err != ENOENT) return false;
    Document doc = parse(data);
    bool changed = false;
    if (!edit(doc, changed)) return false;
    if (!changed) return true;
    return replaceAtomically(path, serialize(doc));
}

} // namespace

IniFile::IniFile(std::filesystem::path path) : path_(std::move(path)) {}

std::string IniFile::readString(std::string_view section, std::string_view key,
                                std::string_view def) const {
    Document doc = load(path_);
    const Line* l = doc.findKey(trim(section), trim(key));
    return l ? l->value : std::string(def);
}

long long IniFile::readInt(std::string_view section, std::string_view key, long long def) const {
    Document doc = load(path_);
    const Line* l = doc.findKey(trim(section), trim(key));
    if (!l) return def;
    std::string_view v = l->value;
    if (!v.empty() && v.front() == '+') {
        v.remove_prefix(1);
        if (v.empty() || v.front() == '-') return def;
    }
    long long out = 0;
    auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), out, 10);
    if (ec != std::errc() || ptr != v.data() + v.size() || v.empty()) return def;
    return out;
}

bool IniFile::writeString(std::string_view section, std::string_view key, std::string_view value) {
    section = trim(section);
    key = trim(key);
    if (!validSection(section) || !validKey(key) || hasLineBreaking(value)) return false;
    return modify(path_, [&](Document& doc, bool& changed) {
        changed = true;
        size_t h = doc.findSection(section);
        if (h == Document::npos) {
            if (!doc.lines.empty() && !trim(doc.lines.back().text).empty())
                doc.lines.push_back(parseLine(""));
            doc.lines.push_back(parseLine("[" + std::string(section) + "]"));
            doc.lines.push_back(parseLine(std::string(key) + "=" + std::string(value)));
            return true;
        }
        size_t e = doc.sectionEnd(h);
        for (size_t i = h + 1; i < e; ++i) {
            Line& l = doc.lines[i];
            if (l.kind == Line::Key && sameName(l.name, key)) {
                // Keep the key as the file spells it.
                l = parseLine(l.name + "=" + std::string(value));
                return true;
            }
        }
        // After the section's last non-blank line, so a blank separator stays in place.
        size_t at = e;
        while (at > h + 1 && trim(doc.lines[at - 1].text).empty()) --at;
        doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(at),
                         parseLine(std::string(key) + "=" + std::string(value)));
        return true;
    });
}

bool IniFile::writeInt(std::string_view section, std::string_view key, long long value) {
    return writeString(section, key, std::to_string(value));
}

bool IniFile::deleteKey(std::string_view section, std::string_view key) {
    section = trim(section);
    key = trim(key);
    return modify(path_, [&](Document& doc, bool& changed) {
        size_t h = doc.findSection(section);
        if (h == Document::npos) return true;
        // Every copy in the section goes, or a duplicate would surface as the value.
        size_t e = doc.sectionEnd(h);
        for (size_t i = e; i-- > h + 1;) {
            if (doc.lines[i].kind == Line::Key && sameName(doc.lines[i].name, key)) {
                doc.lines.erase(doc.lines.begin() + static_cast<std::ptrdiff_t>(i));
                changed = true;
            }
        }
        return true;
    });
}

bool IniFile::deleteSection(std::string_view section) {
    section = trim(section);
    return modify(path_, [&](Document& doc, bool& changed) {
        // Every copy goes, or a later duplicate would surface as the section.
        for (size_t h; (h = doc.findSection(section)) != Document::npos;) {
            size_t e = doc.sectionEnd(h);
            doc.lines.erase(doc.lines.begin() + static_cast<std::ptrdiff_t>(h),
                            doc.lines.begin() + static_cast<std::ptrdiff_t>(e));
            changed = true;
        }
        return true;
    });
}

bool IniFile::hasKey(std::string_view section, std::string_view key) const {
    Document doc = load(path_);
    return doc.findKey(trim(section), trim(key)) != nullptr;
}

std::vector<std::string> IniFile::keys(std::string_view section) const {
    Document doc = load(path_);
    std::vector<std::string> out;
    size_t h = doc.findSection(trim(section));
    if (h == Document::npos) return out;
    for (size_t i = h + 1, e = doc.sectionEnd(h); i < e; ++i) {
        const Line& l = doc.lines[i];
        if (l.kind != Line::Key) continue;
        bool seen = false;
        for (const auto& k : out) seen = seen || sameName(k, l.name);
        if (!seen) out.push_back(l.name);
    }
    return out;
}

} // namespace vn
