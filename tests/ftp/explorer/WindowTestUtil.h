#pragma once
// Waiting for an FTP window in the GUI tests: its worker operation and its
// deferred folder load both over.
#include <QTest>
#include <QTimer>

#include <chrono>

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

} // namespace vn::test
