#pragma once

#include "platform/mainloop/MainLoop.h"

#include <chrono>
#include <memory>

namespace aerivo {

// When a repeating timer fires next: one interval after the previous deadline, or, when the loop
// was busy past that (a modal dialog, a slow refresh), the first deadline of the same schedule
// that still lies ahead, so missed ticks are skipped rather than replayed and the schedule never
// drifts.
std::chrono::steady_clock::time_point
nextRepeatingDeadline(std::chrono::steady_clock::time_point previousDeadline,
                      std::chrono::steady_clock::duration interval,
                      std::chrono::steady_clock::time_point now);

// The application's main loop on the Qt event loop of the thread that creates it (the GUI
// thread): timers are Qt timers of that thread, so they keep firing while a menu, a popup or a
// modal dialog runs its own nested event loop, and post() queues an event to that thread from any
// thread. It does not run the loop itself: QApplication::exec() (or a QEventLoop in tests) does.
// Requires a QCoreApplication; must be destroyed on its own thread, after its timer handles.
class QtMainLoop final : public MainLoop {
public:
    QtMainLoop();
    ~QtMainLoop() override;

    QtMainLoop(const QtMainLoop&) = delete;
    QtMainLoop& operator=(const QtMainLoop&) = delete;

    Instant now() const override;
    std::unique_ptr<RepeatingTimer> scheduleRepeating(Seconds interval,
                                                      std::function<void()> tick) override;
    void post(std::function<void()> work) override;

    class Host;

private:
    std::unique_ptr<Host> host_;
};

} // namespace aerivo
