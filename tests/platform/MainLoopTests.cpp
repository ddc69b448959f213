#include "platform/mainloop/AsioMainLoop.h"
#include "platform/mainloop/WorkerSerialQueue.h"
#include "tests/support/ManualMainLoop.h"
#include "tests/support/ManualSerialQueue.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace aerivo {
namespace {

using namespace std::chrono_literals;
using Seconds = MainLoop::Seconds;

TEST(ManualMainLoop, TimersTickAtFixedSpacingInVirtualTime) {
    ManualMainLoop loop;
    std::vector<double> ticks;
    auto timer = loop.scheduleRepeating(Seconds(2.0), [&] {
        ticks.push_back(Seconds(loop.now() - ManualMainLoop::referenceDate).count());
    });
    loop.advanceBy(Seconds(1.9));
    EXPECT_TRUE(ticks.empty());
    loop.advanceBy(Seconds(6.1));
    EXPECT_EQ(ticks, (std::vector<double>{2.0, 4.0, 6.0, 8.0}));
    EXPECT_EQ(loop.now(), ManualMainLoop::referenceDate + 8s);
    loop.advanceBy(Seconds(3600.0 * 10));
    EXPECT_EQ(ticks.size(), 4u + 18000u);
}

TEST(ManualMainLoop, DroppingOrCancellingTheHandleStopsTicks) {
    ManualMainLoop loop;
    int first = 0;
    int second = 0;
    auto a = loop.scheduleRepeating(Seconds(1.0), [&] { ++first; });
    auto b = loop.scheduleRepeating(Seconds(1.0), [&] { ++second; });
    EXPECT_EQ(loop.activeTimerCount(), 2u);
    loop.advanceBy(Seconds(2.0));
    a.reset();
    b->cancel();
    b->cancel();
    EXPECT_EQ(loop.activeTimerCount(), 0u);
    loop.advanceBy(Seconds(10.0));
    EXPECT_EQ(first, 2);
    EXPECT_EQ(second, 2);
}

TEST(ManualMainLoop, TimerCancelledFromItsOwnTickStops) {
    ManualMainLoop loop;
    int count = 0;
    std::unique_ptr<RepeatingTimer> timer;
    timer = loop.scheduleRepeating(Seconds(1.0), [&] {
        if (++count == 3) {
            timer.reset();
        }
    });
    loop.advanceBy(Seconds(10.0));
    EXPECT_EQ(count, 3);
}

TEST(ManualMainLoop, PostedWorkRunsInOrderIncludingNestedPosts) {
    ManualMainLoop loop;
    std::vector<int> order;
    loop.post([&] {
        order.push_back(1);
        loop.post([&] { order.push_back(3); });
    });
    loop.post([&] { order.push_back(2); });
    EXPECT_TRUE(order.empty());
    EXPECT_EQ(loop.runUntilIdle(), 3u);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(loop.now(), ManualMainLoop::referenceDate);
}

TEST(ManualSerialQueue, DelayedItemsRunAtTheirTimeUnlessCancelled) {
    ManualMainLoop loop;
    ManualSerialQueue queue(loop, "test.queue");
    std::vector<std::string> ran;
    auto kept = std::make_shared<WorkItem>([&] { ran.push_back("kept"); });
    auto dropped = std::make_shared<WorkItem>([&] { ran.push_back("dropped"); });
    queue.asyncAfter(Seconds(15.0), kept);
    queue.asyncAfter(Seconds(5.0), dropped);
    loop.advanceBy(Seconds(4.0));
    dropped->cancel();
    loop.advanceBy(Seconds(10.9));
    EXPECT_TRUE(ran.empty());
    loop.advanceBy(Seconds(0.1));
    EXPECT_EQ(ran, (std::vector<std::string>{"kept"}));
}

TEST(ManualSerialQueue, HoldingKeepsWorkUntilReleased) {
    ManualMainLoop loop;
    ManualSerialQueue queue(loop, "test.queue");
    queue.setHolding(true);
    std::vector<int> ran;
    queue.async([&] { ran.push_back(1); });
    queue.async([&] { ran.push_back(2); });
    loop.advanceBy(Seconds(60.0));
    EXPECT_TRUE(ran.empty());
    EXPECT_EQ(queue.heldCount(), 2u);
    EXPECT_EQ(queue.runHeld(), 2u);
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));
    EXPECT_EQ(queue.submittedCount(), 2u);
}

// The real-time implementations, with short intervals; they only check ordering and cancellation,
// never timing.
TEST(AsioMainLoop, TicksUntilStoppedAndPostsFromOtherThreads) {
    AsioMainLoop loop;
    int ticks = 0;
    bool posted = false;
    auto timer = loop.scheduleRepeating(Seconds(0.001), [&] {
        if (++ticks == 3) {
            std::thread([&] {
                loop.post([&] {
                    posted = true;
                    loop.stop();
                });
            }).detach();
        }
    });
    loop.runFor(Seconds(10.0));
    EXPECT_GE(ticks, 3);
    EXPECT_TRUE(posted);
    timer.reset();
    const int afterCancel = ticks;
    loop.runFor(Seconds(0.02));
    EXPECT_EQ(ticks, afterCancel);
}

TEST(WorkerSerialQueue, RunsInOrderAwayFromTheCallerAndSkipsCancelledItems) {
    std::mutex mutex;
    std::condition_variable done;
    std::vector<int> order;
    std::thread::id workerThread;
    bool finished = false;
    {
        WorkerSerialQueue queue("com.aerivo.test.queue");
        EXPECT_EQ(queue.label(), "com.aerivo.test.queue");
        auto cancelled = std::make_shared<WorkItem>([&] { order.push_back(-1); });
        queue.asyncAfter(Seconds(0.001), cancelled);
        cancelled->cancel();
        for (int i = 0; i < 5; ++i) {
            queue.async([&, i] {
                std::lock_guard lock(mutex);
                order.push_back(i);
                workerThread = std::this_thread::get_id();
            });
        }
        queue.async([] { throw std::runtime_error("boom"); });
        queue.asyncAfter(Seconds(0.005), std::make_shared<WorkItem>([&] {
                             std::lock_guard lock(mutex);
                             finished = true;
                             done.notify_all();
                         }));
        std::unique_lock lock(mutex);
        ASSERT_TRUE(done.wait_for(lock, 10s, [&] { return finished; }));
    }
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_NE(workerThread, std::this_thread::get_id());
}

} // namespace
} // namespace aerivo
