#pragma once

#include "platform/mainloop/SerialQueue.h"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

#include <string>
#include <thread>

namespace aerivo {

// A serial queue with its own worker thread (an Asio io_context run by one thread, so work runs
// one item at a time in submission order). Destroying the queue waits for the running item and
// drops work that has not started, delayed items included.
class WorkerSerialQueue final : public SerialQueue {
public:
    explicit WorkerSerialQueue(std::string label);
    ~WorkerSerialQueue() override;

    WorkerSerialQueue(const WorkerSerialQueue&) = delete;
    WorkerSerialQueue& operator=(const WorkerSerialQueue&) = delete;

    const std::string& label() const override { return label_; }
    void async(std::function<void()> work) override;
    void asyncAfter(Seconds delay, std::shared_ptr<WorkItem> item) override;

private:
    void runGuarded(const std::function<void()>& work) const;

    std::string label_;
    asio::io_context context_;
    asio::executor_work_guard<asio::io_context::executor_type> guard_;
    std::thread worker_;
};

} // namespace aerivo
