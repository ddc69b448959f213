#pragma once

#include "helper/core/Sleeper.h"
#include "platform/mainloop/SerialQueue.h"
#include "sim/model/SimulatedMac.h"
#include "tests/support/ManualMainLoop.h"

#include <memory>

namespace aerivo::testing {

// One virtual timeline for a manual main loop and an in-process simulated Mac, so the helper's
// service runs its lease queue, its expiries and its one-second samples on virtual time while
// the simulated fan really spins. The machine's clock is the truth: work on the queue first
// brings the machine up to the loop's time; a pause inside queued work moves only the machine
// (the queue is busy meanwhile, as a real serial queue would be); a pause on the test's own
// thread (a manual hold on a "connection thread") lets the queue's due work run as it goes. One
// thread plays both, so queued work that runs during such a pause finishes, its own pauses
// included, before the caller's pause ends: the caller's later samples come that much later.
class SimulatedMacTimeline {
public:
    SimulatedMacTimeline(ManualMainLoop& loop, SimulatedMac& machine);
    ~SimulatedMacTimeline();
    SimulatedMacTimeline(const SimulatedMacTimeline&) = delete;
    SimulatedMacTimeline& operator=(const SimulatedMacTimeline&) = delete;

    // Machine seconds.
    double now() const { return machine_.now(); }

    SerialQueue& queue();
    Sleeper sleeper();

    // Runs every piece of work due up to now + seconds, in time order; the machine ends there.
    void advanceBy(double seconds);
    // Runs the work that is due now (posted work and expiries whose time has come).
    void settle();

    // Delayed items run at their time even when cancelled since they were scheduled, as a timer
    // handler that was already queued does: what cancelling leaves to the item's owner.
    void setRunsCancelledItems(bool runs) { runsCancelledItems_ = runs; }

private:
    class Queue;

    MainLoop::Instant instantAt(double machineSeconds) const;
    void catchUp();
    void runOnTimeline(const std::function<void()>& work);

    ManualMainLoop& loop_;
    SimulatedMac& machine_;
    MainLoop::Instant loopStart_;
    double machineStart_;
    int busy_ = 0;
    bool runsCancelledItems_ = false;
    std::unique_ptr<Queue> queue_;
};

} // namespace aerivo::testing
