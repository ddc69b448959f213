#include "platform/mainloop/DetachedTask.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <system_error>
#include <thread>

namespace aerivo {

namespace {

void runGuarded(const std::function<void()>& task) {
    // An exception leaving a thread's function would end the process.
    try {
        task();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "background task failed: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "background task failed\n");
    }
}

} // namespace

void startDetachedTask(std::function<void()> task) {
    if (!task) {
        return;
    }
    auto shared = std::make_shared<std::function<void()>>(std::move(task));
    try {
        std::thread([shared] { runGuarded(*shared); }).detach();
    } catch (const std::system_error&) {
        runGuarded(*shared);
    }
}

} // namespace aerivo
