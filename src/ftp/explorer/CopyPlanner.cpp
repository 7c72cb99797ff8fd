#include "ftp/explorer/CopyPlanner.h"

namespace vn {

Place placeOf(SessionId session, const std::string& ip) { return Place{session, session ? ip : std::string()}; }

std::vector<CopyJob> planItems(const std::vector<DropItem>& items, const Place& from, const std::string& dir,
                               const Place& to, const std::string& into) {
    std::vector<CopyJob> jobs;
    for (const DropItem& it : items) {
        if (it.kind == ItemKind::RemoteFolder) jobs.push_back({true, from, to, into + it.name, dir + it.name});
        else if (it.kind == ItemKind::LocalFolder) jobs.push_back({false, from, to, into, dir + it.name + "/"});
        else jobs.push_back({false, from, to, into, dir + it.name});
    }
    return jobs;
}

CopyJob planFolder(const Place& from, const std::string& folder, const std::string& name, const Place& to,
                   const std::string& into) {
    if (from.remote()) return {true, from, to, into + name, folder};
    return {false, from, to, into, folder};
}

std::vector<CopyJob> planDesktop(const std::vector<std::string>& paths, const Place& to, const std::string& into) {
    std::vector<CopyJob> jobs;
    // A dropped folder becomes a sub-folder of the destination, with all it holds.
    for (const std::string& p : paths) jobs.push_back({false, Place{}, to, into, p});
    return jobs;
}

void CopyTally::add(TransferResult r) {
    switch (r) {
    case TransferResult::Copied: ++copied; break;
    case TransferResult::Skipped: ++skipped; break;
    case TransferResult::Failed: ++failed; break;
    case TransferResult::Cancelled: cancelled = true; break;
    }
}

std::string copyFailureMessage(int failed, bool cancelled) {
    if (cancelled || failed <= 0) return {};
    return failed == 1 ? std::string("1 item could not be copied.")
                       : std::to_string(failed) + " items could not be copied.";
}

} // namespace vn
