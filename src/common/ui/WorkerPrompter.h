#pragma once
// The one way a worker asks the user something. Each question is shown on the
// UI thread (through the installed UiPrompter, or any function the caller
// gives) while the asking worker waits. cancel() (Abort, the window closing)
// answers the pending question with its "cancel" answer at once and every
// later one too, until reset() starts the next operation; the window's UI
// thread therefore never waits on a worker that waits on it.
#include <QObject>
#include <QPointer>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/Prompter.h"

namespace vn {

class WorkerPrompter : public Prompter {
public:
    // Questions run on the thread of context and are dropped with it.
    explicit WorkerPrompter(QObject* context);
    ~WorkerPrompter() override; // cancel()

    // Cancelled: No.
    bool askYesNo(const std::string& text) override;
    // Cancelled: not shown (or no longer waited for).
    void message(const std::string& text) override;
    // Cancelled: nullopt.
    std::optional<std::string> input(const std::string& caption, const std::string& prompt,
                                     const std::string& initial) override;
    // Cancelled: nullopt.
    std::optional<int> choose(const std::string& text, const std::vector<std::string>& answers) override;

    // Any question: onUi runs on the UI thread and gives the answer; cancelled,
    // the worker gets cancelAnswer. Called on the UI thread itself, onUi simply runs.
    template <class T>
    T ask(std::function<T()> onUi, T cancelAnswer) {
        auto slot = std::make_shared<std::optional<T>>();
        const bool answered = askErased([slot, onUi = std::move(onUi)] { *slot = onUi(); });
        if (!answered || !*slot) return cancelAnswer;
        return std::move(**slot);
    }

    // Any thread: answers what is pending with its cancel answer and refuses
    // every question until reset().
    void cancel();
    // A new operation: questions are shown again.
    void reset();
    bool cancelled() const;
    // A question is waiting for its answer.
    bool pending() const;

private:
    struct Question {
        std::mutex mutex;
        std::condition_variable cv;
        bool answered = false;
        bool cancelled = false;
    };
    // True when onUi ran to its end; false when cancelled first.
    bool askErased(std::function<void()> onUi);

    QPointer<QObject> context_;
    mutable std::mutex mutex_;
    bool cancelled_ = false;
    std::vector<std::shared_ptr<Question>> pending_;
};

} // namespace vn
