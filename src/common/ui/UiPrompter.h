#pragma once
// The window side of the prompt seam: the plain questions of vn::Prompter plus
// running a modal dialog. The installed prompter is process-wide; tests replace
// it with a scripted one so no test ever waits on a real modal dialog.
#include <QDialog>

#include "common/Prompter.h"

namespace vn {

class UiPrompter : public Prompter {
public:
    // Runs the dialog modally and returns its result (QDialog::Accepted / Rejected).
    virtual int exec(QDialog& dialog) = 0;
};

// The installed prompter (a QtPrompter unless a test installed another).
UiPrompter& uiPrompter();
// Installs p (not owned); nullptr restores the default QtPrompter.
void setUiPrompter(UiPrompter* p);

} // namespace vn
