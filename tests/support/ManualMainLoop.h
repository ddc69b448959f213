#pragma once

#include "platform/mainloop/MainLoop.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

namespace aerivo {

// A main loop with virtual time for tests: nothing runs until the test drives the loop, and
// "two hours later" costs only the work done in between. Events (posted work, timer ticks,
// delayed queue items) run in time order, ties in scheduling order, each with now() set to its
// due time, so runs are deterministic.
class ManualMainLoop final : public MainLoop {
public:
    // 2001-01-01 00:00:00 UTC, the epoch the mock hardware's phases are measured from.
    static const Instant referenceDate;

    explicit ManualMainLoop(Instant start = referenceDate);

    Instant now() const override;
    std::unique_ptr<RepeatingTimer> scheduleRepeating(Seconds interval,
                                                      std::function<void()> tick) override;
    // Thread-safe; the work runs at the current virtual time on the next drive of the loop.
    void post(std::function<void()> work) override;

    // Runs `work` when virtual time reaches `when` (at once on the next drive when it is past).
    void scheduleAt(Instant when, std::function<void()> work);

    // Runs everything due now, including work that it posts. Returns the events run.
    std::size_t runUntilIdle();
    // Moves time to `until`, running every event due on the way in order; time ends at `until`.
    std::size_t runUntil(Instant until);
    std::size_t advanceBy(Seconds duration);

    std::size_t pendingEventCount() const;
    std::size_t activeTimerCount() const;

private:
    using Key = std::pair<Instant, std::uint64_t>;

    bool runNextDue(Instant limit);

    mutable std::mutex mutex_;
    Instant now_;
    std::uint64_t sequence_ = 0;
    std::map<Key, std::function<void()>> events_;
    std::shared_ptr<std::size_t> activeTimers_ = std::make_shared<std::size_t>(0);
};

} // namespace aerivo
