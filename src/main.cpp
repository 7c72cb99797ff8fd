// Varnelo FTP Suite: the multiple-document main window holding the tool windows.
#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QTimer>

#include "ftp/explorer/TFTPfrm.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VARNELO FTP"));

    QMainWindow main;
    main.setWindowTitle(QStringLiteral("Varnelo FTP Suite"));
    auto* mdi = new QMdiArea(&main);
    main.setCentralWidget(mdi);
    main.resize(800, 600);
    main.show();

    auto openFtp = [mdi] {
        auto* ftp = new vn::TFTPfrm;
        QMdiSubWindow* sub = mdi->addSubWindow(ftp);
        sub->setAttribute(Qt::WA_DeleteOnClose);
        sub->show();
        return ftp;
    };
    const QStringList args = QApplication::arguments().mid(1);
    if (args.isEmpty()) {
        openFtp();
    } else {
        // One FTP window per command-line host, each with its quick connection.
        for (const QString& a : args) {
            auto* ftp = openFtp();
            QTimer::singleShot(0, ftp, [ftp, a] { ftp->mostrarQuick(a); });
        }
    }
    return app.exec();
}
