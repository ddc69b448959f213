#include "platform/mainloop/WorkerSerialQueue.h"

#include <asio/post.hpp>
#include <asio/steady_timer.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>

namespace aerivo {

WorkerSerialQueue::WorkerSerialQueue(std::string label)
    : label_(std::move(label)), guard_(asio::make_work_guard(context_)),
      worker_([this] { context_.run(); }) {}

WorkerSerialQueue::~WorkerSerialQueue() {
    guard_.reset();
    context_.stop();
    if (worker_.joinable()) {
        worker_.join();
    }
}

void WorkerSerialQueue::runGuarded(const std::function<void()>& work) const {
    // Work that throws must not take the worker thread (and the process) down with it.
    try {
        work();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: work item failed: %s\n", label_.c_str(), error.what());
    } catch (...) {
        std::fprintf(stderr, "%s: work item failed\n", label_.c_str());
    }
}

void WorkerSerialQueue::async(std::function<void()> work) {
    asio::post(context_, [this, work = std::move(work)] { runGuarded(work); });
}

void WorkerSerialQueue::asyncAfter(Seconds delay, std::shared_ptr<WorkItem> item) {
    if (!item) {
        return;
    }
    const double seconds = std::isnan(delay.count()) ? 0.0 : std::clamp(delay.count(), 0.0, 1.0e9);
    auto timer = std::make_shared<asio::steady_timer>(
        context_,
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(Seconds(seconds)));
    timer->async_wait([this, timer, item = std::move(item)](const std::error_code& error) {
        if (error || item->isCancelled()) {
            return;
        }
        runGuarded([&item] { item->perform(); });
    });
}

} // namespace aerivo
