#pragma once
// What a server said it can do in its answer to FEAT (asked once per session,
// right after login), and what the session learned on the way (an EPSV the
// server refused is not tried again).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vn {

struct Reply;

struct FtpFeatures {
    bool answered = false; // FEAT got a 211 reply
    bool mlsd = false;     // MLST listed: MLSD listings
    bool utf8 = false;
    bool size = false;
    bool mdtm = false;
    bool mfmt = false;
    bool epsv = false;
    bool eprt = false;
    bool restStream = false;
    std::string mlstFacts; // the MLST line's facts, as listed
    bool epsvRefused = false; // the server refused EPSV once: PASV from then on

    // The features of a FEAT reply; a refusal (or no reply) gives none.
    static FtpFeatures fromReply(const Reply& reply);
};

// The port of an EPSV reply ("229 Entering Extended Passive Mode (|||6446|)"):
// the text between "(" and ")" is d d d port d with one delimiter d. -1 when
// malformed or port 0 (an address in the reply is never used).
int epsvPortFromReply(const std::string& line);

// "YYYYMMDDHHMMSS[.sss]" (MDTM, MFMT, the MLSD modify fact; UTC) to seconds
// since the epoch; nullopt when malformed or out of range.
std::optional<std::int64_t> parseFtpTime(std::string_view text);
// Seconds since the epoch to "YYYYMMDDHHMMSS" (UTC).
std::string formatFtpTime(std::int64_t seconds);

} // namespace vn
