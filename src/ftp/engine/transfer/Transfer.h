#pragma once
// Downloading one remote file to a local path (fesGET) and uploading one local
// file to a remote name (fesPUT) on a session of an FtpEngine: the transfer
// type, resuming through the resume store and the Smart Resume question,
// progress and speed lines, cancellation, and the delete-after-transfer of the
// source. Runs on the engine's thread; questions go through the engine's sink
// and prompter and block until answered.
#include <chrono>
#include <cstdint>
#include <functional>
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
// The shortest decimal form of v (12.345, 523.5, 3).
std::string shortestDecimal(double v);
// "[" + rate + "] KBytes/sec" or "[" + rate + "] Bytes/sec"-style parts: the
// rate of bytes in elapsedMs, and its unit.
struct RateText {
    std::string number;
    const char* unit; // "KBytes/sec" or "Bytes/sec"
};
RateText rateText(std::uint64_t bytes, std::int64_t elapsedMs);
// "Transmitting file... [12.346] KBytes/sec (1.5 secs)"
std::string speedLine(std::uint64_t bytes, std::int64_t elapsedMs);
// "·)Time needed = 1.5 secs."
std::string timeNeededLine(std::int64_t elapsedMs);
// "·)Speed = 12.346 KBytes/sec"
std::string speedSummaryLine(std::uint64_t bytes, std::int64_t elapsedMs);
// The size a RETR reply announces: the digits after its first "(" up to the
// next blank or the end; 0 (unknown) when there are none.
std::uint64_t expectedSizeFromReply(const std::string& line);

class FtpTransfer {
public:
    explicit FtpTransfer(FtpEngine& engine);

    // Sends the TYPE the pressed button asks for this file and remembers it for
    // the session's next transfer (no resume in ASCII mode). False when TYPE failed.
    bool SeleccionaTYPE(SessionId id, TransferMode pressed, const std::string& fileName);
    // The TYPE last set by SeleccionaTYPE on the session; 'A' (the protocol's
    // default) until then.
    char typeInForce(SessionId id) const;

    TransferResult fesGET(SessionId id, const std::string& remoteName, const std::string& localPath);
    TransferResult fesPUT(SessionId id, const std::string& localPath, const std::string& remoteName);

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

    // Called after DeleteFileAfterDownload/DeleteFileAfterUpload removed a
    // source, so the window refreshes its current folder.
    void setRefresh(std::function<void()> refresh) { refresh_ = std::move(refresh); }
    // The least time between two progress updates (gauge and the two lines);
    // the last state is always shown. Default 100 ms.
    void setProgressInterval(std::chrono::milliseconds interval) { interval_ = interval; }

    // Data moves in whole PacketLength blocks (clamped to 1..32768), as many
    // per system call as fit in kIoTarget.
    static constexpr std::size_t kIoTarget = 256 * 1024;
    static std::size_t ioSize(int packetLength);

private:
    class Progress;
    bool keepSource_ = false;

    void deleteLocal(const std::string& path);
    // Why a transfer stopped early: the user's Abort, or a failure.
    TransferResult stopped(SessionId id);
    // The completion reply of RETR or STOR and the success lines.
    TransferResult complete(SessionId id, const char* command, const std::string& shownName, std::uint64_t moved,
                            std::chrono::steady_clock::time_point start, Progress& progress);

    FtpEngine& engine_;
    std::map<SessionId, char> type_;
    std::function<void()> refresh_;
    std::chrono::milliseconds interval_{100};
};

} // namespace vn
