#pragma once
// The worker thread of one tool window: runs the window's network operations
// one after another, in the order they were posted.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace vn {

class TaskThread {
public:
    TaskThread();
    ~TaskThread(); // stop()
    TaskThread(const TaskThread&) = delete;
    TaskThread& operator=(const TaskThread&) = delete;

    void post(std::function<void()> task);
    // Runs what is queued, then ends the thread and joins it. Callers abort a
    // running operation first so this returns promptly.
    void stop();
    bool onThisThread() const { return std::this_thread::get_id() == thread_.get_id(); }
    // True while no task is running or queued.
    bool idle() const;

private:
    void run();

    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> queue_;
    bool stopping_ = false;
    bool running_ = false;
    std::thread thread_;
};

} // namespace vn
