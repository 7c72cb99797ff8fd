// The FTP window on servers, end to end on the offscreen platform: the
// scripted fake server for what real servers will not do, vsftpd for the rest.
#include "ExplorerTestKit.h"

namespace vn::test {
namespace {

TEST_F(RemoteExplorer, ConnectBuildsTheServerNodeAndTheChainToTheWorkingFolder) {
    FakeFtpServer server;
    server.login()
        .on("PWD", "257 \"/pub/linux\" is the current directory.\r\n")
        .dataActive()
        .onList(listing())
        .on("CWD", "250 Ok.\r\n");
    TFTPfrm w;
    prompter->pushDialog(quick(server.port(), "user", "pw"));
    w.QuickSBClick();
    ASSERT_TRUE(waitIdle(w));
    auto servers = w.serverNodes();
    ASSERT_EQ(servers.size(), 1u);
    QTreeWidgetItem* s = servers[0];
    // Not the default port: shown.
    EXPECT_EQ(s->text(0), QStringLiteral("127.0.0.1:%1[FTP]").arg(server.port()));
    // Local roots sort before every server.
    EXPECT_EQ(w.tree()->indexOfTopLevelItem(s), w.tree()->topLevelItemCount() - 1);
    ASSERT_EQ(childCaptions(s), QStringList{"pub"});
    QTreeWidgetItem* leaf = s->child(0)->child(0);
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(leaf->text(0), "linux");
    EXPECT_EQ(w.nodeInfo(leaf)->Path, "/pub/linux/");
    EXPECT_TRUE(w.nodeInfo(leaf)->DirNom.empty());
    EXPECT_EQ(w.tree()->currentItem(), leaf);
    EXPECT_TRUE(leaf->isExpanded());
    EXPECT_TRUE(s->isExpanded());
    EXPECT_TRUE(s->child(0)->isExpanded());
    EXPECT_EQ(childCaptions(leaf), (QStringList{"latest", "src"}));
    EXPECT_EQ(w.currentDirBytes(), "/pub/linux/");
    EXPECT_EQ(listNames(w), (std::vector<QString>{"latest", "src", "huge.iso"}));
    const FileItem* huge = listItem(w, "huge.iso");
    EXPECT_EQ(huge->size, "6000000000");
    EXPECT_EQ(huge->sizeKey, 6000000000LL);
    EXPECT_EQ(huge->modified, "Mar  1  2001");
    EXPECT_EQ(huge->attribs, "-rw-r--r--");
    EXPECT_EQ(listItem(w, "latest")->type, "Link");
    // The chain and the server node have no name: no rename.
    focus(&w, w.tree());
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(w.tree()->currentItem(), leaf);
    int before = beeps;
    w.RenameSBClick();
    EXPECT_EQ(beeps, before + 1);
    // Clicking "Modified" on a remote folder beeps and keeps the order.
    w.ListColumnClick(3);
    EXPECT_EQ(beeps, before + 2);
    EXPECT_EQ(listNames(w), (std::vector<QString>{"latest", "src", "huge.iso"}));
}

TEST_F(RemoteExplorer, AServerThatClosesDuringAListingTakesOnlyItsNode) {
    FakeFtpServer server;
    server.login().dataActive().onList(listing()).on("CWD", "250 Ok.\r\n");
    TFTPfrm w;
    prompter->pushDialog(quick(server.port(), "user", "pw"));
    w.QuickSBClick();
    ASSERT_TRUE(waitIdle(w));
    QTreeWidgetItem* src = w.findNode("/src/", w.currentSession());
    ASSERT_NE(src, nullptr);
    server.onClose("LIST", ""); // gone without a word
    NodeId id = w.nodeIdOf(src);
    src->setExpanded(true);
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(w.nodeById(id), nullptr);
    EXPECT_EQ(w.sessionCount(), 0);
    EXPECT_GT(w.tree()->topLevelItemCount(), 0); // the local roots stay
    EXPECT_EQ(w.currentSession(), 0u);
}

TEST_F(RemoteExplorer, ClosingDuringAnOperationCancelsAndClosesAfterTheUnwind) {
    FakeFtpServer server;
    server.login().dataActive().onList(listing()).on("CWD", "250 Ok.\r\n");
    auto* w = new TFTPfrm;
    w->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<TFTPfrm> alive(w);
    prompter->pushDialog(quick(server.port(), "user", "pw"));
    w->QuickSBClick();
    ASSERT_TRUE(waitIdle(*w));
    server.on("LIST", ""); // the listing never answers
    w->RefreshSBClick();
    ASSERT_TRUE(w->busy());
    prompter->pushYesNo(true);
    w->close();
    ASSERT_TRUE(alive); // not while the worker is inside the wait
    for (int i = 0; i < 300 && alive; ++i) QTest::qWait(10);
    EXPECT_FALSE(alive);
}

TEST_F(RemoteExplorer, AFailedDeleteLeavesItsItem) {
    FakeFtpServer server;
    server.login().dataActive().onList(listing()).on("CWD", "250 Ok.\r\n").on("DELE", "550 Denied.\r\n");
    TFTPfrm w;
    w.show();
    prompter->pushDialog(quick(server.port(), "user", "pw"));
    w.QuickSBClick();
    ASSERT_TRUE(waitIdle(w));
    focus(&w, w.list());
    ASSERT_TRUE(w.selectListItem("huge.iso"));
    prompter->pushYesNo(true);
    w.DeleteSBClick();
    ASSERT_TRUE(waitIdle(w));
    EXPECT_NE(listItem(w, "huge.iso"), nullptr);
    EXPECT_TRUE(w.info()->lines().contains(">Error deleting file"));
}

TEST_F(OnVsftpd, ExpandingAndSelectingFoldersListsThem) {
    TFTPfrm w;
    connect(w);
    EXPECT_EQ(w.currentDirBytes(), "/");
    ASSERT_NE(listItem(w, "readme.txt"), nullptr);
    SessionId sid = w.currentSession();
    QTreeWidgetItem* upload = w.findNode("/upload/", sid);
    ASSERT_NE(upload, nullptr);
    upload->setExpanded(true);
    ASSERT_TRUE(waitIdle(w));
    upload = w.findNode("/upload/", sid);
    ASSERT_EQ(childCaptions(upload), QStringList{"one"});
    QTreeWidgetItem* one = upload->child(0);
    w.tree()->setCurrentItem(one);
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(w.currentDirBytes(), "/upload/one/");
    EXPECT_EQ(listNames(w), (std::vector<QString>{"two", "file.txt"}));
    EXPECT_EQ(listItem(w, "two")->kind, ItemKind::RemoteFolder);
    EXPECT_EQ(listItem(w, "file.txt")->path, "/upload/one/");
    // Up goes to the parent through CDUP.
    w.UpSBClick();
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(w.currentDirBytes(), "/upload/");
    EXPECT_TRUE(w.info()->lines().contains(">CDUP"));
}

TEST_F(OnVsftpd, InitialRemoteFolderOpensTheWholePath) {
    TFTPfrm w;
    connect(w, "/upload/one");
    ASSERT_TRUE(waitIdle(w, 10s));
    EXPECT_EQ(w.currentDirBytes(), "/upload/one/");
    ASSERT_NE(w.tree()->currentItem(), nullptr);
    EXPECT_EQ(w.tree()->currentItem()->text(0), "one");
    EXPECT_EQ(listNames(w), (std::vector<QString>{"two", "file.txt"}));
}

TEST_F(OnVsftpd, PassiveSwitchAppliesToTheWholeSession) {
    TFTPfrm w;
    connect(w);
    EXPECT_FALSE(w.currentPasv());
    w.pasvmode1Click();
    ASSERT_TRUE(waitIdle(w));
    EXPECT_TRUE(w.currentPasv());
    for (QTreeWidgetItem* s : w.serverNodes()) {
        EXPECT_TRUE(w.nodeInfo(s)->Pasv);
        for (int i = 0; i < s->childCount(); ++i) {
            if (!w.isPlaceholder(s->child(i))) {
                EXPECT_TRUE(w.nodeInfo(s->child(i))->Pasv);
            }
        }
    }
    w.info()->clearLines();
    w.RefreshSBClick();
    ASSERT_TRUE(waitIdle(w));
    // vsftpd lists EPSV, which passive mode then uses.
    EXPECT_TRUE(w.info()->lines().contains(">EPSV"));
    EXPECT_NE(listItem(w, "readme.txt"), nullptr);
}

TEST_F(OnVsftpd, NewFolderRenameAndDeleteActOnTheCurrentFolder) {
    TFTPfrm w;
    w.show();
    connect(w);
    // Open /upload from the list (its node is not the selected one).
    ASSERT_TRUE(w.selectListItem("upload"));
    w.ListDblClick();
    ASSERT_TRUE(waitIdle(w));
    ASSERT_EQ(w.currentDirBytes(), "/upload/");
    const fs::path up = server->uploadDir();

    focus(&w, w.list());
    w.NovaCarpetaSBClick();
    ASSERT_TRUE(typeName(w, w.list(), "made"));
    EXPECT_TRUE(fs::is_directory(up / "made"));
    EXPECT_NE(listItem(w, "made"), nullptr);
    EXPECT_EQ(listItem(w, ""), nullptr);
    QTreeWidgetItem* uploadNode = w.findNode("/upload/", w.currentSession());
    ASSERT_NE(uploadNode, nullptr);
    EXPECT_TRUE(uploadNode->isExpanded());
    EXPECT_TRUE(childCaptions(uploadNode).contains("made"));

    focus(&w, w.list());
    ASSERT_TRUE(w.selectListItem("made"));
    w.RenameSBClick();
    ASSERT_TRUE(typeName(w, w.list(), "renamed"));
    EXPECT_TRUE(fs::is_directory(up / "renamed"));
    EXPECT_FALSE(fs::exists(up / "made"));
    EXPECT_NE(listItem(w, "renamed"), nullptr);

    // A folder with nested content goes recursively.
    focus(&w, w.list());
    ASSERT_TRUE(w.selectListItem("one"));
    prompter->pushYesNo(true);
    w.DeleteSBClick();
    ASSERT_TRUE(waitIdle(w));
    EXPECT_FALSE(fs::exists(up / "one"));
    EXPECT_EQ(listItem(w, "one"), nullptr);
    EXPECT_EQ(w.findNode("/upload/one/", w.currentSession()), nullptr);
    EXPECT_NE(listItem(w, "renamed"), nullptr);
}

TEST_F(OnVsftpd, DeletingAFolderNodeFromTheTree) {
    TFTPfrm w;
    w.show();
    connect(w);
    SessionId sid = w.currentSession();
    QTreeWidgetItem* one = pickFolderOne(w);
    ASSERT_NE(one, nullptr);
    prompter->pushYesNo(true);
    w.DeleteSBClick();
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(prompter->asked().back(), "yesno: Do you confirm that you want to delete 'one'?");
    EXPECT_FALSE(fs::exists(server->uploadDir() / "one"));
    EXPECT_EQ(w.findNode("/upload/one/", sid), nullptr);
    EXPECT_EQ(w.currentDirBytes(), "/upload/");
}

TEST_F(OnVsftpd, TwoServersSideBySideAndLogoutRemovesOnlyItsNode) {
    Vsftpd second;
    ASSERT_TRUE(second.ready()) << second.error();
    TFTPfrm w;
    connect(w);
    prompter->pushDialog(quick(second.port(), "anonymous", "me@example.org"));
    w.QuickSBClick();
    ASSERT_TRUE(waitIdle(w, 10s));
    auto servers = w.serverNodes();
    ASSERT_EQ(servers.size(), 2u);
    SessionId first = w.nodeInfo(servers[0])->session;
    SessionId other = w.nodeInfo(servers[1])->session;
    EXPECT_NE(first, other);
    // Both show "/", each its own.
    EXPECT_NE(w.findNode("/", first), w.findNode("/", other));
    // Two servers on one host: their ports tell them apart.
    EXPECT_EQ(servers[0]->text(0), QStringLiteral("127.0.0.1:%1[FTP]").arg(server->port()));
    EXPECT_EQ(servers[1]->text(0), QStringLiteral("127.0.0.1:%1[FTP]").arg(second.port()));
    prompter->pushYesNo(true);
    w.QuitSBClick(); // the current (second) session
    ASSERT_TRUE(waitIdle(w));
    servers = w.serverNodes();
    ASSERT_EQ(servers.size(), 1u);
    EXPECT_EQ(w.nodeInfo(servers[0])->session, first);
}

TEST_F(OnVsftpd, OpeningARemoteFileDownloadsItIntoTempAndKeepsTheSource) {
    // Even with delete-after-download on, the temporary copy never costs the source.
    IniFile(configFile()).writeInt("FTP", "DeleteFileAfterDownload", 1);
    std::vector<QString> opened;
    setLocalOpener([&](const QString& p) {
        opened.push_back(p);
        return true;
    });
    TFTPfrm w;
    connect(w, "/upload/one");
    ASSERT_TRUE(waitIdle(w));
    ASSERT_EQ(w.currentDirBytes(), "/upload/one/");
    ASSERT_TRUE(w.selectListItem("file.txt"));
    prompter->pushYesNo(true);
    w.ListDblClick();
    ASSERT_TRUE(waitIdle(w));
    // Inside this window's own folder below "TEMP".
    ASSERT_EQ(opened.size(), 1u);
    const fs::path local = opened[0].toStdString();
    EXPECT_EQ(local.filename(), "file.txt");
    EXPECT_EQ(local.string().rfind(dataFile("TEMP").string() + "/", 0), 0u);
    std::ifstream in(local);
    std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(got, "1");
    EXPECT_TRUE(fs::exists(server->uploadDir() / "one" / "file.txt"));
    EXPECT_FALSE(w.info()->lines().contains(">DELE /upload/one/file.txt"));
    auto asked = prompter->asked();
    ASSERT_FALSE(asked.empty());
    EXPECT_NE(std::find(asked.begin(), asked.end(),
                        "yesno: The file 'file.txt' is remote.\rDo you really want to download it to a temporal "
                        "folder and execute it?"),
              asked.end());
}

// A paste whose copies fail says so in a message box, not only in the log.
TEST_F(RemoteExplorer, APasteThatFailsSaysHowManyItemsFailed) {
    FakeFtpServer server;
    server.login().dataActive().onList(listing()).on("CWD", "250 Ok.\r\n").on("STOR", "553 Could not create file.\r\n");
    TFTPfrm w;
    w.show();
    openDocs(w, homeDir());
    focus(&w, w.list());
    ASSERT_TRUE(w.selectListItem("a.txt"));
    w.CopySBClick();
    prompter->pushDialog(quick(server.port(), "user", "pw"));
    w.QuickSBClick();
    ASSERT_TRUE(waitIdle(w));
    ASSERT_EQ(w.sessionCount(), 1);
    prompter->clearAsked();
    w.PAsteSBClick();
    ASSERT_TRUE(waitIdle(w));
    EXPECT_TRUE(server.waitForCommand("STOR", 1s));
    const auto asked = prompter->asked();
    EXPECT_NE(std::find(asked.begin(), asked.end(), "message: 1 item could not be copied."), asked.end())
        << w.info()->lines().join("\n").toStdString();
}

// A drop whose copies fail ends with the same message a failed paste shows.
TEST_F(RemoteExplorer, ADropThatFailsSaysHowManyItemsFailed) {
    struct Case {
        std::vector<std::string> dropped;
        const char* message;
    } cases[] = {
        {{"a.txt"}, "message: 1 item could not be copied."},
        {{"a.txt", "big.bin"}, "message: 2 items could not be copied."},
    };
    for (const Case& c : cases) {
        FakeFtpServer server;
        server.login().dataActive().onList(listing()).on("CWD", "250 Ok.\r\n").on("STOR",
                                                                                  "553 Could not create file.\r\n");
        TFTPfrm w;
        w.show();
        prompter->pushDialog(quick(server.port(), "user", "pw"));
        w.QuickSBClick();
        ASSERT_TRUE(waitIdle(w));
        ASSERT_EQ(w.sessionCount(), 1);
        prompter->clearAsked();
        std::vector<std::string> paths;
        for (const std::string& name : c.dropped) paths.push_back(homeDir() + "docs/" + name);
        w.FerDropEnList(paths, -1);
        ASSERT_TRUE(waitIdle(w));
        EXPECT_TRUE(server.waitForCommand("STOR", 1s));
        const auto asked = prompter->asked();
        EXPECT_NE(std::find(asked.begin(), asked.end(), c.message), asked.end())
            << c.message << "\n" << w.info()->lines().join("\n").toStdString();
    }
}

TEST_F(RemoteExplorer, TheQuickDialogsTransferTypePressesItsButton) {
    struct Case {
        const char* radio;
        const char* action;
    };
    for (Case c : {Case{"AsciiRb", "ASCIImode1"}, Case{"BinaryRb", "Binarymode1"}, Case{"AutoRb", "Automode1"}}) {
        SCOPED_TRACE(c.radio);
        FakeFtpServer server;
        server.login().dataActive().onList(listing()).on("CWD", "250 Ok.\r\n");
        TFTPfrm w;
        // Start from another type so the choice is what presses it.
        w.action(std::string(c.action) == "Binarymode1" ? "ASCIImode1" : "Binarymode1")->trigger();
        prompter->pushDialog([&](QDialog& d) {
            d.findChild<QRadioButton*>(c.radio)->setChecked(true);
            return quick(server.port(), "user", "pw")(d);
        });
        w.QuickSBClick();
        ASSERT_TRUE(waitIdle(w));
        ASSERT_EQ(w.sessionCount(), 1);
        EXPECT_TRUE(w.action(c.action)->isChecked());
    }
}

TEST_F(RemoteExplorer, WhileBusyTheKeyboardCannotMoveTheSelection) {
    FakeFtpServer server;
    server.login().dataActive().onList(listing()).on("CWD", "250 Ok.\r\n");
    TFTPfrm w;
    prompter->pushDialog(quick(server.port(), "user", "pw"));
    w.QuickSBClick();
    ASSERT_TRUE(waitIdle(w));
    focus(&w, w.list());
    ASSERT_TRUE(w.selectListItem("latest"));
    // TYPE never answers. (A LIST left unanswered would test the engine's late
    // reply read instead, which outlasts a first Abort.)
    server.on("TYPE", "");
    w.RefreshSBClick();
    ASSERT_TRUE(w.busy());
    QTest::keyClick(w.list(), Qt::Key_Down);
    EXPECT_TRUE(w.keyboardSelecting());
    auto selected = [&] {
        auto rows = w.list()->selectionModel()->selectedRows();
        return rows.size() == 1 ? w.listModel()->item(rows[0].row()).display() : QString();
    };
    EXPECT_EQ(selected(), "latest"); // the key was swallowed
    // A selection the user makes meanwhile is refused; the program's own goes through.
    w.list()->selectionModel()->select(w.listModel()->index(2, 0),
                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    EXPECT_EQ(selected(), "latest");
    ASSERT_TRUE(w.selectListItem("src"));
    EXPECT_EQ(selected(), "src");
    // A key during the wait does not undo an Abort: the operation still ends.
    w.AbortSBClick();
    QTest::keyClick(w.list(), Qt::Key_A);
    EXPECT_TRUE(waitIdle(w, 3s)) << w.info()->lines().join("\n").toStdString();
}

TEST_F(RemoteExplorer, AFailedOrAbandonedRemoteNewFolderLeavesNothing) {
    FakeFtpServer server;
    server.login().dataActive().onList(listing()).on("CWD", "250 Ok.\r\n").on("MKD", "550 Denied.\r\n");
    TFTPfrm w;
    prompter->pushDialog(quick(server.port(), "user", "pw"));
    w.QuickSBClick();
    ASSERT_TRUE(waitIdle(w));
    focus(&w, w.list());
    const int before = w.listModel()->rowCount();
    w.NovaCarpetaSBClick();
    EXPECT_EQ(w.listModel()->item(before).kind, ItemKind::RemoteFolder);
    EXPECT_EQ(w.listModel()->item(before).attribs, "drwxr-xr-x");
    w.info()->clearLines();
    ASSERT_TRUE(typeName(w, w.list(), "x", Qt::Key_Escape));
    EXPECT_EQ(w.listModel()->rowCount(), before);
    EXPECT_FALSE(w.info()->lines().join("\n").contains("MKD"));
    focus(&w, w.list());
    w.NovaCarpetaSBClick();
    ASSERT_TRUE(typeName(w, w.list(), "x"));
    EXPECT_TRUE(w.info()->lines().join("\n").contains(">MKD /x"));
    EXPECT_EQ(w.listModel()->rowCount(), before);
    EXPECT_EQ(listItem(w, ""), nullptr);
    EXPECT_EQ(prompter->asked().back(), "message: Error Creating Folder!");
}

TEST_F(OnVsftpd, RenamingARemoteFolderNodeInPlace) {
    TFTPfrm w;
    connect(w);
    SessionId sid = w.currentSession();
    QTreeWidgetItem* one = pickFolderOne(w);
    ASSERT_NE(one, nullptr);
    w.RenameSBClick();
    ASSERT_TRUE(typeName(w, w.tree(), "uno"));
    EXPECT_TRUE(fs::is_directory(server->uploadDir() / "uno"));
    EXPECT_FALSE(fs::exists(server->uploadDir() / "one"));
    EXPECT_EQ(one->text(0), "uno");
    EXPECT_EQ(w.nodeInfo(one)->DirNom, "uno");
    EXPECT_EQ(w.currentDirBytes(), "/upload/uno/");
    EXPECT_EQ(listNames(w), (std::vector<QString>{"two", "file.txt"}));
    EXPECT_NE(w.findNode("/upload/uno/two/", sid), nullptr);
    EXPECT_EQ(prompter->unexpected(), 0) << prompter->asked().back();
}

TEST_F(OnVsftpd, CopyAndCutThroughTheClipboardBothWays) {
    TFTPfrm w;
    w.show();
    connect(w);
    SessionId sid = w.currentSession();
    // Local to server: copy docs/a.txt, paste into /upload.
    QTreeWidgetItem* homeNode = w.findNode(homeDir(), 0);
    ASSERT_NE(homeNode, nullptr);
    w.tree()->setCurrentItem(homeNode);
    ASSERT_TRUE(waitForFolder(w, homeDir()));
    ASSERT_TRUE(w.selectListItem("docs"));
    w.ListDblClick();
    ASSERT_TRUE(waitIdle(w));
    ASSERT_EQ(w.currentDirBytes(), homeDir() + "docs/");
    ASSERT_TRUE(w.selectListItem("a.txt"));
    w.list()->setFocus();
    w.CopySBClick();
    ASSERT_TRUE(fs::exists(dataFile("copy.dat")));
    QTreeWidgetItem* upload = w.findNode("/upload/", sid);
    ASSERT_NE(upload, nullptr);
    w.tree()->setCurrentItem(upload);
    ASSERT_TRUE(waitForFolder(w, "/upload/"));
    w.PAsteSBClick();
    ASSERT_TRUE(waitIdle(w, 10s));
    EXPECT_EQ(readAll(server->uploadDir() / "a.txt"), "hello");
    EXPECT_NE(listItem(w, "a.txt"), nullptr); // the list shows the pasted file
    EXPECT_TRUE(fs::exists(home / "docs" / "a.txt")); // a copy keeps its source

    // Server to local with Cut: the remote source goes once the copy is done.
    ASSERT_TRUE(w.selectListItem("a.txt"));
    w.list()->setFocus();
    w.CutSBClick();
    homeNode = w.findNode(homeDir(), 0);
    w.tree()->setCurrentItem(homeNode);
    ASSERT_TRUE(waitForFolder(w, homeDir()));
    w.PAsteSBClick();
    ASSERT_TRUE(waitIdle(w, 10s));
    EXPECT_EQ(readAll(home / "a.txt"), "hello");
    EXPECT_FALSE(fs::exists(server->uploadDir() / "a.txt"));
    EXPECT_NE(listItem(w, "a.txt"), nullptr);
    EXPECT_EQ(prompter->unexpected(), 0) << ::testing::PrintToString(prompter->asked());
}

// A folder cut away from a server leaves no node behind: the tree has no
// folder to click that the server no longer has.
TEST_F(OnVsftpd, ACutFolderLeavesTheTree) {
    TFTPfrm w;
    w.show();
    connect(w);
    SessionId sid = w.currentSession();
    QTreeWidgetItem* upload = w.findNode("/upload/", sid);
    ASSERT_NE(upload, nullptr);
    w.tree()->setCurrentItem(upload);
    ASSERT_TRUE(waitForFolder(w, "/upload/"));
    upload->setExpanded(true);
    ASSERT_TRUE(waitIdle(w));
    ASSERT_NE(w.findNode("/upload/one/", sid), nullptr);
    ASSERT_TRUE(w.selectListItem("one"));
    w.list()->setFocus();
    w.CutSBClick();
    w.tree()->setCurrentItem(w.findNode(homeDir(), 0));
    ASSERT_TRUE(waitForFolder(w, homeDir()));
    w.PAsteSBClick();
    ASSERT_TRUE(waitIdle(w, 10s));
    ASSERT_TRUE(fs::exists(home / "one" / "file.txt"));
    ASSERT_FALSE(fs::exists(server->uploadDir() / "one"));
    EXPECT_EQ(w.findNode("/upload/one/", sid), nullptr);
    EXPECT_EQ(w.findNode("/upload/one/two/", sid), nullptr);
    EXPECT_NE(w.findNode("/upload/", sid), nullptr);
}

TEST_F(OnVsftpd, DesktopFolderDroppedOnARemoteListIsUploadedWithItsContents) {
    TFTPfrm w;
    w.show();
    connect(w, "/upload");
    ASSERT_TRUE(waitIdle(w));
    ASSERT_EQ(w.currentDirBytes(), "/upload/");
    const std::string gone = homeDir() + "no-longer-there";
    w.FerDropEnList({homeDir() + "docs", gone}, -1);
    ASSERT_TRUE(waitIdle(w, 10s));
    EXPECT_EQ(readAll(server->uploadDir() / "docs" / "a.txt"), "hello");
    EXPECT_EQ(readAll(server->uploadDir() / "docs" / "big.bin"), std::string(5000, 'b'));
    EXPECT_TRUE(fs::is_directory(server->uploadDir() / "docs" / "inner"));
    EXPECT_NE(listItem(w, "docs"), nullptr);
    auto asked = prompter->asked();
    EXPECT_NE(std::find(asked.begin(), asked.end(), "message: Item " + gone + " is not a file or a folder"),
              asked.end());
    EXPECT_TRUE(fs::exists(home / "docs" / "a.txt")); // a drop copies, never moves
}

// A remote file's properties: the listing's text, or SIZE and MDTM's exact
// values when FEAT lists them.
TEST_F(RemoteExplorer, FilePropertiesOfARemoteFileAskSizeAndTimeWhenTheServerHasThem) {
    struct Case {
        const char* name;
        const char* feat;
        QString size, modified;
    };
    const Case cases[] = {
        {"no FEAT", nullptr, "Size : 6000000000 Bytes", "Last Modification : Mar  1  2001"},
        {"SIZE and MDTM", "211-Features:\r\n MDTM\r\n SIZE\r\n211 End.\r\n", "Size : 6000000123 Bytes",
         "Last Modification : " + formatLocalTime(983449496)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFtpServer server;
        server.login()
            .on("PWD", "257 \"/pub\"\r\n")
            .dataActive()
            .onList(listing())
            .on("CWD", "250 Ok.\r\n")
            .on("SIZE", "213 6000000123\r\n")
            .on("MDTM", "213 20010301122456\r\n");
        if (c.feat) server.on("FEAT", c.feat);
        TFTPfrm w;
        prompter->pushDialog(quick(server.port(), "user", "pw"));
        w.QuickSBClick();
        ASSERT_TRUE(waitIdle(w));
        ASSERT_TRUE(w.selectListItem("huge.iso"));
        QString size, modified;
        prompter->pushDialog([&](QDialog& d) {
            size = d.findChild<QLabel*>("SizeLabel")->text();
            modified = d.findChild<QLabel*>("ModifiedLabel")->text();
            return static_cast<int>(QDialog::Accepted);
        });
        w.FileProperties1Click();
        ASSERT_TRUE(waitIdle(w));
        EXPECT_EQ(size, c.size);
        EXPECT_EQ(modified, c.modified);
        const std::vector<std::string> sent = server.commands();
        EXPECT_EQ(std::find(sent.begin(), sent.end(), "SIZE /pub/huge.iso") != sent.end(), c.feat != nullptr);
    }
}

TEST_F(OnThrottledVsftpd, InterruptedDownloadResumesAfterSmartResume) {
    // 6 MiB that is never zero, so the local copy is compared byte for byte.
    const fs::path source = server->uploadDir() / "big.dat";
    {
        std::ofstream out(source, std::ios::binary);
        std::vector<std::uint64_t> block(1 << 16);
        for (std::uint64_t b = 0; b < 12; ++b) {
            for (std::size_t i = 0; i < block.size(); ++i) block[i] = (b << 32) | (i + 1);
            out.write(reinterpret_cast<const char*>(block.data()), block.size() * sizeof block[0]);
        }
    }
    const auto total = fs::file_size(source);
    TFTPfrm w;
    w.show();
    connect(w, "/upload");
    ASSERT_TRUE(waitIdle(w));
    ASSERT_TRUE(w.selectListItem("big.dat"));
    w.list()->setFocus();
    w.CopySBClick();
    const fs::path target = home / "big.dat";
    w.tree()->setCurrentItem(w.findNode(homeDir(), 0));
    ASSERT_TRUE(waitIdle(w));
    // Abort once part of the file has arrived (in the hidden partial file
    // beside the target: the target itself appears only when whole).
    auto partialFile = [&] {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(home, ec)) {
            const std::string n = e.path().filename().string();
            if (n.rfind(".big.dat.", 0) == 0 && n.size() > 7 && n.substr(n.size() - 7) == ".vnpart") return e.path();
        }
        return fs::path();
    };
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        std::error_code ec;
        const fs::path p = partialFile();
        const auto size = p.empty() ? 0 : fs::file_size(p, ec); // not there yet: an error, not a size
        if (!ec && size > (1u << 20)) {
            w.AbortSBClick();
            poll.stop();
        }
    });
    ASSERT_TRUE(waitForFolder(w, homeDir()));
    poll.start();
    w.PAsteSBClick();
    ASSERT_TRUE(w.busy()) << "the paste did not start";
    ASSERT_TRUE(waitIdle(w, 20s));
    poll.stop();
    EXPECT_FALSE(fs::exists(target)) << "a partial download never stands under the final name";
    std::error_code ec;
    const fs::path partialPath = partialFile();
    ASSERT_FALSE(partialPath.empty()) << w.info()->lines().join("\n").toStdString();
    const auto partial = fs::file_size(partialPath, ec);
    ASSERT_FALSE(ec) << w.info()->lines().join("\n").toStdString();
    // The throttled server cannot have sent it all by the time the Abort landed.
    ASSERT_LT(partial, total);
    ASSERT_GT(partial, 0u);

    // Pasting again asks Smart Resume; resuming completes the same bytes.
    bool asked = false;
    prompter->pushDialog([&](QDialog& d) {
        asked = d.windowTitle() == "Smart Resume";
        if (auto* b = d.findChild<QPushButton*>("ResumeBtn")) b->click();
        return d.result();
    });
    w.PAsteSBClick();
    ASSERT_TRUE(waitIdle(w, 30s));
    EXPECT_TRUE(asked);
    ASSERT_EQ(fs::file_size(target), total);
    EXPECT_TRUE(readAll(target) == readAll(source));
    EXPECT_FALSE(fs::exists(partialPath));
    bool sawRest = false;
    for (const QString& l : w.info()->lines())
        if (l.startsWith(">REST ") && l != ">REST 0") sawRest = true;
    EXPECT_TRUE(sawRest);
}

} // namespace
} // namespace vn::test
