#include "ftp/engine/transfer/ResumeStore.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "common/DataFolder.h"
#include "common/IniFile.h"

namespace vn {
namespace {

// Every window's worker reaches the one file; a look-up is a read-modify-write.
std::mutex g_storeMutex;

constexpr std::array<const char*, 9> kFields = {"TIPUS", "IP",   "FITXERORIGEN", "FITXERDESTI", "MARKER",
                                                "DATA",  "PARCIAL", "FILEID",     "MTIME"};
enum Field { Tipus, Ip, Origen, Desti, Marker, Data, Parcial, FileId, Mtime };

// A record as it stands in the file: a missing key stays missing when the
// record moves to another number.
struct RawRecord {
    std::array<std::optional<std::string>, 9> f;
    bool operator==(const RawRecord&) const = default;
    std::string get(Field k, const char* def = "") const { return f[k] ? *f[k] : def; }
};

RawRecord readRaw(const IniFile& ini, int n) {
    RawRecord r;
    std::string key = std::to_string(n);
    for (std::size_t i = 0; i < kFields.size(); ++i)
        if (ini.hasKey(kFields[i], key)) r.f[i] = ini.readString(kFields[i], key);
    return r;
}

bool writeRaw(IniFile& ini, int n, const RawRecord& r) {
    std::string key = std::to_string(n);
    bool ok = true;
    for (std::size_t i = 0; i < kFields.size(); ++i)
        ok = (r.f[i] ? ini.writeString(kFields[i], key, *r.f[i]) : ini.deleteKey(kFields[i], key)) && ok;
    return ok;
}

std::uint64_t parseMarker(const std::string& text) {
    std::uint64_t v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size()) return 0;
    return v;
}

int total(const IniFile& ini) {
    long long n = ini.readInt("REST", "TOTAL", 0);
    return n < 0 ? 0 : n > 1000000 ? 1000000 : static_cast<int>(n);
}

long long dayValue(CivilDate d) { return d.year * 365LL + d.month * 30LL + d.day; }

ResumeRecord toRecord(const RawRecord& r) {
    return {r.get(Tipus),  r.get(Ip),      r.get(Origen), r.get(Desti), parseMarker(r.get(Marker, "0")),
            r.get(Data, "01/01/2000"), r.get(Parcial), r.get(FileId), r.get(Mtime)};
}

bool sameIdentity(const RawRecord& r, std::string_view type, std::string_view ip, std::string_view source,
                  std::string_view destination) {
    // The direction is part of the identity: on Linux a local path can equal
    // a remote one, and an upload's marker must not resume a download.
    return r.get(Tipus) == type && r.get(Ip) == ip && r.get(Origen) == source && r.get(Desti) == destination;
}

// Rewrites the store without the records `drop` refuses to keep; the matching
// record's fields (the last one) go to `match`. Holds the caller's lock.
template <class Drop>
void sweep(IniFile& ini, Drop drop, std::optional<RawRecord>* match = nullptr) {
    const int n = total(ini);
    std::vector<RawRecord> before, kept;
    for (int i = 1; i <= n; ++i) {
        RawRecord r = readRaw(ini, i);
        before.push_back(r);
        bool matched = false;
        if (drop(r, matched)) {
            if (matched && match) *match = r;
            continue;
        }
        if (matched && match) *match = r;
        kept.push_back(std::move(r));
    }
    if (kept.size() == before.size()) return;
    // Dense and in order: the survivors move down with their fields unchanged.
    for (std::size_t i = 0; i < kept.size(); ++i)
        if (!(kept[i] == before[i])) writeRaw(ini, static_cast<int>(i) + 1, kept[i]);
    for (std::size_t i = kept.size(); i < before.size(); ++i) writeRaw(ini, static_cast<int>(i) + 1, {});
    ini.writeInt("REST", "TOTAL", static_cast<long long>(kept.size()));
}

bool expired(const RawRecord& r, CivilDate today) {
    // An unreadable date cannot be judged: such a record is dropped like an expired one.
    auto written = parseRestDate(r.get(Data, "01/01/2000"));
    return !written || restRecordExpired(*written, today);
}

bool appendLocked(IniFile& ini, const ResumeRecord& r, CivilDate date) {
    int n = total(ini) + 1;
    std::string key = std::to_string(n);
    // The order of the original writer: the identity, the count, then marker and date.
    bool ok = ini.writeString("TIPUS", key, r.type) && ini.writeString("IP", key, r.ip) &&
              ini.writeString("FITXERORIGEN", key, r.source) && ini.writeString("FITXERDESTI", key, r.destination) &&
              ini.writeInt("REST", "TOTAL", n) && ini.writeString("MARKER", key, std::to_string(r.marker)) &&
              ini.writeString("DATA", key, formatRestDate(date));
    if (ok && !r.partial.empty()) ok = ini.writeString("PARCIAL", key, r.partial);
    if (ok && !r.fileId.empty()) ok = ini.writeString("FILEID", key, r.fileId);
    if (ok && !r.mtime.empty()) ok = ini.writeString("MTIME", key, r.mtime);
    return ok;
}

} // namespace

CivilDate todayLocal() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

std::string formatRestDate(CivilDate d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", d.day, d.month, d.year);
    return buf;
}

std::optional<CivilDate> parseRestDate(std::string_view text) {
    int parts[3] = {0, 0, 0};
    std::size_t pos = 0;
    for (int i = 0; i < 3; ++i) {
        std::size_t end = i < 2 ? text.find('/', pos) : text.size();
        if (end == std::string_view::npos) return std::nullopt;
        std::string_view field = text.substr(pos, end - pos);
        std::size_t maxDigits = i < 2 ? 2 : 4;
        if (field.empty() || field.size() > maxDigits || (i == 2 && field.size() != 4)) return std::nullopt;
        auto [p, ec] = std::from_chars(field.data(), field.data() + field.size(), parts[i]);
        if (ec != std::errc() || p != field.data() + field.size()) return std::nullopt;
        pos = end + 1;
    }
    CivilDate d{parts[2], parts[1], parts[0]};
    if (d.month < 1 || d.month > 12 || d.day < 1 || d.day > 31) return std::nullopt;
    return d;
}

bool restRecordExpired(CivilDate written, CivilDate today) { return dayValue(today) - dayValue(written) > 30; }

ResumeStore::ResumeStore() : ResumeStore(dataFile("rest.ini")) {}
ResumeStore::ResumeStore(std::filesystem::path file) : path_(std::move(file)) {}

bool ResumeStore::append(const ResumeRecord& r, CivilDate date) {
    std::lock_guard lock(g_storeMutex);
    IniFile ini(path_);
    return appendLocked(ini, r, date);
}

std::uint64_t ResumeStore::take(std::string_view type, std::string_view ip, std::string_view source,
                                std::string_view destination, CivilDate today) {
    std::lock_guard lock(g_storeMutex);
    IniFile ini(path_);
    std::optional<RawRecord> match;
    sweep(
        ini,
        [&](const RawRecord& r, bool& matched) {
            matched = sameIdentity(r, type, ip, source, destination);
            return matched || expired(r, today);
        },
        &match);
    return match ? parseMarker(match->get(Marker, "0")) : 0;
}

std::optional<ResumeRecord> ResumeStore::find(std::string_view type, std::string_view ip, std::string_view source,
                                              std::string_view destination, CivilDate today) {
    std::lock_guard lock(g_storeMutex);
    IniFile ini(path_);
    std::optional<RawRecord> match;
    sweep(
        ini,
        [&](const RawRecord& r, bool& matched) {
            matched = sameIdentity(r, type, ip, source, destination);
            return !matched && expired(r, today);
        },
        &match);
    if (!match) return std::nullopt;
    return toRecord(*match);
}

bool ResumeStore::put(const ResumeRecord& r, CivilDate date) {
    std::lock_guard lock(g_storeMutex);
    IniFile ini(path_);
    sweep(ini, [&](const RawRecord& x, bool& matched) {
        matched = sameIdentity(x, r.type, r.ip, r.source, r.destination);
        return matched;
    });
    return appendLocked(ini, r, date);
}

bool ResumeStore::remove(std::string_view type, std::string_view ip, std::string_view source,
                         std::string_view destination) {
    std::lock_guard lock(g_storeMutex);
    IniFile ini(path_);
    bool any = false;
    sweep(ini, [&](const RawRecord& x, bool& matched) {
        matched = sameIdentity(x, type, ip, source, destination);
        any = any || matched;
        return matched;
    });
    return any;
}

std::vector<ResumeRecord> ResumeStore::records() const {
    std::lock_guard lock(g_storeMutex);
    IniFile ini(path_);
    std::vector<ResumeRecord> out;
    for (int i = 1, n = total(ini); i <= n; ++i) out.push_back(toRecord(readRaw(ini, i)));
    return out;
}

std::string resumeAddress(FtpEngine& engine, SessionId id) {
    std::string ip;
    if (ControlConnection* c = engine.connection(id))
        if (auto peer = c->socket().peerAddress()) ip = peer->address;
    if (ip.empty())
        if (auto info = engine.sessionInfo(id)) ip = info->dotted;
    return ip;
}

bool EscriuRESTfile(FtpEngine& engine, SessionId id, const std::string& type, const std::string& source,
                    const std::string& destination, std::uint64_t marker) {
    ResumeRecord r;
    r.type = type;
    r.ip = resumeAddress(engine, id);
    r.source = source;
    r.destination = destination;
    r.marker = marker;
    return ResumeStore().append(r, todayLocal());
}

std::uint64_t EstaEnRESTFile(FtpEngine& engine, SessionId id, const std::string& type,
                             const std::string& serverAddress, const std::string& source,
                             const std::string& destination) {
    if (!engine.ComprobarREST(id)) return 0;
    return ResumeStore().take(type, serverAddress, source, destination, todayLocal());
}

} // namespace vn
