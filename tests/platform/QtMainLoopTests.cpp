#include "platform/qt/QtMainLoop.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <thread>

namespace aerivo {
namespace {

using namespace std::chrono_literals;
using Seconds = MainLoop::Seconds;

TEST(QtMainLoop, NextDeadlineKeepsTheScheduleAndSkipsMissedTicks) {
    const std::chrono::steady_clock::time_point origin{};
    struct Case {
        std::chrono::milliseconds firedAt; // after the previous deadline of 2 s
        std::chrono::milliseconds next;
    };
    for (const Case& c : {Case{2000ms, 4000ms}, Case{2010ms, 4000ms}, Case{3999ms, 4000ms},
                          Case{4000ms, 6000ms}, Case{8400ms, 10000ms}}) {
        EXPECT_EQ(nextRepeatingDeadline(origin + 2000ms, 2000ms, origin + c.firedAt) - origin,
                  c.next)
            << "fired at " << c.firedAt.count() << " ms";
    }
}

// A short real event loop: ordering, cancellation and threads, never timing.
class QtMainLoopRun : public ::testing::Test {
protected:
    // Runs the event loop until `quit` is called or a generous bound passes.
    bool runUntilQuit() {
        QTimer bound;
        bool timedOut = false;
        bound.setSingleShot(true);
        QObject::connect(&bound, &QTimer::timeout, [&] {
            timedOut = true;
            events.quit();
        });
        bound.start(10000);
        events.exec();
        return !timedOut;
    }

    int argc = 1;
    char name[16] = "qtmainloop";
    char* argv[2] = {name, nullptr};
    QCoreApplication application{argc, argv};
    QEventLoop events;
    QtMainLoop loop;
};

TEST_F(QtMainLoopRun, TicksUntilCancelledFromTheirOwnTickAndPostsFromOtherThreads) {
    int ticks = 0;
    bool posted = false;
    std::thread poster;
    std::unique_ptr<RepeatingTimer> timer = loop.scheduleRepeating(Seconds(0.001), [&] {
        if (++ticks == 3) {
            timer.reset(); // the handle dropped from inside its own tick
            poster = std::thread([&] {
                loop.post([&] {
                    posted = true;
                    events.quit();
                });
            });
        }
    });
    ASSERT_TRUE(runUntilQuit());
    poster.join();
    EXPECT_TRUE(posted);
    EXPECT_EQ(ticks, 3);
}

TEST_F(QtMainLoopRun, TimersKeepFiringInANestedEventLoopAndPostsKeepTheirOrder) {
    std::vector<int> order;
    int ticks = 0;
    int ticksInNestedLoop = 0;
    QEventLoop nested; // what a popup menu or a modal dialog runs
    auto timer = loop.scheduleRepeating(Seconds(0.001), [&] {
        ++ticks;
        if (nested.isRunning() && ++ticksInNestedLoop == 3) {
            nested.quit();
        }
    });
    loop.post([&] {
        order.push_back(1);
        loop.post([&] { order.push_back(3); });
        nested.exec();
        order.push_back(4);
        events.quit();
    });
    loop.post([&] { order.push_back(2); });
    ASSERT_TRUE(runUntilQuit());
    EXPECT_EQ(ticksInNestedLoop, 3);
    // Posted work also runs inside the nested loop, in order.
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));

    const int before = ticks;
    timer->cancel();
    timer->cancel();
    loop.post([&] { events.quit(); });
    QTimer::singleShot(20, &events, [&] { events.quit(); });
    runUntilQuit();
    EXPECT_EQ(ticks, before);
}

} // namespace
} // namespace aerivo
