#pragma once
// Shared pieces of the upload window's tests: the window's FTP keys made
// short, sites for the real servers, local files, waiting for the job.
#include <QElapsedTimer>
#include <QTest>
#include <QTreeWidget>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "RealFtpServers.h"
#include "TestHome.h"
#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/InfoBox.h"
#include "multiupload/ui/Tmultipleuploadfrm.h"
#include "sites/SiteFile.h"

namespace vn::test {

namespace fs = std::filesystem;

inline bool waitFor(const std::function<bool()>& done, int ms = 30000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QTest::qWait(10);
    }
    return true;
}

// One attempt and short time-outs: a failure shows at once.
inline void shortFtpKeys(int seconds = 5) {
    IniFile ini(configFile());
    for (const char* key : {"CxRT", "TxRT", "RxRT"}) ini.writeInt("FTP", key, 1);
    for (const char* key : {"CxTOut", "TxTOut", "RxTOut"}) ini.writeInt("FTP", key, seconds);
}

// The scripted and real servers of these tests speak clear text only.
inline bool addPlainHost(Tmultipleuploadfrm& w, const TSiteRec& site) { return w.addHost(site, FtpSecurity::Plain); }

inline TSiteRec siteFor(const std::string& name, int port, const std::string& folder, bool passive,
                        const std::string& user = "anonymous", const std::string& password = "test@example.org") {
    TSiteRec s;
    s.HostName = name;
    s.Address = "127.0.0.1";
    s.Login = user;
    s.Password = password;
    s.Port = port;
    s.RemoteDir = folder;
    s.Passive = passive;
    return s;
}

// A folder below a vsftpd's upload folder, writable by its anonymous user,
// and the name that user sees it by.
inline std::string anonFolder(const RealFtpServer& server, const std::string& sub) {
    const fs::path dir = server.uploadDir() / sub;
    fs::create_directories(dir);
    fs::permissions(dir, fs::perms::all);
    // Without root there is no chroot and the paths are the machine's own.
    return ::geteuid() == 0 ? "/upload/" + sub : dir.string();
}

inline std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeAll(const fs::path& p, const std::string& data) {
    std::ofstream(p, std::ios::binary) << data;
}

// n local files of different sizes (the first one empty), with data that differs per file.
inline std::vector<std::string> makeFiles(const fs::path& dir, int n, std::size_t step = 1531) {
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) {
        std::string data(std::size_t(i) * step, '\0');
        for (std::size_t k = 0; k < data.size(); ++k) data[k] = char((k * 7 + std::size_t(i) * 13) % 251);
        const fs::path p = dir / ("file" + std::to_string(i) + ".bin");
        writeAll(p, data);
        out.push_back(p.string());
    }
    return out;
}

inline QString cell(const Tmultipleuploadfrm& w, int row, int col) {
    return w.hostTable()->topLevelItem(row)->text(col);
}

inline QStringList logLines(const Tmultipleuploadfrm& w) {
    return w.info()->toPlainText().split(QLatin1Char('\n'));
}

inline int countLines(const Tmultipleuploadfrm& w, const QString& part) {
    int n = 0;
    for (const QString& l : logLines(w))
        if (l.contains(part)) ++n;
    return n;
}

} // namespace vn::test
