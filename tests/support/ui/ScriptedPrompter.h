#pragma once
// A prompter that answers from scripted queues instead of showing anything, and
// records what was asked. Thread-safe: engines may ask from their worker.
//
// asked() holds one entry per prompt, in order:
//   "yesno: <text>", "message: <text>", "input: <caption>: <prompt>", "dialog: <window title>"
// A prompt whose queue is empty is answered No / cancel / Rejected and is
// followed by an entry "unexpected: <same entry>", so comparing asked() fails.
#include <QDialog>

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/ui/UiPrompter.h"

namespace vn::test {

class ScriptedPrompter : public UiPrompter {
public:
    using DialogHandler = std::function<int(QDialog&)>;

    void pushYesNo(bool yes);
    void pushInput(std::optional<std::string> answer);
    // The handler fills in or clicks the dialog (it is not shown) and returns its result.
    void pushDialog(DialogHandler handler);

    bool askYesNo(const std::string& text) override;
    void message(const std::string& text) override;
    std::optional<std::string> input(const std::string& caption, const std::string& prompt,
                                     const std::string& initial) override;
    int exec(QDialog& dialog) override;

    std::vector<std::string> asked() const;
    void clearAsked();
    // Prompts that found their queue empty.
    int unexpected() const;
    // Scripted answers not used yet.
    size_t pending() const;

private:
    void record(const std::string& entry, bool expected);

    mutable std::mutex mutex_;
    std::deque<bool> yesNo_;
    std::deque<std::optional<std::string>> inputs_;
    std::deque<DialogHandler> dialogs_;
    std::vector<std::string> asked_;
    int unexpected_ = 0;
};

// Installs a prompter for its lifetime and puts back the one before.
class ScopedPrompter {
public:
    ScopedPrompter();
    explicit ScopedPrompter(ScriptedPrompter& external);
    ~ScopedPrompter();
    ScopedPrompter(const ScopedPrompter&) = delete;
    ScopedPrompter& operator=(const ScopedPrompter&) = delete;

    ScriptedPrompter& operator*() { return *active_; }
    ScriptedPrompter* operator->() { return active_; }
    ScriptedPrompter& prompter() { return *active_; }

private:
    ScriptedPrompter own_;
    ScriptedPrompter* active_;
    UiPrompter* previous_;
};

} // namespace vn::test
