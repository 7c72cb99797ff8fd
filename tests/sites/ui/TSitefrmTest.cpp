// The FTP site manager driven through its controls, on the offscreen platform,
// with every nested dialog and question answered by the scripted prompter.
#include "sites/ui/TSitefrm.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QAccessibleActionInterface>
#include <QAccessible>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <array>
#include <string>
#include <vector>

#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/Beeper.h"
#include "sites/ui/TMultihomedfrm.h"
#include "sites/ui/TNewSitefrm.h"
#include "ui/ScriptedPrompter.h"

namespace vn {
namespace {

namespace fs = std::filesystem;
using test::ScopedPrompter;
using test::ScriptedPrompter;
using Asked = std::vector<std::string>;
using Addresses = std::array<std::string, 5>;

const std::string kGuard = "message: You are editing a site node. Please complete it before closing.";

template <typename T>
T* child(QWidget& w, const char* name) {
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(nullptr, c) << name;
    return c;
}

std::string fileBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

fs::path siteFile() { return dataFile("siteman.dat"); }

TSiteRec folder(std::string name) {
    return {.HostName = std::move(name), .Port = 21, .TransferType = 2, .IsFolder = true};
}

TSiteRec site(std::string name, std::string address = "ftp.example.org") {
    return {.HostName = std::move(name), .Address = std::move(address), .Login = "me", .Password = "pw",
            .Port = 21, .TransferType = 2};
}

void writeTree(const SiteTree& tree) { writeBytes(siteFile(), writeSites(tree, SiteLayout::Ftp)); }

SiteTree fileTree() {
    auto r = readSites(fileBytes(siteFile()), SiteLayout::Ftp);
    EXPECT_TRUE(r.clean);
    return r.tree;
}

// "A(B C) D": captions, children in brackets.
std::string shape(const SiteTree& nodes) {
    std::string out;
    for (const auto& n : nodes) {
        if (!out.empty()) out += ' ';
        out += n.rec.HostName;
        if (!n.children.empty()) out += "(" + shape(n.children) + ")";
    }
    return out;
}

class BeepCounter {
public:
    BeepCounter() { setBeepHook([this] { ++count; }); }
    ~BeepCounter() { setBeepHook({}); }
    std::atomic<int> count{0};
};

// Answers the New chooser; records its texts.
void pushNew(ScriptedPrompter& p, bool chooseFolder, std::map<std::string, std::string>* texts = nullptr) {
    p.pushDialog([chooseFolder, texts](QDialog& d) {
        auto* folderRb = child<QRadioButton>(d, "FolderRb");
        auto* siteRb = child<QRadioButton>(d, "SiteRb");
        if (texts) {
            (*texts)["caption"] = d.windowTitle().toStdString();
            (*texts)["group"] = child<QGroupBox>(d, "RadioGroup1")->title().toStdString();
            (*texts)["folder"] = folderRb->text().toStdString();
            (*texts)["site"] = siteRb->text().toStdString();
            (*texts)["default"] = siteRb->isChecked() && !folderRb->isChecked() ? "site" : "folder";
        }
        (chooseFolder ? folderRb : siteRb)->click();
        child<QPushButton>(d, "OKBtn")->click();
        return d.result();
    });
}

// Fills the multihomed dialog and presses OK (or Cancel); records what it showed.
void pushMultihomed(ScriptedPrompter& p, Addresses fill, bool ok = true, Addresses* shown = nullptr) {
    p.pushDialog([fill, ok, shown](QDialog& d) {
        for (int i = 0; i < 5; ++i) {
            auto* e = child<QLineEdit>(d, ("Edit" + std::to_string(i + 1)).c_str());
            if (shown) (*shown)[static_cast<size_t>(i)] = e->text().toStdString();
            e->setText(QString::fromStdString(fill[static_cast<size_t>(i)]));
        }
        child<QPushButton>(d, ok ? "OKBtn" : "CancelBtn")->click();
        return d.result();
    });
}

// Press, release and the double click the window system would send.
void doubleClick(QTreeWidget* tree, QTreeWidgetItem* item) {
    ASSERT_NE(item, nullptr);
    const QPoint pos = tree->visualItemRect(item).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, pos);
    const QPointF global = tree->viewport()->mapToGlobal(QPointF(pos));
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(pos), global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &dbl);
}

struct SiteDialog {
    TSitefrm dlg;
    SiteDialog() { dlg.show(); }

    template <typename T>
    T* get(const char* name) { return child<T>(dlg, name); }
    QLineEdit* edit(const char* name) { return get<QLineEdit>(name); }
    QPushButton* button(const char* name) { return get<QPushButton>(name); }
    QTreeWidget* tree() { return get<QTreeWidget>("tree"); }
    void click(const char* name) { button(name)->click(); }
    void type(const char* name, const QString& text) {
        edit(name)->clear();
        QTest::keyClicks(edit(name), text);
    }
    QTreeWidgetItem* item(const std::vector<int>& path) {
        QTreeWidgetItem* it = tree()->topLevelItem(path.at(0));
        for (size_t i = 1; it && i < path.size(); ++i) it = it->child(path[i]);
        return it;
    }
    void select(const std::vector<int>& path) { tree()->setCurrentItem(item(path)); }
    std::string current() {
        const TSiteRec* r = TSitefrm::record(tree()->currentItem());
        return r ? r->HostName : "<none>";
    }
    // The enabled buttons, in a fixed order.
    std::string enabledButtons() {
        std::string out;
        for (const char* n : {"NewB", "EditB", "DeleteB", "SaveB", "CAncelEB", "ConnectB", "CancelB",
                              "Multihomed_SB"})
            if (button(n)->isEnabled()) out += std::string(out.empty() ? "" : " ") + n;
        return out;
    }
};

// ---------------------------------------------------------------- the file through the controls

TEST(SiteManager, FolderWorkAndSiteMirrorGiveTheExactFile) {
    ScopedPrompter p;
    SiteDialog s;
    EXPECT_EQ(s.tree()->topLevelItemCount(), 0);
    EXPECT_EQ(s.dlg.windowTitle(), "Site Manager");

    std::map<std::string, std::string> chooser;
    pushNew(*p, true, &chooser);
    s.click("NewB");
    EXPECT_EQ(chooser, (std::map<std::string, std::string>{{"caption", "New FTP Site"},
                                                          {"group", "&New FTP Site"},
                                                          {"folder", "Create a New &Folder"},
                                                          {"site", "Create a New &Site"},
                                                          {"default", "site"}}));
    s.type("HostEdit", "Work");
    s.click("SaveB");
    EXPECT_EQ(s.current(), "Work");

    pushNew(*p, false);
    s.click("NewB");
    s.type("HostEdit", "Mirror");
    s.type("addressedit", "ftp.example.org");
    s.type("LoginEdit", "mirror");
    s.type("PasswordEdit", "abcde");
    s.get<QRadioButton>("BinaryRb")->click();
    s.type("remotediredit", "/pub/");
    auto* memo = s.get<QPlainTextEdit>("Memo1");
    QTest::keyClicks(memo, "Nightly ");
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClicks(memo, "mirror");
    s.get<QCheckBox>("PASVrb")->click();
    Addresses shown;
    pushMultihomed(*p, {"ftp.example.org", "", "", "", ""}, true, &shown);
    s.click("Multihomed_SB");
    EXPECT_EQ(shown, (Addresses{"ftp.example.org", "", "", "", ""}));
    s.click("SaveB");

    EXPECT_EQ(p->asked(), (Asked{"dialog: New FTP Site", "dialog: New FTP Site", "dialog: Multihomed Server"}));
    const std::string golden = fileBytes(std::string(VN_SOURCE_DIR) + "/tests/sites/golden/siteman_work_mirror.dat");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(fileBytes(siteFile()), golden);
    EXPECT_EQ(fs::status(siteFile()).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    // The comment typed on two lines is shown as the one line it was stored as.
    EXPECT_EQ(memo->toPlainText(), "Nightly mirror");
    EXPECT_EQ(s.current(), "Mirror");
}

TEST(SiteManager, OpensSortedWithTheFirstNodeExpandedAndSelected) {
    TSiteRec zeta = site("zeta");
    zeta.Comments = "the last one";
    writeTree({SiteNode{zeta, {}},
               SiteNode{folder("Alpha"), {SiteNode{site("delta"), {}}, SiteNode{site("Beta"), {}}}},
               SiteNode{site("gamma"), {}}});
    ScopedPrompter p;
    SiteDialog s;
    EXPECT_EQ(shape(s.dlg.sites()), "Alpha(Beta delta) gamma zeta");
    EXPECT_EQ(s.current(), "Alpha");
    EXPECT_TRUE(s.item({0})->isExpanded());
    EXPECT_EQ(s.item({0})->data(0, TSitefrm::kImageIndexRole).toInt(), 2);
    EXPECT_EQ(s.item({0})->data(0, TSitefrm::kSelectedIndexRole).toInt(), 3);
    EXPECT_EQ(s.item({1})->data(0, TSitefrm::kImageIndexRole).toInt(), 0);
    EXPECT_EQ(s.item({1})->data(0, TSitefrm::kSelectedIndexRole).toInt(), 1);

    // A folder: caption shown, every other control greyed, no Connect.
    EXPECT_EQ(s.edit("HostEdit")->text(), "Alpha");
    EXPECT_TRUE(s.edit("HostEdit")->isReadOnly());
    EXPECT_TRUE(s.edit("HostEdit")->isEnabled());
    for (const char* n : {"addressedit", "LoginEdit", "PasswordEdit", "PortEdit", "remotediredit"})
        EXPECT_FALSE(s.edit(n)->isEnabled()) << n;
    EXPECT_FALSE(s.get<QCheckBox>("PASVrb")->isEnabled());
    EXPECT_FALSE(s.button("ConnectB")->isEnabled());

    // A site: its values, enabled but read-only, and Connect.
    s.select({2});
    EXPECT_EQ(s.edit("HostEdit")->text(), "zeta");
    EXPECT_EQ(s.edit("addressedit")->text(), "ftp.example.org");
    EXPECT_EQ(s.edit("LoginEdit")->text(), "me");
    EXPECT_EQ(s.edit("PasswordEdit")->text(), "pw");
    EXPECT_EQ(s.edit("PasswordEdit")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(s.get<QPlainTextEdit>("Memo1")->toPlainText(), "the last one");
    for (const char* n : {"HostEdit", "addressedit", "LoginEdit", "PasswordEdit", "PortEdit", "remotediredit"}) {
        EXPECT_TRUE(s.edit(n)->isEnabled()) << n;
        EXPECT_TRUE(s.edit(n)->isReadOnly()) << n;
    }
    QTest::keyClicks(s.edit("LoginEdit"), "x");
    EXPECT_EQ(s.edit("LoginEdit")->text(), "me");
    EXPECT_TRUE(s.button("ConnectB")->isEnabled());
    EXPECT_EQ(p->asked(), Asked{});
}

TEST(SiteManager, EveryControlIsNamedAndLabelled) {
    ScopedPrompter p;
    SiteDialog s;
    const std::map<std::string, std::string> labels{
        {"HostEdit", "&Host Name:"},       {"addressedit", "Host &address:"},
        {"LoginEdit", "&Login:"},          {"PasswordEdit", "&Password:"},
        {"PortEdit", "P&ort:"},            {"remotediredit", "Initial &Remote Directory:"},
        {"Memo1", "Co&mments:"},           {"SecurityCombo", "Sec&urity:"}};
    std::map<std::string, std::string> found;
    for (QLabel* l : s.dlg.findChildren<QLabel*>())
        if (l->buddy()) found[l->buddy()->objectName().toStdString()] = l->text().toStdString();
    EXPECT_EQ(found, labels);
    const std::map<std::string, std::string> buttons{
        {"NewB", "New"},         {"EditB", "Edit"},       {"DeleteB", "Delete"}, {"SaveB", "Save"},
        // The two Cancels say which they are.
        {"CAncelEB", "Cancel editing"},  {"ConnectB", "Connect"}, {"CancelB", "Cancel and close"},
        {"Multihomed_SB", "Multihomed..."}};
    for (const auto& [name, accessible] : buttons)
        EXPECT_EQ(s.button(name.c_str())->accessibleName().toStdString(), accessible) << name;
    EXPECT_EQ(s.button("NewB")->text(), "&New");
    EXPECT_EQ(s.button("CAncelEB")->text(), "Canc&el");
    // Alt+N is New's alone; Esc closes the dialog.
    EXPECT_EQ(s.button("CancelB")->text(), "Cancel");
    EXPECT_EQ(s.button("Multihomed_SB")->toolTip(), "Multihomed Host - Try  multiple addresses");
    EXPECT_EQ(s.get<QGroupBox>("RadioGroup1")->title(), "Lo&gin Type");
    EXPECT_EQ(s.get<QGroupBox>("RadioGroup2")->title(), "T&ype");
    EXPECT_EQ(s.get<QCheckBox>("PASVrb")->text(), "PASV");
    EXPECT_EQ(s.get<QCheckBox>("CheckBox1")->text(), "Use my email address if using anonymous mode.");
    EXPECT_EQ(s.get<QLabel>("multihomed_label")->text(), "mh");
}

// ---------------------------------------------------------------- states

TEST(SiteManager, BrowsingAndEditingEnableTheirButtons) {
    writeTree({SiteNode{folder("Work"), {SiteNode{site("Mirror"), {}}}}});
    struct Case {
        const char* name;
        std::vector<int> select;
        bool viaNew;
        bool newFolder;
        std::string browsing, editing, afterCancel;
        bool addressEnabled;
    };
    const std::string site = "NewB EditB DeleteB ConnectB CancelB", folder = "NewB EditB DeleteB CancelB";
    const Case cases[] = {
        // New on a site moved the selection to its folder.
        {"new site", {0, 0}, true, false, site, "SaveB CAncelEB Multihomed_SB", folder, true},
        {"new folder", {0}, true, true, folder, "SaveB CAncelEB", folder, false},
        {"edit site", {0, 0}, false, false, site, "SaveB CAncelEB Multihomed_SB", site, true},
        {"edit folder", {0}, false, true, folder, "SaveB CAncelEB", folder, false},
    };
    for (const Case& c : cases) {
        ScopedPrompter p;
        SiteDialog s;
        s.select(c.select);
        EXPECT_EQ(s.enabledButtons(), c.browsing) << c.name;
        EXPECT_TRUE(s.tree()->isEnabled()) << c.name;
        if (c.viaNew) pushNew(*p, c.newFolder);
        s.click(c.viaNew ? "NewB" : "EditB");
        EXPECT_TRUE(s.dlg.editing()) << c.name;
        EXPECT_EQ(s.enabledButtons(), c.editing) << c.name;
        EXPECT_FALSE(s.tree()->isEnabled()) << c.name;
        EXPECT_FALSE(s.edit("HostEdit")->isReadOnly()) << c.name;
        EXPECT_EQ(s.edit("addressedit")->isEnabled(), c.addressEnabled) << c.name;
        EXPECT_EQ(s.get<QCheckBox>("PASVrb")->isEnabled(), c.addressEnabled) << c.name;
        s.click("CAncelEB");
        EXPECT_FALSE(s.dlg.editing()) << c.name;
        EXPECT_EQ(s.enabledButtons(), c.afterCancel) << c.name;
        EXPECT_TRUE(s.edit("HostEdit")->isReadOnly()) << c.name;
        EXPECT_EQ(p->unexpected(), 0) << c.name;
    }
}

TEST(SiteManager, NewResetsTheControls) {
    TSiteRec busy = site("Busy");
    busy.Port = 2121;
    busy.LoginType = 1;
    busy.TransferType = 0;
    busy.RemoteDir = "/x/";
    busy.Comments = "c";
    busy.Addresses = {"a", "b"};
    busy.AddressCount = 2;
    writeTree({SiteNode{busy, {}}});
    ScopedPrompter p;
    SiteDialog s;
    EXPECT_TRUE(s.get<QLabel>("multihomed_label")->isVisibleTo(&s.dlg));
    pushNew(*p, false);
    s.click("NewB");
    for (const char* n : {"HostEdit", "addressedit", "LoginEdit", "PasswordEdit", "remotediredit"})
        EXPECT_EQ(s.edit(n)->text(), "") << n;
    EXPECT_EQ(s.edit("PortEdit")->text(), "21");
    EXPECT_TRUE(s.get<QRadioButton>("NormalRb")->isChecked());
    EXPECT_TRUE(s.get<QRadioButton>("AutoRb")->isChecked());
    EXPECT_EQ(s.get<QPlainTextEdit>("Memo1")->toPlainText(), "");
    // A new site starts without the alternates of the site shown before.
    EXPECT_FALSE(s.get<QLabel>("multihomed_label")->isVisibleTo(&s.dlg));
    s.type("HostEdit", "Fresh");
    s.type("addressedit", "fresh.example.org");
    s.click("SaveB");
    const SiteTree t = fileTree();
    ASSERT_EQ(shape(t), "Busy Fresh");
    EXPECT_EQ(t[1].rec.AddressCount, 0);
    EXPECT_EQ(t[1].rec.Addresses, (Addresses{}));
}

TEST(SiteManager, ChooserClosedWithoutOkCreatesNothing) {
    ScopedPrompter p;
    SiteDialog s;
    p->pushDialog([](QDialog& d) {
        d.reject();
        return d.result();
    });
    s.click("NewB");
    EXPECT_FALSE(s.dlg.editing());
    EXPECT_EQ(s.enabledButtons(), "NewB EditB DeleteB CancelB");
}

TEST(SiteManager, NewOnASiteLandsInTheFolderHoldingIt) {
    struct Case {
        const char* name;
        std::vector<int> select;
        bool folderChosen;
        std::string expected;
    };
    const Case cases[] = {
        {"site in a folder", {1, 0}, false, "Top Work(Fresh Mirror)"},
        {"folder in a folder", {1, 0}, true, "Top Work(Fresh Mirror)"},
        {"selected folder", {1}, false, "Top Work(Fresh Mirror)"},
        {"top-level site", {0}, false, "Fresh Top Work(Mirror)"},
    };
    for (const Case& c : cases) {
        writeTree({SiteNode{folder("Work"), {SiteNode{site("Mirror"), {}}}}, SiteNode{site("Top"), {}}});
        ScopedPrompter p;
        SiteDialog s;
        s.select(c.select);
        EXPECT_EQ(s.current(), c.select.size() == 2 ? "Mirror" : c.select[0] == 1 ? "Work" : "Top") << c.name;
        pushNew(*p, c.folderChosen);
        s.click("NewB");
        s.type("HostEdit", "Fresh");
        s.click("SaveB");
        EXPECT_EQ(shape(fileTree()), c.expected) << c.name;
        EXPECT_EQ(shape(s.dlg.sites()), c.expected) << c.name;
        EXPECT_EQ(s.current(), "Fresh") << c.name;
    }
}

TEST(SiteManager, EditReplacesTheRecordAndResorts) {
    writeTree({SiteNode{site("Alpha"), {}}, SiteNode{site("Beta"), {}}});
    ScopedPrompter p;
    SiteDialog s;
    EXPECT_EQ(s.current(), "Alpha");
    s.click("EditB");
    s.type("HostEdit", "Zulu");
    s.type("LoginEdit", "other");
    s.type("PortEdit", "2121");
    auto* memo = s.get<QPlainTextEdit>("Memo1");
    memo->setPlainText("one\ntwo\r\nthree");
    s.get<QRadioButton>("AsciiRb")->click();
    s.click("SaveB");
    EXPECT_FALSE(s.dlg.editing());
    EXPECT_EQ(s.current(), "Zulu");
    const SiteTree t = fileTree();
    ASSERT_EQ(shape(t), "Beta Zulu");
    EXPECT_EQ(t[1].rec.Login, "other");
    EXPECT_EQ(t[1].rec.Port, 2121);
    EXPECT_EQ(t[1].rec.TransferType, 0);
    EXPECT_EQ(t[1].rec.Comments, "onetwothree");
    EXPECT_EQ(t[1].rec.Password, "pw");
    EXPECT_EQ(memo->toPlainText(), "onetwothree");
}

TEST(SiteManager, CancelEditingKeepsTheNode) {
    writeTree({SiteNode{site("Alpha"), {}}});
    const std::string before = fileBytes(siteFile());
    ScopedPrompter p;
    SiteDialog s;
    s.click("EditB");
    s.type("HostEdit", "Changed");
    s.click("CAncelEB");
    EXPECT_EQ(s.edit("HostEdit")->text(), "Alpha");
    EXPECT_EQ(fileBytes(siteFile()), before);
}

TEST(SiteManager, SiteWithoutPortIsNotSaved) {
    ScopedPrompter p;
    SiteDialog s;
    pushNew(*p, false);
    s.click("NewB");
    s.type("HostEdit", "NoPort");
    s.edit("PortEdit")->clear();
    s.click("SaveB");
    EXPECT_TRUE(s.dlg.editing());
    EXPECT_EQ(p->asked(), (Asked{"dialog: New FTP Site", "message: Please enter a port number."}));
    EXPECT_FALSE(fs::exists(siteFile()));
    s.type("PortEdit", "70000");
    s.click("SaveB");
    EXPECT_TRUE(s.dlg.editing());
    s.type("PortEdit", "990");
    s.click("SaveB");
    EXPECT_FALSE(s.dlg.editing());
    EXPECT_EQ(fileTree().at(0).rec.Port, 990);
}

TEST(SiteManager, DeleteAsksAndRemovesTheSubtree) {
    struct Case {
        const char* name;
        bool yes;
        std::string expected;
    };
    for (const Case& c : {Case{"No", false, "Top Work(Mirror)"}, Case{"Yes", true, "Top"}}) {
        writeTree({SiteNode{folder("Work"), {SiteNode{site("Mirror"), {}}}}, SiteNode{site("Top"), {}}});
        const std::string before = fileBytes(siteFile());
        ScopedPrompter p;
        SiteDialog s;
        s.select({1});
        EXPECT_EQ(s.current(), "Work");
        p->pushYesNo(c.yes);
        s.click("DeleteB");
        EXPECT_EQ(p->asked(), Asked{"yesno: Do you confirm that you want to delete 'Work'?"}) << c.name;
        EXPECT_EQ(shape(s.dlg.sites()), c.expected) << c.name;
        if (c.yes) {
            EXPECT_EQ(shape(fileTree()), "Top") << c.name;
            EXPECT_EQ(s.edit("HostEdit")->text(), "Top") << c.name;
        } else {
            EXPECT_EQ(fileBytes(siteFile()), before) << c.name;
        }
    }
}

TEST(SiteManager, DeletingTheLastNodeLeavesAnEmptyFile) {
    writeTree({SiteNode{site("Only"), {}}});
    ScopedPrompter p;
    SiteDialog s;
    p->pushYesNo(true);
    s.click("DeleteB");
    EXPECT_EQ(fileBytes(siteFile()), "0\r\n-----\r\n");
    EXPECT_EQ(s.edit("HostEdit")->text(), "");
    EXPECT_FALSE(s.button("ConnectB")->isEnabled());
}

// ---------------------------------------------------------------- closing

TEST(SiteManager, EditingGuardRefusesCloseEscapeAndWritesTheCheckBox) {
    IniFile ini(configFile());
    ScopedPrompter p;
    SiteDialog s;
    auto* box = s.get<QCheckBox>("CheckBox1");
    EXPECT_TRUE(box->isChecked());  // UseEmailAddress defaults to 1
    pushNew(*p, false);
    s.click("NewB");

    box->setChecked(false);
    EXPECT_FALSE(s.dlg.close());
    EXPECT_TRUE(s.dlg.isVisible());
    EXPECT_EQ(ini.readInt("FTP", "UseEmailAddress", -1), 0);

    box->setChecked(true);
    QTest::keyClick(&s.dlg, Qt::Key_Escape);
    EXPECT_TRUE(s.dlg.isVisible());
    EXPECT_EQ(ini.readInt("FTP", "UseEmailAddress", -1), 1);

    box->setChecked(false);
    s.dlg.reject();
    EXPECT_TRUE(s.dlg.isVisible());
    EXPECT_EQ(ini.readInt("FTP", "UseEmailAddress", -1), 0);
    EXPECT_EQ(p->asked(), (Asked{"dialog: New FTP Site", kGuard, kGuard, kGuard}));

    s.click("CAncelEB");
    box->setChecked(true);
    QTest::keyClick(&s.dlg, Qt::Key_Escape);
    EXPECT_FALSE(s.dlg.isVisible());
    EXPECT_EQ(s.dlg.result(), QDialog::Rejected);
    EXPECT_EQ(ini.readInt("FTP", "UseEmailAddress", -1), 1);
    EXPECT_FALSE(s.dlg.choice());
    EXPECT_EQ(p->asked().size(), 4u);
}

TEST(SiteManager, CheckBoxTakesEmailAndUseEmailAddress) {
    IniFile ini(configFile());
    ini.writeString("FTP", "Email", "me@example.org");
    ini.writeInt("FTP", "UseEmailAddress", 0);
    ScopedPrompter p;
    SiteDialog s;
    auto* box = s.get<QCheckBox>("CheckBox1");
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(box->toolTip(), "me@example.org");
    box->setChecked(true);
    s.click("CancelB");
    EXPECT_FALSE(s.dlg.isVisible());
    EXPECT_EQ(ini.readInt("FTP", "UseEmailAddress", -1), 1);
    EXPECT_EQ(ini.readString("FTP", "Email"), "me@example.org");
}

// ---------------------------------------------------------------- fields

TEST(SiteManager, AnonymousPutsAnonymousIntoTheLogin) {
    writeTree({SiteNode{site("Alpha"), {}}});
    ScopedPrompter p;
    SiteDialog s;
    auto* anonymous = s.get<QRadioButton>("AnonymousRb");
    // Browsing: the group is read-only.
    QTest::mouseClick(anonymous, Qt::LeftButton);
    EXPECT_TRUE(s.get<QRadioButton>("NormalRb")->isChecked());
    EXPECT_EQ(s.edit("LoginEdit")->text(), "me");
    s.click("EditB");
    QTest::mouseClick(anonymous, Qt::LeftButton);
    EXPECT_TRUE(anonymous->isChecked());
    EXPECT_EQ(s.edit("LoginEdit")->text(), "anonymous");
    s.click("SaveB");
    EXPECT_EQ(fileTree().at(0).rec.LoginType, 1);
    EXPECT_EQ(fileTree().at(0).rec.Login, "anonymous");
}

// What a screen reader does to a check box or radio button: its Toggle (or
// Check) action, which no mouse or key event carries.
void accessibleToggle(QAbstractButton* b) {
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(b);
    ASSERT_TRUE(i && i->actionInterface());
    const QStringList names = i->actionInterface()->actionNames();
    for (const QString& a : {QAccessibleActionInterface::toggleAction(),
                             QAccessibleActionInterface::pressAction()})
        if (names.contains(a)) {
            i->actionInterface()->doAction(a);
            return;
        }
    FAIL() << "no toggle action: " << names.join(",").toStdString();
}

TEST(SiteManager, AnonymousThroughAScreenReaderPutsAnonymousIntoTheLogin) {
    writeTree({SiteNode{site("Alpha"), {}}});
    ScopedPrompter p;
    SiteDialog s;
    s.click("EditB");
    auto* anonymous = s.get<QRadioButton>("AnonymousRb");
    accessibleToggle(anonymous);
    EXPECT_TRUE(anonymous->isChecked());
    EXPECT_EQ(s.edit("LoginEdit")->text(), "anonymous");
}

TEST(SiteManager, BrowsedSiteCannotBeChangedThroughAScreenReader) {
    writeTree({SiteNode{site("Alpha"), {}}});
    ScopedPrompter p;
    SiteDialog s;
    const TSiteRec before = fileTree().at(0).rec;
    for (const char* name : {"AnonymousRb", "AsciiRb", "PASVrb"}) {
        SCOPED_TRACE(name);
        accessibleToggle(s.get<QAbstractButton>(name));
        QTest::qWait(1);
    }
    EXPECT_TRUE(s.get<QRadioButton>("NormalRb")->isChecked());
    EXPECT_FALSE(s.get<QRadioButton>("AnonymousRb")->isChecked());
    EXPECT_TRUE(s.get<QRadioButton>("AutoRb")->isChecked());
    EXPECT_FALSE(s.get<QCheckBox>("PASVrb")->isChecked());
    EXPECT_EQ(s.edit("LoginEdit")->text(), "me");
    // Edit then Save keeps what the file had.
    s.click("EditB");
    s.click("SaveB");
    const TSiteRec after = fileTree().at(0).rec;
    EXPECT_EQ(after.LoginType, before.LoginType);
    EXPECT_EQ(after.TransferType, before.TransferType);
    EXPECT_EQ(after.Passive, before.Passive);
    EXPECT_EQ(after.Login, before.Login);
}

TEST(SiteManager, ButtonsHaveDistinctNamesAndMnemonics) {
    writeTree({SiteNode{site("Alpha"), {}}});
    ScopedPrompter p;
    SiteDialog s;
    QStringList spoken;
    for (QPushButton* b : s.dlg.findChildren<QPushButton*>()) {
        if (!b->isVisible()) continue;
        const QString name = b->accessibleName().isEmpty() ? b->text().remove('&') : b->accessibleName();
        EXPECT_FALSE(spoken.contains(name)) << name.toStdString();
        spoken << name;
    }
    std::map<QChar, QString> keys;
    auto mnemonic = [&](const QString& text) {
        for (int i = 0; i + 1 < text.size(); ++i) {
            if (text[i] != '&') continue;
            if (text[i + 1] == '&') {
                ++i;
                continue;
            }
            const QChar k = text[i + 1].toLower();
            EXPECT_EQ(keys.count(k), 0u) << "Alt+" << QString(k).toStdString() << ": \"" << text.toStdString()
                                          << "\" and \"" << keys[k].toStdString() << "\"";
            keys[k] = text;
            return;
        }
    };
    for (QAbstractButton* b : s.dlg.findChildren<QAbstractButton*>())
        if (b->isVisible()) mnemonic(b->text());
    for (QLabel* l : s.dlg.findChildren<QLabel*>())
        if (l->isVisible()) mnemonic(l->text());
    for (QGroupBox* g : s.dlg.findChildren<QGroupBox*>())
        if (g->isVisible()) mnemonic(g->title());
}

TEST(SiteManager, PortBoxTakesDigitsOnly) {
    ScopedPrompter p;
    SiteDialog s;
    pushNew(*p, false);
    s.click("NewB");
    auto* port = s.edit("PortEdit");
    struct Case {
        const char* typed;
        const char* text;
        int beeps;
    };
    const Case cases[] = {
        {"2121", "2121", 0}, {"8a0", "80", 1}, {"x-1 2", "12", 3}, {"\xc2\xb2" "5", "5", 1},
    };
    for (const Case& c : cases) {
        BeepCounter beeps;
        port->clear();
        QTest::keyClicks(port, QString::fromUtf8(c.typed));
        EXPECT_EQ(port->text().toStdString(), c.text) << c.typed;
        EXPECT_EQ(beeps.count.load(), c.beeps) << c.typed;
    }
    BeepCounter beeps;
    port->setText(QStringLiteral("21"));
    port->end(false);
    QTest::keyClick(port, Qt::Key_Backspace);
    EXPECT_EQ(port->text(), "2");
    EXPECT_EQ(beeps.count.load(), 0);
    QApplication::clipboard()->setText(QStringLiteral("1 0x"));
    port->paste();
    EXPECT_EQ(port->text(), "210");
    EXPECT_EQ(beeps.count.load(), 1);
}

TEST(SiteManager, MultihomedCountAndMark) {
    struct Case {
        const char* name;
        Addresses fields;
        int count;       // in the dialog
        int fileCount;   // in the file: empty alternates are not stored
        const char* hint;  // nullptr: no "mh"
    };
    const Case cases[] = {
        {"all empty", {"", "", "", "", ""}, 1, 1, nullptr},
        {"one", {"a.example", "", "", "", ""}, 1, 1, nullptr},
        {"two", {"a.example", "b.example", "", "", ""}, 2, 2,
         "This Site is Multihomed (has multiple possible addresses):\n(1)- a.example\n(2)- b.example"},
        {"gap", {"a.example", "", "c.example", "", ""}, 3, 2,
         "This Site is Multihomed (has multiple possible addresses):\n(1)- a.example\n(3)- c.example"},
        {"five", {"a", "b", "c", "d", "e"}, 5, 5,
         "This Site is Multihomed (has multiple possible addresses):\n(1)- a\n(2)- b\n(3)- c\n(4)- d\n(5)- e"},
    };
    for (const Case& c : cases) {
        fs::remove(siteFile());
        ScopedPrompter p;
        SiteDialog s;
        pushNew(*p, false);
        s.click("NewB");
        s.type("HostEdit", "Multi");
        s.type("addressedit", "typed.example");
        Addresses shown;
        pushMultihomed(*p, c.fields, true, &shown);
        s.click("Multihomed_SB");
        EXPECT_EQ(shown, (Addresses{"typed.example", "", "", "", ""})) << c.name;
        EXPECT_EQ(s.edit("addressedit")->text().toStdString(), c.fields[0]) << c.name;
        auto* mh = s.get<QLabel>("multihomed_label");
        EXPECT_EQ(mh->isVisibleTo(&s.dlg), c.hint != nullptr) << c.name;
        s.click("SaveB");
        const TSiteRec* r = TSitefrm::record(s.tree()->currentItem());
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->AddressCount, c.count) << c.name;
        EXPECT_EQ(mh->isVisibleTo(&s.dlg), c.hint != nullptr) << c.name;
        if (c.hint) {
            EXPECT_EQ(mh->toolTip().toStdString(), c.hint) << c.name;
        }
        EXPECT_EQ(fileTree().at(0).rec.AddressCount, c.fileCount) << c.name;

        // Opening the dialog again shows the slots of the node beyond field 1.
        s.click("EditB");
        pushMultihomed(*p, c.fields, false, &shown);
        s.click("Multihomed_SB");
        EXPECT_EQ(shown, c.fields) << c.name;
        EXPECT_EQ(p->unexpected(), 0) << c.name;
    }
}

TEST(SiteManager, MultihomedCancelChangesNothing) {
    ScopedPrompter p;
    SiteDialog s;
    pushNew(*p, false);
    s.click("NewB");
    s.type("addressedit", "main.example");
    pushMultihomed(*p, {"other", "b", "c", "", ""}, false);
    s.click("Multihomed_SB");
    EXPECT_EQ(s.edit("addressedit")->text(), "main.example");
    EXPECT_FALSE(s.get<QLabel>("multihomed_label")->isVisibleTo(&s.dlg));
}

// ---------------------------------------------------------------- connect

TEST(SiteManager, ConnectOnlyOnASiteGivesTheChoice) {
    IniFile ini(configFile());
    ini.writeString("FTP", "Email", "me@example.org");
    TSiteRec mirror = site("Mirror");
    mirror.Addresses = {"ftp.example.org", "alt.example.org"};
    mirror.AddressCount = 2;
    mirror.Passive = true;
    mirror.LoginType = 1;
    writeTree({SiteNode{folder("Work"), {SiteNode{mirror, {}}}}});

    {
        ScopedPrompter p;
        SiteDialog s;
        EXPECT_EQ(s.current(), "Work");
        s.click("ConnectB");
        QTreeWidget* tree = s.tree();
        doubleClick(tree, s.item({0}));
        EXPECT_TRUE(s.dlg.isVisible());
        EXPECT_FALSE(s.dlg.choice());
        s.dlg.ConnectBClick();
        EXPECT_TRUE(s.dlg.isVisible());

        s.select({0, 0});
        s.get<QCheckBox>("CheckBox1")->setChecked(false);
        s.click("ConnectB");
        EXPECT_FALSE(s.dlg.isVisible());
        EXPECT_EQ(s.dlg.result(), QDialog::Accepted);
        auto c = s.dlg.choice();
        ASSERT_TRUE(c);
        EXPECT_EQ(c->site, mirror);
        EXPECT_FALSE(c->useEmail);
        EXPECT_EQ(c->email, "me@example.org");
        EXPECT_EQ(ini.readInt("FTP", "UseEmailAddress", -1), 0);
    }
    {
        ScopedPrompter p;
        SiteDialog s;
        QTreeWidget* tree = s.tree();
        doubleClick(tree, s.item({0, 0}));
        EXPECT_FALSE(s.dlg.isVisible());
        auto c = s.dlg.choice();
        ASSERT_TRUE(c);
        EXPECT_EQ(c->site.HostName, "Mirror");
    }
    {
        ScopedPrompter p;
        SiteDialog s;
        s.select({0, 0});
        s.click("CancelB");
        EXPECT_FALSE(s.dlg.choice());
    }
}

TEST(SiteManager, TheSecurityChoiceMovesTheDefaultPortAndFollowsItsSite) {
    writeTree({SiteNode{folder("Work"), {SiteNode{site("Mirror"), {}}, SiteNode{site("Vault"), {}}}},
               SiteNode{site("Top"), {}}});
    SiteSecurityStore store;
    ASSERT_TRUE(store.set("Work/Vault", FtpSecurity::Implicit));
    ScopedPrompter p;
    SiteDialog s;
    auto* combo = s.get<QComboBox>("SecurityCombo");
    auto choose = [&](FtpSecurity sec) { combo->setCurrentIndex(combo->findData(static_cast<int>(sec))); };

    // Browsing shows the stored choice and leaves the port as stored.
    s.select({1, 1}); // "Top" sorts before "Work"
    EXPECT_EQ(s.current(), "Vault");
    EXPECT_EQ(combo->currentData().toInt(), static_cast<int>(FtpSecurity::Implicit));
    EXPECT_EQ(s.edit("PortEdit")->text(), "21");

    // While editing, a default port follows the choice; a typed one stays.
    s.select({1, 0});
    s.click("EditB");
    choose(FtpSecurity::Implicit);
    EXPECT_EQ(s.edit("PortEdit")->text(), "990");
    choose(FtpSecurity::RequireExplicit);
    EXPECT_EQ(s.edit("PortEdit")->text(), "21");
    s.type("PortEdit", "2121");
    choose(FtpSecurity::Implicit);
    EXPECT_EQ(s.edit("PortEdit")->text(), "2121");
    s.click("SaveB");
    EXPECT_EQ(store.get("Work/Mirror"), FtpSecurity::Implicit);

    // Renaming the folder renames the paths of the sites in it.
    s.select({1});
    s.click("EditB");
    s.type("HostEdit", "Office");
    s.click("SaveB");
    ASSERT_EQ(shape(fileTree()), "Office(Mirror Vault) Top");
    EXPECT_EQ(store.get("Office/Mirror"), FtpSecurity::Implicit);
    EXPECT_EQ(store.get("Office/Vault"), FtpSecurity::Implicit);
    EXPECT_FALSE(IniFile(dataFile("sitesecurity.ini")).hasKey("Security", "Work/Vault"));

    // A deleted folder takes its sites' choices: a new site by the same path starts from the default.
    p->pushYesNo(true);
    s.click("DeleteB");
    ASSERT_EQ(shape(fileTree()), "Top");
    EXPECT_FALSE(IniFile(dataFile("sitesecurity.ini")).hasKey("Security", "Office/Mirror"));
    EXPECT_EQ(store.get("Office/Vault"), FtpSecurity::ExplicitIfAvailable);
}

// ---------------------------------------------------------------- the file's troubles

TEST(SiteManager, UncleanFileWarnsOnceAndIsBackedUp) {
    // Two records announced, the second one cut short.
    const std::string broken = "2\r\n-----\r\n0\r\nNode\r\nKept\r\nhost\r\n21\r\nme\r\n0\r\n\r\n\r\n0\r\n2\r\n\r\n0\r\n0\r\n"
                               "-----\r\n0\r\nNode\r\nLost\r\n";
    writeBytes(siteFile(), broken);
    ScopedPrompter p;
    SiteDialog s;
    EXPECT_EQ(shape(s.dlg.sites()), "Kept");
    const Asked asked = p->asked();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].rfind("message: The site file \"" + siteFile().string() + "\" could not be read completely", 0),
              0u)
        << asked[0];
    EXPECT_NE(asked[0].find("siteman.dat.bak"), std::string::npos) << asked[0];

    pushNew(*p, false);
    s.click("NewB");
    s.type("HostEdit", "Added");
    s.click("SaveB");
    EXPECT_EQ(fileBytes(fs::path(siteFile().string() + ".bak")), broken);
    EXPECT_EQ(shape(fileTree()), "Added Kept");
    EXPECT_EQ(p->asked().size(), 2u);
}

TEST(SiteManager, FailedSaveSaysSoAndKeepsTheTree) {
    writeTree({SiteNode{site("Alpha"), {}}});
    ScopedPrompter p;
    SiteDialog s;
    // The file cannot be replaced any more: a folder took its name.
    fs::remove(siteFile());
    fs::create_directory(siteFile());
    pushNew(*p, false);
    s.click("NewB");
    s.type("HostEdit", "Beta");
    s.click("SaveB");
    const Asked asked = p->asked();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1].rfind("message: The sites could not be saved to \"" + siteFile().string() + "\"", 0), 0u)
        << asked[1];
    EXPECT_FALSE(s.dlg.editing());
    EXPECT_EQ(shape(s.dlg.sites()), "Alpha Beta");
    EXPECT_TRUE(fs::is_directory(siteFile()));
}

} // namespace
} // namespace vn
