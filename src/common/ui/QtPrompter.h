#pragma once
// The real prompter: Qt message boxes, input boxes and modal dialogs, always
// shown on the GUI thread. A worker thread that asks is blocked until the user
// answers; the GUI thread must therefore never wait for such a worker while it
// is asking (it would deadlock).
#include <QString>

#include "common/ui/UiPrompter.h"

namespace vn {

class QtPrompter : public UiPrompter {
public:
    bool askYesNo(const std::string& text) override;
    void message(const std::string& text) override;
    std::optional<int> choose(const std::string& text, const std::vector<std::string>& answers) override;
    std::optional<std::string> input(const std::string& caption, const std::string& prompt,
                                     const std::string& initial) override;
    // The dialog must live on the GUI thread; a call from another thread runs it there.
    int exec(QDialog& dialog) override;

    // Text as shown in a box: wire bytes decoded, "\r\n" and lone "\r" made line breaks.
    static QString displayText(const std::string& text);
};

} // namespace vn
