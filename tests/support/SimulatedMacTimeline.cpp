#include "tests/support/SimulatedMacTimeline.h"

#include <algorithm>
#include <cmath>

namespace aerivo::testing {

// Work is scheduled on the loop at machine times, so a queue that was busy past the loop's
// clock (a pause inside queued work) still times its next items from the true present.
class SimulatedMacTimeline::Queue final : public SerialQueue {
public:
    explicit Queue(SimulatedMacTimeline& timeline) : timeline_(timeline) {}

    const std::string& label() const override { return label_; }

    void async(std::function<void()> work) override {
        SimulatedMacTimeline& timeline = timeline_;
        timeline.loop_.scheduleAt(
            timeline.instantAt(timeline.now()),
            [&timeline, work = std::move(work)] { timeline.runOnTimeline(work); });
    }

    void asyncAfter(Seconds delay, std::shared_ptr<WorkItem> item) override {
        if (!item) {
            return;
        }
        SimulatedMacTimeline& timeline = timeline_;
        const double seconds = std::isnan(delay.count()) ? 0.0 : std::max(delay.count(), 0.0);
        timeline.loop_.scheduleAt(timeline.instantAt(timeline.now() + seconds),
                                  [&timeline, item = std::move(item)] {
                                      timeline.runOnTimeline([&timeline, &item] {
                                          if (timeline.runsCancelledItems_) {
                                              item->performEvenIfCancelled();
                                          } else {
                                              item->perform();
                                          }
                                      });
                                  });
    }

private:
    SimulatedMacTimeline& timeline_;
    std::string label_ = "simulated-mac-timeline";
};

SimulatedMacTimeline::SimulatedMacTimeline(ManualMainLoop& loop, SimulatedMac& machine)
    : loop_(loop), machine_(machine), loopStart_(loop.now()), machineStart_(machine.now()),
      queue_(std::make_unique<Queue>(*this)) {}

SimulatedMacTimeline::~SimulatedMacTimeline() = default;

SerialQueue& SimulatedMacTimeline::queue() {
    return *queue_;
}

MainLoop::Instant SimulatedMacTimeline::instantAt(double machineSeconds) const {
    return loopStart_ + std::chrono::duration_cast<MainLoop::Instant::duration>(
                            std::chrono::duration<double>(machineSeconds - machineStart_));
}

void SimulatedMacTimeline::catchUp() {
    const std::chrono::duration<double> elapsed = loop_.now() - loopStart_;
    machine_.advanceTo(machineStart_ + elapsed.count());
}

void SimulatedMacTimeline::runOnTimeline(const std::function<void()>& work) {
    catchUp();
    ++busy_;
    work();
    --busy_;
}

Sleeper SimulatedMacTimeline::sleeper() {
    return [this](std::chrono::duration<double> pause) {
        if (busy_ > 0) {
            machine_.advanceTo(machine_.now() + pause.count());
        } else {
            advanceBy(pause.count());
        }
    };
}

void SimulatedMacTimeline::advanceBy(double seconds) {
    const double end = machine_.now() + seconds;
    loop_.runUntil(instantAt(end));
    machine_.advanceTo(end);
}

void SimulatedMacTimeline::settle() {
    loop_.runUntil(instantAt(machine_.now()));
}

} // namespace aerivo::testing
