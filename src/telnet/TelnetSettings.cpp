#include "telnet/TelnetSettings.h"

namespace vn::telnet {

TelnetSettings readTelnetSettings(const IniFile& ini) {
    TelnetSettings d;
    TelnetSettings s;
    auto i = [&](const char* key, long long def) { return ini.readInt(kTelnetSection, key, def); };
    long long port = i("TelnetPort", d.TelnetPort);
    s.TelnetPort = port >= 1 && port <= 65535 ? static_cast<int>(port) : d.TelnetPort;
    s.LocalEcho = i("LocalEcho", 0) == 1;
    s.ClearScreen = i("ClearScreen", 0) == 1;
    s.TerminalColor = i("TerminalColor", d.TerminalColor) & 0xFFFFFF;
    s.TerminalFontColor = i("TerminalFontColor", d.TerminalFontColor) & 0xFFFFFF;
    long long size = i("TerminalFontSize", d.TerminalFontSize);
    s.TerminalFontSize = size >= 1 && size <= 200 ? static_cast<int>(size) : d.TerminalFontSize;
    s.TerminalFontName = ini.readString(kTelnetSection, "TerminalFontName", d.TerminalFontName);
    if (s.TerminalFontName.empty()) s.TerminalFontName = d.TerminalFontName;
    s.TerminalEmulation = static_cast<int>(i("TerminalEmulation", d.TerminalEmulation));
    s.CursorSymbol = static_cast<int>(i("CursorSymbol", d.CursorSymbol));
    s.NAWS = static_cast<int>(i("NAWS", d.NAWS));
    s.BlinkCursor = i("BlinkCursor", 0) == 1;
    return s;
}

bool writeTelnetSettings(IniFile& ini, const TelnetSettings& s) {
    bool ok = true;
    auto w = [&](const char* key, long long v) { ok = ini.writeInt(kTelnetSection, key, v) && ok; };
    w("TelnetPort", s.TelnetPort);
    w("LocalEcho", s.LocalEcho ? 1 : 0);
    w("ClearScreen", s.ClearScreen ? 1 : 0);
    w("TerminalColor", s.TerminalColor);
    w("TerminalFontColor", s.TerminalFontColor);
    w("TerminalFontSize", s.TerminalFontSize);
    ok = ini.writeString(kTelnetSection, "TerminalFontName", s.TerminalFontName) && ok;
    w("TerminalEmulation", s.TerminalEmulation);
    w("CursorSymbol", s.CursorSymbol);
    w("NAWS", s.NAWS);
    w("BlinkCursor", s.BlinkCursor ? 1 : 0);
    return ok;
}

} // namespace vn::telnet
