#pragma once
// "Local Host": this machine's address and name, looked up on the window's
// worker (the look-up may block) and written to the log box. A small tool
// window that shows what the base carries on its own: a command table, runs
// with results handed back, Abort, the log box, status bar and help.
#include "common/ui/ToolWindow.h"

namespace vn {

class TLocalHostfrm : public ToolWindow {
    Q_OBJECT
public:
    explicit TLocalHostfrm(QWidget* parent = nullptr);

    // Look-ups; the function is swapped by tests.
    using Lookup = std::function<QString()>;
    void setLookups(Lookup address, Lookup name);

private:
    void look(const QString& what, const Lookup& lookup);

    Lookup address_, name_;
};

} // namespace vn
