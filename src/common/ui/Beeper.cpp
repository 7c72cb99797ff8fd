#include "common/ui/Beeper.h"

#include <QApplication>
#include <QMetaObject>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QThread>

#include <filesystem>
#include <memory>
#include <mutex>
namespace vn {
namespace {

std::mutex g_hookMutex;
std::shared_ptr<const std::function<void()>> g_hook;

// A sound longer than this is cut short rather than holding the window.
constexpr int kMaxPlayMs = 30000;

void systemBeep() {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app) return;
    if (QThread::currentThread() == app->thread())
        QApplication::beep();
    else
        QMetaObject::invokeMethod(app, [] { QApplication::beep(); }, Qt::QueuedConnection);
}

} // namespace

bool playSoundFile(const std::string& soundFile) {
    std::error_code ec;
    if (soundFile.empty() || !std::filesystem::is_regular_file(soundFile, ec)) return false;
    QString program = QStandardPaths::findExecutable(QStringLiteral("aplay"));
    QStringList args;
    if (!program.isEmpty()) {
        args << QStringLiteral("-q");
    } else {
        program = QStandardPaths::findExecutable(QStringLiteral("paplay"));
        if (program.isEmpty()) return false;
    }
    args << QString::fromLocal8Bit(soundFile.c_str());
    QProcess player;
    player.setStandardOutputFile(QProcess::nullDevice());
    player.setStandardErrorFile(QProcess::nullDevice());
    player.start(program, args);
    if (!player.waitForStarted()) return false;
    if (!player.waitForFinished(kMaxPlayMs)) {
        player.kill();
        player.waitForFinished();
        return false;
    }
    return player.exitStatus() == QProcess::NormalExit && player.exitCode() == 0;
}

void beeps(const std::string& soundFile) {
    std::shared_ptr<const std::function<void()>> hook;
    {
        std::lock_guard<std::mutex> g(g_hookMutex);
        hook = g_hook;
    }
    if (hook) {
        (*hook)();
        return;
    }
    if (!soundFile.empty() && playSoundFile(soundFile)) return;
    systemBeep();
}

void setBeepHook(std::function<void()> hook) {
    std::lock_guard<std::mutex> g(g_hookMutex);
    if (hook)
        g_hook = std::make_shared<const std::function<void()>>(std::move(hook));
    else
        g_hook.reset();
}

} // namespace vn
