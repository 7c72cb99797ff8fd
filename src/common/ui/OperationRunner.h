#pragma once
// One worker thread of a tool window and the operations it runs, one at a
// time. run(work, done): work runs on the worker, done gets work's result on
// the UI thread once the runner is idle again (so done may start the next
// operation). Each run is a user operation with a fresh cancel token of the
// runner's EventWait; abort() cancels it, wakes its pending wait and answers
// its pending question at once. A window may hold several runners.
#include <QObject>

#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

#include "common/ui/WorkerPrompter.h"
#include "platform/EventWait.h"
#include "platform/TaskThread.h"

namespace vn {

class OperationRunner : public QObject {
    Q_OBJECT
public:
    explicit OperationRunner(QObject* parent = nullptr);
    ~OperationRunner() override; // stop()

    // The wait every blocking step of this runner's work goes through: the
    // runner's own, or an engine's that owns one (useWait).
    EventWait& wait() { return *wait_; }
    void useWait(EventWait& wait) { wait_ = &wait; }
    // The questions of this runner's work: hand it to the engine.
    WorkerPrompter& prompter() { return prompter_; }

    bool busy() const { return busy_; }

    // Starts work unless an operation is running (false then). done receives
    // work's result (nothing for a void work) on the UI thread; it is dropped
    // when the runner is gone by then. Both must be copyable.
    template <class Work, class Done>
    bool run(Work work, Done done) {
        return start(erase(std::move(work)), eraseDone<std::invoke_result_t<Work&>>(std::move(done)), false);
    }
    template <class Work>
    bool run(Work work) {
        return run(std::move(work), [](auto&&...) {});
    }
    // Like run(), but the operation keeps the current cancel token and the
    // questions' state (a keep-alive must not undo an Abort).
    template <class Work, class Done>
    bool runQuiet(Work work, Done done) {
        return start(erase(std::move(work)), eraseDone<std::invoke_result_t<Work&>>(std::move(done)), true);
    }

    // Runs f on the worker after what is queued, without making the runner
    // busy and without any result (settings handed to the engine between operations).
    void enqueue(std::function<void()> f);

    // Any thread: cancels the running operation (its wait and its question).
    void abort();
    // Aborts and ends the worker (joins it). Idempotent.
    void stop();

signals:
    void busyChanged(bool busy);
    // The work ended and the runner is idle; done runs next (the window
    // enables its commands first, so done finds them as the user would).
    void workEnded();
    // An operation ended and its done ran.
    void finished();

private:
    using Result = std::shared_ptr<void>;
    template <class Work>
    static std::function<Result()> erase(Work work) {
        using R = std::invoke_result_t<Work&>;
        return [work = std::move(work)]() mutable -> Result {
            if constexpr (std::is_void_v<R>) {
                work();
                return {};
            } else {
                return std::make_shared<R>(work());
            }
        };
    }
    template <class R, class Done>
    static std::function<void(const Result&)> eraseDone(Done done) {
        return [done = std::move(done)](const Result& r) mutable {
            if constexpr (std::is_void_v<R>) done();
            else done(std::move(*std::static_pointer_cast<R>(r)));
        };
    }
    bool start(std::function<Result()> work, std::function<void(const Result&)> done, bool quiet);

    EventWait ownWait_;
    EventWait* wait_ = &ownWait_;
    WorkerPrompter prompter_;
    bool busy_ = false;
    bool stopped_ = false;
    std::unique_ptr<TaskThread> worker_;
};

} // namespace vn
