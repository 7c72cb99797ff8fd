#pragma once
// The drop side of drag and drop on an item view (the explorer's tree or its
// list). Installed on a view, it takes over every drag event of the view's
// viewport, so the view's own model-based drop (which could move or delete
// rows) never runs. It accepts two kinds of drag:
//   - desktop drags carrying local file URLs (text/uri-list): filesDropped();
//   - internal drags started by an item view of this program: internalDropped().
// It keeps the drop target (the item under the pointer), and on a tree runs the
// hover auto-expand and the auto-scroll of the scroll bands. A drop always
// copies: the action reported back to the drag source is Qt::CopyAction, so a
// source never deletes what it dragged.
#include <QCursor>
#include <QModelIndex>
#include <QObject>
#include <QPersistentModelIndex>
#include <QPoint>
#include <QPointer>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QAbstractItemView;
class QDragMoveEvent;
class QDropEvent;
class QMimeData;
class QTimer;
class QWidget;

namespace vn {

enum class ScrollStep { None, Up, Down };

// The auto-scroll rule at pointer height y (pixels from the top) in a view of
// the given height; atFirst / atLast: the topmost visible node is the first /
// the last one (no further scrolling that way).
ScrollStep autoScrollStep(int y, int height, bool atFirst, bool atLast);

// The paths of a desktop file drop, in the order given, byte for byte as the
// URLs encode them. nullopt when the data has no URL list, or when any URL is
// not a file on this machine.
std::optional<std::vector<std::string>> droppedPaths(const QMimeData& data);

class OleDnD : public QObject {
    Q_OBJECT
public:
    // What a drag over the view offers at one position.
    struct Probe {
        bool internal = false;        // started by an item view of this program
        QObject* source = nullptr;    // that view; nullptr for a desktop drag
        QModelIndex target;           // item under the pointer (column 0), may be invalid
    };
    // Decides whether a drag is accepted at a position (busy window, folder-only
    // targets...). Without a rule every acceptable drag is accepted everywhere.
    using AcceptRule = std::function<bool(const Probe&)>;

    // Installs itself on view (and becomes its child). Hover auto-expand and
    // auto-scroll are on when the view is a tree.
    explicit OleDnD(QAbstractItemView* view);
    ~OleDnD() override;

    QAbstractItemView* view() const { return view_; }

    void setAcceptRule(AcceptRule rule) { rule_ = std::move(rule); }
    void setAutoExpand(bool on);
    void setAutoScroll(bool on);
    // TimerExpand and TreeTimer intervals (milliseconds).
    void setIntervals(int expandMs, int scrollMs);

    // A drag is over the view (its cursor is the drag cursor).
    bool dragging() const { return dragging_; }
    // The drag over the view is an internal one.
    bool internalDrag() const { return internal_; }
    // The marked drop target; invalid when there is none.
    QModelIndex dropTarget() const { return target_; }
    QTimer* expandTimer() const { return expandTimer_; }
    QTimer* scrollTimer() const { return scrollTimer_; }

    // Lets view start drags of its selection that offer a copy (the default
    // action), without letting its own drop handling run.
    static void makeDragSource(QAbstractItemView* view);

signals:
    // Desktop drop: local paths in order and the item they were dropped on.
    void filesDropped(std::vector<std::string> paths, QModelIndex target);
    // Internal drop from source (an item view) on target.
    void internalDropped(QObject* source, QModelIndex target);
    // The hover timer expanded node.
    void autoExpanded(QModelIndex node);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The object that started the drag (QDropEvent::source(); a seam for tests,
    // since only a running QDrag has one).
    virtual QObject* sourceOf(const QDropEvent& event) const;

private:
    class DropMark;

    bool classify(const QDropEvent* event, bool& internal, std::vector<std::string>* paths) const;
    QModelIndex itemAt(const QPoint& pos) const;
    bool accepts(const QModelIndex& target) const;
    void enter(QDragMoveEvent* event);
    void move(QDragMoveEvent* event);
    void drop(QDropEvent* event);
    void finish();
    void setTarget(const QModelIndex& target);
    void hover(const QModelIndex& node);
    void runScrollRule();
    void expandTick();
    void scrollTick();
    QModelIndex topNode() const;
    QModelIndex nextNode(const QModelIndex& node, ScrollStep step) const;
    void updateMark();

    QAbstractItemView* view_;
    QPointer<QWidget> viewport_;
    AcceptRule rule_;
    bool autoExpand_;
    bool autoScroll_;
    QTimer* expandTimer_;
    QTimer* scrollTimer_;
    DropMark* mark_;

    bool dragging_ = false;
    bool internal_ = false;
    QPointer<QObject> source_;
    QPoint pos_;
    QPersistentModelIndex hover_;
    QPersistentModelIndex target_;
    bool hadCursor_ = false;
    QCursor oldCursor_;
};

} // namespace vn
