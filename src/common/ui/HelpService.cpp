#include "common/ui/HelpService.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace vn {

namespace {
QString& overrideFolder() {
    static QString folder;
    return folder;
}
} // namespace

QString helpFolderFor(const QString& exeDir) {
    const QDir dir(exeDir);
    for (const char* relative : {"../share/varnelo/help", "../../docs/help"}) {
        const QString candidate = QDir::cleanPath(dir.filePath(QString::fromLatin1(relative)));
        if (QFileInfo(candidate).isDir()) return candidate;
    }
    return QString();
}

void setHelpFolder(const QString& folder) { overrideFolder() = folder; }

QString helpFolder() {
    if (!overrideFolder().isEmpty()) return overrideFolder();
    return helpFolderFor(QCoreApplication::applicationDirPath());
}

bool openHelpPage(const QString& page) {
    const QString folder = helpFolder();
    if (folder.isEmpty()) return false;
    const qsizetype hash = page.indexOf(QLatin1Char('#'));
    const QString file = QDir(folder).filePath(hash < 0 ? page : page.left(hash));
    if (!QFileInfo(file).isFile()) return false;
    QUrl url = QUrl::fromLocalFile(file);
    if (hash >= 0) url.setFragment(page.mid(hash + 1));
    QDesktopServices::openUrl(url);
    return true;
}

} // namespace vn
