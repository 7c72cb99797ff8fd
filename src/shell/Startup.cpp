#include "shell/Startup.h"

#include <QApplication>
#include <QCoreApplication>
#include <QPointer>

#include <csignal>
#include <cstdio>

#include "common/DataFolder.h"
#include "shell/CommandLine.h"
#include "shell/ProductInfo.h"
#include "shell/SingleInstance.h"
#include "shell/TMainfrm.h"
#include "shell/Tsplashfrm.h"

namespace vn {

std::unique_ptr<TMainfrm> startUp(const StartupOptions& options) {
    // A send to a closed peer must fail, not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    // No display name: Qt would append it to every window title.
    QCoreApplication::setApplicationName(QString::fromLatin1(product::kApplicationName));
    {
        Tsplashfrm splash(options.splashMs);
        if (options.splashShown)
            QObject::connect(&splash, &Tsplashfrm::shown, &splash, [&] { options.splashShown(splash); });
        splash.mostrar_form();
    }
    auto main = std::make_unique<TMainfrm>(options.tools);
    main->setCommandLine(options.arguments);
    main->show();
    // Without a window manager nothing activates the window, and the command
    // line waits for the first activation.
    main->activateWindow();
    return main;
}

void receiveLaterStarts(SingleInstance& instance, TMainfrm& main) {
    QPointer<TMainfrm> window(&main);
    instance.setReceiver([window](const QStringList& arguments) {
        if (window) window->openArguments(arguments);
    });
}

int runProgram(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    // Answered before any window system is touched: these work without a display.
    const ProgramOptions options = parseProgramOptions(arguments);
    switch (options.action) {
    case ProgramAction::Help:
        std::fputs(usageText().toLocal8Bit().constData(), stdout);
        return 0;
    case ProgramAction::Version:
        std::fputs(versionText().toLocal8Bit().constData(), stdout);
        return 0;
    case ProgramAction::Error:
        std::fprintf(stderr, "varnelo: %s\n%s", options.error.toLocal8Bit().constData(),
                     usageText().toLocal8Bit().constData());
        return 2;
    case ProgramAction::Run:
        break;
    }

    SingleInstance instance(dataFolder());
    if (!options.newInstance) {
        if (instance.start(options.hosts) == SingleInstance::Role::Forwarded) return 0;
        if (!instance.problem().empty())
            std::fprintf(stderr, "varnelo: running on its own: %s\n", instance.problem().c_str());
    }

    QApplication app(argc, argv);
    // Ties the windows to the menu entry (its icon and name) on Wayland and X11.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.varnelo.FtpSuite"));
    // Listening from here on: hosts handed over during the splash wait for the main window.
    const bool serving = instance.serve();
    StartupOptions startup;
    startup.arguments = options.hosts;
    std::unique_ptr<TMainfrm> main = startUp(startup);
    if (serving) receiveLaterStarts(instance, *main);
    QObject::connect(main.get(), &TMainfrm::exitFinished, &app, &QApplication::quit);
    const int status = app.exec();
    main.reset();
    instance.close();  // while the application object still stands
    return status;
}

} // namespace vn
