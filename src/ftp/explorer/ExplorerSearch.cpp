// The explorer's Search command: the search window below the current folder,
// its walk on this window's worker, and opening the chosen result.
#include <QAbstractItemView>
#include <QPointer>

#include "common/ui/WireText.h"
#include "ftp/explorer/TFTPfrm.h"
#include "ftp/explorer/TSearchfrm.h"

namespace vn {

TSearchfrm* TFTPfrm::searchWindow() const { return search_; }

void TFTPfrm::SearchSBClick() {
    if (search_) {
        search_->raise();
        search_->activateWindow();
        return;
    }
    const std::string dir = nav_->dir();
    if (dir.empty() || busy()) return;
    const std::string start = dir.back() == '/' ? dir : dir + "/";
    const SessionId session = nav_->session();
    auto starter = [this, start, session](TSearchfrm::Request r) {
        // The window counts as busy for the whole walk: no other operation
        // (nor the keep-alive) uses the connection meanwhile.
        return parts_->run(
            [e = engine_, start, session, text = r.text, sink = r.sink] {
                FileSearch walk(text, *sink, [e] { return e->wait().cancelled(); });
                return session ? walk.remote(*e, session, start) : walk.local(start);
            },
            [done = r.done](const SearchSummary& s) { done(s); });
    };
    search_ = new TSearchfrm(start, session != 0, starter, [this] { AbortSBClick(); }, this);
    search_->setAttribute(Qt::WA_DeleteOnClose);
    search_->setWindowFlag(Qt::Dialog);
    connect(search_, &QDialog::accepted, this, [this, session] {
        if (search_ && !search_->chosenFolder().empty() && !busy())
            openFolderAndSelect(search_->chosenFolder(), session, fromWire(search_->chosenName()));
    });
    search_->show();
}


} // namespace vn
