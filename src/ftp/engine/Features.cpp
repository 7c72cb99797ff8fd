#include "ftp/engine/Features.h"

#include <cctype>
#include <ctime>

#include "ftp/engine/ControlConnection.h"
#include "ftp/engine/listing/Mlsd.h"

namespace vn {

namespace {

std::string upper(std::string_view s) {
    std::string u(s);
    for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

} // namespace

FtpFeatures FtpFeatures::fromReply(const Reply& reply) {
    FtpFeatures f;
    if (!reply.complete || reply.lines.empty() || reply.first().compare(0, 3, "211") != 0) return f;
    f.answered = true;
    // The feature lines sit between the first and the last line, each led by a blank.
    for (std::size_t i = 1; i + 1 < reply.lines.size(); ++i) {
        std::string_view line = reply.lines[i];
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
        auto blank = line.find(' ');
        const std::string name = upper(line.substr(0, blank));
        std::string_view args = blank == std::string_view::npos ? std::string_view{} : line.substr(blank + 1);
        if (name == "MLST" || name == "MLSD") {
            f.mlsd = true;
            f.mlstFacts = std::string(args.substr(0, 1024));
        } else if (name == "UTF8") {
            f.utf8 = true;
        } else if (name == "SIZE") {
            f.size = true;
        } else if (name == "MDTM") {
            f.mdtm = true;
        } else if (name == "MFMT") {
            f.mfmt = true;
        } else if (name == "EPSV") {
            f.epsv = true;
        } else if (name == "EPRT") {
            f.eprt = true;
        } else if (name == "REST" && upper(args).find("STREAM") != std::string::npos) {
            f.restStream = true;
        }
    }
    return f;
}

int epsvPortFromReply(const std::string& line) {
    auto open = line.find('(');
    if (open == std::string::npos) return -1;
    auto close = line.find(')', open);
    if (close == std::string::npos || close - open < 6) return -1;
    std::string_view inner(line.data() + open + 1, close - open - 1);
    const char d = inner.front();
    if (d < 33 || d > 126 || std::isdigit(static_cast<unsigned char>(d))) return -1;
    if (inner.size() < 5 || inner[1] != d || inner[2] != d || inner.back() != d) return -1;
    std::string_view digits = inner.substr(3, inner.size() - 4);
    if (digits.empty() || digits.size() > 5) return -1;
    int port = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return -1;
        port = port * 10 + (c - '0');
    }
    return port > 0 && port <= 65535 ? port : -1;
}

std::optional<std::int64_t> parseFtpTime(std::string_view text) { return parseMlsdTime(text); }

std::string formatFtpTime(std::int64_t seconds) {
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (!gmtime_r(&t, &tm)) return {};
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d%H%M%S", &tm);
    return buf;
}

} // namespace vn
