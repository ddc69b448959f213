#include "platform/qt/QtMainLoop.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimerEvent>

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace aerivo {

namespace {

using SteadyClock = std::chrono::steady_clock;

SteadyClock::duration toSteady(MainLoop::Seconds seconds) {
    const double value =
        std::isnan(seconds.count())
            ? MainLoop::minimumTimerInterval.count()
            : std::clamp(seconds.count(), MainLoop::minimumTimerInterval.count(), 1.0e9);
    return std::chrono::duration_cast<SteadyClock::duration>(MainLoop::Seconds(value));
}

// Qt timers take whole milliseconds: round up, so a tick never arrives before its deadline.
int millisecondsUntil(SteadyClock::time_point deadline) {
    const auto remaining = deadline - SteadyClock::now();
    if (remaining <= SteadyClock::duration::zero()) {
        return 0;
    }
    const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(remaining).count();
    return static_cast<int>(std::min<long long>(milliseconds, 1'000'000'000LL));
}

const QEvent::Type postedWorkEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class PostedWork final : public QEvent {
public:
    explicit PostedWork(std::function<void()> work)
        : QEvent(postedWorkEvent), work(std::move(work)) {}
    std::function<void()> work;
};

struct TimerState {
    SteadyClock::duration interval;
    SteadyClock::time_point deadline;
    std::function<void()> tick;
    int qtTimerId = 0;
    bool cancelled = false;
};

} // namespace

SteadyClock::time_point nextRepeatingDeadline(SteadyClock::time_point previousDeadline,
                                              SteadyClock::duration interval,
                                              SteadyClock::time_point now) {
    SteadyClock::time_point next = previousDeadline + interval;
    if (next <= now) {
        next += ((now - next) / interval + 1) * interval;
    }
    return next;
}

// The QObject that receives the loop's timer and posted-work events on the loop's thread. Each
// tick re-arms a single-shot Qt timer for the next deadline on the steady clock, so the schedule
// follows the interval exactly rather than Qt's millisecond rounding.
class QtMainLoop::Host final : public QObject {
public:
    std::shared_ptr<TimerState> add(SteadyClock::duration interval, std::function<void()> tick) {
        auto state = std::make_shared<TimerState>();
        state->interval = interval;
        state->deadline = SteadyClock::now() + interval;
        state->tick = std::move(tick);
        arm(state);
        return state;
    }

    void cancel(const std::shared_ptr<TimerState>& state) {
        state->cancelled = true;
        if (state->qtTimerId != 0) {
            killTimer(state->qtTimerId);
            timers_.erase(state->qtTimerId);
            state->qtTimerId = 0;
        }
    }

    ~Host() override {
        for (auto& [id, state] : timers_) {
            state->cancelled = true;
            state->qtTimerId = 0;
        }
    }

protected:
    void timerEvent(QTimerEvent* event) override {
        const auto found = timers_.find(event->timerId());
        if (found == timers_.end()) {
            return;
        }
        // Keep the state alive through the tick: the tick may drop the handle.
        const std::shared_ptr<TimerState> state = found->second;
        killTimer(state->qtTimerId);
        timers_.erase(found);
        state->qtTimerId = 0;
        if (state->cancelled) {
            return;
        }
        state->deadline =
            nextRepeatingDeadline(state->deadline, state->interval, SteadyClock::now());
        state->tick();
        if (!state->cancelled) {
            arm(state);
        }
    }

    void customEvent(QEvent* event) override {
        if (event->type() == postedWorkEvent) {
            auto* posted = static_cast<PostedWork*>(event);
            if (posted->work) {
                posted->work();
            }
        }
    }

private:
    void arm(const std::shared_ptr<TimerState>& state) {
        state->qtTimerId = startTimer(millisecondsUntil(state->deadline), Qt::PreciseTimer);
        if (state->qtTimerId != 0) {
            timers_.emplace(state->qtTimerId, state);
        }
    }

    std::unordered_map<int, std::shared_ptr<TimerState>> timers_;
};

namespace {

class QtRepeatingTimer final : public RepeatingTimer {
public:
    QtRepeatingTimer(QtMainLoop::Host& host, std::shared_ptr<TimerState> state)
        : host_(host), state_(std::move(state)) {}
    ~QtRepeatingTimer() override { cancel(); }

    void cancel() override {
        if (state_) {
            host_.cancel(state_);
            state_.reset();
        }
    }

private:
    QtMainLoop::Host& host_;
    std::shared_ptr<TimerState> state_;
};

} // namespace

QtMainLoop::QtMainLoop() : host_(std::make_unique<Host>()) {}

QtMainLoop::~QtMainLoop() = default;

MainLoop::Instant QtMainLoop::now() const {
    return std::chrono::system_clock::now();
}

std::unique_ptr<RepeatingTimer> QtMainLoop::scheduleRepeating(Seconds interval,
                                                              std::function<void()> tick) {
    return std::make_unique<QtRepeatingTimer>(*host_,
                                              host_->add(toSteady(interval), std::move(tick)));
}

void QtMainLoop::post(std::function<void()> work) {
    // postEvent is thread-safe and keeps the order of events posted to one receiver; events still
    // queued when the host is destroyed are discarded with it.
    QCoreApplication::postEvent(host_.get(), new PostedWork(std::move(work)));
}

} // namespace aerivo
