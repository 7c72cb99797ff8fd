// The eleven "Telnet" keys: defaults, a round trip, and values out of range.
#include <gtest/gtest.h>

#include "TestHome.h"
#include "telnet/TelnetSettings.h"

using namespace vn::telnet;

TEST(TelnetSettings, DefaultsRoundTripAndBadValues) {
    vn::IniFile ini(vn::test::scratchDir("ini") / "varnelo.ini");
    EXPECT_EQ(readTelnetSettings(ini), TelnetSettings{});

    TelnetSettings s;
    s.TelnetPort = 2323;
    s.LocalEcho = true;
    s.ClearScreen = true;
    s.TerminalColor = 0x00112233;
    s.TerminalFontColor = 0x00AABBCC;
    s.TerminalFontSize = 12;
    s.TerminalFontName = "DejaVu Sans Mono";
    s.TerminalEmulation = 0;
    s.CursorSymbol = 1;
    s.NAWS = 1;
    s.BlinkCursor = true;
    ASSERT_TRUE(writeTelnetSettings(ini, s));
    EXPECT_EQ(readTelnetSettings(ini), s);
    EXPECT_EQ(ini.keys("telnet").size(), 11u);
    EXPECT_EQ(ini.readString("TELNET", "TerminalColor"), "1122867");

    ini.writeString("Telnet", "TelnetPort", "70000");
    ini.writeString("Telnet", "TerminalFontSize", "-3");
    ini.writeString("Telnet", "TerminalFontName", "");
    auto r = readTelnetSettings(ini);
    EXPECT_EQ(r.TelnetPort, 23);
    EXPECT_EQ(r.TerminalFontSize, 9);
    EXPECT_EQ(r.TerminalFontName, "Fixedsys");
}
