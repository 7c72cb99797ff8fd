#include "common/ui/OperationRunner.h"

#include <QMetaObject>
#include <QPointer>

namespace vn {

OperationRunner::OperationRunner(QObject* parent)
    : QObject(parent), prompter_(this), worker_(std::make_unique<TaskThread>()) {}

OperationRunner::~OperationRunner() { stop(); }

bool OperationRunner::start(std::function<Result()> work, std::function<void(const Result&)> done, bool quiet) {
    if (busy_ || stopped_) return false;
    busy_ = true;
    if (!quiet) {
        wait_->beginOperation();
        prompter_.reset();
    }
    emit busyChanged(true);
    QPointer<OperationRunner> self(this);
    worker_->post([this, work = std::move(work), done = std::move(done)]() mutable {
        Result result = work();
        // Queued to the runner: a runner deleted meanwhile drops it (its
        // destructor joined this thread first, so `this` is valid here).
        QMetaObject::invokeMethod(
            this,
            [this, result, done = std::move(done)]() mutable {
                busy_ = false;
                emit workEnded();
                if (done) done(result);
                emit finished();
                if (!busy_) emit busyChanged(false);
            },
            Qt::QueuedConnection);
    });
    return true;
}

void OperationRunner::enqueue(std::function<void()> f) {
    if (!stopped_) worker_->post(std::move(f));
}

void OperationRunner::abort() {
    wait_->abort();
    prompter_.cancel();
}

void OperationRunner::stop() {
    if (stopped_) return;
    stopped_ = true;
    abort();
    worker_->stop();
}

} // namespace vn
