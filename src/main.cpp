// Varnelo FTP Suite: start-up, then the message loop until the main window closes.
#include <QApplication>

#include "shell/Startup.h"
#include "shell/TMainfrm.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    vn::StartupOptions options;
    options.arguments = QApplication::arguments().mid(1);
    std::unique_ptr<vn::TMainfrm> main = vn::startUp(options);
    QObject::connect(main.get(), &vn::TMainfrm::exitFinished, &app, &QApplication::quit);
    return app.exec();
}
