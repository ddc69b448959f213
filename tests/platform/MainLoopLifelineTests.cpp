#include "platform/mainloop/DetachedTask.h"
#include "platform/mainloop/MainLoopLifeline.h"
#include "platform/posix/ProcessImage.h"
#include "tests/support/ManualMainLoop.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <future>

namespace aerivo {
namespace {

TEST(MainLoopLifeline, WorkRunsOnlyWhileTheLifelineLasts) {
    ManualMainLoop loop;
    auto lifeline = MainLoopLifeline::make(loop);
    int ran = 0;
    ASSERT_TRUE(lifeline->post([&] { ++ran; }));
    loop.runUntilIdle();
    EXPECT_EQ(ran, 1);

    // Posted before the end, due after it: dropped when its turn comes.
    ASSERT_TRUE(lifeline->post([&] { ++ran; }));
    lifeline->end();
    EXPECT_FALSE(lifeline->isAlive());
    loop.runUntilIdle();
    EXPECT_EQ(ran, 1);
    // After the end nothing even reaches the loop.
    EXPECT_FALSE(lifeline->post([&] { ++ran; }));
    EXPECT_EQ(loop.pendingEventCount(), 0u);
}

TEST(DetachedTask, RunsAwayFromTheCaller) {
    // Shared with the task, which may still be leaving set_value when the test goes on.
    auto ranOn = std::make_shared<std::promise<std::thread::id>>();
    auto future = ranOn->get_future();
    startDetachedTask([ranOn] { ranOn->set_value(std::this_thread::get_id()); });
    ASSERT_EQ(future.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_NE(future.get(), std::this_thread::get_id());
}

TEST(ProcessImage, TheRunningExecutable) {
    const std::optional<std::string> path = currentExecutablePath();
    ASSERT_TRUE(path);
    EXPECT_TRUE(std::filesystem::equivalent(*path, "/proc/self/exe"));
}

} // namespace
} // namespace aerivo
