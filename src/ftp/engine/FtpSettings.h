#pragma once
// The FTP engine's keys of "varnelo.ini" ([FTP]) with their defaults; a
// missing or malformed key reads as its default. How the explorer looks
// (colours, splitter sizes, sounds) is the window's: ftp/explorer/ExplorerLook.h.
#include <string>

#include "common/IniFile.h"

namespace vn {

struct FtpSettings {
    int CxRT = 3, TxRT = 3, RxRT = 3;
    int CxTOut = 120, TxTOut = 120, RxTOut = 120; // seconds
    int PacketLength = 4096;
    int NOOPInterval = 180;
    bool ShowWelcome = true; // the server's welcome text is shown after login
    std::string Email;
    bool UseEmailAddress = true;
    int RecycleBin = 1; // 1: deleted local files go to the trash, 0: deleted, other: kept
    bool DeleteFileAfterDownload = false;
    bool DeleteFileAfterUpload = false;
    // A download keeps the remote file's time (MDTM), an upload the local
    // file's (MFMT), when the server lists the command.
    bool KeepFileTimes = true;

    static FtpSettings load(const IniFile& ini);
};

} // namespace vn
