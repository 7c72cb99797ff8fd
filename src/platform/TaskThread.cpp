#include "platform/TaskThread.h"

namespace vn {

TaskThread::TaskThread() : thread_([this] { run(); }) {}

TaskThread::~TaskThread() { stop(); }

void TaskThread::post(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        queue_.push_back(std::move(task));
    }
    cv_.notify_one();
}

void TaskThread::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    cv_.notify_one();
    if (thread_.joinable() && !onThisThread()) thread_.join();
}

bool TaskThread::idle() const {
    std::lock_guard lock(mutex_);
    return !running_ && queue_.empty();
}

void TaskThread::run() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            cv_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) return;
            task = std::move(queue_.front());
            queue_.pop_front();
            running_ = true;
        }
        task();
        std::lock_guard lock(mutex_);
        running_ = false;
    }
}

} // namespace vn
