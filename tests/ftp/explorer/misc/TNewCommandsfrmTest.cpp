// The custom commands' editor: the defaults stored at its first opening,
// New / Edit / OK / Delete saving at once in sorted order, Do it and Exit.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "ScriptedPrompter.h"
#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/Beeper.h"
#include "ftp/engine/custom/CommandStore.h"
#include "ftp/explorer/misc/TNewCommandsfrm.h"

namespace vn::test {
namespace {

struct Editor : ::testing::Test {
    ScopedPrompter prompter;
    int beeps = 0;
    void SetUp() override { setBeepHook([this] { ++beeps; }); }
    void TearDown() override { setBeepHook(nullptr); }
    static QPushButton* button(QDialog& d, const char* n) { return d.findChild<QPushButton*>(n); }
    static std::vector<std::string> stored() { return CommandStore::read(IniFile(configFile())); }
};

TEST_F(Editor, FirstOpeningStoresTheDefaults) {
    TNewCommandsfrm d(false);
    EXPECT_EQ(d.windowTitle(), "New Commands");
    EXPECT_EQ(d.commands().size(), 5u);
    EXPECT_EQ(stored(), d.commands());
    EXPECT_EQ(d.commands().front(), "HELP");
    EXPECT_FALSE(button(d, "DoItBtn")->isEnabled()); // no session
    EXPECT_FALSE(d.findChild<QLineEdit*>("Edit1")->isEnabled());
    EXPECT_FALSE(button(d, "OKBtn")->isEnabled());
}

TEST_F(Editor, NewEditDeleteSaveSorted) {
    IniFile ini(configFile());
    CommandStore::write(ini, {"NOOP", "SYST"});
    TNewCommandsfrm d(true);
    auto* list = d.findChild<QListWidget*>("ListBox1");
    auto* edit = d.findChild<QLineEdit*>("Edit1");
    button(d, "NewBtn")->click();
    EXPECT_TRUE(edit->isEnabled());
    EXPECT_FALSE(list->isEnabled());
    edit->setText("HELP %[Topic]");
    button(d, "OKBtn")->click();
    EXPECT_EQ(stored(), (std::vector<std::string>{"HELP %[Topic]", "NOOP", "SYST"}));
    EXPECT_TRUE(list->isEnabled());
    EXPECT_FALSE(edit->isEnabled());

    // Choosing a command copies it; Edit replaces it and the list stays sorted.
    list->setCurrentRow(2);
    EXPECT_EQ(edit->text(), "SYST");
    button(d, "EditBtn")->click();
    edit->setText("ALLO 10");
    button(d, "OKBtn")->click();
    EXPECT_EQ(stored(), (std::vector<std::string>{"ALLO 10", "HELP %[Topic]", "NOOP"}));
    EXPECT_EQ(ini.keys("Commands"), (std::vector<std::string>{"Total", "0", "1", "2"}));

    // An empty command or one with a line break is not taken.
    button(d, "NewBtn")->click();
    edit->setText("");
    button(d, "OKBtn")->click();
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(stored().size(), 3u);
    edit->setText("NOOP\nDELE x");
    button(d, "OKBtn")->click();
    EXPECT_EQ(beeps, 2);
    EXPECT_EQ(stored().size(), 3u);
    edit->setText("STAT");
    button(d, "OKBtn")->click();

    list->setCurrentRow(0);
    button(d, "DeleteBtn")->click();
    EXPECT_EQ(stored(), (std::vector<std::string>{"HELP %[Topic]", "NOOP", "STAT"}));

    list->setCurrentRow(1);
    button(d, "DoItBtn")->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(d.chosen(), "NOOP");
}

TEST_F(Editor, ExitChoosesNothing) {
    TNewCommandsfrm d(true);
    d.findChild<QListWidget*>("ListBox1")->setCurrentRow(0);
    button(d, "ExitBtn")->click();
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_TRUE(d.chosen().empty());
    EXPECT_EQ(stored().size(), 5u);
}

} // namespace
} // namespace vn::test
