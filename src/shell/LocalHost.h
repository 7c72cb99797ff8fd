#pragma once
// This machine's name and address for the Info menu, and the interface list
// of the IP configuration window.
#include <QHostAddress>
#include <QList>
#include <QNetworkInterface>
#include <QString>

#include <optional>

namespace vn {

struct HostLookupResult {
    bool ok = false;
    QString canonicalName;
    QList<QHostAddress> addresses;
};

// getaddrinfo with the canonical name; blocking, so run it off the UI thread.
HostLookupResult lookupHostByName(const QString& name);

// The first IPv4 address of the look-up that is not a loopback one (Debian maps
// the host name to 127.0.1.1), else the first such address of the interfaces,
// else "127.0.0.1".
QString pickLocalAddress(const QList<QHostAddress>& lookedUp, const QList<QHostAddress>& interfaceAddresses);

// "127.0.0.1" for an empty host name or a failed look-up, else the official
// (canonical) name, or the name itself when the look-up gives none.
QString localHostNameAnswer(const QString& hostName, const HostLookupResult& lookup);

// Both answers from the system (blocking).
QString localAddress();
QString localHostName();

// "UP, RUNNING, BROADCAST, MULTICAST" and the like, in that order of flags.
QString interfaceFlagsText(QNetworkInterface::InterfaceFlags flags);

} // namespace vn
