#include "platform/mainloop/MainLoopLifeline.h"

namespace aerivo {

bool MainLoopLifeline::post(std::function<void()> work) {
    std::lock_guard lock(mutex_);
    if (!mainLoop_) {
        return false;
    }
    // The callback keeps the lifeline (not its owner) alive. end() runs on the main loop, the
    // same thread as the callback, so the owner cannot go between the check and the work.
    mainLoop_->post([lifeline = shared_from_this(), work = std::move(work)] {
        if (lifeline->isAlive()) {
            work();
        }
    });
    return true;
}

bool MainLoopLifeline::isAlive() const {
    std::lock_guard lock(mutex_);
    return mainLoop_ != nullptr;
}

void MainLoopLifeline::end() {
    std::lock_guard lock(mutex_);
    mainLoop_ = nullptr;
}

} // namespace aerivo
