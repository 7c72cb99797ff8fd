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
    if (currentDir_.empty() || busy()) return;
    const std::string start = currentDir_.back() == '/' ? currentDir_ : currentDir_ + "/";
    const SessionId session = currentSession_;
    auto starter = [this, start, session](TSearchfrm::Request r) {
        // The window counts as busy for the whole walk: no other operation
        // (nor the keep-alive) uses the connection meanwhile.
        return operate(
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
        if (search_) openFound(search_->chosenFolder(), search_->chosenName(), session);
    });
    search_->show();
}

void TFTPfrm::openFound(const std::string& folder, const std::string& name, SessionId session) {
    if (folder.empty() || busy()) return;
    const QString shown = fromWire(name);
    auto select = [this, folder, session, shown] {
        const std::string shownDir = currentDir_.empty() || currentDir_.back() == '/' ? currentDir_ : currentDir_ + "/";
        if (shownDir != folder || currentSession_ != session) return;
        if (selectListItem(shown)) currentListView()->setFocus();
        HabilitarBotons();
    };
    ObrirSubdirectoris(folder, session);
    if (!busy()) {
        select(); // a local folder opens at once
        return;
    }
    // A remote folder opens in steps (each an operation); the last one's end
    // leaves the window idle.
    auto link = std::make_shared<QMetaObject::Connection>();
    *link = connect(&runner(), &OperationRunner::finished, this, [this, link, select] {
        if (busy()) return;
        disconnect(*link);
        select();
    });
}

} // namespace vn
