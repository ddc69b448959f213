#include "platform/mainloop/DetachedTask.h"
#include "platform/mainloop/MainLoopLifeline.h"
#include "platform/posix/ProcessImage.h"
#include "platform/posix/ProcessRunner.h"
#include "tests/support/ManualMainLoop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <future>
#include <string_view>

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

// Run by the test below as a child: ends through endProcess, with a detached task still running
// or not, and says on its output whether the exit handlers ran.
TEST(DetachedTaskEndProcessChild, EndsWithCodeSeven) {
    const char* const busy = std::getenv("AERIVO_END_PROCESS_CHILD");
    if (busy == nullptr) {
        GTEST_SKIP() << "runs only as the child of another test";
    }
    std::atexit([] {
        constexpr std::string_view line = "exit handlers ran\n";
        [[maybe_unused]] const ssize_t written = ::write(STDOUT_FILENO, line.data(), line.size());
    });
    if (std::string_view(busy) == "busy") {
        auto started = std::make_shared<std::promise<void>>();
        auto future = started->get_future();
        startDetachedTask([started] {
            started->set_value();
            for (;;) {
                ::pause();
            }
        });
        future.wait();
    }
    endProcess(7);
}

TEST(DetachedTask, TheProcessEndsWithoutItsExitHandlersOnlyWhileATaskStillRuns) {
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    for (const bool busy : {false, true}) {
        SCOPED_TRACE(busy ? "a task runs" : "no task runs");
        ::setenv("AERIVO_END_PROCESS_CHILD", busy ? "busy" : "idle", 1);
        const ProcessRunResult result = PosixProcessRunner().run(
            self, {"--gtest_filter=DetachedTaskEndProcessChild.EndsWithCodeSeven"});
        ::unsetenv("AERIVO_END_PROCESS_CHILD");
        const auto* output = std::get_if<ProcessOutput>(&result);
        ASSERT_NE(output, nullptr);
        EXPECT_EQ(output->exitStatus, 7) << output->standardOutput << output->standardError;
        EXPECT_EQ(output->standardOutput.find("exit handlers ran") == std::string::npos, busy)
            << output->standardOutput;
    }
}

TEST(ProcessImage, TheRunningExecutable) {
    const std::optional<std::string> path = currentExecutablePath();
    ASSERT_TRUE(path);
    EXPECT_TRUE(std::filesystem::equivalent(*path, "/proc/self/exe"));
}

} // namespace
} // namespace aerivo
