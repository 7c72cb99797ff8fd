#pragma once
// Copy and paste between this machine and the servers of one explorer
// window, in all four directions: CopiarElement (one entry) and
// CopiarDirectori (a folder tree), and the paste of a clipboard with the cut
// that follows it. Runs on the window's worker thread; questions go through
// the engine's prompter and block until answered, the total gauge through
// FtpSink::totalProgress. The caller lowers the cancel flag before each
// operation, as for every other one; Abort stops at the next check.
//
// Every routine says what became of its entry (Copied, Skipped, Failed,
// Cancelled); a folder is Copied only when its whole tree was. A cut deletes
// exactly the entries its copy reported Copied, children first, then each
// folder only when it is empty; what stays is named in the log.
#include <cstdint>
#include <string>
#include <vector>

#include "ftp/engine/FtpEngine.h"
#include "ftp/engine/copy/Clipboard.h"
#include "ftp/engine/copy/LocalFiles.h"
#include "ftp/engine/copy/TempFiles.h"
#include "ftp/engine/transfer/Transfer.h"

namespace vn {

// One side of a copy: this machine, or a live session of the engine. The
// address, when given, must be the session's dotted address; a session that
// has ended (or an address that does not match) is never replaced by another.
struct Place {
    SessionId session = 0; // 0: this machine
    std::string address;   // empty for this machine
    bool remote() const { return session != 0; }
};
inline Place placeOf(const ClipEntry& e) { return {e.session, e.address}; }

// Where a paste goes: a folder path ending with "/" on a place.
struct Destination {
    Place place;
    std::string folder;
};

struct PasteResult {
    int copied = 0, skipped = 0, failed = 0; // entries, by what became of their copy
    int deleted = 0, notDeleted = 0;         // sources of a cut (notDeleted: failed or kept by RecycleBin)
    bool cancelled = false;                  // the user aborted; the rest was not pasted
    bool nothingToPaste = false;
};

class FtpCopier {
public:
    FtpCopier(FtpEngine& engine, FtpTransfer& transfer, TempFiles& temp);

    // The transfer type button pressed in the window (Auto until set).
    void setTransferMode(TransferMode mode) { mode_ = mode; }
    // How a cut removes local sources (RecycleBin); readRecycleMode() until set.
    void setRecycleMode(RecycleMode mode) { recycle_ = mode; }

    // Copies every entry of the clipboard into dest.folder, in order, then
    // for a cut deletes each source whose copy was Copied. "There is nothing
    // to paste." when it holds no entry. An entry whose session is no longer
    // open is logged and skipped.
    PasteResult paste(const Clipboard& clip, const Destination& dest);

    // One file, link or (local) folder S into the folder D (ending with "/").
    TransferResult CopiarElement(const Place& source, const Place& destination, const std::string& destFolder,
                                 const std::string& sourcePath);
    // The folder tree S as the folder P (made when missing; P ending with "/"
    // means that folder itself).
    TransferResult CopiarDirectori(const Place& source, const Place& destination, const std::string& destPath,
                                   const std::string& sourceFolder);

    // The total gauge: starts it at `steps` (CopiarDirectori adds each
    // folder's entries, each finished step advances it).
    void startTotal(std::uint64_t steps);
    std::uint64_t totalDone() const { return done_; }

    // The temporary file of a copy from session src to session dst, in the
    // window's own TEMP folder: "temp" + src + dst + ".tmp".
    static std::string serverTempName(SessionId src, SessionId dst);
    // Removes the window's temporary files (closing the window); other
    // windows' files stay.
    void cleanTempFiles() { temp_.clean(); }

    static constexpr int kMaxDepth = 64;

    // ---- texts ----
    static std::string replaceQuestion(const std::string& target);
    static std::string folderExistsQuestion(const std::string& folder);
    static std::string subFolderMessage(const std::string& source);

private:
    struct Side {
        Place place;
        std::string dotted; // the live session's address
        int port = 0;
    };

    TransferResult element(const Side& src, const Side& dst, const std::string& destFolder,
                           const std::string& sourcePath, int depth);
    TransferResult tree(const Side& src, const Side& dst, const std::string& destPath, const std::string& sourceFolder,
                        int depth);
    bool resolve(const Place& p, const std::string& path, Side& out);
    static bool sameFileSystem(const Side& a, const Side& b);
    bool samePlace(const Side& src, const Side& dst, const std::string& s, const std::string& t) const;
    bool insideSource(const Side& src, const Side& dst, const std::string& s, const std::string& f) const;

    TransferResult localToLocal(const std::string& s, const std::string& t);
    TransferResult upload(const Side& dst, const std::string& s, const std::string& t);
    TransferResult download(const Side& src, const std::string& s, const std::string& t);
    TransferResult serverToServer(const Side& src, const Side& dst, const std::string& s, const std::string& t);
    // What a cut may delete: a source the copy reported copied (a folder
    // after its entries, whole when everything in it was copied).
    struct CopiedEntry {
        std::string path;
        bool folder = false;
        bool whole = true;
    };
    bool deleteCopied(const ClipEntry& e, const std::vector<CopiedEntry>& copied, bool downloaded);
    bool deleteLocalFile(const std::string& path);
    // The names a folder still holds, for the log.
    std::string remainingIn(const ClipEntry& e, const std::string& folder);

    bool cancelled() const { return engine_.wait().cancelled(); }
    void log(const std::string& line) { engine_.sink().log(line); }
    void step();
    void advance(std::uint64_t n);
    void addSteps(std::uint64_t n);
    void reportTotal();

    FtpEngine& engine_;
    FtpTransfer& transfer_;
    TempFiles& temp_;
    TransferMode mode_ = TransferMode::Auto;
    RecycleMode recycle_;
    std::uint64_t done_ = 0, total_ = 0;
    std::vector<CopiedEntry>* journal_ = nullptr;
};

} // namespace vn
