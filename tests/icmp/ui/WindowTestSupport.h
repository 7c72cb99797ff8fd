#pragma once
// Helpers of the Ping and Traceroute window tests.
#include <QCoreApplication>
#include <QStringList>
#include <QTableWidget>
#include <QTest>

#include <chrono>
#include <string>

#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "icmp/IcmpChannel.h"
#include "icmp/PingSettings.h"

namespace vn::icmp::test {

using namespace std::chrono_literals;

template <class F>
bool waitFor(F done, std::chrono::milliseconds limit = 10s) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QTest::qWait(5);
    }
    return true;
}

inline bool rawAllowed() {
    int err = 0;
    return IcmpChannel::open(BackendChoice::Raw, err).valid();
}

// The "Ping" settings every window reads at creation.
inline void writeSettings(bool doOnly, int only, bool doLast, int last, int interval, int timeout = 2000) {
    IniFile ini(configFile());
    PingSettings s;
    s.doOnly = doOnly;
    s.only = only;
    s.doLast = doLast;
    s.last = last;
    s.interval = interval;
    s.timeout = timeout;
    writePingSettings(ini, s);
}

// Each row of the list as "cell|cell|...".
inline QStringList rowTexts(const QTableWidget* list) {
    QStringList out;
    for (int r = 0; r < list->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < list->columnCount(); ++c) cells << (list->item(r, c) ? list->item(r, c)->text() : QString());
        out << cells.join(QLatin1Char('|'));
    }
    return out;
}

inline QString cell(const QTableWidget* list, int r, int c) {
    return list->item(r, c) ? list->item(r, c)->text() : QString();
}

} // namespace vn::icmp::test
