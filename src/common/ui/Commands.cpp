#include "common/ui/Commands.h"

#include <QAction>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>

#include <cassert>

namespace vn {

QString withoutMnemonic(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&')) {
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('&')) {
                out += QLatin1Char('&');
                ++i;
            }
            continue;
        }
        out += text[i];
    }
    return out;
}

CommandTable::CommandTable(QWidget* owner) : owner_(owner) {}

QAction* CommandTable::add(const CommandSpec& def) {
    auto* a = new QAction(def.text, owner_);
    a->setObjectName(QString::fromLatin1(def.name));
    if (!def.key.isEmpty()) {
        a->setShortcut(def.key);
        // Two windows of one kind never make a key ambiguous.
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        owner_->addAction(a);
    }
    if (!def.hint.isEmpty()) {
        a->setToolTip(def.hint);
        a->setStatusTip(def.hint);
    }
    a->setCheckable(def.checkable);
    if (def.slot) QObject::connect(a, &QAction::triggered, owner_, [slot = def.slot] { slot(); });
    const QString name = a->objectName();
    if (!entries_.count(name)) order_.push_back(name);
    entries_[name] = Entry{def, a};
    a->setProperty("accessibleName", accessibleName(name));
    return a;
}

void CommandTable::add(const std::vector<CommandSpec>& specs) {
    for (const CommandSpec& s : specs) add(s);
}

QAction* CommandTable::action(const QString& name) const {
    auto it = entries_.find(name);
    return it == entries_.end() ? nullptr : it->second.action;
}

QAction* CommandTable::at(const char* name) const {
    QAction* a = action(QString::fromLatin1(name));
    assert(a && "unknown command");
    return a;
}

const CommandSpec* CommandTable::definition(const QString& name) const {
    auto it = entries_.find(name);
    return it == entries_.end() ? nullptr : &it->second.def;
}

QString CommandTable::accessibleName(const QString& name) const {
    const CommandSpec* s = definition(name);
    if (!s) return {};
    if (!s->accessible.isEmpty()) return s->accessible;
    if (!s->hint.isEmpty()) return s->hint;
    return withoutMnemonic(s->text);
}

void CommandTable::fill(QMenu* menu, std::initializer_list<const char*> names) const {
    for (const char* n : names) {
        if (!*n) menu->addSeparator();
        else menu->addAction(at(n));
    }
}

QToolButton* CommandTable::button(QToolBar* bar, const char* buttonName, const char* command, const QString& caption) {
    auto* b = new QToolButton(bar);
    b->setObjectName(QString::fromLatin1(buttonName));
    QAction* a = at(command);
    a->setIconText(caption);
    b->setDefaultAction(a);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    // The button follows its command: a checkable command makes a checkable button.
    b->setCheckable(a->isCheckable());
    const QString spoken = accessibleName(a->objectName());
    b->setAccessibleName(spoken.isEmpty() ? caption : spoken);
    bar->addWidget(b);
    buttons_[b->objectName()] = b;
    return b;
}

QToolButton* CommandTable::toolButton(const QString& buttonName) const {
    auto it = buttons_.find(buttonName);
    return it == buttons_.end() ? nullptr : it->second;
}

void CommandTable::update(bool busy) const {
    for (const QString& name : order_) {
        const Entry& e = entries_.at(name);
        const bool on = (!busy || e.def.whileBusy) && (!e.def.enabled || e.def.enabled());
        e.action->setEnabled(on);
    }
}

std::vector<QAction*> CommandTable::actions() const {
    std::vector<QAction*> out;
    for (const QString& name : order_) out.push_back(entries_.at(name).action);
    return out;
}

} // namespace vn
