#pragma once
// What the Options window edits: the keys of [FTP], [Colors], [Sound] and
// [Misc] in "varnelo.ini". load() reads them with their defaults (a missing
// or malformed key reads as its default); save() writes every one of them.
#include <string>

#include "common/IniFile.h"
#include "ftp/engine/FtpSettings.h"

namespace vn {

struct OptionsValues {
    // [FTP]
    int CxRT = 3, TxRT = 3, RxRT = 3;
    int CxTOut = 120, TxTOut = 120, RxTOut = 120;
    int PacketLength = 4096;
    int NOOPInterval = 180;
    bool ShowWelcome = true;
    std::string Email;
    bool DisableThinking = false;
    int RecycleBin = 1; // 1: to the trash, 0: deleted, anything else: kept
    bool DeleteFileAfterDownload = false;
    bool DeleteFileAfterUpload = false;
    bool KeepFileTimes = true;
    // [Colors], 0x00BBGGRR
    unsigned InfoBox = 14154751, FileGauge = 8388608, TotalGauge = 16711680, ListFont = 8388608,
             InfoBoxFont = 8388608;
    // [Sound]
    bool ActionSound = false;
    std::string SoundFile;
    // [Misc]
    int MaxInfoBox = 0;

    static OptionsValues load(const IniFile& ini);
    // ActionSound is written 1 only with a sound file named. False when the
    // file could not be written.
    bool save(IniFile& ini) const;
};

} // namespace vn
