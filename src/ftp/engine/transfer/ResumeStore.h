#pragma once
// The resume store "rest.ini": one record per interrupted transfer, so the next
// transfer of the same file between the same two places can continue where the
// last one stopped. Records are numbered 1..N; each field lives in a section of
// its own under the record's number:
//   [REST] TOTAL=N
//   [TIPUS] n=RETR|STOR  [IP] n=dotted server  [FITXERORIGEN] n=source
//   [FITXERDESTI] n=destination  [MARKER] n=bytes moved  [DATA] n=dd/mm/yyyy
// and, so that a resume never appends to a file that is not the one left:
//   [PARCIAL] n=the partial file of a download (a hidden file beside the
//   destination, renamed to it once the whole file has arrived)
//   [FILEID] n=device:inode and [MTIME] n=modification time (ns) of the
//   partial file (download) or of the source (upload); MTIME is missing when
//   the program stopped before it could note how far the transfer got.
// The store is shared by every window of the process; each call opens and
// closes it and holds a process-wide lock meanwhile.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/engine/FtpEngine.h"

namespace vn {

struct CivilDate {
    int year = 2000;
    int month = 1; // 1..12
    int day = 1;   // 1..31
};

CivilDate todayLocal();
std::string formatRestDate(CivilDate d); // dd/mm/yyyy
// Strict dd/mm/yyyy (one or two digits for day and month); nullopt when unreadable.
std::optional<CivilDate> parseRestDate(std::string_view text);
// Y*365 + M*30 + D of today exceeds the record's by more than 30.
bool restRecordExpired(CivilDate written, CivilDate today);

struct ResumeRecord {
    std::string type; // "RETR" or "STOR"
    std::string ip;
    std::string source;
    std::string destination;
    std::uint64_t marker = 0;
    std::string date; // as stored
    std::string partial; // download: the partial file's path
    std::string fileId;  // "device:inode" of the partial file or the upload's source
    std::string mtime;   // its modification time in ns; empty when not noted
};

class ResumeStore {
public:
    ResumeStore(); // dataFile("rest.ini")
    explicit ResumeStore(std::filesystem::path file);

    const std::filesystem::path& path() const { return path_; }

    // Appends a record dated `date`; false when the store could not be written.
    bool append(const ResumeRecord& r, CivilDate date);
    // The resume offset for this transfer (0: none) and the store cleaned: every
    // record that matches (type, ip, source, destination, exact and
    // case-sensitive) is removed and the last one's MARKER returned; every other
    // record older than 30 days, or whose date cannot be read, is removed too.
    std::uint64_t take(std::string_view type, std::string_view ip, std::string_view source,
                       std::string_view destination, CivilDate today);
    std::vector<ResumeRecord> records() const;

    // The last record matching (type, ip, source, destination), which stays in
    // the store; expired records are removed as by take().
    std::optional<ResumeRecord> find(std::string_view type, std::string_view ip, std::string_view source,
                                     std::string_view destination, CivilDate today);
    // Replaces every record of r's identity by r, dated `date`.
    bool put(const ResumeRecord& r, CivilDate date);
    // Removes every record of this identity; true when there was one.
    bool remove(std::string_view type, std::string_view ip, std::string_view source, std::string_view destination);

private:
    std::filesystem::path path_;
};

// Records an interrupted transfer of session id (the server's address is the
// peer of its control connection). type "RETR": source remote name, destination
// local path; "STOR": source local path, destination remote name.
bool EscriuRESTfile(FtpEngine& engine, SessionId id, const std::string& type, const std::string& source,
                    const std::string& destination, std::uint64_t marker);

// The address a session's records are kept under: the peer of its control
// connection, else the session's dotted address.
std::string resumeAddress(FtpEngine& engine, SessionId id);

// The "REST 0" probe, then the look-up: the resume offset of this transfer, 0
// when the server cannot restart (the store is then neither read nor changed)
// or when there is no record.
std::uint64_t EstaEnRESTFile(FtpEngine& engine, SessionId id, const std::string& type,
                             const std::string& serverAddress, const std::string& source,
                             const std::string& destination);

} // namespace vn
