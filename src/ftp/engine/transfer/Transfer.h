#pragma once
// Downloading one remote file to a local path (fesGET) and uploading one local
// file to a remote name (fesPUT) on a session of an FtpEngine: the transfer
// type, resuming through the resume store and the Smart Resume question,
// progress and speed lines, cancellation, and the delete-after-transfer of the
// source. Runs on the engine's thread; questions go through the engine's sink
// and prompter and block until answered.
//
// A transfer is Copied only when the server confirmed it after all the data
// (and, in binary mode, when no fewer bytes came than the server announced);
// every other end is a failure with an ">ERROR" line or the user's Abort, and
// what moved goes into the resume store.
#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "ftp/engine/FtpEngine.h"

namespace vn {

// What became of one transfer; callers (copy and paste, drag and drop, open)
// act on it: only Copied may be followed by deleting the source of a move.
enum class TransferResult {
    Copied,   // the whole file arrived and the server confirmed it
    Skipped,  // the user chose not to transfer it (replace? No / DON'T TRANSFER)
    Failed,   // refused, a local or network error, a time-out
    Cancelled // the user aborted
};

// The transfer type buttons: ASCIISB, BinarySB, AutoTYPESB.
enum class TransferMode { Ascii, Binary, Auto };

// The TYPE letter a file is sent with: Auto gives 'A' for ".txt", ".htm" and
// ".html" (any case) and 'I' for every other name.
char typeLetterFor(TransferMode mode, std::string_view fileName);

// The text after the last "/" of a remote path (the file name).
std::string retornamfitxerdesti(const std::string& remotePath);

// ---- texts of the progress and summary lines ----
// Elapsed time is measured on the monotonic clock to the microsecond; a time
// under one microsecond counts as one, so bytes that moved never show a zero
// speed.
using Elapsed = std::chrono::microseconds;
// The shortest decimal form of v (12.345, 523.5, 3).
std::string shortestDecimal(double v);
// "[" + rate + "] KBytes/sec" or "[" + rate + "] Bytes/sec"-style parts: the
// rate of bytes in elapsed, and its unit.
struct RateText {
    std::string number;
    const char* unit; // "KBytes/sec" or "Bytes/sec"
};
RateText rateText(std::uint64_t bytes, Elapsed elapsed);
// "Transmitting file... [12.346] KBytes/sec (1.5 secs)"
std::string speedLine(std::uint64_t bytes, Elapsed elapsed);
// "·)Time needed = 1.5 secs."
std::string timeNeededLine(Elapsed elapsed);
// "·)Speed = 12.346 KBytes/sec"
std::string speedSummaryLine(std::uint64_t bytes, Elapsed elapsed);
// The size a RETR reply announces: the digits after its first "(" up to the
// next blank or the end; 0 (unknown) when there are none.
std::uint64_t expectedSizeFromReply(const std::string& line);

// Whether a transfer is the user's own request or an automatic retry of one:
// a retry asks no question (the user answered them for the first attempt)
// and continues an interrupted transfer from where it stopped.
enum class Attempt { First, Retry };

// One transfer skeleton runs both directions: drain, the resume decision and
// its question, the data connection, REST, the command, the data loop, the
// completion reply, and on every way out the resume record. The two policies
// (Download, Upload in Transfer.cpp) supply what differs: the local file, the
// resume check, how a block moves and what success does.
//
// A download never writes under its final name: the data goes to a hidden
// partial file beside it, made under a name nobody can guess, and is renamed
// to the final name once the server has confirmed the whole file. So a file
// under its final name is always whole; a partial one always has its record
// in the resume store (written before the first byte when resuming, after
// kRecordAfter of data otherwise, and at every interruption), and the next
// transfer of that file offers Smart Resume.
class FtpTransfer {
public:
    explicit FtpTransfer(FtpEngine& engine);

    // Sends the TYPE the pressed button asks for this file when the session
    // is not already in it, and remembers it for the session's next transfer
    // (no resume in ASCII mode). False when TYPE failed.
    bool SeleccionaTYPE(SessionId id, TransferMode pressed, const std::string& fileName);
    // The TYPE last set by SeleccionaTYPE on the session; 'A' (the protocol's
    // default) until then.
    char typeInForce(SessionId id) const;

    TransferResult fesGET(SessionId id, const std::string& remoteName, const std::string& localPath,
                          Attempt attempt = Attempt::First);
    TransferResult fesPUT(SessionId id, const std::string& localPath, const std::string& remoteName,
                          Attempt attempt = Attempt::First);

    // Forgets an interrupted download of remoteName into localPath: its
    // record, and its partial file when that is still the one written.
    void discardDownload(SessionId id, const std::string& remoteName, const std::string& localPath);
    // Forgets an interrupted upload's record.
    void discardUpload(SessionId id, const std::string& localPath, const std::string& remoteName);

    // While one lives, DeleteFileAfterDownload/DeleteFileAfterUpload do not
    // apply: the transfers it covers move temporary copies (opening a remote
    // file, server-to-server copies through "TEMP").
    class KeepSource {
    public:
        explicit KeepSource(FtpTransfer& t) : t_(t), was_(t.keepSource_) { t_.keepSource_ = true; }
        ~KeepSource() { t_.keepSource_ = was_; }
        KeepSource(const KeepSource&) = delete;
        KeepSource& operator=(const KeepSource&) = delete;

    private:
        FtpTransfer& t_;
        bool was_;
    };

    // The least time between two progress updates (gauge and the two lines);
    // the last state is always shown. Default 100 ms.
    void setProgressInterval(std::chrono::milliseconds interval) { interval_ = interval; }

    // A fresh download runs this long before its record is written: an INI
    // write costs milliseconds, and a file that arrives sooner is quicker to
    // fetch again than to record.
    static constexpr std::chrono::milliseconds kRecordAfter{1000};
    // The suffix of partial files.
    static constexpr const char* kPartialSuffix = ".vnpart";

    // Data moves in whole PacketLength blocks (clamped to 1..32768), as many
    // per system call as fit in kIoTarget.
    static constexpr std::size_t kIoTarget = 256 * 1024;
    static std::size_t ioSize(int packetLength);

private:
    class Progress;
    class Leg;
    class Download;
    class Upload;
    friend class Download;
    friend class Upload;

    // The skeleton both directions run.
    TransferResult run(SessionId id, Leg& leg);
    // Why a transfer stopped early: the user's Abort, or a failure.
    TransferResult stopped(SessionId id);
    // Whether the server can restart transfers: asked once per session, in
    // the binary mode a resume runs in, and only when there is something to resume.
    bool canResume(SessionId id);
    void deleteLocal(const std::string& path);

    FtpEngine& engine_;
    bool keepSource_ = false;
    std::map<SessionId, char> type_;
    std::map<SessionId, bool> canRest_;
    std::chrono::milliseconds interval_{100};
};

} // namespace vn
