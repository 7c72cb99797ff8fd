#pragma once
// How the FTP explorer window looks and sounds, from "varnelo.ini": the
// splitter sizes, the colours, the action sound, the log's length and the
// thinking band. A missing or malformed key reads as its default. (What the
// engine needs is FtpSettings.)
#include <algorithm>
#include <string>

#include "common/IniFile.h"

namespace vn {

struct ExplorerLook {
    int TreeWidth = 225;
    int InfoHeight = 50;
    // [Colors], 0x00BBGGRR
    unsigned InfoBoxColor = 14154751, FileGaugeColor = 8388608, TotalGaugeColor = 16711680,
             ListFontColor = 8388608, InfoBoxFontColor = 8388608;
    // [Sound]
    bool ActionSound = false;
    std::string SoundFile;
    // [Misc]
    int MaxInfoBox = 0;
    bool DisableThinking = false;

    static ExplorerLook load(const IniFile& ini) {
        ExplorerLook s;
        auto i = [&](const char* section, const char* key, long long def) {
            return static_cast<int>(std::clamp(ini.readInt(section, key, def), -1000000000LL, 1000000000LL));
        };
        auto c = [&](const char* key, unsigned def) {
            return static_cast<unsigned>(ini.readInt("Colors", key, def) & 0xFFFFFFFFLL);
        };
        s.TreeWidth = i("FTP", "TreeWidth", s.TreeWidth);
        s.InfoHeight = i("FTP", "InfoHeight", s.InfoHeight);
        s.InfoBoxColor = c("InfoBox", s.InfoBoxColor);
        s.FileGaugeColor = c("FileGauge", s.FileGaugeColor);
        s.TotalGaugeColor = c("TotalGauge", s.TotalGaugeColor);
        s.ListFontColor = c("ListFont", s.ListFontColor);
        s.InfoBoxFontColor = c("InfoBoxFont", s.InfoBoxFontColor);
        s.ActionSound = ini.readInt("Sound", "ActionSound", 0) == 1;
        s.SoundFile = ini.readString("Sound", "SoundFile", "");
        s.MaxInfoBox = i("Misc", "MaxInfoBox", s.MaxInfoBox);
        s.DisableThinking = ini.readInt("FTP", "DisableThinking", 0) != 0;
        return s;
    }
    // The sound beeps plays: the sound file when ActionSound is on, else none.
    std::string actionSound() const { return ActionSound ? SoundFile : std::string(); }
};

} // namespace vn
