// The explorer's folder and file commands on a server, and the recursive
// removal of a remote folder.
#include "ftp/engine/FtpEngine.h"

namespace vn {

bool FtpEngine::exchange(SessionId id, const std::string& verb, const std::string& argument, char success) {
    if (!connection(id)) return false;
    if (!sendCommand(id, verb, argument)) return false;
    Reply r = readReply(id);
    if (wait_.cancelled()) return false;
    log(">" + (argument.empty() ? verb : verb + " " + argument));
    logReply(r);
    return r.code() == success;
}

bool FtpEngine::fesCDUP(SessionId id) {
    if (!connection(id)) return false;
    bool ok = exchange(id, "CDUP", {}, '2');
    if (wait_.cancelled()) return false;
    if (!ok) log(">Error changing to Parent Directory");
    fesPWD(id);
    return ok && !wait_.cancelled();
}

bool FtpEngine::fesMKD(SessionId id, const std::string& folder) {
    bool ok = exchange(id, "MKD", folder, '2');
    if (!ok && !wait_.cancelled() && connection(id)) log(">Error creating Directory");
    return ok;
}

bool FtpEngine::fesRMD(SessionId id, const std::string& folder) { return exchange(id, "RMD", folder, '2'); }

bool FtpEngine::fesDELETEFILE(SessionId id, const std::string& path) {
    bool ok = exchange(id, "DELE", path, '2');
    if (!ok && !wait_.cancelled() && connection(id)) log(">Error deleting file");
    return ok;
}

bool FtpEngine::fesRENAME(SessionId id, const std::string& from, const std::string& to) {
    // Both names are checked before anything goes out, so a refused new name
    // never leaves the server waiting for an RNTO.
    if (hasLineBreak(to)) {
        log(">ERROR: Line breaks are not allowed in 'RNTO' arguments; nothing was sent.");
        return false;
    }
    if (!exchange(id, "RNFR", from, '3')) return false;
    return exchange(id, "RNTO", to, '2');
}

std::string FtpEngine::fesSYST(SessionId id) {
    if (!sendCommand(id, "SYST")) return {};
    Reply r = readReply(id);
    if (wait_.cancelled()) return {};
    log(">SYST");
    logReply(r);
    if (r.code() == '2') {
        prompter_.message(r.first());
        return r.first();
    }
    sink_.beep();
    return {};
}

bool FtpEngine::EsborrarDirectoriRemot(SessionId id, const std::string& folder) {
    if (folder.empty() || !connection(id)) return false;
    return removeTree(id, folder, 0);
}

bool FtpEngine::removeTree(SessionId id, const std::string& folder, int depth) {
    // An empty folder goes with its first RMD.
    if (fesRMD(id, folder)) return true;
    if (wait_.cancelled() || !connection(id)) return false;
    if (depth >= kMaxDeleteDepth) {
        log(">ERROR: Folders nested deeper than " + std::to_string(kMaxDeleteDepth) + " levels; " + folder +
            " was not deleted.");
        return false;
    }
    const std::string base = folder.back() == '/' ? folder : folder + "/";
    auto parsed = listFolder(id, folder, DataMode::Session);
    if (!parsed) {
        if (!wait_.cancelled() && connection(id)) log(">ERROR deleting.");
        return false;
    }
    // The listing left out (and logged) names that could leave the folder.
    // An entry that stays makes the final RMD fail; the others still go.
    for (const auto& e : parsed->entries) {
        if (wait_.cancelled() || !connection(id)) return false;
        if (e.kind == ListingEntry::Kind::Folder) removeTree(id, base + e.name + "/", depth + 1);
        else fesDELETEFILE(id, base + e.name);
    }
    if (wait_.cancelled() || !connection(id)) return false;
    if (fesRMD(id, folder)) return true;
    if (!wait_.cancelled()) log(">ERROR deleting.");
    return false;
}

} // namespace vn
