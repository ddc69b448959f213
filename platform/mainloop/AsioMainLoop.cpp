#include "platform/mainloop/AsioMainLoop.h"

#include <asio/post.hpp>
#include <asio/steady_timer.hpp>

#include <algorithm>
#include <cmath>

namespace aerivo {

namespace {

std::chrono::steady_clock::duration toSteady(MainLoop::Seconds seconds) {
    const double value =
        std::isnan(seconds.count())
            ? MainLoop::minimumTimerInterval.count()
            : std::clamp(seconds.count(), MainLoop::minimumTimerInterval.count(), 1.0e9);
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        MainLoop::Seconds(value));
}

// Shared between the handle and the pending wait, so a wait that completes after the handle is
// gone finds `cancelled` set and does nothing.
struct AsioTimerState : std::enable_shared_from_this<AsioTimerState> {
    AsioTimerState(asio::io_context& context, std::chrono::steady_clock::duration interval,
                   std::function<void()> tick)
        : timer(context), interval(interval), tick(std::move(tick)) {}

    void arm() {
        timer.expires_at(next);
        timer.async_wait([self = shared_from_this()](const std::error_code& error) {
            // A cancelled wait whose handler was already queued still arrives with success:
            // the flag is the authority.
            if (error || self->cancelled) {
                return;
            }
            const auto now = std::chrono::steady_clock::now();
            self->next += self->interval;
            if (self->next <= now) {
                // The loop was busy for a whole interval or more: skip the missed ticks.
                const auto behind = (now - self->next) / self->interval + 1;
                self->next += behind * self->interval;
            }
            self->tick();
            if (!self->cancelled) {
                self->arm();
            }
        });
    }

    asio::steady_timer timer;
    std::chrono::steady_clock::duration interval;
    std::function<void()> tick;
    std::chrono::steady_clock::time_point next;
    bool cancelled = false;
};

class AsioRepeatingTimer final : public RepeatingTimer {
public:
    explicit AsioRepeatingTimer(std::shared_ptr<AsioTimerState> state) : state_(std::move(state)) {}
    ~AsioRepeatingTimer() override { cancel(); }

    void cancel() override {
        if (state_) {
            state_->cancelled = true;
            state_->timer.cancel();
            state_.reset();
        }
    }

private:
    std::shared_ptr<AsioTimerState> state_;
};

} // namespace

AsioMainLoop::AsioMainLoop() : guard_(asio::make_work_guard(context_)) {}

AsioMainLoop::~AsioMainLoop() {
    guard_.reset();
    context_.stop();
}

MainLoop::Instant AsioMainLoop::now() const {
    return std::chrono::system_clock::now();
}

std::unique_ptr<RepeatingTimer> AsioMainLoop::scheduleRepeating(Seconds interval,
                                                                std::function<void()> tick) {
    auto state = std::make_shared<AsioTimerState>(context_, toSteady(interval), std::move(tick));
    state->next = std::chrono::steady_clock::now() + state->interval;
    state->arm();
    return std::make_unique<AsioRepeatingTimer>(std::move(state));
}

void AsioMainLoop::post(std::function<void()> work) {
    asio::post(context_, std::move(work));
}

void AsioMainLoop::run() {
    context_.restart();
    context_.run();
}

void AsioMainLoop::runFor(Seconds duration) {
    context_.restart();
    context_.run_for(toSteady(duration));
}

void AsioMainLoop::stop() {
    context_.stop();
}

} // namespace aerivo
