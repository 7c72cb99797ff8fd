// Drops on the explorer's views through synthetic drag events on the offscreen
// platform: what is accepted, what a drop reports, the hover expand and the
// auto-scroll of the tree.
#include "UsefulTools/DragAndDrop/OleDnD.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "UsefulTools/DragAndDrop/OleConsts.h"

namespace vn {
namespace {

using Paths = std::vector<std::string>;

// Only a running QDrag has a source; the test names it instead.
class TestDnD : public OleDnD {
public:
    using OleDnD::OleDnD;
    QObject* source = nullptr;

protected:
    QObject* sourceOf(const QDropEvent&) const override { return source; }
};

std::unique_ptr<QMimeData> uriList(const QByteArray& lines) {
    auto data = std::make_unique<QMimeData>();
    data->setData(QStringLiteral("text/uri-list"), lines);
    return data;
}

std::unique_ptr<QMimeData> files(const QStringList& urls) {
    QByteArray lines;
    for (const QString& u : urls) lines += u.toUtf8() + "\r\n";
    return uriList(lines);
}

struct Drag {
    QWidget* viewport;
    const QMimeData* data;
    Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    Qt::KeyboardModifiers mods = Qt::NoModifier;

    bool enter(QPoint pos, Qt::DropAction* action = nullptr) const {
        QDragEnterEvent e(pos, actions, data, Qt::LeftButton, mods);
        QApplication::sendEvent(viewport, &e);
        if (action) *action = e.dropAction();
        return e.isAccepted();
    }
    bool move(QPoint pos, Qt::DropAction* action = nullptr) const {
        QDragMoveEvent e(pos, actions, data, Qt::LeftButton, mods);
        QApplication::sendEvent(viewport, &e);
        if (action) *action = e.dropAction();
        return e.isAccepted();
    }
    void leave() const {
        QDragLeaveEvent e;
        QApplication::sendEvent(viewport, &e);
    }
    bool drop(QPoint pos, Qt::DropAction* action = nullptr) const {
        QDropEvent e(QPointF(pos), actions, data, Qt::LeftButton, mods);
        QApplication::sendEvent(viewport, &e);
        if (action) *action = e.dropAction();
        return e.isAccepted();
    }
};

// A tree of folders, each with one child so it can expand, tall enough to scroll.
class TreeFixture : public ::testing::Test {
protected:
    void SetUp() override {
        tree.setHeaderHidden(true);
        for (int i = 0; i < 40; ++i) {
            auto* node = new QTreeWidgetItem(&tree, QStringList(QStringLiteral("folder %1").arg(i)));
            new QTreeWidgetItem(node, QStringList(QStringLiteral("child %1").arg(i)));
        }
        leaf = new QTreeWidgetItem(tree.topLevelItem(0), QStringList(QStringLiteral("leaf")));
        tree.resize(200, 200);
        tree.show();
        dnd = new TestDnD(&tree);
        dnd->setIntervals(60, 40);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&tree));
    }
    QPoint at(QTreeWidgetItem* item) const { return tree.visualItemRect(item).center(); }
    QPoint at(int top) const { return at(tree.topLevelItem(top)); }
    QModelIndex index(int top) const { return tree.model()->index(top, 0); }
    QTreeWidgetItem* topVisible() const { return tree.itemAt(1, 1); }

    QTreeWidget tree;
    TestDnD* dnd = nullptr;
    QTreeWidgetItem* leaf = nullptr;
};

TEST(AutoScrollStep, Table) {
    struct Case {
        int y, height;
        bool atFirst, atLast;
        ScrollStep step;
    };
    const Case cases[] = {
        {0, 200, false, false, ScrollStep::Up},
        {19, 200, false, false, ScrollStep::Up},
        {20, 200, false, false, ScrollStep::None},
        {19, 200, true, false, ScrollStep::None},   // already at the first node
        {100, 200, false, false, ScrollStep::None},
        {180, 200, false, false, ScrollStep::None}, // y > h - 20 is needed
        {181, 200, false, false, ScrollStep::Down},
        {199, 200, false, false, ScrollStep::Down},
        {199, 200, false, true, ScrollStep::None},  // already at the last node
        {15, 30, false, false, ScrollStep::Up},     // bands overlap: up wins
        {15, 30, true, false, ScrollStep::Down},    // ...unless it cannot go up
        {15, 30, true, true, ScrollStep::None},
        {-5, 200, false, false, ScrollStep::Up},
    };
    for (const auto& c : cases)
        EXPECT_EQ(autoScrollStep(c.y, c.height, c.atFirst, c.atLast), c.step)
            << "y=" << c.y << " h=" << c.height << " first=" << c.atFirst << " last=" << c.atLast;
}

TEST(DroppedPaths, Table) {
    struct Case {
        const char* what;
        QByteArray uris;
        std::optional<Paths> paths;
    };
    const Case cases[] = {
        {"two files in order", "file:///tmp/b.txt\r\nfile:///tmp/a.txt\r\n", Paths{"/tmp/b.txt", "/tmp/a.txt"}},
        {"percent-decoded", "file:///tmp/a%20b%23c", Paths{"/tmp/a b#c"}},
        {"UTF-8 name", "file:///tmp/%C3%A9t%C3%A9", Paths{"/tmp/\xc3\xa9t\xc3\xa9"}},
        {"non-UTF-8 bytes kept", "file:///tmp/caf%E9", Paths{"/tmp/caf\xe9"}},
        {"localhost", "file://localhost/srv/x", Paths{"/srv/x"}},
        {"comments and blank lines skipped", "# dragged\r\n\r\nfile:///tmp/x\r\n", Paths{"/tmp/x"}},
        {"LF line ends", "file:///tmp/x\nfile:///tmp/y\n", Paths{"/tmp/x", "/tmp/y"}},
        {"relative reference", "tmp/x", std::nullopt},
        {"folder", "file:///home/joan/photos/", Paths{"/home/joan/photos/"}},
        {"another machine", "file://elsewhere.example/tmp/x", std::nullopt},
        {"not a file", "https://example.com/x", std::nullopt},
        {"one of them not a file", "file:///tmp/x\r\nhttps://example.com/y\r\n", std::nullopt},
        {"NUL byte", "file:///tmp/a%00b", std::nullopt},
        {"empty list", "", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto data = uriList(c.uris);
        EXPECT_EQ(droppedPaths(*data), c.paths);
    }
    QMimeData text;
    text.setText(QStringLiteral("/tmp/x"));
    EXPECT_EQ(droppedPaths(text), std::nullopt);
}

TEST_F(TreeFixture, TimersAreNamedAndTimedAsTheWindowNamesThem) {
    QTreeWidget fresh;
    OleDnD d(&fresh);
    EXPECT_EQ(d.expandTimer()->objectName(), "TimerExpand");
    EXPECT_EQ(d.expandTimer()->interval(), TimerExpandInterval);
    EXPECT_EQ(d.expandTimer()->interval(), 1000);
    EXPECT_EQ(d.scrollTimer()->objectName(), "TreeTimer");
    EXPECT_EQ(d.scrollTimer()->interval(), TreeTimerInterval);
    EXPECT_EQ(d.scrollTimer()->interval(), 500);
    EXPECT_TRUE(fresh.viewport()->acceptDrops());
}

TEST_F(TreeFixture, AcceptsFileUrlsOnlyAndAlwaysAsACopy) {
    struct Case {
        const char* what;
        std::unique_ptr<QMimeData> data;
        Qt::DropActions actions;
        Qt::KeyboardModifiers mods;
        bool accepted;
    };
    auto text = std::make_unique<QMimeData>();
    text->setText(QStringLiteral("file:///tmp/x"));
    Case cases[] = {
        {"files, no keys", files({"file:///tmp/a", "file:///tmp/b"}), Qt::CopyAction | Qt::MoveAction, Qt::NoModifier, true},
        {"files, Ctrl", files({"file:///tmp/a"}), Qt::CopyAction | Qt::MoveAction, Qt::ControlModifier, true},
        {"files, Ctrl+Shift", files({"file:///tmp/a"}), Qt::CopyAction | Qt::LinkAction,
         Qt::ControlModifier | Qt::ShiftModifier, true},
        {"plain text", std::move(text), Qt::CopyAction, Qt::NoModifier, false},
        {"web address", files({"https://example.com/a"}), Qt::CopyAction, Qt::NoModifier, false},
        {"source offers no copy", files({"file:///tmp/a"}), Qt::MoveAction, Qt::NoModifier, false},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        Drag drag{tree.viewport(), c.data.get(), c.actions, c.mods};
        Qt::DropAction action = Qt::IgnoreAction;
        EXPECT_EQ(drag.enter(at(3), &action), c.accepted);
        EXPECT_EQ(dnd->dragging(), c.accepted);
        if (c.accepted) {
            EXPECT_EQ(action, Qt::CopyAction);
            EXPECT_TRUE(drag.move(at(4), &action));
            EXPECT_EQ(action, Qt::CopyAction);
            EXPECT_EQ(dnd->dropTarget(), index(4));
            EXPECT_FALSE(dnd->internalDrag());
        } else {
            EXPECT_FALSE(drag.move(at(4)));
            EXPECT_FALSE(dnd->dropTarget().isValid());
        }
        drag.leave();
        EXPECT_FALSE(dnd->dragging());
    }
}

TEST_F(TreeFixture, DropReportsThePathsInOrderAndTheTargetAfterTheDragEnds) {
    QSignalSpy dropped(dnd, &OleDnD::filesDropped);
    QSignalSpy internal(dnd, &OleDnD::internalDropped);
    auto data = files({"file:///home/joan/z.txt", "file:///home/joan/a%20b/", "file:///tmp/m"});
    Drag drag{tree.viewport(), data.get()};
    ASSERT_TRUE(drag.enter(at(1)));
    ASSERT_TRUE(drag.move(at(2)));
    Qt::DropAction action = Qt::IgnoreAction;
    EXPECT_TRUE(drag.drop(at(2), &action));
    EXPECT_EQ(action, Qt::CopyAction);
    // Reported once the drop event has returned to the drag source.
    EXPECT_EQ(dropped.count(), 0);
    EXPECT_FALSE(dnd->dragging());
    EXPECT_FALSE(dnd->dropTarget().isValid());
    ASSERT_TRUE(dropped.wait(1000));
    ASSERT_EQ(dropped.count(), 1);
    EXPECT_EQ(dropped[0][0].value<Paths>(), (Paths{"/home/joan/z.txt", "/home/joan/a b/", "/tmp/m"}));
    EXPECT_EQ(dropped[0][1].value<QModelIndex>(), index(2));
    EXPECT_EQ(internal.count(), 0);
}

TEST_F(TreeFixture, DropOutsideAnyNodeHasNoTarget) {
    tree.clear();
    new QTreeWidgetItem(&tree, QStringList(QStringLiteral("only")));
    QSignalSpy dropped(dnd, &OleDnD::filesDropped);
    auto data = files({"file:///tmp/a"});
    Drag drag{tree.viewport(), data.get()};
    const QPoint below(50, 150);
    ASSERT_TRUE(drag.enter(below));
    EXPECT_TRUE(drag.drop(below));
    ASSERT_TRUE(dropped.wait(1000));
    EXPECT_FALSE(dropped[0][1].value<QModelIndex>().isValid());
}

TEST_F(TreeFixture, DropWithoutAnAcceptedEnterIsIgnored) {
    QSignalSpy dropped(dnd, &OleDnD::filesDropped);
    auto data = files({"file:///tmp/a"});
    Drag drag{tree.viewport(), data.get()};
    EXPECT_FALSE(drag.drop(at(1)));
    QTest::qWait(20);
    EXPECT_EQ(dropped.count(), 0);
}

TEST_F(TreeFixture, InternalDragFromAViewIsReportedWithItsSource) {
    QTableView list;
    dnd->source = &list;
    QSignalSpy files(dnd, &OleDnD::filesDropped);
    QSignalSpy internal(dnd, &OleDnD::internalDropped);
    QMimeData rows; // what a view drags: its own format, no URLs
    rows.setData(QStringLiteral("application/x-qabstractitemmodeldatalist"), QByteArray("x"));
    Drag drag{tree.viewport(), &rows, Qt::CopyAction | Qt::MoveAction};
    ASSERT_TRUE(drag.enter(at(5)));
    EXPECT_TRUE(dnd->internalDrag());
    Qt::DropAction action = Qt::IgnoreAction;
    EXPECT_TRUE(drag.drop(at(6), &action));
    // A move reported back would make the source view remove its rows.
    EXPECT_EQ(action, Qt::CopyAction);
    ASSERT_TRUE(internal.wait(1000));
    EXPECT_EQ(internal[0][0].value<QObject*>(), &list);
    EXPECT_EQ(internal[0][1].value<QModelIndex>(), index(6));
    EXPECT_EQ(files.count(), 0);
}

TEST_F(TreeFixture, DragFromAnObjectThatIsNotAViewNeedsFileUrls) {
    QObject notAView;
    dnd->source = &notAView;
    QMimeData rows;
    rows.setData(QStringLiteral("application/x-qabstractitemmodeldatalist"), QByteArray("x"));
    Drag drag{tree.viewport(), &rows};
    EXPECT_FALSE(drag.enter(at(1)));
    auto data = files({"file:///tmp/a"});
    Drag withFiles{tree.viewport(), data.get()};
    EXPECT_TRUE(withFiles.enter(at(1)));
    EXPECT_FALSE(dnd->internalDrag());
    withFiles.leave();
}

TEST_F(TreeFixture, HoverOverACollapsedNodeExpandsItAfterTheInterval) {
    QSignalSpy expanded(dnd, &OleDnD::autoExpanded);
    auto data = files({"file:///tmp/a"});
    Drag drag{tree.viewport(), data.get()};
    ASSERT_TRUE(drag.enter(at(2)));
    EXPECT_TRUE(dnd->expandTimer()->isActive());
    QTest::qWait(25);
    // Moving within the same node does not restart the wait.
    ASSERT_TRUE(drag.move(at(2) + QPoint(3, 1)));
    ASSERT_TRUE(expanded.wait(1000));
    EXPECT_TRUE(tree.topLevelItem(2)->isExpanded());
    EXPECT_EQ(expanded[0][0].value<QModelIndex>(), index(2));
    EXPECT_FALSE(dnd->expandTimer()->isActive());
    drag.leave();
}

TEST_F(TreeFixture, MovingToAnotherNodeRestartsTheWait) {
    dnd->setIntervals(400, 40);
    auto data = files({"file:///tmp/a"});
    Drag drag{tree.viewport(), data.get()};
    ASSERT_TRUE(drag.enter(at(2)));
    QTest::qWait(250);
    ASSERT_TRUE(drag.move(at(3)));
    QTest::qWait(250); // past the first node's deadline, short of the second's
    EXPECT_FALSE(tree.topLevelItem(2)->isExpanded());
    EXPECT_FALSE(tree.topLevelItem(3)->isExpanded());
    QTRY_VERIFY_WITH_TIMEOUT(tree.topLevelItem(3)->isExpanded(), 1000);
    EXPECT_FALSE(tree.topLevelItem(2)->isExpanded());
    drag.leave();
}

TEST_F(TreeFixture, NoWaitOverALeafOrAnExpandedNode) {
    tree.topLevelItem(0)->setExpanded(true);
    auto data = files({"file:///tmp/a"});
    Drag drag{tree.viewport(), data.get()};
    ASSERT_TRUE(drag.enter(at(0)));
    EXPECT_FALSE(dnd->expandTimer()->isActive());
    ASSERT_TRUE(drag.move(at(leaf)));
    EXPECT_FALSE(dnd->expandTimer()->isActive());
    drag.leave();
}

TEST_F(TreeFixture, LeaveAndDropStopTheTimersAndRestoreTheCursor) {
    tree.viewport()->setCursor(Qt::PointingHandCursor);
    auto data = files({"file:///tmp/a"});
    Drag drag{tree.viewport(), data.get()};
    tree.scrollToItem(tree.topLevelItem(20), QAbstractItemView::PositionAtTop);
    for (bool byDrop : {false, true}) {
        SCOPED_TRACE(byDrop ? "drop" : "leave");
        ASSERT_TRUE(drag.enter(QPoint(50, 5))); // over a collapsed node, in the top band
        EXPECT_TRUE(dnd->expandTimer()->isActive());
        EXPECT_TRUE(dnd->scrollTimer()->isActive());
        EXPECT_EQ(tree.viewport()->cursor().shape(), Qt::DragCopyCursor);
        if (byDrop)
            drag.drop(QPoint(50, 5));
        else
            drag.leave();
        EXPECT_FALSE(dnd->expandTimer()->isActive());
        EXPECT_FALSE(dnd->scrollTimer()->isActive());
        EXPECT_FALSE(dnd->dropTarget().isValid());
        EXPECT_EQ(tree.viewport()->cursor().shape(), Qt::PointingHandCursor);
    }
    tree.viewport()->unsetCursor();
    ASSERT_TRUE(drag.enter(at(20)));
    drag.leave();
    EXPECT_FALSE(tree.viewport()->testAttribute(Qt::WA_SetCursor));
}

TEST_F(TreeFixture, TopBandScrollsUpOneNodePerTickUntilTheFirst) {
    tree.scrollToItem(tree.topLevelItem(3), QAbstractItemView::PositionAtTop);
    ASSERT_EQ(topVisible(), tree.topLevelItem(3));
    std::vector<QTreeWidgetItem*> tops;
    QObject::connect(tree.verticalScrollBar(), &QScrollBar::valueChanged, [&] { tops.push_back(topVisible()); });
    auto data = files({"file:///tmp/a"});
    Drag drag{tree.viewport(), data.get()};
    ASSERT_TRUE(drag.enter(QPoint(50, 5)));
    EXPECT_TRUE(dnd->scrollTimer()->isActive());
    // The pointer holds still: no further drag events, the tree keeps going.
    QTRY_VERIFY_WITH_TIMEOUT(!dnd->scrollTimer()->isActive(), 2000);
    EXPECT_EQ(tops, (std::vector<QTreeWidgetItem*>{tree.topLevelItem(2), tree.topLevelItem(1), tree.topLevelItem(0)}));
    EXPECT_TRUE(dnd->dragging());
    drag.leave();
}

TEST_F(TreeFixture, BottomBandScrollsDownAndTheMiddleStops) {
    std::vector<QTreeWidgetItem*> tops;
    QObject::connect(tree.verticalScrollBar(), &QScrollBar::valueChanged, [&] { tops.push_back(topVisible()); });
    auto data = files({"file:///tmp/a"});
    Drag drag{tree.viewport(), data.get()};
    const int h = tree.viewport()->height();
    ASSERT_TRUE(drag.enter(QPoint(50, h - ScrollDownBand)));
    EXPECT_FALSE(dnd->scrollTimer()->isActive()); // y == h - 20 is outside the band
    ASSERT_TRUE(drag.move(QPoint(50, h - 5)));
    EXPECT_TRUE(dnd->scrollTimer()->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(!tops.empty(), 1000);
    ASSERT_TRUE(drag.move(QPoint(50, h / 2)));
    EXPECT_FALSE(dnd->scrollTimer()->isActive());
    const auto stopped = tops;
    QTest::qWait(150);
    EXPECT_EQ(tops, stopped);
    for (size_t i = 0; i < tops.size(); ++i) EXPECT_EQ(tops[i], tree.topLevelItem(int(i) + 1)) << i;
    drag.leave();
}

TEST_F(TreeFixture, BottomBandStopsWhereTheTreeCannotScrollFurther) {
    tree.scrollToBottom();
    const int bottom = tree.verticalScrollBar()->value();
    auto data = files({"file:///tmp/a"});
    Drag drag{tree.viewport(), data.get()};
    ASSERT_TRUE(drag.enter(QPoint(50, tree.viewport()->height() - 2)));
    EXPECT_FALSE(dnd->scrollTimer()->isActive());
    EXPECT_EQ(tree.verticalScrollBar()->value(), bottom);
    drag.leave();
}

// The list: any item may be the target, but the window's rule can refuse one.
class ListFixture : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 4; ++i) {
            QList<QStandardItem*> row{new QStandardItem(QStringLiteral("item %1").arg(i)),
                                      new QStandardItem(QStringLiteral("%1").arg(i * 100))};
            model.appendRow(row);
        }
        list.setModel(&model);
        list.resize(300, 200);
        list.show();
        dnd = new TestDnD(&list);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    }
    QPoint at(int row, int col = 0) const { return list.visualRect(model.index(row, col)).center(); }

    QStandardItemModel model;
    QTableView list;
    TestDnD* dnd = nullptr;
};

TEST_F(ListFixture, NoHoverTimersOnAList) {
    auto data = files({"file:///tmp/a"});
    Drag drag{list.viewport(), data.get()};
    ASSERT_TRUE(drag.enter(at(0)));
    EXPECT_FALSE(dnd->expandTimer()->isActive());
    EXPECT_FALSE(dnd->scrollTimer()->isActive());
    drag.leave();
}

TEST_F(ListFixture, TargetIsTheRowWhateverColumnThePointerIsOver) {
    QSignalSpy dropped(dnd, &OleDnD::filesDropped);
    auto data = files({"file:///tmp/a"});
    Drag drag{list.viewport(), data.get()};
    ASSERT_TRUE(drag.enter(at(2, 1)));
    EXPECT_EQ(dnd->dropTarget(), model.index(2, 0));
    QWidget* mark = list.viewport()->findChild<QWidget*>(QStringLiteral("DropTargetMark"));
    ASSERT_NE(nullptr, mark);
    EXPECT_TRUE(mark->isVisible());
    EXPECT_TRUE(drag.drop(at(2, 1)));
    EXPECT_FALSE(mark->isVisible());
    ASSERT_TRUE(dropped.wait(1000));
    EXPECT_EQ(dropped[0][1].value<QModelIndex>(), model.index(2, 0));
}

TEST_F(ListFixture, RuleRefusesSomeTargetsAndRemovesTheMark) {
    QTreeWidget tree;
    dnd->source = &tree;
    std::vector<OleDnD::Probe> asked;
    // Internal drags only onto item 1 (a folder, say); desktop drops anywhere.
    dnd->setAcceptRule([&](const OleDnD::Probe& p) {
        asked.push_back(p);
        return !p.internal || p.target.row() == 1;
    });
    QSignalSpy internal(dnd, &OleDnD::internalDropped);
    QMimeData rows;
    rows.setData(QStringLiteral("application/x-qabstractitemmodeldatalist"), QByteArray("x"));
    Drag drag{list.viewport(), &rows};
    EXPECT_TRUE(drag.enter(at(0))); // the drag goes on, this position is refused
    EXPECT_FALSE(dnd->dropTarget().isValid());
    ASSERT_FALSE(asked.empty());
    EXPECT_TRUE(asked.back().internal);
    EXPECT_EQ(asked.back().source, &tree);
    EXPECT_TRUE(drag.move(at(1)));
    EXPECT_EQ(dnd->dropTarget(), model.index(1, 0));
    EXPECT_FALSE(drag.move(at(3)));
    EXPECT_FALSE(dnd->dropTarget().isValid());
    EXPECT_TRUE(dnd->dragging());
    EXPECT_FALSE(drag.drop(at(3)));
    QTest::qWait(20);
    EXPECT_EQ(internal.count(), 0);

    ASSERT_TRUE(drag.enter(at(1)));
    EXPECT_TRUE(drag.drop(at(1)));
    ASSERT_TRUE(internal.wait(1000));
    EXPECT_EQ(internal[0][1].value<QModelIndex>(), model.index(1, 0));
}

TEST_F(ListFixture, DestroyingTheViewAfterADropDropsTheReport) {
    auto* view = new QTableView;
    view->setModel(&model);
    auto* d = new OleDnD(view);
    int reports = 0;
    QObject::connect(d, &OleDnD::filesDropped, [&] { ++reports; });
    auto data = files({"file:///tmp/a"});
    Drag drag{view->viewport(), data.get()};
    ASSERT_TRUE(drag.enter(QPoint(5, 5)));
    EXPECT_TRUE(drag.drop(QPoint(5, 5)));
    delete view;
    QTest::qWait(20);
    EXPECT_EQ(reports, 0);
}

} // namespace
} // namespace vn
