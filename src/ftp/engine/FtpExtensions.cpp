// The server's extensions: FEAT and what it lists (UTF-8 names, EPSV/EPRT,
// SIZE, MDTM, MFMT). MLSD listings are in FtpData.cpp with LIST.
#include <charconv>

#include "ftp/engine/FtpEngine.h"

namespace vn {

void FtpEngine::askFeatures(SessionId id) {
    Session* s = find(id);
    if (!s) return;
    s->conn->drain();
    if (!sendCommand(id, "FEAT")) return;
    Reply r = readReply(id);
    if (wait_.cancelled()) return;
    log(">FEAT");
    logReply(r);
    s = find(id);
    if (!s) return;
    s->features = FtpFeatures::fromReply(r);
    if (!s->features.answered) log("-The server lists no features: LIST and PASV are used.");
    if (s->features.utf8) {
        // Names go out and come back as the bytes they are; UTF-8 is what
        // the file list decodes first.
        if (!sendCommand(id, "OPTS", "UTF8 ON")) return;
        Reply u = readReply(id);
        if (wait_.cancelled()) return;
        log(">OPTS UTF8 ON");
        logReply(u);
    }
}

const FtpFeatures* FtpEngine::features(SessionId id) const {
    auto it = sessions_.find(id);
    return it == sessions_.end() ? nullptr : &it->second.features;
}

void FtpEngine::setFeatures(SessionId id, const FtpFeatures& f) {
    if (Session* s = find(id)) s->features = f;
}

bool FtpEngine::fesEPSV(SessionId id, int& port, bool& refused) {
    refused = false;
    ControlConnection* c = connection(id);
    if (!c) return false;
    c->drain();
    if (!sendCommand(id, "EPSV")) return false;
    Reply r = readReply(id);
    if (wait_.cancelled()) return false;
    log(">EPSV");
    logReply(r);
    if (r.code() != '2') {
        refused = r.code() == '5' || r.code() == '4';
        return false;
    }
    int p = epsvPortFromReply(r.first());
    if (p < 0) {
        log(">ERROR: The EPSV reply names no usable port.");
        return false;
    }
    port = p;
    if (Session* s = find(id)) s->info.pasvPort = p;
    return true;
}

bool FtpEngine::fesEPRT(SessionId id, const Endpoint& local, int port) {
    return announceListener(id, "EPRT |" + std::string(local.ipv6() ? "2" : "1") + "|" + local.address + "|" +
                                    std::to_string(port) + "|");
}

std::optional<std::string> FtpEngine::askPath(SessionId id, const std::string& verb, const std::string& path) {
    ControlConnection* c = connection(id);
    if (!c) return std::nullopt;
    c->drain();
    if (!sendCommand(id, verb, path)) return std::nullopt;
    Reply r = readReply(id);
    if (wait_.cancelled()) return std::nullopt;
    log(">" + verb + " " + path);
    logReply(r);
    const std::string& l = r.first();
    if (l.compare(0, 4, "213 ") != 0) return std::nullopt;
    std::string value = l.substr(4);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
    return value;
}

std::optional<std::uint64_t> FtpEngine::fesSIZE(SessionId id, const std::string& path) {
    const FtpFeatures* f = features(id);
    if (!f || !f->size) return std::nullopt;
    auto v = askPath(id, "SIZE", path);
    if (!v || v->empty()) return std::nullopt;
    std::uint64_t size = 0;
    auto [p, ec] = std::from_chars(v->data(), v->data() + v->size(), size);
    if (ec != std::errc() || p != v->data() + v->size()) return std::nullopt;
    return size;
}

std::optional<std::int64_t> FtpEngine::fesMDTM(SessionId id, const std::string& path) {
    const FtpFeatures* f = features(id);
    if (!f || !f->mdtm) return std::nullopt;
    auto v = askPath(id, "MDTM", path);
    if (!v) return std::nullopt;
    return parseFtpTime(*v);
}

bool FtpEngine::fesMFMT(SessionId id, const std::string& path, std::int64_t seconds) {
    const FtpFeatures* f = features(id);
    if (!f || !f->mfmt) return false;
    const std::string stamp = formatFtpTime(seconds);
    if (stamp.empty()) return false;
    return exchange(id, "MFMT", stamp + " " + path, '2');
}

} // namespace vn
