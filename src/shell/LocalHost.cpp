#include "shell/LocalHost.h"

#include <QHostInfo>
#include <QStringList>

#include <netdb.h>
#include <sys/socket.h>

namespace vn {

HostLookupResult lookupHostByName(const QString& name) {
    HostLookupResult r;
    if (name.isEmpty()) return r;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* list = nullptr;
    if (getaddrinfo(name.toUtf8().constData(), nullptr, &hints, &list) != 0 || !list) return r;
    r.ok = true;
    if (list->ai_canonname) r.canonicalName = QString::fromUtf8(list->ai_canonname);
    for (addrinfo* a = list; a; a = a->ai_next) {
        QHostAddress address(a->ai_addr);
        if (!address.isNull() && !r.addresses.contains(address)) r.addresses.append(address);
    }
    freeaddrinfo(list);
    return r;
}

QString pickLocalAddress(const QList<QHostAddress>& lookedUp, const QList<QHostAddress>& interfaceAddresses) {
    for (const QList<QHostAddress>* list : {&lookedUp, &interfaceAddresses})
        for (const QHostAddress& a : *list)
            if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback()) return a.toString();
    return QStringLiteral("127.0.0.1");
}

QString localHostNameAnswer(const QString& hostName, const HostLookupResult& lookup) {
    if (hostName.isEmpty() || !lookup.ok) return QStringLiteral("127.0.0.1");
    return lookup.canonicalName.isEmpty() ? hostName : lookup.canonicalName;
}

QString localAddress() {
    const QString name = QHostInfo::localHostName();
    return pickLocalAddress(lookupHostByName(name).addresses, QNetworkInterface::allAddresses());
}

QString localHostName() {
    const QString name = QHostInfo::localHostName();
    return localHostNameAnswer(name, lookupHostByName(name));
}

QString interfaceFlagsText(QNetworkInterface::InterfaceFlags flags) {
    static const std::pair<QNetworkInterface::InterfaceFlag, const char*> names[] = {
        {QNetworkInterface::IsUp, "UP"},
        {QNetworkInterface::IsRunning, "RUNNING"},
        {QNetworkInterface::CanBroadcast, "BROADCAST"},
        {QNetworkInterface::IsLoopBack, "LOOPBACK"},
        {QNetworkInterface::IsPointToPoint, "POINTOPOINT"},
        {QNetworkInterface::CanMulticast, "MULTICAST"},
    };
    QStringList parts;
    for (const auto& [flag, text] : names)
        if (flags.testFlag(flag)) parts << QString::fromLatin1(text);
    return parts.join(QStringLiteral(", "));
}

} // namespace vn
