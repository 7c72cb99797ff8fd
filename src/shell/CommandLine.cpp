#include "shell/CommandLine.h"

#include <QRegularExpression>
#include <QUrl>

#include "ftp/engine/QuickHost.h"
#include "shell/ProductInfo.h"

namespace vn {

namespace {

QString decoded(const QString& s) { return QUrl::fromPercentEncoding(s.toUtf8()); }

CommandLineTarget hostOnly(const QString& argument) {
    CommandLineTarget t;
    const QByteArray bytes = argument.toUtf8();
    const std::string host = mostrarQuickHost(std::string_view(bytes.constData(), size_t(bytes.size())));
    t.host = QString::fromUtf8(host.data(), qsizetype(host.size()));
    return t;
}

} // namespace

CommandLineTarget parseCommandLineTarget(const QString& argument) {
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    const QRegularExpressionMatch m = scheme.match(argument);
    if (!m.hasMatch()) return hostOnly(argument);

    const QString rest = argument.mid(m.capturedLength());
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    const QString authority = slash < 0 ? rest : rest.left(slash);
    const QString path = slash < 0 ? QString() : rest.mid(slash);

    CommandLineTarget t;
    t.fromUrl = true;
    const QString schemeName = m.captured(0).chopped(3).toLower();
    if (schemeName == QLatin1String("ftps")) t.security = FtpSecurity::Implicit;
    else if (schemeName == QLatin1String("ftpes")) t.security = FtpSecurity::RequireExplicit;
    QString hostPort = authority;
    const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        const QString userInfo = authority.left(at);
        hostPort = authority.mid(at + 1);
        const qsizetype colon = userInfo.indexOf(QLatin1Char(':'));
        t.login = decoded(colon < 0 ? userInfo : userInfo.left(colon));
        if (colon >= 0) t.password = decoded(userInfo.mid(colon + 1));
    }
    // "[v6]:port" or "name:port"; a port that is not a number 1..65535 stays in the host.
    qsizetype portColon = -1;
    if (hostPort.startsWith(QLatin1Char('['))) {
        const qsizetype close = hostPort.indexOf(QLatin1Char(']'));
        if (close >= 0 && close + 1 < hostPort.size() && hostPort[close + 1] == QLatin1Char(':')) portColon = close + 1;
    } else {
        portColon = hostPort.lastIndexOf(QLatin1Char(':'));
    }
    if (portColon >= 0) {
        bool ok = false;
        const int port = hostPort.mid(portColon + 1).toInt(&ok);
        if (ok && port > 0 && port <= 65535) {
            t.port = port;
            hostPort = hostPort.left(portColon);
        } else if (hostPort.mid(portColon + 1).isEmpty()) {
            hostPort = hostPort.left(portColon);
        }
    }
    if (hostPort.startsWith(QLatin1Char('[')) && hostPort.endsWith(QLatin1Char(']')))
        hostPort = hostPort.mid(1, hostPort.size() - 2);
    t.host = decoded(hostPort);
    if (t.port == 0 && t.security) t.port = defaultPortFor(*t.security);

    QString dir = decoded(path);
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/'))) dir.chop(1);
    if (dir == QLatin1String("/")) dir.clear();
    t.remoteDir = dir;
    return t;
}

namespace {

// Options QApplication takes out of the command line itself; those that take
// a value are followed by it unless written "-option=value".
struct QtOption {
    const char* name;
    bool takesValue;
};
constexpr QtOption kQtOptions[] = {
    {"platform", true},   {"platformpluginpath", true}, {"platformtheme", true}, {"plugin", true},
    {"qwindowgeometry", true}, {"qwindowicon", true}, {"qwindowtitle", true}, {"session", true},
    {"display", true},    {"geometry", true},   {"name", true},          {"title", true},
    {"style", true},      {"stylesheet", true}, {"reverse", false},      {"widgetcount", false},
    {"nograb", false},    {"dograb", false},    {"sync", false},         {"qmljsdebugger", true},
};

// The Qt option an argument spells ("-style", "--style", "-style=fusion"), or null.
const QtOption* qtOption(const QString& argument, bool* valueAttached) {
    QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
    const qsizetype eq = name.indexOf(QLatin1Char('='));
    *valueAttached = eq >= 0;
    if (eq >= 0) name.truncate(eq);
    for (const QtOption& o : kQtOptions)
        if (name == QLatin1String(o.name) && (o.takesValue || eq < 0)) return &o;
    return nullptr;
}

} // namespace

ProgramOptions parseProgramOptions(const QStringList& arguments) {
    ProgramOptions out;
    bool help = false, version = false, optionsEnded = false;
    QString unknown;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (optionsEnded || !a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) {
            out.hosts << a;
        } else if (a == QLatin1String("--")) {
            optionsEnded = true;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            help = true;
        } else if (a == QLatin1String("--version")) {
            version = true;
        } else if (a == QLatin1String("--new-instance")) {
            out.newInstance = true;
        } else if (bool attached = false; const QtOption* q = qtOption(a, &attached)) {
            if (q->takesValue && !attached) {
                if (i + 1 >= arguments.size()) {
                    if (unknown.isEmpty()) unknown = QStringLiteral("option '%1' needs a value").arg(a);
                } else {
                    ++i;
                }
            }
        } else if (unknown.isEmpty()) {
            unknown = QStringLiteral("unknown option '%1'").arg(a);
        }
    }
    if (help) out.action = ProgramAction::Help;
    else if (version) out.action = ProgramAction::Version;
    else if (!unknown.isEmpty()) {
        out.action = ProgramAction::Error;
        out.error = unknown;
    }
    return out;
}

QString usageText() {
    return QStringLiteral(
        "Usage: varnelo [OPTION]... [HOST | URL]...\n"
        "Starts %1. Every HOST or URL opens an FTP window with its quick connection,\n"
        "for example ftp.example.org or ftp://user@ftp.example.org:2121/pub/.\n"
        "When %1 is already running, the hosts open in that window instead.\n"
        "\n"
        "  -h, --help          show this help and exit\n"
        "      --version       show the version and exit\n"
        "      --new-instance  start a copy of its own, even when one is running\n"
        "\n"
        "Settings are kept in $VARNELO_HOME, else $XDG_CONFIG_HOME/varnelo.\n")
        .arg(QString::fromLatin1(product::kMainCaption));
}

QString versionText() {
    return QStringLiteral("%1 %2\n").arg(QString::fromLatin1(product::kMainCaption), QString::fromLatin1(product::kVersion));
}

} // namespace vn
