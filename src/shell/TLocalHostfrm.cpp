#include "shell/TLocalHostfrm.h"

#include <QMenuBar>

#include "common/ui/InfoBox.h"
#include "shell/LocalHost.h"

namespace vn {

TLocalHostfrm::TLocalHostfrm(QWidget* parent)
    : ToolWindow({QStringLiteral("LocalHostfrm"), QStringLiteral("Local Host"), QStringLiteral("index.html")}, parent),
      address_(&localAddress), name_(&localHostName) {
    commands().add({
        {"Address1", QStringLiteral("My IP &Address"), QKeySequence(Qt::Key_F5),
         [this] { look(QStringLiteral("IP address"), address_); }, QStringLiteral("My IP Address")},
        {"Name1", QStringLiteral("My Host &Name"), QKeySequence(Qt::Key_F6),
         [this] { look(QStringLiteral("Host name"), name_); }, QStringLiteral("My Host Name")},
        {"Abort1", QStringLiteral("&Abort"), QKeySequence(Qt::Key_F9), [this] { abort(); }, QStringLiteral("Abort"),
         {}, false, true},
    });
    commands().fill(menuBar()->addMenu(QStringLiteral("&Local Host")), {"Address1", "Name1", "", "Abort1"});
    commands().fill(menuBar()->addMenu(QStringLiteral("&Help")), {"Contents1"});
    commands().button(toolBar(), "AddressSB", "Address1", QStringLiteral("Address"));
    commands().button(toolBar(), "NameSB", "Name1", QStringLiteral("Name"));
    commands().button(toolBar(), "AbortSB", "Abort1", QStringLiteral("Abort"));
    setCentralWidget(info());
    resize(420, 260);
    finishSetup();
}

void TLocalHostfrm::setLookups(Lookup address, Lookup name) {
    address_ = std::move(address);
    name_ = std::move(name);
}

void TLocalHostfrm::look(const QString& what, const Lookup& lookup) {
    log(QStringLiteral(">Looking up the %1...").arg(what.toLower()));
    // A look-up can't be interrupted: Abort only drops its answer.
    run([lookup] { return lookup(); },
        [this, what](const QString& answer) {
            // Still this operation's token: done runs before any other starts.
            if (runner().wait().cancelled()) {
                log(QStringLiteral(">Aborted."));
                return;
            }
            log(QStringLiteral("%1: %2").arg(what, answer));
            setStatus(answer);
        });
}

} // namespace vn
