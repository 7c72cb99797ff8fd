#pragma once
// Finding files by name below a folder, on the local disk or on a server: a
// depth-first walk that reports every match at once, in walk order (a
// sub-folder's matches where the sub-folder stands in its parent). The remote
// walk lists each folder through the engine's one listing routine in the
// session's own data mode. Runs on the window's worker; the cancel flag is
// looked at after every entry.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "ftp/engine/FtpEngine.h"
#include "platform/Outcome.h"

namespace vn {

class SearchSink {
public:
    virtual ~SearchSink() = default;
    // The folder being read (trailing "/").
    virtual void searching(const std::string& /*folder*/) {}
    // A match: its folder (trailing "/") and its name.
    virtual void found(const std::string& folder, const std::string& name) = 0;
};

struct SearchSummary {
    // Done: the whole tree was walked (some folders may have been unreadable).
    // Aborted: cancelled (or timed out); Failed: the connection was lost or the
    // start folder could not be read.
    Outcome outcome = Outcome::Done;
    std::size_t matches = 0;
    std::size_t unreadable = 0;     // folders that could not be read
    std::size_t tooDeep = 0;        // folders left out below the depth limit
};

// The whole name equals the search text, letter case aside (UTF-8 names fold
// by their characters; bytes that are no UTF-8 compare as they are).
bool searchNameMatches(std::string_view name, std::string_view text);

class FileSearch {
public:
    // Folders deeper than this below the start are not read: a server that
    // shows a link to a parent as a folder would otherwise lead on forever.
    static constexpr int kMaxDepth = 64;

    FileSearch(std::string text, SearchSink& sink, std::function<bool()> cancelled);

    // The local tree below `start` (trailing "/"). Hidden entries (dot names)
    // and the system's pseudo file systems (/proc, /sys, ...) are left out; links are never followed into (a link to a file counts as
    // a file), nor is a folder read twice (bind mounts), so the walk stays
    // below the start folder and ends.
    SearchSummary local(const std::string& start);
    // The tree below `start` on a session of the engine.
    SearchSummary remote(FtpEngine& engine, SessionId id, const std::string& start);

private:
    bool cancelled() const { return cancelled_ && cancelled_(); }
    void match(const std::string& folder, const std::string& name);

    std::string text_;
    SearchSink& sink_;
    std::function<bool()> cancelled_;
    SearchSummary summary_;
};

} // namespace vn
