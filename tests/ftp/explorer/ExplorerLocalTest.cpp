// The FTP window on local folders, end to end on the offscreen platform:
// roots and folders on temporary folders with an injected mount list, names
// edited in place, the clipboard, deletes, drag and drop, layout and help.
#include "ExplorerTestKit.h"
#include "UrlCatcher.h"

namespace vn::test {
namespace {


TEST_F(Explorer, LocalRootsHomeFirstThenRootAndMounts) {
    mounts = {{"/proc", "proc", "proc", ""},
              {"/run/user/1", "tmpfs", "tmpfs", ""},
              {home.string() + "/docs", "ext4", "/dev/sdz1", "DATA"},
              {"/media/nonexistent-stick", "vfat", "/dev/sdy1", ""},
              {"/srv/dead-share", "nfs4", "host:/x", ""}};
    TFTPfrm w;
    QTreeWidget* t = w.tree();
    ASSERT_EQ(t->topLevelItemCount(), 5);
    EXPECT_EQ(t->topLevelItem(0)->text(0), QString::fromStdString("Home (" + home.string() + ")"));
    EXPECT_EQ(t->topLevelItem(1)->text(0), "(/)");
    EXPECT_EQ(t->topLevelItem(2)->text(0), QString::fromStdString("DATA (" + home.string() + "/docs)"));
    EXPECT_EQ(t->topLevelItem(3)->text(0), "(/media/nonexistent-stick)");
    EXPECT_EQ(t->topLevelItem(4)->text(0), "(/srv/dead-share)");
    // Removable and network mounts are never looked at: a placeholder stands in.
    for (int i : {3, 4}) {
        EXPECT_EQ(w.nodeInfo(t->topLevelItem(i))->kind, NodeKind::RemovableDrive);
        ASSERT_EQ(t->topLevelItem(i)->childCount(), 1);
        EXPECT_TRUE(w.isPlaceholder(t->topLevelItem(i)->child(0)));
    }
    // Home is expanded, selected and listed; hidden folders stay out of the tree
    // but are in the list.
    QTreeWidgetItem* h = t->topLevelItem(0);
    EXPECT_TRUE(h->isExpanded());
    EXPECT_EQ(t->currentItem(), h);
    EXPECT_EQ(childCaptions(h), QStringList{"docs"});
    EXPECT_EQ(w.currentDirBytes(), homeDir());
    EXPECT_EQ(w.currentSession(), 0u);
    ASSERT_NE(listItem(w, ".hidden"), nullptr);
    const FileItem* profile = listItem(w, ".profile");
    ASSERT_NE(profile, nullptr);
    EXPECT_EQ(profile->kind, ItemKind::LocalHiddenFile);
    EXPECT_EQ(profile->attribs[4], QLatin1Char('h'));
    EXPECT_EQ(listItem(w, "docs")->kind, ItemKind::LocalFolder);
    EXPECT_EQ(listItem(w, "docs")->type, "Folder");
    EXPECT_EQ(listItem(w, "docs")->attribs, "_d___w");
}

TEST_F(Explorer, SelectingAFolderListsItAfterTheDeferredLoad) {
    TFTPfrm w;
    QTreeWidgetItem* docs = w.findNode(homeDir() + "docs/", 0);
    ASSERT_NE(docs, nullptr);
    w.tree()->setCurrentItem(docs);
    EXPECT_TRUE(w.mouseTimer()->isActive());
    EXPECT_EQ(w.currentDirBytes(), homeDir()); // not yet
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(w.currentDirBytes(), homeDir() + "docs/");
    EXPECT_EQ(listNames(w), (std::vector<QString>{"inner", "a.txt", "big.bin"}));
    EXPECT_EQ(w.statusText(), QString::fromStdString(homeDir() + "docs/ - [Total Files : 3] - [Selected Files : 0]"));
    const FileItem* a = listItem(w, "a.txt");
    EXPECT_EQ(a->size, "5");
    EXPECT_EQ(a->type, ".txt");
    EXPECT_EQ(a->path, homeDir() + "docs/");
    EXPECT_TRUE(QRegularExpression("^\\d\\d/\\d\\d/\\d{4} \\d{1,2}:\\d\\d$").match(a->modified).hasMatch());

    // Sorting by size puts the folder first, then the largest file.
    w.ListColumnClick(1);
    EXPECT_EQ(listNames(w), (std::vector<QString>{"inner", "big.bin", "a.txt"}));
    int before = beeps;
    w.ListColumnClick(4); // "Atribs" never sorts
    EXPECT_EQ(beeps, before + 1);
    w.ListColumnClick(0);
    EXPECT_EQ(listNames(w), (std::vector<QString>{"inner", "a.txt", "big.bin"}));
}

// A folder that fails to open (gone since the tree showed it) is never
// claimed by the status bar as an empty folder.
TEST_F(Explorer, AFolderThatFailsToOpenGetsNoStatus) {
    TFTPfrm w;
    QTreeWidgetItem* docs = w.findNode(homeDir() + "docs/", 0);
    ASSERT_NE(docs, nullptr);
    docs->setExpanded(true);
    QTreeWidgetItem* inner = w.findNode(homeDir() + "docs/inner/", 0);
    ASSERT_NE(inner, nullptr);
    fs::remove_all(home / "docs" / "inner");
    w.tree()->setCurrentItem(inner);
    ASSERT_TRUE(waitIdle(w));
    EXPECT_FALSE(w.statusText().contains("Total Files")) << w.statusText().toStdString();
    // The next folder that opens has its status again.
    w.tree()->setCurrentItem(docs);
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(w.statusText(), QString::fromStdString(homeDir() + "docs/ - [Total Files : 2] - [Selected Files : 0]"));
}

TEST_F(Explorer, OpeningAFolderFromTheListSelectsItsNodeAndUpReturns) {
    std::vector<QString> opened;
    setLocalOpener([&](const QString& p) {
        opened.push_back(p);
        return true;
    });
    TFTPfrm w;
    ASSERT_TRUE(w.selectListItem("docs"));
    w.ListDblClick();
    EXPECT_EQ(w.currentDirBytes(), homeDir() + "docs/");
    ASSERT_NE(w.tree()->currentItem(), nullptr);
    EXPECT_EQ(w.tree()->currentItem()->text(0), "docs");
    ASSERT_TRUE(w.selectListItem("a.txt"));
    w.ListDblClick();
    EXPECT_EQ(opened, (std::vector<QString>{QString::fromStdString(homeDir() + "docs/a.txt")}));
    w.UpSBClick();
    EXPECT_EQ(w.currentDirBytes(), homeDir());
    int before = beeps;
    w.UpSBClick(); // a root has no parent
    EXPECT_EQ(beeps, before + 1);
}

TEST_F(Explorer, NamelessNodesCannotBeRenamedOrDeleted) {
    TFTPfrm w;
    QTreeWidgetItem* root = w.tree()->topLevelItem(0);
    w.tree()->setCurrentItem(root);
    ASSERT_TRUE(waitIdle(w));
    focus(&w, w.tree());
    int before = beeps;
    w.RenameSBClick();
    w.DeleteSBClick();
    EXPECT_EQ(beeps, before + 2);
    EXPECT_TRUE(prompter->asked().empty());
    EXPECT_EQ(w.tree()->topLevelItem(0), root);
}

TEST_F(Explorer, RenamingALocalFolderNode) {
    TFTPfrm w;
    QTreeWidgetItem* docs = w.findNode(homeDir() + "docs/", 0);
    w.tree()->setCurrentItem(docs);
    ASSERT_TRUE(waitIdle(w));
    focus(&w, w.tree());
    w.RenameSBClick();
    EXPECT_TRUE(w.treeEditing());
    ASSERT_TRUE(typeName(w, w.tree(), "papers"));
    EXPECT_FALSE(w.treeEditing());
    EXPECT_TRUE(prompter->asked().empty());
    EXPECT_TRUE(fs::is_directory(home / "papers"));
    EXPECT_TRUE(fs::exists(home / "papers" / "a.txt"));
    EXPECT_EQ(docs->text(0), "papers");
    EXPECT_EQ(w.currentDirBytes(), homeDir() + "papers/");
    EXPECT_EQ(w.nodeInfo(docs)->DirNom, "papers");
}

TEST_F(Explorer, SelectAllInvertAndViews) {
    TFTPfrm w;
    int n = w.listModel()->rowCount();
    ASSERT_GT(n, 2);
    w.SelectAllSBClick();
    EXPECT_TRUE(w.statusText().endsWith(QStringLiteral("[Selected Files : %1]").arg(n)));
    w.InvertSelectionSBClick();
    EXPECT_TRUE(w.statusText().endsWith("[Selected Files : 0]"));
    EXPECT_EQ(w.viewStyle(), TFTPfrm::ViewStyle::Report);
    w.button("viewIconSB")->click();
    EXPECT_EQ(w.viewStyle(), TFTPfrm::ViewStyle::LargeIcons);
    EXPECT_EQ(w.iconList()->viewMode(), QListView::IconMode);
    w.button("viewListSB")->click();
    EXPECT_EQ(w.iconList()->viewMode(), QListView::ListMode);
    EXPECT_FALSE(w.gridShown());
    w.ShowGridSBClick();
    EXPECT_TRUE(w.list()->showGrid());
    EXPECT_TRUE(w.action("ShowGrid1")->isChecked());
}

TEST_F(Explorer, GaugesScaleSixtyFourBitCounts) {
    TFTPfrm w;
    const std::uint64_t total = 6'000'000'000ULL;
    w.setFileProgress(total / 2, total);
    EXPECT_EQ(w.fileGauge()->value(), w.fileGauge()->maximum() / 2);
    EXPECT_EQ(w.fileGauge()->toolTip(), "3000000000 of 6000000000");
    w.ActivartotalGauge(4);
    w.IncrementarTotalGauge();
    EXPECT_EQ(w.totalGauge()->toolTip(), "1 of 4");
    EXPECT_EQ(w.totalGauge()->value(), w.totalGauge()->maximum() / 4);
}

TEST_F(Explorer, SystemInformationOfTheLocalFolder) {
    mounts = {{"/", "ext4", "/dev/sda1", ""}};
    setMeminfoReader([] { return std::string("MemTotal: 200 kB\nMemAvailable: 50 kB\n"); });
    TFTPfrm w;
    QString kind, total, memory, heading;
    prompter->pushDialog([&](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "System Information");
        auto* s = qobject_cast<TSysfrm*>(&d);
        heading = s->heading();
        kind = s->kindText();
        total = s->totalText();
        memory = s->memoryText();
        return static_cast<int>(QDialog::Accepted);
    });
    w.System1Click();
    setMeminfoReader(nullptr);
    EXPECT_EQ(heading, QString::fromStdString("Current drive: " + homeDir()));
    EXPECT_EQ(kind, "FIXED DRIVE");
    EXPECT_TRUE(total.startsWith("Total Disk Space : ") && total.endsWith(" Kb")) << total.toStdString();
    EXPECT_EQ(memory, "Used Memory : 75 %");

    mounts.clear(); // no mount holds the folder
    prompter->pushDialog([&](QDialog& d) {
        kind = qobject_cast<TSysfrm*>(&d)->kindText();
        total = qobject_cast<TSysfrm*>(&d)->totalText();
        return static_cast<int>(QDialog::Accepted);
    });
    w.System1Click();
    EXPECT_EQ(kind, "ERROR");
    EXPECT_EQ(total, "");
}

TEST_F(Explorer, InformationBoxClearAndSave) {
    TFTPfrm w;
    w.info()->addLine("first");
    w.info()->addLine("second");
    fs::path target = home / "saved.log";
    QString suggested;
    prompter->pushDialog([&](QDialog& d) {
        auto* f = qobject_cast<QFileDialog*>(&d);
        suggested = f->selectedFiles().value(0);
        f->selectFile(QString::fromStdString(target.string()));
        return static_cast<int>(QDialog::Accepted);
    });
    w.SaveLog1Click();
    EXPECT_TRUE(suggested.endsWith("varnelo.log"));
    std::ifstream in(target, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, "first\r\nsecond\r\n");
    w.Clear1Click();
    EXPECT_EQ(w.info()->lineCount(), 0);
}

TEST_F(Explorer, ShortcutsBelongToTheirWindow) {
    TFTPfrm a, b;
    for (const char* name : {"QuickConnection1", "MoveUp1", "Refresh1", "Abort1"})
        EXPECT_EQ(a.action(name)->shortcutContext(), Qt::WidgetWithChildrenShortcut) << name;
    EXPECT_EQ(a.action("Delete1")->shortcutContext(), Qt::WidgetShortcut);
    EXPECT_EQ(a.action("Clear1")->shortcut(), a.action("Delete1")->shortcut());
    EXPECT_EQ(a.action("pasvmode1")->text(), "&Passive (PASV) Mode");
    EXPECT_FALSE(a.action("UploadtoMultipleHosts1")->isEnabled());
}

TEST_F(Explorer, TreeRenameInPlaceRefusesWhatItMustNot) {
    struct Case {
        const char* text;
        Qt::Key key;
        const char* message; // "" for none
    };
    // Escape cancels; an empty or unchanged name keeps the old one; a path or
    // the name of an existing folder is an error and replaces nothing.
    const Case cases[] = {{"other", Qt::Key_Escape, ""},
                          {"", Qt::Key_Return, ""},
                          {"docs", Qt::Key_Return, ""},
                          {"a/b", Qt::Key_Return, "message: Error renaming file!"},
                          {"taken", Qt::Key_Return, "message: Error renaming file!"}};
    fs::create_directories(home / "taken");
    touch(home / "taken" / "keep.txt");
    TFTPfrm w;
    QTreeWidgetItem* docs = w.findNode(homeDir() + "docs/", 0);
    ASSERT_NE(docs, nullptr);
    w.tree()->setCurrentItem(docs);
    ASSERT_TRUE(waitIdle(w));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        prompter->clearAsked();
        focus(&w, w.tree());
        w.RenameSBClick();
        ASSERT_TRUE(typeName(w, w.tree(), c.text, c.key));
        EXPECT_FALSE(w.treeEditing());
        EXPECT_EQ(docs->text(0), "docs");
        EXPECT_EQ(w.nodeInfo(docs)->DirNom, "docs");
        EXPECT_TRUE(fs::exists(home / "docs" / "a.txt"));
        EXPECT_TRUE(fs::exists(home / "taken" / "keep.txt"));
        std::vector<std::string> expected;
        if (*c.message) expected.push_back(c.message);
        EXPECT_EQ(prompter->asked(), expected);
    }
    EXPECT_FALSE(fs::exists(home / "other"));
    // The renamed node's children are reloaded under the new path.
    focus(&w, w.tree());
    w.RenameSBClick();
    ASSERT_TRUE(typeName(w, w.tree(), "papers"));
    docs->setExpanded(true);
    ASSERT_EQ(childCaptions(docs), QStringList{"inner"});
    EXPECT_EQ(w.nodeInfo(docs->child(0))->Path, homeDir() + "papers/");
    EXPECT_EQ(w.currentDirBytes(), homeDir() + "papers/");
}

TEST_F(Explorer, ListRenameInPlaceActsOnTheCurrentFolderAndNeverOverwrites) {
    TFTPfrm w;
    openDocs(w, homeDir());
    ASSERT_TRUE(w.selectListItem("a.txt"));
    w.RenameSBClick();
    EXPECT_TRUE(w.listEditing());
    ASSERT_TRUE(typeName(w, w.list(), "b.txt"));
    EXPECT_FALSE(w.listEditing());
    EXPECT_TRUE(fs::exists(home / "docs" / "b.txt"));
    EXPECT_FALSE(fs::exists(home / "docs" / "a.txt"));
    EXPECT_NE(listItem(w, "b.txt"), nullptr);
    EXPECT_EQ(w.currentDirBytes(), homeDir() + "docs/");

    focus(&w, w.list());
    ASSERT_TRUE(w.selectListItem("b.txt"));
    w.RenameSBClick();
    ASSERT_TRUE(typeName(w, w.list(), "big.bin"));
    EXPECT_EQ(prompter->asked(), std::vector<std::string>{"message: Error renaming file!"});
    std::ifstream in(home / "docs" / "big.bin");
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}).size(), 5000u);
    EXPECT_TRUE(fs::exists(home / "docs" / "b.txt"));

    // A folder renamed from the list is renamed in the tree too.
    focus(&w, w.list());
    ASSERT_TRUE(w.selectListItem("inner"));
    w.RenameSBClick();
    ASSERT_TRUE(typeName(w, w.list(), "core"));
    EXPECT_TRUE(fs::is_directory(home / "docs" / "core"));
    EXPECT_NE(w.findNode(homeDir() + "docs/core/", 0), nullptr);
    EXPECT_EQ(w.findNode(homeDir() + "docs/inner/", 0), nullptr);
}

TEST_F(Explorer, LocalNewFolderIsNamedInPlace) {
    struct Case {
        const char* text;
        Qt::Key key;
        bool made;
        const char* message;
    };
    const Case cases[] = {{"ignored", Qt::Key_Escape, false, ""},
                          {"", Qt::Key_Return, false, ""},
                          {"in/side", Qt::Key_Return, false, "message: Error Creating Folder!"},
                          {"inner", Qt::Key_Return, false, "message: Error Creating Folder!"},
                          {"fresh", Qt::Key_Return, true, ""}};
    touch(home / "docs" / "inner" / "keep.txt");
    TFTPfrm w;
    openDocs(w, homeDir());
    const int before = w.listModel()->rowCount();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        prompter->clearAsked();
        focus(&w, w.list());
        w.NovaCarpetaSBClick();
        // A nameless folder item, last, being edited.
        ASSERT_EQ(w.listModel()->rowCount(), before + 1);
        const FileItem& fresh = w.listModel()->item(before);
        EXPECT_TRUE(fresh.name.empty());
        EXPECT_EQ(fresh.kind, ItemKind::LocalFolder);
        EXPECT_EQ(fresh.type, "Folder");
        EXPECT_EQ(fresh.path, homeDir() + "docs/");
        EXPECT_TRUE(w.listEditing());
        ASSERT_TRUE(typeName(w, w.list(), c.text, c.key));
        EXPECT_EQ(listItem(w, ""), nullptr);
        EXPECT_EQ(w.listModel()->rowCount(), before + (c.made ? 1 : 0));
        if (*c.text) {
            EXPECT_EQ(fs::is_directory(home / "docs" / c.text), c.made || std::string(c.text) == "inner");
        }
        std::vector<std::string> expected;
        if (*c.message) expected.push_back(c.message);
        EXPECT_EQ(prompter->asked(), expected);
    }
    EXPECT_TRUE(fs::exists(home / "docs" / "inner" / "keep.txt"));
    EXPECT_NE(listItem(w, "fresh"), nullptr);
    QTreeWidgetItem* docs = w.findNode(homeDir() + "docs/", 0);
    EXPECT_TRUE(docs->isExpanded());
    EXPECT_EQ(childCaptions(docs), (QStringList{"fresh", "inner"}));
}

TEST_F(Explorer, EscapeOnTheListRemovesAnAbandonedNewFolder) {
    TFTPfrm w;
    openDocs(w, homeDir());
    const int before = w.listModel()->rowCount();
    w.NovaCarpetaSBClick();
    QLineEdit* e = nameEditor(w.list());
    ASSERT_NE(e, nullptr);
    e->setText("");
    QTest::keyClick(e, Qt::Key_Tab); // leaves the editor with no name
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(w.listModel()->rowCount(), before);
    EXPECT_FALSE(w.listEditing());
}

TEST_F(Explorer, ClipboardCommandsFollowTheSelectionAndTheClipboardFile) {
    TFTPfrm w;
    w.show();
    openDocs(w, homeDir());
    ASSERT_TRUE(w.selectListItem("a.txt"));
    w.list()->setFocus();
    w.HabilitarBotons();
    EXPECT_TRUE(w.action("Copy1")->isEnabled());
    EXPECT_TRUE(w.action("Cut1")->isEnabled());
    EXPECT_FALSE(w.action("Paste1")->isEnabled()); // no "copy.dat" yet
    EXPECT_EQ(w.action("Copy1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_C));
    EXPECT_EQ(w.action("Cut1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_X));
    EXPECT_EQ(w.action("Paste1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_V));
    w.CopySBClick();
    w.HabilitarBotons();
    EXPECT_TRUE(w.action("Paste1")->isEnabled());
    // Cut marks the selected items (drawn dimmed); the next Copy clears every mark.
    w.CutSBClick();
    EXPECT_TRUE(listItem(w, "a.txt")->cutMark);
    EXPECT_FALSE(listItem(w, "big.bin")->cutMark);
    w.CopySBClick();
    EXPECT_FALSE(listItem(w, "a.txt")->cutMark);
}

// One click on a file, in a window that is not the active one, is enough for
// Copy and Cut, and Ctrl+C then copies.
TEST_F(Explorer, OneClickOnAFileEnablesCopyAndCut) {
    TFTPfrm w;
    w.show();
    openDocs(w, homeDir());
    QWidget other;
    other.show();
    other.activateWindow();
    QApplication::setActiveWindow(&other);
    ASSERT_FALSE(w.isActiveWindow());
    int row = -1;
    for (int r = 0; r < w.listModel()->rowCount(); ++r)
        if (w.listModel()->item(r).display() == "a.txt") row = r;
    ASSERT_GE(row, 0);
    const QRect cell = w.list()->visualRect(w.listModel()->index(row, 0));
    QTest::mouseClick(w.list()->viewport(), Qt::LeftButton, {}, cell.center());
    ASSERT_EQ(w.list()->selectionModel()->selectedRows().size(), 1);
    EXPECT_TRUE(w.action("Copy1")->isEnabled());
    EXPECT_TRUE(w.action("Cut1")->isEnabled());
    // The window comes to the front with its selection: Ctrl+C copies.
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.isActiveWindow(); }));
    QTest::keyClick(w.list(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(fs::exists(dataFile("copy.dat")));
}

TEST_F(Explorer, FullExpandNeverFollowsASymlinkedFolderAndAbortStopsIt) {
    fs::create_symlink(home / "docs", home / "docs" / "inner" / "loop");
    fs::create_directories(home / "docs" / "inner" / "deep" / "deeper");
    TFTPfrm w;
    QTreeWidget* t = w.tree();
    ASSERT_GE(t->topLevelItemCount(), 2);
    QTreeWidgetItem* root = t->topLevelItem(1); // "/", walked after home
    w.FullExpand1Click();
    // Home is walked completely first; stop once the walk has reached "/".
    for (int i = 0; i < 500 && !root->isExpanded(); ++i) QTest::qWait(2);
    ASSERT_TRUE(root->isExpanded());
    w.AbortSBClick();
    QTreeWidgetItem* loop = w.findNode(homeDir() + "docs/inner/loop/", 0);
    ASSERT_NE(loop, nullptr);
    EXPECT_TRUE(w.nodeInfo(loop)->symlink);
    EXPECT_FALSE(loop->isExpanded());
    QTreeWidgetItem* deeper = w.findNode(homeDir() + "docs/inner/deep/deeper/", 0);
    ASSERT_NE(deeper, nullptr);
    EXPECT_TRUE(w.findNode(homeDir() + "docs/inner/deep/", 0)->isExpanded());
    // Nothing more is opened after Abort.
    auto countExpanded = [&] {
        int n = 0;
        std::vector<QTreeWidgetItem*> stack{root};
        while (!stack.empty()) {
            QTreeWidgetItem* it = stack.back();
            stack.pop_back();
            if (it->isExpanded()) ++n;
            for (int i = 0; i < it->childCount(); ++i) stack.push_back(it->child(i));
        }
        return n;
    };
    const int opened = countExpanded();
    QTest::qWait(100);
    EXPECT_EQ(countExpanded(), opened);

    // Full collapse closes everything and selects the root above the current folder.
    t->setCurrentItem(w.findNode(homeDir() + "docs/inner/", 0));
    ASSERT_TRUE(waitIdle(w));
    ASSERT_EQ(w.currentDirBytes(), homeDir() + "docs/inner/");
    w.FullCollapse1Click();
    for (int i = 0; i < t->topLevelItemCount(); ++i) EXPECT_FALSE(t->topLevelItem(i)->isExpanded());
    EXPECT_FALSE(w.findNode(homeDir() + "docs/", 0)->isExpanded());
    EXPECT_EQ(t->currentItem(), t->topLevelItem(0));
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(w.currentDirBytes(), homeDir());
}

TEST_F(Explorer, CollapsingAboveTheCurrentFolderSelectsAndReloadsIt) {
    TFTPfrm w;
    QTreeWidgetItem* docs = w.findNode(homeDir() + "docs/", 0);
    docs->setExpanded(true);
    w.tree()->setCurrentItem(w.findNode(homeDir() + "docs/inner/", 0));
    ASSERT_TRUE(waitIdle(w));
    ASSERT_EQ(w.currentDirBytes(), homeDir() + "docs/inner/");
    // An unrelated node leaves the list alone.
    fs::create_directories(home / "other" / "sub");
    QTreeWidgetItem* home0 = w.tree()->topLevelItem(0);
    w.tree()->topLevelItem(1)->setExpanded(true);
    w.tree()->topLevelItem(1)->setExpanded(false);
    EXPECT_FALSE(w.mouseTimer()->isActive());
    EXPECT_EQ(w.currentDirBytes(), homeDir() + "docs/inner/");
    // The node above is selected and listed after 100 ms.
    docs->setExpanded(false);
    EXPECT_EQ(w.tree()->currentItem(), docs);
    EXPECT_TRUE(w.mouseTimer()->isActive());
    EXPECT_EQ(w.mouseTimer()->interval(), 100);
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(w.currentDirBytes(), homeDir() + "docs/");
    EXPECT_EQ(listNames(w), (std::vector<QString>{"inner", "a.txt", "big.bin"}));
    EXPECT_TRUE(home0->isExpanded());
}

TEST_F(Explorer, TreeWidthAndInfoHeightAreKeptAtClose) {
    IniFile(configFile()).writeInt("FTP", "TreeWidth", 180);
    IniFile(configFile()).writeInt("FTP", "InfoHeight", 70);
    auto* w = new TFTPfrm;
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    EXPECT_EQ(w->treeSplitter()->sizes().value(0), 180);
    EXPECT_EQ(w->infoSplitter()->sizes().value(1), 70);
    const int across = w->treeSplitter()->sizes().value(0) + w->treeSplitter()->sizes().value(1);
    const int down = w->infoSplitter()->sizes().value(0) + w->infoSplitter()->sizes().value(1);
    w->treeSplitter()->setSizes({across - 150, 150});
    w->infoSplitter()->setSizes({down - 90, 90});
    const int tree = w->treeSplitter()->sizes().value(0), info = w->infoSplitter()->sizes().value(1);
    w->close();
    IniFile ini(configFile());
    EXPECT_EQ(ini.readInt("FTP", "TreeWidth", 0), tree);
    EXPECT_EQ(ini.readInt("FTP", "InfoHeight", 0), info);
    EXPECT_EQ(tree, across - 150);
    EXPECT_EQ(info, 90);
}

TEST_F(Explorer, MenusRunTheEnablingRuleWhenTheyOpen) {
    TFTPfrm w;
    QMenu* edit = nullptr;
    QMenu* file = nullptr;
    for (QMenu* m : w.findChildren<QMenu*>()) {
        if (m->title() == "&Edit") edit = m;
        if (m->title() == "&File") file = m;
    }
    ASSERT_TRUE(edit && file);
    // Each menu, the list pop-up included: Delete is enabled by a tree
    // selection, which only the rule run by the opening menu sees.
    QMenu* popup = nullptr;
    for (QMenu* m : w.findChildren<QMenu*>())
        if (m->actions().contains(w.action("Abort2"))) popup = m;
    ASSERT_NE(popup, nullptr);
    for (QMenu* m : {edit, file, w.ftpMenu(), popup}) {
        SCOPED_TRACE(m->title().toStdString());
        focus(&w, w.list());
        w.HabilitarBotons();
        ASSERT_FALSE(w.action("Delete1")->isEnabled());
        focus(&w, w.tree());
        EXPECT_FALSE(w.action("Delete1")->isEnabled());
        emit m->aboutToShow();
        EXPECT_TRUE(w.action("Delete1")->isEnabled());
    }
}

TEST_F(Explorer, GaugesLineUpWithTheTreeAndTheList) {
    TFTPfrm w;
    w.resize(800, 500);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.treeSplitter()->setSizes({230, 560});
    w.ActivartotalGauge(3);
    QTest::qWait(20);
    auto check = [&] {
        const int handle = w.treeSplitter()->handle(1)->geometry().x();
        const int bar = w.treeSplitter()->handleWidth();
        EXPECT_EQ(w.totalGauge()->geometry().x(), 0);
        EXPECT_EQ(w.totalGauge()->width(), handle);
        EXPECT_EQ(w.fileGauge()->x(), handle + bar + 1);
        EXPECT_EQ(w.fileGauge()->x() + w.fileGauge()->width(), w.gaugePanel()->width() - 2);
    };
    check();
    w.treeSplitter()->setSizes({300, 490}); // a moved splitter
    QTest::qWait(20);
    check();
    w.resize(900, 500);
    QTest::qWait(20);
    check();
}

TEST_F(Explorer, F1OpensTheExplorersPageOfTheGuide) {
    UrlCatcher catcher;
    QTemporaryDir help;
    ASSERT_TRUE(help.isValid());
    QFile page(QDir(help.path()).filePath("ftp.html"));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write("<html><title>x</title></html>");
    page.close();
    setHelpFolder(help.path());
    TFTPfrm w;
    focus(&w, w.tree());
    QTest::keyClick(w.tree(), Qt::Key_F1);
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0], QUrl::fromLocalFile(QDir(help.path()).filePath("ftp.html")));
    setHelpFolder(QDir(help.path()).filePath("missing"));
    int before = beeps;
    w.action("Contents1")->trigger();
    EXPECT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(beeps, before + 1);
    EXPECT_TRUE(prompter->asked().empty());
    setHelpFolder(QString());
}

TEST_F(Explorer, TreePopUpShowsLogoutOnlyOnARemoteNode) {
    FakeFtpServer server;
    server.login().dataActive().onList(RemoteExplorer::listing()).on("CWD", "250 Ok.\r\n");
    TFTPfrm w;
    w.show();
    prompter->pushDialog(quick(server.port(), "user", "pw"));
    w.QuickSBClick();
    ASSERT_TRUE(waitIdle(w));
    QTreeWidget* t = w.tree();
    QAction* logout = w.action("Logout1");
    QAction* upload = w.action("UploadtoMultipleHosts1");
    auto popupOn = [&](QWidget* view, QPoint at) {
        emit static_cast<QAbstractItemView*>(view)->customContextMenuRequested(at);
        QTest::qWait(10);
        for (QMenu* m : w.findChildren<QMenu*>())
            if (m->isVisible()) m->hide();
    };
    QTreeWidgetItem* server0 = w.serverNodes().at(0);
    struct Case {
        QTreeWidgetItem* node;
        bool logoutShown;
    };
    for (Case c : {Case{t->topLevelItem(0), false}, Case{server0, true}, Case{server0->child(0), true}}) {
        SCOPED_TRACE(c.node->text(0).toStdString());
        t->scrollToItem(c.node);
        popupOn(t, t->visualItemRect(c.node).center());
        EXPECT_EQ(logout->isVisible(), c.logoutShown);
        EXPECT_FALSE(upload->isVisible());
    }
    popupOn(w.list(), QPoint(5, 5));
    EXPECT_FALSE(logout->isVisible());
    EXPECT_TRUE(upload->isVisible());
}

TEST_F(Explorer, ReadOnlyLocalFileIsDeletedOnlyWhenConfirmed) {
    IniFile(configFile()).writeInt("FTP", "RecycleBin", 0);
    fs::permissions(home / "docs" / "a.txt", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    TFTPfrm w;
    w.show();
    openDocs(w, homeDir());
    ASSERT_TRUE(waitIdle(w));
    for (bool yes : {false, true}) {
        ASSERT_TRUE(w.selectListItem("a.txt"));
        w.list()->setFocus();
        prompter->pushYesNo(true); // the delete question
        prompter->pushYesNo(yes);  // the read-only question
        w.DeleteSBClick();
        ASSERT_TRUE(waitIdle(w));
        EXPECT_EQ(fs::exists(home / "docs" / "a.txt"), !yes);
        EXPECT_EQ(listItem(w, "a.txt") != nullptr, !yes);
    }
    auto asked = prompter->asked();
    EXPECT_EQ(std::count(asked.begin(), asked.end(),
                         "yesno: The file 'a.txt' is ReadOnly. Do you really want to delete it?"),
              2);
}

TEST_F(Explorer, LocalDeleteFollowsRecycleBin) {
    IniFile(configFile()).writeInt("FTP", "RecycleBin", 0);
    TFTPfrm w;
    w.show();
    ASSERT_TRUE(w.selectListItem("docs"));
    w.ListDblClick();
    ASSERT_TRUE(w.selectListItem("a.txt"));
    w.list()->setFocus();
    prompter->pushYesNo(false);
    w.DeleteSBClick();
    ASSERT_TRUE(waitIdle(w));
    EXPECT_TRUE(fs::exists(home / "docs" / "a.txt")); // No keeps it
    ASSERT_TRUE(w.selectListItem("a.txt"));
    w.list()->setFocus();
    prompter->pushYesNo(true);
    w.DeleteSBClick();
    ASSERT_TRUE(waitIdle(w));
    EXPECT_FALSE(fs::exists(home / "docs" / "a.txt"));
    EXPECT_EQ(listItem(w, "a.txt"), nullptr);
    auto asked = prompter->asked();
    EXPECT_EQ(std::count(asked.begin(), asked.end(),
                         "yesno: Do you confirm that you want to delete this/these element/s?"),
              2);
}

TEST_F(Explorer, ListItemsDraggedOntoAFolderItemAreCopiedIntoIt) {
    TFTPfrm w;
    w.show();
    openDocs(w, homeDir());
    ASSERT_TRUE(waitIdle(w));
    ASSERT_TRUE(w.selectListItem("a.txt"));
    int target = -1;
    for (int r = 0; r < w.list()->model()->rowCount(); ++r)
        if (w.list()->model()->index(r, 0).data().toString() == "inner") target = r;
    ASSERT_GE(target, 0);
    w.ListDragDrop(w.list(), target);
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(readAll(home / "docs" / "inner" / "a.txt"), "hello");
    EXPECT_TRUE(fs::exists(home / "docs" / "a.txt"));
    // Onto no item: only the beep.
    int before = beeps;
    ASSERT_TRUE(w.selectListItem("a.txt"));
    w.ListDragDrop(w.list(), -1);
    EXPECT_EQ(beeps, before + 1);
}

TEST_F(Explorer, FilePropertiesOfALocalFolderShowsNoSize) {
    TFTPfrm w;
    w.show();
    openDocs(w, homeDir());
    ASSERT_TRUE(waitIdle(w));
    ASSERT_TRUE(w.selectListItem("inner"));
    QString sizeLine = "unset", title;
    prompter->pushDialog([&](QDialog& d) {
        title = d.windowTitle();
        if (auto* l = d.findChild<QLabel*>("SizeLabel")) sizeLine = l->text();
        return static_cast<int>(QDialog::Accepted);
    });
    w.FileProperties1Click();
    EXPECT_EQ(title, "File Properties");
    EXPECT_EQ(sizeLine, "");
}

TEST_F(Explorer, DesktopDropOnTheListCopiesIntoTheCurrentFolder) {
    const fs::path outside = home.parent_path() / (home.filename().string() + "-desktop");
    fs::remove_all(outside);
    touch(outside / "dropped.txt", "from the desktop");
    TFTPfrm w;
    w.resize(800, 600);
    w.show();
    openDocs(w, homeDir());
    ASSERT_TRUE(waitIdle(w));
    QMimeData data;
    data.setData(QStringLiteral("text/uri-list"),
                 QUrl::fromLocalFile(QString::fromStdString((outside / "dropped.txt").string())).toEncoded() + "\r\n");
    QWidget* viewport = w.list()->viewport();
    // Below the last row: no item under the pointer, so the current folder.
    const QPoint pos(5, viewport->height() - 5);
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(pos, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDragMoveEvent move(pos, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    QDropEvent drop(QPointF(pos), actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction); // the desktop never deletes its file
    QTest::qWait(20);
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(readAll(home / "docs" / "dropped.txt"), "from the desktop");
    EXPECT_TRUE(fs::exists(outside / "dropped.txt"));
    EXPECT_NE(listItem(w, "dropped.txt"), nullptr);
    fs::remove_all(outside);
}

// Upload to Multiple Hosts hands over the selected local files, a name without
// an extension included; a folder is named in a message and left out.
TEST_F(Explorer, UploadToMultipleHostsHandsOverTheSelectedFiles) {
    touch(home / "docs" / "a.txt");
    touch(home / "docs" / "README");
    fs::create_directories(home / "docs" / "sub");
    TFTPfrm w;
    openDocs(w, homeDir());
    QAction* upload = w.action("UploadtoMultipleHosts1");
    ASSERT_NE(upload, nullptr);
    std::vector<std::string> handed;
    int handedOver = 0;
    QObject::connect(&w, &TFTPfrm::uploadToMultipleHosts, [&](const std::vector<std::string>& files) {
        handed = files;
        ++handedOver;
    });
    QAbstractItemView* view = w.currentListView();
    for (int r = 0; r < w.listModel()->rowCount(); ++r)
        if (const std::string& n = w.listModel()->item(r).name; n == "a.txt" || n == "README" || n == "sub")
            view->selectionModel()->select(view->model()->index(r, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    w.updateCommands();
    ASSERT_TRUE(upload->isEnabled());
    prompter->clearAsked();
    upload->trigger();
    EXPECT_EQ(handedOver, 1);
    const std::string docs = homeDir() + "docs/";
    std::sort(handed.begin(), handed.end());
    EXPECT_EQ(handed, (std::vector<std::string>{docs + "README", docs + "a.txt"}));
    EXPECT_EQ(prompter->asked(), (std::vector<std::string>{"message: You can only use files with the multiple upload "
                                                            "option.\rThe Folder: \"" +
                                                            docs + "sub\" will not be used."}));
}

} // namespace
} // namespace vn::test

