#include "tests/support/ManualSerialQueue.h"

#include <algorithm>
#include <cmath>

namespace aerivo {

ManualSerialQueue::ManualSerialQueue(ManualMainLoop& loop, std::string label)
    : loop_(loop), label_(std::move(label)) {}

void ManualSerialQueue::async(std::function<void()> work) {
    ++submitted_;
    if (holding_) {
        held_.push_back(std::move(work));
        return;
    }
    loop_.post(std::move(work));
}

void ManualSerialQueue::asyncAfter(Seconds delay, std::shared_ptr<WorkItem> item) {
    if (!item) {
        return;
    }
    ++submitted_;
    const double seconds = std::isnan(delay.count()) ? 0.0 : std::max(delay.count(), 0.0);
    loop_.scheduleAt(loop_.now() + std::chrono::duration_cast<MainLoop::Instant::duration>(
                                       Seconds(std::min(seconds, 1.0e9))),
                     [item] { item->perform(); });
}

std::size_t ManualSerialQueue::runHeld() {
    std::size_t count = 0;
    while (!held_.empty()) {
        auto work = std::move(held_.front());
        held_.pop_front();
        work();
        ++count;
    }
    return count;
}

} // namespace aerivo
