#include "ftp/engine/FtpSettings.h"

#include <algorithm>

namespace vn {

FtpSettings FtpSettings::load(const IniFile& ini) {
    FtpSettings s;
    auto i = [&](const char* section, const char* key, long long def) {
        return static_cast<int>(std::clamp(ini.readInt(section, key, def), -1000000000LL, 1000000000LL));
    };
    auto b = [&](const char* section, const char* key, bool def) { return ini.readInt(section, key, def ? 1 : 0) != 0; };
    s.CxRT = i("FTP", "CxRT", s.CxRT);
    s.TxRT = i("FTP", "TxRT", s.TxRT);
    s.RxRT = i("FTP", "RxRT", s.RxRT);
    s.CxTOut = i("FTP", "CxTOut", s.CxTOut);
    s.TxTOut = i("FTP", "TxTOut", s.TxTOut);
    s.RxTOut = i("FTP", "RxTOut", s.RxTOut);
    s.PacketLength = i("FTP", "PacketLength", s.PacketLength);
    s.NOOPInterval = i("FTP", "NOOPInterval", s.NOOPInterval);
    s.ShowWelcome = ini.readInt("FTP", "ShowWelcome", 1) == 1;
    s.Email = ini.readString("FTP", "Email", "");
    s.UseEmailAddress = b("FTP", "UseEmailAddress", true);
    s.RecycleBin = i("FTP", "RecycleBin", 1);
    s.DeleteFileAfterDownload = b("FTP", "DeleteFileAfterDownload", false);
    s.DeleteFileAfterUpload = b("FTP", "DeleteFileAfterUpload", false);
    s.KeepFileTimes = b("FTP", "KeepFileTimes", true);
    return s;
}

} // namespace vn
