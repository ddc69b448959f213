#include "tests/support/ManualMainLoop.h"

#include <algorithm>
#include <cmath>

namespace aerivo {

namespace {

MainLoop::Instant::duration toTicks(MainLoop::Seconds seconds, MainLoop::Seconds minimum) {
    const double value = std::isnan(seconds.count())
                             ? minimum.count()
                             : std::clamp(seconds.count(), minimum.count(), 1.0e9);
    return std::chrono::duration_cast<MainLoop::Instant::duration>(MainLoop::Seconds(value));
}

struct ManualTimerState {
    MainLoop::Instant::duration interval{};
    std::function<void()> tick;
    bool cancelled = false;
    std::weak_ptr<std::size_t> activeTimers;
};

class ManualRepeatingTimer final : public RepeatingTimer {
public:
    explicit ManualRepeatingTimer(std::shared_ptr<ManualTimerState> state)
        : state_(std::move(state)) {}
    ~ManualRepeatingTimer() override { cancel(); }

    void cancel() override {
        if (state_ && !state_->cancelled) {
            state_->cancelled = true;
            if (auto count = state_->activeTimers.lock()) {
                --*count;
            }
        }
    }

private:
    std::shared_ptr<ManualTimerState> state_;
};

} // namespace

const MainLoop::Instant ManualMainLoop::referenceDate =
    MainLoop::Instant(std::chrono::seconds(978307200));

ManualMainLoop::ManualMainLoop(Instant start) : now_(start) {}

MainLoop::Instant ManualMainLoop::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

void ManualMainLoop::scheduleAt(Instant when, std::function<void()> work) {
    std::lock_guard lock(mutex_);
    events_.emplace(Key{std::max(when, now_), sequence_++}, std::move(work));
}

void ManualMainLoop::post(std::function<void()> work) {
    std::lock_guard lock(mutex_);
    events_.emplace(Key{now_, sequence_++}, std::move(work));
}

std::unique_ptr<RepeatingTimer> ManualMainLoop::scheduleRepeating(Seconds interval,
                                                                  std::function<void()> tick) {
    auto state = std::make_shared<ManualTimerState>();
    state->interval = toTicks(interval, minimumTimerInterval);
    state->tick = std::move(tick);
    state->activeTimers = activeTimers_;
    ++*activeTimers_;

    // Each tick schedules the next one at a fixed spacing from the previous due time.
    auto fire = std::make_shared<std::function<void(Instant)>>();
    *fire = [this, weakState = std::weak_ptr<ManualTimerState>(state),
             weakFire = std::weak_ptr<std::function<void(Instant)>>(fire)](Instant due) {
        auto current = weakState.lock();
        auto self = weakFire.lock();
        if (!current || current->cancelled || !self) {
            return;
        }
        current->tick();
        if (!current->cancelled) {
            const Instant next = due + current->interval;
            scheduleAt(next, [self, next] { (*self)(next); });
        }
    };
    const Instant first = now() + state->interval;
    // The event chain owns `fire`; the state is owned by the handle only.
    scheduleAt(first, [fire, first] { (*fire)(first); });
    return std::make_unique<ManualRepeatingTimer>(std::move(state));
}

bool ManualMainLoop::runNextDue(Instant limit) {
    std::function<void()> work;
    {
        std::lock_guard lock(mutex_);
        if (events_.empty() || events_.begin()->first.first > limit) {
            return false;
        }
        auto node = events_.extract(events_.begin());
        now_ = std::max(now_, node.key().first);
        work = std::move(node.mapped());
    }
    work();
    return true;
}

std::size_t ManualMainLoop::runUntilIdle() {
    std::size_t count = 0;
    while (runNextDue(now())) {
        ++count;
    }
    return count;
}

std::size_t ManualMainLoop::runUntil(Instant until) {
    std::size_t count = 0;
    while (runNextDue(until)) {
        ++count;
    }
    std::lock_guard lock(mutex_);
    now_ = std::max(now_, until);
    return count;
}

std::size_t ManualMainLoop::advanceBy(Seconds duration) {
    const double seconds = std::isnan(duration.count()) ? 0.0 : std::max(duration.count(), 0.0);
    return runUntil(now() + std::chrono::duration_cast<Instant::duration>(Seconds(seconds)));
}

std::size_t ManualMainLoop::pendingEventCount() const {
    std::lock_guard lock(mutex_);
    return events_.size();
}

std::size_t ManualMainLoop::activeTimerCount() const {
    return *activeTimers_;
}

} // namespace aerivo
