#include "UsefulTools/DragAndDrop/OleDnD.h"

#include <QAbstractItemView>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QListView>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QSysInfo>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QWidget>

#include "UsefulTools/DragAndDrop/OleConsts.h"

namespace vn {

ScrollStep autoScrollStep(int y, int height, bool atFirst, bool atLast) {
    if (y <= ScrollUpBand && !atFirst) return ScrollStep::Up;
    if (y > height - ScrollDownBand && !atLast) return ScrollStep::Down;
    return ScrollStep::None;
}

namespace {

bool isThisMachine(const QString& host) {
    return host.isEmpty() || host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
           host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) == 0;
}

} // namespace

std::optional<std::vector<std::string>> droppedPaths(const QMimeData& data) {
    static const QString kUriList = QStringLiteral("text/uri-list");
    if (!data.hasFormat(kUriList)) return std::nullopt;
    std::vector<std::string> paths;
    // One URI a line; "#" starts a comment line.
    for (const QByteArray& raw : data.data(kUriList).split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        const QUrl url = QUrl::fromEncoded(line);
        if (!url.isValid() || !url.isLocalFile() || !isThisMachine(url.host())) return std::nullopt;
        // Decode the percent-encoded bytes ourselves: going through QString
        // would replace the bytes of a name that is not UTF-8.
        const QByteArray path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        if (!path.startsWith('/') || path.contains('\0')) return std::nullopt;
        paths.emplace_back(path.constData(), size_t(path.size()));
    }
    if (paths.empty()) return std::nullopt;
    return paths;
}

// The drop-target highlight: a frame over the target row, drawn by a child of
// the viewport that lets the pointer through.
class OleDnD::DropMark : public QWidget {
public:
    explicit DropMark(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("DropTargetMark"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setPen(QPen(palette().color(QPalette::Highlight), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(1, 1, -1, -1));
    }
};

OleDnD::OleDnD(QAbstractItemView* view)
    : QObject(view),
      view_(view),
      viewport_(view->viewport()),
      autoExpand_(qobject_cast<QTreeView*>(view) != nullptr),
      autoScroll_(autoExpand_),
      expandTimer_(new QTimer(this)),
      scrollTimer_(new QTimer(this)),
      mark_(new DropMark(view->viewport())) {
    expandTimer_->setObjectName(QStringLiteral("TimerExpand"));
    expandTimer_->setInterval(TimerExpandInterval);
    scrollTimer_->setObjectName(QStringLiteral("TreeTimer"));
    scrollTimer_->setInterval(TreeTimerInterval);
    connect(expandTimer_, &QTimer::timeout, this, &OleDnD::expandTick);
    connect(scrollTimer_, &QTimer::timeout, this, &OleDnD::scrollTick);

    view_->setAcceptDrops(true);
    viewport_->setAcceptDrops(true);
    viewport_->installEventFilter(this);
}

OleDnD::~OleDnD() {
    if (dragging_ && viewport_) {
        if (hadCursor_)
            viewport_->setCursor(oldCursor_);
        else
            viewport_->unsetCursor();
    }
}

void OleDnD::setAutoExpand(bool on) {
    autoExpand_ = on;
    if (!on) expandTimer_->stop();
}

void OleDnD::setAutoScroll(bool on) {
    autoScroll_ = on;
    if (!on) scrollTimer_->stop();
}

void OleDnD::setIntervals(int expandMs, int scrollMs) {
    expandTimer_->setInterval(expandMs);
    scrollTimer_->setInterval(scrollMs);
}

void OleDnD::makeDragSource(QAbstractItemView* view) {
    view->setDragEnabled(true);
    view->setDefaultDropAction(Qt::CopyAction);
}

bool OleDnD::eventFilter(QObject* watched, QEvent* event) {
    if (watched != viewport_) return false;
    switch (event->type()) {
    case QEvent::DragEnter:
        enter(static_cast<QDragEnterEvent*>(event));
        return true;
    case QEvent::DragMove:
        move(static_cast<QDragMoveEvent*>(event));
        return true;
    case QEvent::DragLeave:
        finish();
        event->accept();
        return true;
    case QEvent::Drop:
        drop(static_cast<QDropEvent*>(event));
        return true;
    default:
        return false;
    }
}

QObject* OleDnD::sourceOf(const QDropEvent& event) const {
    return event.source();
}

bool OleDnD::classify(const QDropEvent* event, bool& internal, std::vector<std::string>* paths) const {
    if (!(event->possibleActions() & Qt::CopyAction)) return false;
    if (qobject_cast<QAbstractItemView*>(sourceOf(*event))) {
        internal = true;
        return true;
    }
    const QMimeData* data = event->mimeData();
    if (!data) return false;
    auto found = droppedPaths(*data);
    if (!found || found->empty()) return false;
    internal = false;
    if (paths) *paths = std::move(*found);
    return true;
}

QModelIndex OleDnD::itemAt(const QPoint& pos) const {
    const QModelIndex idx = view_->indexAt(pos);
    return idx.isValid() ? idx.siblingAtColumn(0) : QModelIndex();
}

bool OleDnD::accepts(const QModelIndex& target) const {
    if (!rule_) return true;
    return rule_(Probe{internal_, internal_ ? source_.data() : nullptr, target});
}

void OleDnD::enter(QDragMoveEvent* event) {
    bool internal = false;
    if (!classify(event, internal, nullptr)) {
        event->ignore();
        return;
    }
    dragging_ = true;
    internal_ = internal;
    source_ = internal ? sourceOf(*event) : nullptr;
    hadCursor_ = viewport_->testAttribute(Qt::WA_SetCursor);
    oldCursor_ = viewport_->cursor();
    viewport_->setCursor(Qt::DragCopyCursor);
    move(event);
    // The enter itself is accepted for the kind of data, so that the drag goes
    // on reporting positions even when this one is refused.
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void OleDnD::move(QDragMoveEvent* event) {
    if (!dragging_) {
        event->ignore();
        return;
    }
    pos_ = event->position().toPoint();
    const QModelIndex item = itemAt(pos_);
    hover(item);
    const bool ok = accepts(item);
    setTarget(ok ? item : QModelIndex());
    if (ok) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
    runScrollRule();
}

void OleDnD::drop(QDropEvent* event) {
    if (!dragging_) {
        event->ignore();
        return;
    }
    bool internal = false;
    std::vector<std::string> paths;
    const bool kindOk = classify(event, internal, &paths);
    const QModelIndex item = itemAt(event->position().toPoint());
    const bool ok = kindOk && internal == internal_ && accepts(item);
    QPointer<QObject> source = internal ? sourceOf(*event) : nullptr;
    finish();
    if (!ok) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // Copies take long and ask questions: run them after the drag has ended,
    // so the source (a desktop file manager too) is not kept waiting.
    const QPersistentModelIndex target(item);
    if (internal) {
        QTimer::singleShot(0, this, [this, source, target] {
            if (source) emit internalDropped(source.data(), target);
        });
    } else {
        QTimer::singleShot(0, this, [this, paths = std::move(paths), target] {
            emit filesDropped(paths, target);
        });
    }
}

void OleDnD::finish() {
    expandTimer_->stop();
    scrollTimer_->stop();
    setTarget(QModelIndex());
    hover_ = QPersistentModelIndex();
    if (dragging_ && viewport_) {
        if (hadCursor_)
            viewport_->setCursor(oldCursor_);
        else
            viewport_->unsetCursor();
    }
    dragging_ = false;
    internal_ = false;
    source_ = nullptr;
}

void OleDnD::setTarget(const QModelIndex& target) {
    if (target_ == target) return;
    target_ = target;
    updateMark();
}

void OleDnD::hover(const QModelIndex& node) {
    if (hover_ == node) return;
    hover_ = node;
    expandTimer_->stop();
    auto* tree = qobject_cast<QTreeView*>(view_);
    if (autoExpand_ && tree && node.isValid() && !tree->isExpanded(node) && view_->model()->hasChildren(node))
        expandTimer_->start();
}

void OleDnD::expandTick() {
    expandTimer_->stop();
    auto* tree = qobject_cast<QTreeView*>(view_);
    if (!tree || !hover_.isValid() || tree->isExpanded(hover_)) return;
    const QModelIndex node = hover_;
    tree->expand(node);
    updateMark();
    emit autoExpanded(node);
}

QModelIndex OleDnD::topNode() const {
    return itemAt(QPoint(1, 1));
}

QModelIndex OleDnD::nextNode(const QModelIndex& node, ScrollStep step) const {
    if (!node.isValid() || step == ScrollStep::None) return QModelIndex();
    if (auto* tree = qobject_cast<QTreeView*>(view_))
        return step == ScrollStep::Up ? tree->indexAbove(node) : tree->indexBelow(node);
    return node.sibling(node.row() + (step == ScrollStep::Up ? -1 : 1), 0);
}

void OleDnD::runScrollRule() {
    if (!autoScroll_ || !dragging_) {
        scrollTimer_->stop();
        return;
    }
    const QModelIndex top = topNode();
    const QScrollBar* bar = view_->verticalScrollBar();
    const bool atFirst = !nextNode(top, ScrollStep::Up).isValid() || bar->value() <= bar->minimum();
    const bool atLast = !nextNode(top, ScrollStep::Down).isValid() || bar->value() >= bar->maximum();
    if (autoScrollStep(pos_.y(), viewport_->height(), atFirst, atLast) == ScrollStep::None)
        scrollTimer_->stop();
    else if (!scrollTimer_->isActive())
        scrollTimer_->start();
}

void OleDnD::scrollTick() {
    scrollTimer_->stop();
    if (!dragging_) return;
    const QModelIndex top = topNode();
    const QScrollBar* bar = view_->verticalScrollBar();
    const bool atFirst = !nextNode(top, ScrollStep::Up).isValid() || bar->value() <= bar->minimum();
    const bool atLast = !nextNode(top, ScrollStep::Down).isValid() || bar->value() >= bar->maximum();
    const ScrollStep step = autoScrollStep(pos_.y(), viewport_->height(), atFirst, atLast);
    if (step == ScrollStep::None) return;
    view_->scrollTo(nextNode(top, step), QAbstractItemView::PositionAtTop);
    // The item under a pointer that holds still has changed.
    const QModelIndex item = itemAt(pos_);
    hover(item);
    setTarget(accepts(item) ? item : QModelIndex());
    updateMark();
    // A desktop drag reports no position while the pointer holds still, so
    // keep scrolling one node per tick while it stays in the band.
    runScrollRule();
}

void OleDnD::updateMark() {
    if (!viewport_) return;
    if (!target_.isValid()) {
        mark_->hide();
        return;
    }
    QRect r = view_->visualRect(target_);
    if (!qobject_cast<QListView*>(view_)) r = QRect(0, r.top(), viewport_->width(), r.height());
    if (r.isEmpty() || !r.intersects(viewport_->rect())) {
        mark_->hide();
        return;
    }
    mark_->setGeometry(r);
    mark_->show();
    mark_->raise();
    mark_->update();
}

} // namespace vn
