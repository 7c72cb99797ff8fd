#pragma once
// One table of a window's commands. Each entry builds one QAction (object name,
// text, key, hint, checkable) that menus, the tool bar and pop-ups share, and
// carries the command's enabling rule, so enabling is written once: a command
// is on when its rule says so (no rule: always), and while the window is busy
// only if it is also marked whileBusy.
#include <QKeySequence>
#include <QString>

#include <functional>
#include <map>
#include <vector>

class QAction;
class QMenu;
class QToolBar;
class QToolButton;
class QWidget;

namespace vn {

struct CommandSpec {
    const char* name;                    // object name ("Copy1"): tests and menus find it by this
    QString text;                        // menu text, "&" marks the mnemonic
    QKeySequence key = {};               // none: no shortcut
    std::function<void()> slot = {};     // none: the command exists but does nothing yet
    QString hint = {};                   // tool tip and status tip
    std::function<bool()> enabled = {};  // none: always on
    bool checkable = false;
    bool whileBusy = false;              // stays enabled while an operation runs (Abort)
    QString accessible = {};             // accessible name; default: hint, else text without "&"
};

class CommandTable {
public:
    // owner: the actions' parent; a command with a key is added to it so the
    // key works anywhere in the window (and only there).
    explicit CommandTable(QWidget* owner);

    QAction* add(const CommandSpec& def);
    void add(const std::vector<CommandSpec>& specs);

    QAction* action(const QString& name) const;
    QAction* at(const char* name) const; // asserts the command exists
    const CommandSpec* definition(const QString& name) const;
    // The accessible name a command and its buttons announce.
    QString accessibleName(const QString& name) const;

    // Adds the named commands to a menu; "" is a separator.
    void fill(QMenu* menu, std::initializer_list<const char*> names) const;
    // A text-only tool button for a command, named for tests and screen readers.
    QToolButton* button(QToolBar* bar, const char* buttonName, const char* command, const QString& caption);
    QToolButton* toolButton(const QString& buttonName) const;
    const std::map<QString, QToolButton*>& buttons() const { return buttons_; }

    // Applies every rule (see above).
    void update(bool busy) const;
    std::vector<QAction*> actions() const;

private:
    struct Entry {
        CommandSpec def;
        QAction* action;
    };
    QWidget* owner_;
    std::map<QString, Entry> entries_;
    std::vector<QString> order_;
    std::map<QString, QToolButton*> buttons_;
};

// The text of a caption without its mnemonic marks ("&Copy" -> "Copy", "&&" -> "&").
QString withoutMnemonic(const QString& text);

} // namespace vn
