#pragma once

#include "platform/mainloop/MainLoop.h"

#include <functional>
#include <memory>
#include <mutex>

namespace aerivo {

// How work running off the main loop hands its result back to an object that lives on the main
// loop and may be gone by then. The owner makes one lifeline, gives background work a shared
// reference to it, and ends it in its destructor. After end() returns, the lifeline never touches
// the main loop again and nothing posted through it runs, so neither the owner nor the loop (which
// may be destroyed right after the owner) is used after it is gone.
class MainLoopLifeline : public std::enable_shared_from_this<MainLoopLifeline> {
    struct Passkey {};

public:
    static std::shared_ptr<MainLoopLifeline> make(MainLoop& mainLoop) {
        return std::make_shared<MainLoopLifeline>(Passkey{}, mainLoop);
    }
    MainLoopLifeline(Passkey, MainLoop& mainLoop) : mainLoop_(&mainLoop) {}

    MainLoopLifeline(const MainLoopLifeline&) = delete;
    MainLoopLifeline& operator=(const MainLoopLifeline&) = delete;

    // Any thread. Posts `work` to the main loop while the lifeline lasts; `work` runs there only
    // if the lifeline still lasts when its turn comes. Returns false (and drops `work`) when the
    // lifeline has ended.
    bool post(std::function<void()> work);

    // Any thread.
    bool isAlive() const;

    // The owner's thread (the main loop's). Waits at most for a post() in progress on another
    // thread, which never blocks.
    void end();

private:
    mutable std::mutex mutex_;
    MainLoop* mainLoop_;
};

} // namespace aerivo
