#include "ftp/engine/copy/Copier.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "ftp/engine/copy/CopyPaths.h"
#include "ftp/engine/transfer/ResumeStore.h"

namespace vn {
namespace {

const char* const kTryingAgain = ">Trying again...";

// A folder tree is Copied only when every part of it was.
TransferResult combine(TransferResult a, TransferResult b) {
    auto rank = [](TransferResult r) {
        switch (r) {
        case TransferResult::Copied: return 0;
        case TransferResult::Skipped: return 1;
        case TransferResult::Failed: return 2;
        case TransferResult::Cancelled: return 3;
        }
        return 2;
    };
    return rank(a) >= rank(b) ? a : b;
}

bool lstatOf(const std::string& path, struct stat& st) { return ::lstat(withoutSlash(path).c_str(), &st) == 0; }

std::string canonical(const std::string& path) {
    std::error_code ec;
    auto c = std::filesystem::weakly_canonical(withoutSlash(path), ec);
    return ec ? std::string() : c.string();
}

int attemptsFor(int retries) { return 1 + std::max(0, retries); }

// The retry counts are named from the server's side of the wire, as the
// Options window labels them: "Transmission re-tries" (TxRT) count the
// server transmitting, that is our downloads; "Reception re-tries" (RxRT)
// the server receiving, our uploads. Hence an upload retries RxRT times and a
// download TxRT times.
int uploadAttempts(const FtpSettings& s) { return attemptsFor(s.RxRT); }
int downloadAttempts(const FtpSettings& s) { return attemptsFor(s.TxRT); }

template <class F>
class AtExit {
public:
    explicit AtExit(F f) : f_(std::move(f)) {}
    ~AtExit() { f_(); }
    AtExit(const AtExit&) = delete;
    AtExit& operator=(const AtExit&) = delete;

private:
    F f_;
};

// Gauge steps of one entry: one per transfer, so two between servers.
std::uint64_t weight(bool srcRemote, bool dstRemote) { return srcRemote && dstRemote ? 2 : 1; }

} // namespace

FtpCopier::FtpCopier(FtpEngine& engine, FtpTransfer& transfer, TempFiles& temp)
    : engine_(engine), transfer_(transfer), temp_(temp), recycle_(readRecycleMode()) {}

std::string FtpCopier::serverTempName(SessionId src, SessionId dst) {
    return "temp" + std::to_string(src) + std::to_string(dst) + ".tmp";
}

std::string FtpCopier::replaceQuestion(const std::string& target) {
    return "The file " + target + " already exists.\rDo you want to replace it?";
}

std::string FtpCopier::folderExistsQuestion(const std::string& folder) {
    return "The folder " + folder +
           " already exists. If you continue all the repeated files will be replaced.\rDo you want to continue?";
}

std::string FtpCopier::subFolderMessage(const std::string& source) {
    return "The folder '" + source + "' can not be copied.\rThe Destination folder is a sub-folder of the Source folder.";
}

// ---- the total gauge ----

void FtpCopier::startTotal(std::uint64_t steps) {
    done_ = 0;
    total_ = steps;
    reportTotal();
}

void FtpCopier::addSteps(std::uint64_t n) {
    total_ += n;
    reportTotal();
}

void FtpCopier::step() {
    ++done_;
    reportTotal();
}

void FtpCopier::advance(std::uint64_t n) {
    if (n == 0) return;
    done_ += n;
    reportTotal();
}

void FtpCopier::reportTotal() { engine_.sink().totalProgress(done_, std::max(done_, total_)); }

// ---- places ----

bool FtpCopier::resolve(const Place& p, const std::string& path, Side& out) {
    out = Side{p, {}, 0};
    if (!p.remote()) {
        if (p.address.empty()) return true;
        log(">ERROR: " + path + " names a server address without a connection; it was not copied.");
        return false;
    }
    auto info = engine_.sessionInfo(p.session);
    if (!info || (!p.address.empty() && info->dotted != p.address)) {
        log(">ERROR: The connection to " + (p.address.empty() ? std::string("the server") : p.address) + " of " +
            path + " is no longer open; it was not copied.");
        return false;
    }
    out.dotted = info->dotted;
    out.port = info->port;
    return true;
}

// Two sessions to one server see one file system: a copy between them can
// overwrite its own source.
bool FtpCopier::sameFileSystem(const Side& a, const Side& b) {
    if (a.place.remote() != b.place.remote()) return false;
    if (!a.place.remote()) return true;
    return a.place.session == b.place.session || (a.dotted == b.dotted && a.port == b.port);
}

bool FtpCopier::samePlace(const Side& src, const Side& dst, const std::string& s, const std::string& t) const {
    if (!sameFileSystem(src, dst)) return false;
    if (withoutSlash(s) == withoutSlash(t)) return true;
    if (src.place.remote()) return false;
    struct stat a{}, b{};
    return lstatOf(s, a) && lstatOf(t, b) && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool FtpCopier::insideSource(const Side& src, const Side& dst, const std::string& s, const std::string& f) const {
    if (!sameFileSystem(src, dst)) return false;
    if (isSameOrBelow(s, f)) return true;
    if (src.place.remote()) return false;
    const std::string cs = canonical(s), cf = canonical(f);
    return !cs.empty() && !cf.empty() && isSameOrBelow(cs, cf);
}

// ---- the public routines ----

TransferResult FtpCopier::CopiarElement(const Place& source, const Place& destination, const std::string& destFolder,
                                        const std::string& sourcePath) {
    Side src, dst;
    if (!resolve(source, sourcePath, src) || !resolve(destination, sourcePath, dst)) return TransferResult::Failed;
    return element(src, dst, destFolder, sourcePath, 0);
}

TransferResult FtpCopier::CopiarDirectori(const Place& source, const Place& destination, const std::string& destPath,
                                          const std::string& sourceFolder) {
    Side src, dst;
    if (!resolve(source, sourceFolder, src) || !resolve(destination, sourceFolder, dst)) return TransferResult::Failed;
    return tree(src, dst, destPath, sourceFolder, 0);
}

TransferResult FtpCopier::element(const Side& src, const Side& dst, const std::string& destFolder,
                                  const std::string& sourcePath, int depth) {
    // Every entry takes its steps of the total gauge, however it ends.
    const std::uint64_t w = weight(src.place.remote(), dst.place.remote()), start = done_;
    AtExit fill([&] {
        if (done_ - start < w) advance(w - (done_ - start));
    });
    const std::string D = withSlash(destFolder);
    const std::string S = sourcePath;
    const std::string name = lastComponent(S);
    if (!isSafeComponent(name) || D.empty()) {
        log(">ERROR: '" + S + "' can not be copied to " + D + ".");
        return TransferResult::Failed;
    }
    const std::string T = D + name;

    if (src.place.remote()) {
        if (S.back() == '/') return tree(src, dst, T, S, depth);
    } else {
        struct stat st{};
        if (!lstatOf(S, st)) {
            log(">ERROR: " + S + " does not exist; it was not copied.");
            return TransferResult::Failed;
        }
        if (S_ISDIR(st.st_mode)) return tree(src, dst, T, withSlash(S), depth);
        const std::string s = withoutSlash(S);
        if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
            log("-" + s + " is not a file, a folder or a link; it was not copied.");
            return TransferResult::Skipped;
        }
        if (S_ISLNK(st.st_mode) && dst.place.remote()) {
            // A server cannot hold a link: a link to a file sends the file; a
            // linked folder is never entered.
            struct stat target{};
            if (::stat(s.c_str(), &target) != 0 || !S_ISREG(target.st_mode)) {
                log("-" + s + " is a link to a folder or to nothing; it was not copied.");
                return TransferResult::Skipped;
            }
        }
    }

    if (samePlace(src, dst, S, T)) {
        // Copying a file onto itself would copy nothing (and a cut would then
        // delete the only copy).
        engine_.sink().beep();
        log("-" + withoutSlash(S) + " is already in " + D + "; it was not copied.");
        return TransferResult::Skipped;
    }

    TransferResult r;
    if (!src.place.remote() && !dst.place.remote()) r = localToLocal(withoutSlash(S), T);
    else if (!src.place.remote()) r = upload(dst, withoutSlash(S), T);
    else if (!dst.place.remote()) r = download(src, S, T);
    else r = serverToServer(src, dst, S, T);
    if (r == TransferResult::Copied && journal_) journal_->push_back({withoutSlash(S), false, true});
    return r;
}

TransferResult FtpCopier::tree(const Side& src, const Side& dst, const std::string& destPath,
                               const std::string& sourceFolder, int depth) {
    // A folder is one more step once its entries are done.
    const std::uint64_t w = weight(src.place.remote(), dst.place.remote());
    AtExit own([&] { advance(w); });
    const std::string S = withSlash(sourceFolder);
    const std::string F = withSlash(destPath);
    if (S.size() < 2 || F.empty()) {
        log(">ERROR: '" + sourceFolder + "' can not be copied to " + destPath + ".");
        return TransferResult::Failed;
    }
    if (insideSource(src, dst, S, F)) {
        engine_.sink().beep();
        if (samePlace(src, dst, S, F)) {
            log("-" + withoutSlash(S) + " is already there; it was not copied.");
        } else {
            engine_.prompter().message(subFolderMessage(sourceFolder));
        }
        return TransferResult::Skipped;
    }
    if (depth >= kMaxDepth) {
        log(">ERROR: Folders nested deeper than " + std::to_string(kMaxDepth) + " levels; " + S + " was not copied.");
        return TransferResult::Failed;
    }

    bool made = true;
    if (dst.place.remote()) {
        // A refusal (the folder may exist already) is logged by the engine;
        // what the entries below make of it decides.
        made = engine_.fesMKD(dst.place.session, withoutSlash(F));
    } else {
        struct stat st{};
        const std::string f = withoutSlash(F);
        if (::lstat(f.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) {
                // Never write through a link: it may lead out of the destination.
                log(">ERROR: " + f + " exists and is not a folder; " + S + " was not copied.");
                return TransferResult::Failed;
            }
            if (!engine_.prompter().askYesNo(folderExistsQuestion(F))) return TransferResult::Skipped;
        } else if (::mkdir(f.c_str(), 0777) != 0) {
            log(">ERROR creating folder " + f + " (" + std::strerror(errno) + ")");
            return TransferResult::Failed;
        }
    }
    if (cancelled()) return TransferResult::Cancelled;

    TransferResult result = TransferResult::Copied;
    std::size_t children = 0;
    if (src.place.remote()) {
        auto names = engine_.FindLIST(src.place.session, withoutSlash(S));
        if (cancelled()) return TransferResult::Cancelled;
        if (!names) return TransferResult::Failed;
        addSteps(names->size() * w);
        children = names->size();
        for (const auto& n : *names) {
            if (!isSafeComponent(n.name)) {
                log(">ERROR: The server listed a name in " + S + " that can not be copied; it was left out.");
                result = combine(result, TransferResult::Failed);
                continue;
            }
            TransferResult r = n.kind == 'd' ? tree(src, dst, F + n.name, S + n.name, depth + 1)
                                             : element(src, dst, F, S + n.name, depth + 1);
            result = combine(result, r);
            if (cancelled()) return TransferResult::Cancelled;
        }
    } else {
        std::vector<std::string> names;
        DIR* d = ::opendir(withoutSlash(S).c_str());
        if (!d) {
            log(">ERROR reading folder " + S + " (" + std::strerror(errno) + ")");
            return TransferResult::Failed;
        }
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(std::move(n));
        }
        ::closedir(d);
        addSteps(names.size() * w);
        children = names.size();
        for (const auto& n : names) {
            struct stat st{};
            TransferResult r;
            if (::lstat((S + n).c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                r = tree(src, dst, F + n, S + n + "/", depth + 1);
            else
                r = element(src, dst, F, S + n, depth + 1);
            result = combine(result, r);
            if (cancelled()) return TransferResult::Cancelled;
        }
    }
    // An empty folder the server would not make is not known to be there.
    if (!made && children == 0) result = TransferResult::Failed;
    // After its entries: a cut empties a folder before it removes it.
    if (journal_) journal_->push_back({S, true, result == TransferResult::Copied});
    return result;
}

// ---- the four directions ----

TransferResult FtpCopier::localToLocal(const std::string& s, const std::string& t) {
    struct stat st{};
    const bool exists = ::lstat(t.c_str(), &st) == 0;
    if (exists && !engine_.prompter().askYesNo(replaceQuestion(t))) {
        step();
        return TransferResult::Skipped;
    }
    FtpSink& sink = engine_.sink();
    LocalCopyResult r = copyLocalEntry(s, t, exists, [&](std::uint64_t done, std::uint64_t total) {
        sink.fileProgress(done, total);
        return !cancelled();
    });
    step();
    switch (r.status) {
    case LocalCopyStatus::Copied:
        return TransferResult::Copied;
    case LocalCopyStatus::Cancelled:
        return TransferResult::Cancelled;
    case LocalCopyStatus::NotCopyable:
        log("-" + r.error + "; it was not copied.");
        return TransferResult::Skipped;
    case LocalCopyStatus::Failed:
        break;
    }
    log(">ERROR copying " + s + " (" + r.error + ")");
    return TransferResult::Failed;
}

TransferResult FtpCopier::upload(const Side& dst, const std::string& s, const std::string& t) {
    const SessionId id = dst.place.session;
    transfer_.SeleccionaTYPE(id, mode_, s);
    TransferResult r = TransferResult::Failed;
    const int attempts = uploadAttempts(engine_.settings());
    for (int a = 0; a < attempts; ++a) {
        // A retry continues where the failed attempt stopped.
        if (a > 0) log(kTryingAgain);
        r = transfer_.fesPUT(id, s, t, a == 0 ? Attempt::First : Attempt::Retry);
        if (r != TransferResult::Failed || cancelled()) break;
    }
    step();
    return r;
}

TransferResult FtpCopier::download(const Side& src, const std::string& s, const std::string& t) {
    const SessionId id = src.place.session;
    struct stat st{};
    if (::lstat(t.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        log(">ERROR: " + t + " is a folder; " + s + " was not copied.");
        step();
        return TransferResult::Failed;
    }
    // fesGET asks about an existing file (Smart Resume for a partial one it
    // left, replace for any other) and writes under the final name only once
    // the whole file has arrived.
    transfer_.SeleccionaTYPE(id, mode_, s);
    TransferResult r = TransferResult::Failed;
    const int attempts = downloadAttempts(engine_.settings());
    for (int a = 0; a < attempts; ++a) {
        // A retry continues where the failed attempt stopped, without asking again.
        if (a > 0) log(kTryingAgain);
        r = transfer_.fesGET(id, s, t, a == 0 ? Attempt::First : Attempt::Retry);
        if (r != TransferResult::Failed || cancelled()) break;
    }
    step();
    return r;
}

TransferResult FtpCopier::serverToServer(const Side& src, const Side& dst, const std::string& s, const std::string& t) {
    const std::filesystem::path folder = temp_.folder();
    if (folder.empty()) {
        engine_.prompter().message("Can not create temporal folder");
        step();
        step();
        return TransferResult::Failed;
    }
    const std::string temp = (folder / serverTempName(src.place.session, dst.place.session)).string();
    auto drop = [&] {
        ::unlink(temp.c_str());
        transfer_.discardDownload(src.place.session, s, temp);
        transfer_.discardUpload(dst.place.session, temp, t);
    };
    drop();
    // Both ends of the temporary file are ours: neither source is deleted.
    FtpTransfer::KeepSource keep(transfer_);
    transfer_.SeleccionaTYPE(src.place.session, mode_, s);

    // The limits as they always were here, swapped against upload() and
    // download(): download attempts against RxRT, uploads against TxRT.
    const int rx = engine_.settings().RxRT, tx = engine_.settings().TxRT;
    int downloads = 0, uploads = 0;
    TransferResult r = TransferResult::Failed;
    bool downloaded = false;
    for (;;) {
        if (downloads > 0 || uploads > 0) log(kTryingAgain);
        drop();
        TransferResult got = transfer_.fesGET(src.place.session, s, temp);
        ++downloads;
        if (got == TransferResult::Cancelled || cancelled()) {
            r = TransferResult::Cancelled;
            break;
        }
        if (got == TransferResult::Copied) {
            if (!downloaded) step();
            downloaded = true;
            transfer_.SeleccionaTYPE(dst.place.session, mode_, t);
            r = transfer_.fesPUT(dst.place.session, temp, t);
            ++uploads;
            while (r == TransferResult::Failed && uploads <= rx && !cancelled()) {
                log(kTryingAgain);
                r = transfer_.fesPUT(dst.place.session, temp, t, Attempt::Retry);
                ++uploads;
            }
            if (r != TransferResult::Failed || cancelled()) break;
        } else if (got == TransferResult::Skipped) {
            r = got;
            break;
        }
        if (downloads > rx || uploads > tx) break;
        transfer_.SeleccionaTYPE(src.place.session, mode_, s);
    }
    if (cancelled() && r != TransferResult::Copied) r = TransferResult::Cancelled;
    drop();
    if (!downloaded) step();
    step();
    return r;
}

// ---- paste ----

bool FtpCopier::deleteLocalFile(const std::string& path) {
    // DeleteFileAfterUpload may have taken it already: gone is what a cut wants.
    struct stat st{};
    if (!lstatOf(path, st) && errno == ENOENT) return true;
    LocalResult r = deleteLocal(path, recycle_, [this] { return cancelled(); });
    if (r.kept) return false;
    if (!r.ok && !cancelled())
        log(">ERROR: " + withoutSlash(path) + " could not be " +
            (recycle_ == RecycleMode::Trash ? "sent to Recycle Bin" : "deleted") + " (" + r.error + ")");
    return r.ok;
}

std::string FtpCopier::remainingIn(const ClipEntry& e, const std::string& folder) {
    std::vector<std::string> names;
    if (e.local()) {
        if (DIR* d = ::opendir(withoutSlash(folder).c_str())) {
            while (dirent* x = ::readdir(d)) {
                std::string n = x->d_name;
                if (n != "." && n != "..") names.push_back(std::move(n));
            }
            ::closedir(d);
        }
    } else if (auto listed = engine_.FindLIST(e.session, withoutSlash(folder))) {
        for (const auto& n : *listed) names.push_back(n.name);
    }
    std::sort(names.begin(), names.end());
    std::string text;
    for (const auto& n : names) text += (text.empty() ? "" : ", ") + n;
    return text;
}

bool FtpCopier::deleteCopied(const ClipEntry& e, const std::vector<CopiedEntry>& copied, bool downloaded) {
    // Exactly what the copy reported copied, children before their folder; a
    // folder goes only once it is empty. Whatever else is there (an entry
    // that failed, or one added while the copy ran) stays and is named.
    if (recycle_ == RecycleMode::Keep && e.local()) {
        log("-" + withoutSlash(e.path) + " was kept (RecycleBin is neither 0 nor 1)");
        return false;
    }
    const std::string own = withoutSlash(e.path);
    bool ownGone = false;
    for (const CopiedEntry& c : copied) {
        if (cancelled()) return false;
        const std::string p = withoutSlash(c.path);
        bool gone = false;
        if (!c.folder) {
            // A downloaded file DeleteFileAfterDownload removed needs no second DELE.
            if (e.local()) gone = deleteLocalFile(p);
            else gone = (downloaded && engine_.settings().DeleteFileAfterDownload) || engine_.fesDELETEFILE(e.session, p);
        } else if (!c.whole) {
            log("-The folder " + p + " stays: not everything in it was copied.");
        } else if (e.local()) {
            gone = ::rmdir(p.c_str()) == 0;
            if (!gone && (errno == ENOTEMPTY || errno == EEXIST))
                log("-The folder " + p + " stays: it holds " + remainingIn(e, c.path) + ", which was not copied.");
            else if (!gone)
                log(">ERROR: The folder " + p + " could not be deleted (" + std::strerror(errno) + ")");
        } else {
            gone = engine_.fesRMD(e.session, p);
            if (!gone && !cancelled()) {
                const std::string left = remainingIn(e, c.path);
                if (!left.empty()) log("-The folder " + p + " stays: it holds " + left + ", which was not copied.");
            }
        }
        if (gone && p == own) ownGone = true;
    }
    return ownGone;
}

PasteResult FtpCopier::paste(const Clipboard& clip, const Destination& dest) {
    PasteResult out;
    if (clip.entries.empty()) {
        out.nothingToPaste = true;
        engine_.prompter().message("There is nothing to paste.");
        return out;
    }
    Side dst;
    if (!resolve(dest.place, dest.folder, dst)) {
        out.failed = static_cast<int>(clip.entries.size());
        return out;
    }
    const std::string D = withSlash(dest.folder);
    const bool entryRemote = !clip.entries.front().local();
    std::uint64_t k = weight(entryRemote, dst.place.remote());
    if (clip.cut) ++k;
    startTotal(clip.entries.size() * k);

    for (const ClipEntry& e : clip.entries) {
        if (cancelled()) {
            out.cancelled = true;
            break;
        }
        Side src;
        if (!resolve(placeOf(e), e.path, src)) {
            ++out.failed;
            continue;
        }
        std::vector<CopiedEntry> copied;
        journal_ = clip.cut ? &copied : nullptr;
        TransferResult r = e.folder() && !e.local() ? tree(src, dst, D + lastComponent(e.path), e.path, 0)
                                                    : element(src, dst, D, e.path, 0);
        journal_ = nullptr;
        if (r == TransferResult::Cancelled || cancelled()) {
            // The entry being copied keeps its source, whatever was copied of it.
            out.cancelled = true;
            if (r == TransferResult::Copied) ++out.copied;
            break;
        }
        switch (r) {
        case TransferResult::Copied: ++out.copied; break;
        case TransferResult::Skipped: ++out.skipped; break;
        default: ++out.failed; break;
        }
        if (!clip.cut || copied.empty()) continue;
        bool gone = deleteCopied(e, copied, !e.local() && !dst.place.remote());
        step();
        if (gone) ++out.deleted;
        else ++out.notDeleted;
        if (cancelled()) {
            out.cancelled = true;
            break;
        }
    }
    return out;
}

} // namespace vn
