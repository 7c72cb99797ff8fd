#pragma once
// The program's command line: its own options, Qt's options passed through,
// and what one host argument asks the FTP window's quick connection for.
#include <QString>
#include <QStringList>

#include <optional>

#include "ftp/engine/tls/FtpSecurity.h"

namespace vn {

struct CommandLineTarget {
    QString host, login, password, remoteDir;
    int port = 0;          // 0: the dialog's default
    bool fromUrl = false;  // "scheme://..." form (login, password, port, folder may be set)
    // "ftps://": implicit TLS (port 990 unless named); "ftpes://": explicit TLS required.
    std::optional<FtpSecurity> security;
};

// "scheme://[user[:password]@]host[:port][/folder]" fills every part it holds,
// percent-decoded; the host keeps its case. Any other argument names only the
// host, by the quick-connection rule ("host:21" gives "21", no ":" the whole).
CommandLineTarget parseCommandLineTarget(const QString& argument);

enum class ProgramAction { Run, Help, Version, Error };

struct ProgramOptions {
    ProgramAction action = ProgramAction::Run;
    bool newInstance = false;  // --new-instance: run a copy of its own
    QStringList hosts;         // hosts and URLs, one FTP window each
    QString error;             // Error: what was wrong, in one line
};

// The arguments after the program name. "--help"/"-h" and "--version" win over
// everything else; an option neither ours nor Qt's is an error; after "--"
// every argument is a host.
ProgramOptions parseProgramOptions(const QStringList& arguments);

// "Usage: ..." with the options, one per line, ending with a line break.
QString usageText();
// "Varnelo FTP Suite 3.7" and a line break.
QString versionText();

} // namespace vn
