// The tree and the file list panes on their own, without a window: what they
// report, what they keep quiet, and the selection guard.
#include <QItemSelectionModel>
#include <QPersistentModelIndex>
#include <QSignalSpy>
#include <QListView>
#include <QTableView>

#include <gtest/gtest.h>

#include "ftp/explorer/ExplorerTree.h"
#include "ftp/explorer/FileListPane.h"

namespace vn {
namespace {

SessionInfo session(SessionId id, const std::string& host, const std::string& wd) {
    SessionInfo s;
    s.id = id;
    s.host = host;
    s.siteName = "FTP";
    s.caption = host + "[FTP]";
    s.dotted = "127.0.0.1";
    s.workingDir = wd;
    return s;
}

ListingEntry entry(const std::string& name, ListingEntry::Kind kind) {
    ListingEntry e;
    e.name = name;
    e.kind = kind;
    return e;
}

TEST(ExplorerTreePane, ServerChainEndsCurrentWithTheListedFoldersAndLinksBelowIt) {
    ExplorerTree tree;
    QSignalSpy changed(&tree, &ExplorerTree::currentNodeChanged);
    QSignalSpy expanding(&tree, &ExplorerTree::nodeExpanding);
    std::vector<ListingEntry> listing{entry("pub", ListingEntry::Kind::Folder),
                                      entry("latest", ListingEntry::Kind::Link),
                                      entry("README", ListingEntry::Kind::File)};
    QTreeWidgetItem* last = tree.addServerChain(session(3, "host", "/home/user"), "user", &listing);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(tree.currentItem(), last);
    EXPECT_EQ(last->text(0), "user");
    // The program built and opened it: nothing is reported.
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(expanding.count(), 0);
    ASSERT_EQ(tree.serverNodes().size(), 1u);
    EXPECT_EQ(tree.serverNode(3), tree.topLevelOf(last));
    EXPECT_EQ(tree.serverNode(3)->text(0), "host[FTP]");
    // Files never become nodes; folders and links do, each with its "+".
    ASSERT_EQ(last->childCount(), 2);
    for (int i = 0; i < 2; ++i) {
        const TNodeInfo* n = tree.nodeInfo(last->child(i));
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(n->session, 3u);
        EXPECT_EQ(n->Path, "/home/user/");
        EXPECT_EQ(last->child(i)->childCount(), 1);
        EXPECT_TRUE(tree.isPlaceholder(last->child(i)->child(0)));
    }
    EXPECT_EQ(tree.findNode("/home/user/pub/", 3), last->child(tree.nodeInfo(last->child(0))->DirNom == "pub" ? 0 : 1));
    EXPECT_EQ(tree.findNode("/home/user/pub/", 4), nullptr);
}

TEST(ExplorerTreePane, AGoneNodeIsNeverFoundByIdAndItsServerLeavesWholly) {
    ExplorerTree tree;
    std::vector<ListingEntry> listing{entry("pub", ListingEntry::Kind::Folder)};
    QTreeWidgetItem* last = tree.addServerChain(session(1, "host", "/data"), "user", &listing);
    const NodeId chainEnd = tree.nodeIdOf(last);
    const NodeId child = tree.nodeIdOf(last->child(0));
    ASSERT_NE(child, 0u);
    tree.EsborrarDesde(last, false);
    EXPECT_EQ(tree.nodeById(child), nullptr);
    EXPECT_EQ(tree.nodeById(chainEnd), last);
    tree.removeServer(1);
    EXPECT_EQ(tree.nodeById(chainEnd), nullptr);
    EXPECT_TRUE(tree.serverNodes().empty());
}

TEST(ExplorerTreePane, TwoSessionsOnOneHostAndPortAreToldApartByLogin) {
    ExplorerTree tree;
    tree.addServerChain(session(1, "host", "/"), "anna", nullptr);
    tree.addServerChain(session(2, "host", "/"), "bob", nullptr);
    EXPECT_EQ(tree.serverNode(1)->text(0), "anna@host[FTP]");
    EXPECT_EQ(tree.serverNode(2)->text(0), "bob@host[FTP]");
    tree.removeServer(2);
    EXPECT_EQ(tree.serverNode(1)->text(0), "host[FTP]");
}

TEST(ExplorerTreePane, OnlyTheUsersChangesAreReported) {
    ExplorerTree tree;
    std::vector<ListingEntry> listing{entry("a", ListingEntry::Kind::Folder), entry("b", ListingEntry::Kind::Folder)};
    QTreeWidgetItem* last = tree.addServerChain(session(1, "host", "/"), "user", &listing);
    QSignalSpy changed(&tree, &ExplorerTree::currentNodeChanged);
    QSignalSpy expanding(&tree, &ExplorerTree::nodeExpanding);
    QSignalSpy collapsed(&tree, &ExplorerTree::nodeCollapsed);
    QTreeWidgetItem* a = last->child(0);
    tree.setCurrentQuietly(a);
    tree.setExpandedQuietly(a, true);
    tree.setExpandedQuietly(a, false);
    tree.expandAsIs(a);
    EXPECT_EQ(changed.count() + expanding.count() + collapsed.count(), 0);
    a->setExpanded(false);
    EXPECT_EQ(collapsed.count(), 1);
    a->setExpanded(true);
    EXPECT_EQ(expanding.count(), 1);
    tree.setCurrentItem(last->child(1));
    EXPECT_EQ(changed.count(), 1);
}

TEST(ExplorerTreePane, PassiveSettingsReachEveryNodeBelow) {
    ExplorerTree tree;
    std::vector<ListingEntry> listing{entry("a", ListingEntry::Kind::Folder)};
    QTreeWidgetItem* last = tree.addServerChain(session(1, "host", "/x"), "user", &listing);
    tree.FormatejaTreePASV(tree.serverNode(1), true, 2121);
    for (QTreeWidgetItem* n : {tree.serverNode(1), last, last->child(0)}) {
        EXPECT_TRUE(tree.nodeInfo(n)->Pasv);
        EXPECT_EQ(tree.nodeInfo(n)->PASVPort, 2121);
    }
}

TEST(ExplorerTreePane, NamelessNodesAreNeverEditedInPlace) {
    ExplorerTree tree;
    std::vector<ListingEntry> listing{entry("a", ListingEntry::Kind::Folder)};
    QTreeWidgetItem* last = tree.addServerChain(session(1, "host", "/x"), "user", &listing);
    EXPECT_FALSE(tree.startEdit(tree.serverNode(1)));
    EXPECT_FALSE(tree.startEdit(last)); // a folder-chain node
    EXPECT_FALSE(tree.startEdit(nullptr));
    EXPECT_FALSE(tree.editing());
}

std::vector<FileItem> items(std::initializer_list<const char*> names) {
    std::vector<FileItem> out;
    for (const char* n : names) {
        FileItem it;
        it.kind = ItemKind::RemoteFile;
        it.name = n;
        it.fold = n;
        out.push_back(it);
    }
    return out;
}

TEST(ExplorerListPane, WhileBusyAKeyPressedInTheListFreezesTheUsersSelection) {
    bool busy = false;
    FileListPane pane([&] { return busy; });
    pane.model()->setItems(items({"a", "b", "c"}), true);
    ASSERT_TRUE(pane.selectItem("a"));
    auto* sel = pane.report()->selectionModel();
    const auto userSelects = [&](int row) {
        sel->select(pane.model()->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    };
    busy = true;
    userSelects(1); // no key yet: the selection follows
    EXPECT_EQ(pane.selectedRows(), std::vector<int>{1});
    pane.noteKey();
    userSelects(2);
    EXPECT_EQ(pane.selectedRows(), std::vector<int>{1});
    EXPECT_TRUE(pane.selectItem("c")); // the program's own selection goes through
    EXPECT_EQ(pane.selectedRows(), std::vector<int>{2});
    // A refill ends the keyboard selection.
    pane.model()->setItems(items({"a", "b"}), true);
    EXPECT_FALSE(pane.keyboardSelecting());
    userSelects(0);
    EXPECT_EQ(pane.selectedRows(), std::vector<int>{0});
}

TEST(ExplorerListPane, SelectionHelpersAndNamelessItems) {
    FileListPane pane([] { return false; });
    pane.model()->setItems(items({"a", "b", "c"}), true);
    EXPECT_FALSE(pane.selectItem("zzz"));
    pane.selectAll();
    EXPECT_EQ(pane.selectedCount(), 3);
    pane.invertSelection();
    EXPECT_EQ(pane.selectedCount(), 0);
    FileItem nameless;
    nameless.kind = ItemKind::RemoteFolder;
    pane.model()->appendItem(nameless);
    EXPECT_EQ(pane.model()->rowCount(), 4);
    pane.removeNamelessItems();
    EXPECT_EQ(pane.model()->rowCount(), 3);
}

TEST(ExplorerListPane, ViewStylesShowTheTableOrTheIconList) {
    FileListPane pane([] { return false; });
    pane.setViewStyle(FileListPane::ViewStyle::SmallIcons);
    EXPECT_EQ(pane.currentView(), static_cast<QAbstractItemView*>(pane.icons()));
    EXPECT_EQ(pane.currentWidget(), static_cast<QWidget*>(pane.icons()));
    pane.setViewStyle(FileListPane::ViewStyle::Report);
    EXPECT_EQ(pane.currentWidget(), static_cast<QWidget*>(pane.report()));
    pane.setGridShown(true);
    EXPECT_TRUE(pane.report()->showGrid());
}

} // namespace
} // namespace vn
