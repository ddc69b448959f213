#include "platform/mainloop/DetachedTask.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <system_error>
#include <thread>

namespace aerivo {

namespace {

std::atomic<int> runningTasks{0};

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
    runningTasks.fetch_add(1);
    try {
        std::thread([shared] {
            runGuarded(*shared);
            runningTasks.fetch_sub(1);
        }).detach();
    } catch (const std::system_error&) {
        runGuarded(*shared);
        runningTasks.fetch_sub(1);
    }
}

void endProcess(int exitCode) {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    if (runningTasks.load() > 0) {
        std::_Exit(exitCode);
    }
    std::exit(exitCode);
}

} // namespace aerivo
