#pragma once
// The "Telnet" section of "varnelo.ini": the eleven keys the Telnet window
// reads at creation, before each site-manager or history connection and after
// its options window, and writes from the options window.
#include <string>

#include "common/IniFile.h"

namespace vn::telnet {

inline constexpr const char* kTelnetSection = "Telnet";

struct TelnetSettings {
    int TelnetPort = 23;
    bool LocalEcho = false;
    bool ClearScreen = false;
    long long TerminalColor = 0;            // 0x00BBGGRR, black
    long long TerminalFontColor = 16777215; // white
    int TerminalFontSize = 9;
    std::string TerminalFontName = "Fixedsys";
    int TerminalEmulation = 1; // kept, no effect
    int CursorSymbol = 0;      // kept, no effect
    int NAWS = 0;              // kept, no effect: the size sent is always 80 x 24
    bool BlinkCursor = false;  // kept, no effect

    bool operator==(const TelnetSettings&) const = default;
};

TelnetSettings readTelnetSettings(const IniFile& ini);
// Writes every key, the four without effect included. False when the file could not be written.
bool writeTelnetSettings(IniFile& ini, const TelnetSettings& s);

} // namespace vn::telnet
