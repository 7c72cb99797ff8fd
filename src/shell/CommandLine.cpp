#include "shell/CommandLine.h"

#include <QRegularExpression>
#include <QUrl>

#include "ftp/engine/QuickHost.h"

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

    QString dir = decoded(path);
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/'))) dir.chop(1);
    if (dir == QLatin1String("/")) dir.clear();
    t.remoteDir = dir;
    return t;
}

} // namespace vn
