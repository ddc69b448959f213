#pragma once

#include "platform/mainloop/SerialQueue.h"
#include "tests/support/ManualMainLoop.h"

#include <cstddef>
#include <deque>
#include <string>

namespace aerivo {

// A serial queue for tests that runs its work on the manual loop's timeline (on the test's own
// thread): async work when the loop next runs, delayed items when virtual time reaches them.
// While holding, async work waits in order until released, so a test can look at the state
// "request sent, no answer yet".
class ManualSerialQueue final : public SerialQueue {
public:
    ManualSerialQueue(ManualMainLoop& loop, std::string label);

    const std::string& label() const override { return label_; }
    void async(std::function<void()> work) override;
    void asyncAfter(Seconds delay, std::shared_ptr<WorkItem> item) override;

    void setHolding(bool holding) { holding_ = holding; }
    std::size_t heldCount() const { return held_.size(); }
    // Runs the held work now, in order. Returns how many ran.
    std::size_t runHeld();

    // Work items submitted so far (async and delayed).
    std::size_t submittedCount() const { return submitted_; }

private:
    ManualMainLoop& loop_;
    std::string label_;
    bool holding_ = false;
    std::deque<std::function<void()>> held_;
    std::size_t submitted_ = 0;
};

} // namespace aerivo
