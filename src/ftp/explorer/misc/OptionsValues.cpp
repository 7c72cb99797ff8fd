#include "ftp/explorer/misc/OptionsValues.h"

#include "ftp/explorer/ExplorerLook.h"

namespace vn {

OptionsValues OptionsValues::load(const IniFile& ini) {
    const FtpSettings s = FtpSettings::load(ini);
    const ExplorerLook l = ExplorerLook::load(ini);
    OptionsValues v;
    v.CxRT = s.CxRT;
    v.TxRT = s.TxRT;
    v.RxRT = s.RxRT;
    v.CxTOut = s.CxTOut;
    v.TxTOut = s.TxTOut;
    v.RxTOut = s.RxTOut;
    v.PacketLength = s.PacketLength;
    v.NOOPInterval = s.NOOPInterval;
    v.ShowWelcome = s.ShowWelcome;
    v.Email = s.Email;
    v.DisableThinking = l.DisableThinking;
    v.RecycleBin = s.RecycleBin;
    v.DeleteFileAfterDownload = s.DeleteFileAfterDownload;
    v.DeleteFileAfterUpload = s.DeleteFileAfterUpload;
    v.KeepFileTimes = s.KeepFileTimes;
    v.InfoBox = l.InfoBoxColor;
    v.FileGauge = l.FileGaugeColor;
    v.TotalGauge = l.TotalGaugeColor;
    v.ListFont = l.ListFontColor;
    v.InfoBoxFont = l.InfoBoxFontColor;
    v.ActionSound = l.ActionSound;
    v.SoundFile = l.SoundFile;
    v.MaxInfoBox = l.MaxInfoBox;
    return v;
}

bool OptionsValues::save(IniFile& ini) const {
    bool ok = true;
    auto i = [&](const char* section, const char* key, long long value) { ok = ini.writeInt(section, key, value) && ok; };
    i("Colors", "InfoBox", InfoBox);
    i("Colors", "FileGauge", FileGauge);
    i("Colors", "TotalGauge", TotalGauge);
    i("Colors", "ListFont", ListFont);
    i("Colors", "InfoBoxFont", InfoBoxFont);
    i("Sound", "ActionSound", ActionSound && !SoundFile.empty() ? 1 : 0);
    ok = ini.writeString("Sound", "SoundFile", SoundFile) && ok;
    ok = ini.writeString("FTP", "Email", Email) && ok;
    i("FTP", "ShowWelcome", ShowWelcome ? 1 : 0);
    i("FTP", "CxRT", CxRT);
    i("FTP", "TxRT", TxRT);
    i("FTP", "RxRT", RxRT);
    i("FTP", "CxTOut", CxTOut);
    i("FTP", "TxTOut", TxTOut);
    i("FTP", "RxTOut", RxTOut);
    i("FTP", "PacketLength", PacketLength);
    i("FTP", "NOOPInterval", NOOPInterval);
    i("Misc", "MaxInfoBox", MaxInfoBox);
    i("FTP", "DisableThinking", DisableThinking ? 1 : 0);
    i("FTP", "RecycleBin", RecycleBin);
    i("FTP", "DeleteFileAfterDownload", DeleteFileAfterDownload ? 1 : 0);
    i("FTP", "DeleteFileAfterUpload", DeleteFileAfterUpload ? 1 : 0);
    i("FTP", "KeepFileTimes", KeepFileTimes ? 1 : 0);
    return ok;
}

} // namespace vn
