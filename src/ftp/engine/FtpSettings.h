#pragma once
// The FTP keys of "varnelo.ini" with their defaults; a missing or malformed key
// reads as its default.
#include <string>

#include "common/IniFile.h"

namespace vn {

struct FtpSettings {
    int CxRT = 3, TxRT = 3, RxRT = 3;
    int CxTOut = 120, TxTOut = 120, RxTOut = 120;
    int PacketLength = 4096;
    int NOOPInterval = 180;
    bool ShowWelcome = true;
    std::string Email;
    bool UseEmailAddress = true;
    bool DisableThinking = false;
    int RecycleBin = 1; // 1: deleted local files go to the trash, 0: deleted, other: kept
    bool DeleteFileAfterDownload = false;
    bool DeleteFileAfterUpload = false;
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

    static FtpSettings load(const IniFile& ini);
    // The sound beeps plays: the sound file when ActionSound is on, else none.
    std::string actionSound() const { return ActionSound ? SoundFile : std::string(); }
};

} // namespace vn
