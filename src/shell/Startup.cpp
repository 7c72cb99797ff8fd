#include "shell/Startup.h"

#include <QCoreApplication>

#include <csignal>

#include "shell/ProductInfo.h"
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

} // namespace vn
