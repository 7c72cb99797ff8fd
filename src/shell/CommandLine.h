#pragma once
// What one command-line argument asks the FTP window's quick connection for.
#include <QString>

namespace vn {

struct CommandLineTarget {
    QString host, login, password, remoteDir;
    int port = 0;          // 0: the dialog's default
    bool fromUrl = false;  // "scheme://..." form (login, password, port, folder may be set)
};

// "scheme://[user[:password]@]host[:port][/folder]" fills every part it holds,
// percent-decoded; the host keeps its case. Any other argument names only the
// host, by the quick-connection rule ("host:21" gives "21", no ":" the whole).
CommandLineTarget parseCommandLineTarget(const QString& argument);

} // namespace vn
