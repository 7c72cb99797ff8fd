#include "common/ui/WorkerPrompter.h"

#include <QMetaObject>
#include <QThread>

#include <algorithm>

#include "common/ui/UiPrompter.h"

namespace vn {

WorkerPrompter::WorkerPrompter(QObject* context) : context_(context) {}

WorkerPrompter::~WorkerPrompter() { cancel(); }

bool WorkerPrompter::askYesNo(const std::string& text) {
    return ask<bool>([text] { return uiPrompter().askYesNo(text); }, false);
}

std::optional<int> WorkerPrompter::choose(const std::string& text, const std::vector<std::string>& answers) {
    return ask<std::optional<int>>([text, answers] { return uiPrompter().choose(text, answers); }, std::nullopt);
}

void WorkerPrompter::message(const std::string& text) {
    ask<bool>(
        [text] {
            uiPrompter().message(text);
            return true;
        },
        false);
}

std::optional<std::string> WorkerPrompter::input(const std::string& caption, const std::string& prompt,
                                                 const std::string& initial) {
    // The answer itself may be "cancel": wrapped so the two cancels stay one.
    auto answer = ask<std::optional<std::optional<std::string>>>(
        [caption, prompt, initial] {
            return std::optional<std::optional<std::string>>(uiPrompter().input(caption, prompt, initial));
        },
        std::nullopt);
    return answer ? *answer : std::nullopt;
}

bool WorkerPrompter::askErased(std::function<void()> onUi) {
    QObject* context = context_.data();
    if (context && QThread::currentThread() == context->thread()) {
        onUi();
        return true;
    }
    auto q = std::make_shared<Question>();
    {
        std::lock_guard lock(mutex_);
        if (cancelled_ || !context) return false;
        pending_.push_back(q);
    }
    // The question holds nothing of the window: it may go while the box is up.
    QMetaObject::invokeMethod(
        context,
        [q, onUi = std::move(onUi)] {
            {
                std::lock_guard lock(q->mutex);
                if (q->cancelled) return;
            }
            onUi();
            {
                std::lock_guard lock(q->mutex);
                q->answered = true;
            }
            q->cv.notify_all();
        },
        Qt::QueuedConnection);
    bool answered = false;
    {
        std::unique_lock lock(q->mutex);
        q->cv.wait(lock, [&] { return q->answered || q->cancelled; });
        answered = q->answered && !q->cancelled;
    }
    std::lock_guard lock(mutex_);
    pending_.erase(std::remove(pending_.begin(), pending_.end(), q), pending_.end());
    return answered;
}

void WorkerPrompter::cancel() {
    std::vector<std::shared_ptr<Question>> pending;
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        pending = pending_;
    }
    for (const auto& q : pending) {
        {
            std::lock_guard lock(q->mutex);
            q->cancelled = true;
        }
        q->cv.notify_all();
    }
}

void WorkerPrompter::reset() {
    std::lock_guard lock(mutex_);
    cancelled_ = false;
}

bool WorkerPrompter::cancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

bool WorkerPrompter::pending() const {
    std::lock_guard lock(mutex_);
    return !pending_.empty();
}

} // namespace vn
