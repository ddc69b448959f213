#pragma once

#include "platform/mainloop/MainLoop.h"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

namespace aerivo {

// A real-time main loop: an Asio io_context run on the thread that calls run(). The clock is the
// system clock; timers run on the steady clock, so wall-clock changes do not disturb them.
class AsioMainLoop final : public MainLoop {
public:
    AsioMainLoop();
    ~AsioMainLoop() override;

    Instant now() const override;
    std::unique_ptr<RepeatingTimer> scheduleRepeating(Seconds interval,
                                                      std::function<void()> tick) override;
    void post(std::function<void()> work) override;

    // Runs the loop on the calling thread until stop() (also when idle).
    void run();
    // Runs the loop for at most `duration`, or until stop().
    void runFor(Seconds duration);
    // Makes run() return; safe from any thread, also from inside a tick.
    void stop();

    asio::io_context& context() { return context_; }

private:
    asio::io_context context_;
    asio::executor_work_guard<asio::io_context::executor_type> guard_;
};

} // namespace aerivo
