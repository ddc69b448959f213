#pragma once

#include "platform/mainloop/WorkItem.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace aerivo {

// A queue that runs one piece of work at a time, in submission order, away from the caller.
// Every member may be called from any thread.
class SerialQueue {
public:
    using Seconds = std::chrono::duration<double>;

    virtual ~SerialQueue() = default;

    virtual const std::string& label() const = 0;

    virtual void async(std::function<void()> work) = 0;
    // Runs `item` once `delay` has passed (a negative or NaN delay counts as none), unless it was
    // cancelled by then.
    virtual void asyncAfter(Seconds delay, std::shared_ptr<WorkItem> item) = 0;
};

} // namespace aerivo
