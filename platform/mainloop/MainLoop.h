#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace aerivo {

// A repeating timer's handle. Dropping it cancels the timer, so a timer never outlives the object
// holding it and its callback can safely refer to that object.
class RepeatingTimer {
public:
    virtual ~RepeatingTimer() = default;
    // Stops further ticks, also one that is already due but has not started. Idempotent.
    virtual void cancel() = 0;
};

// The application's main thread: its clock, its repeating timers and work posted to it. Timers
// fire and posted work runs on the thread that runs the loop; post() may be called from any
// thread, everything else only from the loop's own thread. Timer handles must be dropped before
// the loop they came from.
class MainLoop {
public:
    using Instant = std::chrono::system_clock::time_point;
    using Seconds = std::chrono::duration<double>;

    // Intervals below this are raised to it, so a timer can never spin the loop.
    static constexpr Seconds minimumTimerInterval{0.001};

    virtual ~MainLoop() = default;

    // The current wall-clock time as the loop sees it.
    virtual Instant now() const = 0;

    // Calls `tick` every `interval`, first one interval from now, until the handle is cancelled or
    // dropped. Ticks keep their schedule (no drift); ticks missed while the loop was busy are
    // not replayed in a burst.
    [[nodiscard]] virtual std::unique_ptr<RepeatingTimer>
    scheduleRepeating(Seconds interval, std::function<void()> tick) = 0;

    // Runs `work` on the loop's thread soon, after work posted before it.
    virtual void post(std::function<void()> work) = 0;
};

} // namespace aerivo
