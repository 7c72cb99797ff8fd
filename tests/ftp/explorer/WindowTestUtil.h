#pragma once
// Waiting for an FTP window in the GUI tests: its worker operation and its
// deferred folder load both over.
#include <QTest>
#include <QTimer>

#include <chrono>

#include "common/ui/InfoBox.h"
#include "ftp/explorer/TFTPfrm.h"

namespace vn::test {

inline bool waitIdle(TFTPfrm& w, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    auto end = std::chrono::steady_clock::now() + limit;
    do {
        QTest::qWait(10);
        if (!w.busy() && !w.mouseTimer()->isActive()) return true;
    } while (std::chrono::steady_clock::now() < end);
    return false;
}

// Selecting a node loads its folder a moment later: waits until the window
// shows that folder and is idle.
inline bool waitForFolder(TFTPfrm& w, const std::string& folder,
                          std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (waitIdle(w) && w.currentDirBytes() == folder) return true;
        QTest::qWait(10);
    }
    return false;
}

// Waits until the window's log holds the line (a reply of a timer-driven
// command, for instance) and the window is idle again.
inline bool waitForLogLine(TFTPfrm& w, const QString& line,
                           std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (w.info()->lines().contains(line)) return waitIdle(w);
        QTest::qWait(10);
    }
    return false;
}

} // namespace vn::test
