#pragma once

#include <atomic>
#include <functional>

namespace aerivo {

// A unit of work that can be cancelled before it runs, shared between the code that schedules it
// and the queue that runs it. Cancelling does not interrupt work that has already started.
class WorkItem {
public:
    explicit WorkItem(std::function<void()> work) : work_(std::move(work)) {}

    WorkItem(const WorkItem&) = delete;
    WorkItem& operator=(const WorkItem&) = delete;

    void cancel() { cancelled_.store(true, std::memory_order_release); }
    bool isCancelled() const { return cancelled_.load(std::memory_order_acquire); }

    // Runs the work unless the item was cancelled.
    void perform() {
        if (!isCancelled() && work_) {
            work_();
        }
    }

    // Runs the work whatever the cancelled flag says: what a queue does with an item it had
    // already taken off its timer when the cancel arrived (an Asio timer handler that was queued
    // still runs). Owners that cancel must make such a late run harmless themselves.
    void performEvenIfCancelled() {
        if (work_) {
            work_();
        }
    }

private:
    std::function<void()> work_;
    std::atomic<bool> cancelled_{false};
};

} // namespace aerivo
