#include "ftp/engine/FtpServices.h"

#include "common/DataFolder.h"
#include "common/History.h"
#include "common/IniFile.h"

namespace vn {

FtpServices FtpServices::standard() {
    FtpServices s;
    s.rememberHost = [](const std::string& host) {
        IniFile ini(configFile());
        History(ini, "FTP").AfegirComAVisitat(host);
    };
    s.resumeFile = dataFile("rest.ini");
    s.tempFolder = dataFile("TEMP");
    s.trustFile = dataFile("certificates.ini");
    return s;
}

} // namespace vn
