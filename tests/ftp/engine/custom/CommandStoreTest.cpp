// The [Commands] store and the command text's placeholders.
#include <gtest/gtest.h>

#include "TestHome.h"
#include "common/DataFolder.h"
#include "ftp/engine/custom/CommandStore.h"
#include "ftp/engine/custom/CustomCommand.h"

namespace vn::test {
namespace {

using Kind = CommandPiece::Kind;

TEST(CommandText, Placeholders) {
    struct Case {
        const char* text;
        bool ok;
        bool perFile;
        std::vector<CommandPiece> pieces;
    } cases[] = {
        {"HELP", true, false, {{Kind::Text, "HELP"}}},
        {"SITE CHMOD %[Attributes] %f", true, true,
         {{Kind::Text, "SITE CHMOD "}, {Kind::Prompt, "Attributes"}, {Kind::Text, " "}, {Kind::File, ""}}},
        {"SITE X %f.bak now", true, true, {{Kind::Text, "SITE X "}, {Kind::File, ""}, {Kind::Text, ".bak now"}}},
        {"%[]%[a b]", true, false, {{Kind::Prompt, ""}, {Kind::Prompt, "a b"}}},
        {"", true, false, {}},
        {"SITE %x", false, false, {}},
        {"SITE %F", false, false, {}},
        {"HELP %", false, false, {}},
        {"SITE %[Open", false, false, {}},
        {"100%%", false, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ParsedCommand p = parseCommand(c.text);
        EXPECT_EQ(p.ok, c.ok);
        EXPECT_EQ(p.perFile(), c.perFile);
        ASSERT_EQ(p.pieces.size(), c.pieces.size());
        for (std::size_t i = 0; i < p.pieces.size(); ++i) {
            EXPECT_EQ(p.pieces[i].kind, c.pieces[i].kind);
            EXPECT_EQ(p.pieces[i].text, c.pieces[i].text);
        }
    }
}

TEST(CommandStoreTest, DefaultsAreOfferedUntilTheEditorStoresThem) {
    IniFile ini(configFile());
    const std::vector<std::string> menu = {"HELP", "HELP SITE", "SITE PSWD \"%[Old Passwd]\" \"%[New Passwd]\"",
                                           "SITE CHMOD %[Attributes] %f", "SITE INDEX %[File]"};
    EXPECT_EQ(CommandStore::menuEntries(ini), menu);
    EXPECT_EQ(menu[2].size(), 41u);
    EXPECT_TRUE(CommandStore::read(ini).empty());
    EXPECT_FALSE(ini.hasKey("Commands", "Total")); // the menu stores nothing

    auto editor = CommandStore::loadForEditor(ini);
    const std::vector<std::string> sorted = {"HELP", "HELP SITE", "SITE CHMOD %[Attributes] %f", "SITE INDEX %[File]",
                                             "SITE PSWD \"%[Old Passwd]\" \"%[New Passwd]\""};
    EXPECT_EQ(editor, sorted);
    EXPECT_EQ(ini.readInt("Commands", "Total", 0), 5);
    EXPECT_EQ(ini.readString("Commands", "4"), sorted[4]);
    EXPECT_EQ(CommandStore::menuEntries(ini), sorted);
}

TEST(CommandStoreTest, WritingThreeReplacesALongerList) {
    IniFile ini(configFile());
    CommandStore::loadForEditor(ini);
    ASSERT_TRUE(CommandStore::write(ini, {"NOOP", "STAT", "SYST"}));
    EXPECT_EQ(ini.readInt("Commands", "Total", 0), 3);
    EXPECT_EQ(ini.keys("Commands"), (std::vector<std::string>{"Total", "0", "1", "2"}));
    EXPECT_EQ(CommandStore::read(ini), (std::vector<std::string>{"NOOP", "STAT", "SYST"}));
    // Emptied by the editor: the defaults come back in the menu.
    ASSERT_TRUE(CommandStore::write(ini, {}));
    EXPECT_EQ(CommandStore::menuEntries(ini).size(), 5u);
    EXPECT_EQ(ini.keys("Commands"), (std::vector<std::string>{"Total"}));
}

TEST(CommandStoreTest, SortIgnoresCase) {
    std::vector<std::string> v = {"site b", "HELP", "SITE A", "help site"};
    CommandStore::sort(v);
    EXPECT_EQ(v, (std::vector<std::string>{"HELP", "help site", "SITE A", "site b"}));
}

TEST(CommandStoreTest, AHugeOrBrokenTotalIsBounded) {
    IniFile ini(configFile());
    ini.writeString("Commands", "Total", "many");
    EXPECT_TRUE(CommandStore::read(ini).empty());
    ini.writeInt("Commands", "Total", -4);
    EXPECT_EQ(CommandStore::menuEntries(ini).size(), 5u);
    ini.writeInt("Commands", "Total", 1LL << 40);
    EXPECT_EQ(CommandStore::read(ini).size(), static_cast<std::size_t>(CommandStore::kMaxCommands));
}

} // namespace
} // namespace vn::test
