#include "common/ui/HostHistoryField.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QStyle>

#include "common/DataFolder.h"
#include "common/History.h"
#include "common/IniFile.h"
#include "common/ui/WireText.h"

namespace vn {

QMenu* offerHostHistory(QLineEdit* field, std::string section) {
    auto* menu = new QMenu(field);
    menu->setObjectName(QStringLiteral("LastHostsMenu"));
    menu->setTitle(QStringLiteral("Last Hosts Visited"));
    QObject::connect(menu, &QMenu::aboutToShow, field, [menu, field, section] {
        menu->clear();
        IniFile ini(configFile());
        for (const std::string& host : History(ini, section).entries()) {
            if (host.empty()) continue;
            QString text = fromWire(host);
            QAction* a = menu->addAction(QString(text).replace(QLatin1Char('&'), QStringLiteral("&&")));
            QObject::connect(a, &QAction::triggered, field, [field, text] {
                field->setText(text);
                field->setFocus();
            });
        }
        if (menu->isEmpty()) menu->addAction(QStringLiteral("(none yet)"))->setEnabled(false);
    });
    QAction* open = field->addAction(field->style()->standardIcon(QStyle::SP_ArrowDown), QLineEdit::TrailingPosition);
    open->setObjectName(QStringLiteral("LastHosts"));
    open->setText(QStringLiteral("Last Hosts Visited"));
    open->setToolTip(QStringLiteral("Last Hosts Visited (Alt+Down)"));
    auto popup = [menu, field] { menu->popup(field->mapToGlobal(QPoint(0, field->height()))); };
    QObject::connect(open, &QAction::triggered, field, popup);
    auto* key = new QAction(field);
    key->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Down));
    key->setShortcutContext(Qt::WidgetShortcut);
    field->addAction(key);
    QObject::connect(key, &QAction::triggered, field, popup);
    return menu;
}

} // namespace vn
