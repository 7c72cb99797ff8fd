#include "ScriptedPrompter.h"

#include <utility>

namespace vn::test {

void ScriptedPrompter::pushYesNo(bool yes) {
    std::lock_guard<std::mutex> g(mutex_);
    yesNo_.push_back(yes);
}

void ScriptedPrompter::pushInput(std::optional<std::string> answer) {
    std::lock_guard<std::mutex> g(mutex_);
    inputs_.push_back(std::move(answer));
}

void ScriptedPrompter::pushDialog(DialogHandler handler) {
    std::lock_guard<std::mutex> g(mutex_);
    dialogs_.push_back(std::move(handler));
}

void ScriptedPrompter::record(const std::string& entry, bool expected) {
    asked_.push_back(entry);
    if (!expected) {
        asked_.push_back("unexpected: " + entry);
        ++unexpected_;
    }
}

bool ScriptedPrompter::askYesNo(const std::string& text) {
    std::lock_guard<std::mutex> g(mutex_);
    const bool have = !yesNo_.empty();
    record("yesno: " + text, have);
    if (!have) return false;
    const bool yes = yesNo_.front();
    yesNo_.pop_front();
    return yes;
}

void ScriptedPrompter::message(const std::string& text) {
    std::lock_guard<std::mutex> g(mutex_);
    record("message: " + text, true);
}

std::optional<std::string> ScriptedPrompter::input(const std::string& caption, const std::string& prompt,
                                                   const std::string&) {
    std::lock_guard<std::mutex> g(mutex_);
    const bool have = !inputs_.empty();
    record("input: " + caption + ": " + prompt, have);
    if (!have) return std::nullopt;
    auto answer = std::move(inputs_.front());
    inputs_.pop_front();
    return answer;
}

int ScriptedPrompter::exec(QDialog& dialog) {
    DialogHandler handler;
    {
        std::lock_guard<std::mutex> g(mutex_);
        const bool have = !dialogs_.empty();
        record("dialog: " + dialog.windowTitle().toStdString(), have);
        if (!have) return QDialog::Rejected;
        handler = std::move(dialogs_.front());
        dialogs_.pop_front();
    }
    // Outside the lock: the handler may click OK, and OK may ask again.
    return handler(dialog);
}

std::vector<std::string> ScriptedPrompter::asked() const {
    std::lock_guard<std::mutex> g(mutex_);
    return asked_;
}

void ScriptedPrompter::clearAsked() {
    std::lock_guard<std::mutex> g(mutex_);
    asked_.clear();
    unexpected_ = 0;
}

int ScriptedPrompter::unexpected() const {
    std::lock_guard<std::mutex> g(mutex_);
    return unexpected_;
}

size_t ScriptedPrompter::pending() const {
    std::lock_guard<std::mutex> g(mutex_);
    return yesNo_.size() + inputs_.size() + dialogs_.size();
}

ScopedPrompter::ScopedPrompter() : active_(&own_), previous_(&uiPrompter()) { setUiPrompter(active_); }

ScopedPrompter::ScopedPrompter(ScriptedPrompter& external) : active_(&external), previous_(&uiPrompter()) {
    setUiPrompter(active_);
}

ScopedPrompter::~ScopedPrompter() { setUiPrompter(previous_); }

} // namespace vn::test
