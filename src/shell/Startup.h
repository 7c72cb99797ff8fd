#pragma once
// The program's start-up, in order: the application title, the splash, the
// main window (shown), then the caller runs the message loop.
#include <QStringList>

#include <functional>
#include <memory>

#include "shell/ToolRegistry.h"

namespace vn {

class TMainfrm;
class Tsplashfrm;

struct StartupOptions {
    QStringList arguments;      // opened as FTP quick connections at the first activation
    int splashMs = 3000;
    ToolRegistry tools = builtTools();
    std::function<void(Tsplashfrm&)> splashShown; // runs while the splash is up
};

std::unique_ptr<TMainfrm> startUp(const StartupOptions& options);

class SingleInstance;
// Hosts that later starts hand to the running copy open in `main`.
void receiveLaterStarts(SingleInstance& instance, TMainfrm& main);

// The whole program: options, the running-copy check, start-up, message loop.
int runProgram(int argc, char** argv);

} // namespace vn
