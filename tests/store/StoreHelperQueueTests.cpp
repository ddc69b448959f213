// The menu-bar app's store hands every slow helper call to its helper queue: the main loop keeps
// refreshing while the helper works, the results apply on the loop in the order asked for, and
// the quit reset still goes out at once.

#include "tests/store/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace aerivo {
namespace {

using Action = ScriptedPrivilegedHelperClient::Action;
using Seconds = MainLoop::Seconds;

class HelperQueue : public ::testing::Test {
protected:
    HelperQueue() {
        harness.makeWriteCapable();
        harness.controller->temperatureC = 60.0;
        harness.queueHelperCalls(true);
    }
    // Lets the held helper calls (and whatever they queue) run and apply.
    void answer() {
        while (harness.helperQueue->heldCount() > 0) {
            harness.helperQueue->runHeld();
            harness.loop.runUntilIdle();
        }
    }
    std::size_t snapshotReads() const { return harness.controller->snapshotCalls.size(); }

    StoreHarness harness;
};

TEST_F(HelperQueue, TheStartHealthReadRunsOffTheLoopAndLeasesWaitForIt) {
    const auto store = harness.make(FanControlMode::curve);
    EXPECT_EQ(harness.helper->healthReads, 0);
    EXPECT_EQ(store->helperActivity(), HelperActivity::checkingHelper);
    EXPECT_EQ(store->helperHealth(), PrivilegedHelperHealth::unavailable());

    // The loop goes on refreshing meanwhile, and sends nothing before the read is in.
    const std::size_t reads = snapshotReads();
    harness.loop.advanceBy(Seconds(4.0));
    EXPECT_EQ(snapshotReads(), reads + 2);
    EXPECT_EQ(harness.helper->callCount(), 0u);

    answer();
    EXPECT_EQ(store->helperActivity(), HelperActivity::none);
    EXPECT_EQ(store->helperHealth(), StoreHarness::writeCapableHealth());
    EXPECT_EQ(harness.helper->count(Action::renewal), 1u);
}

TEST_F(HelperQueue, TheCurveSwitchTurnsCurveModeOnOnceTheHealthReadIsIn) {
    const auto store = harness.make();
    answer();
    store->setCurveEnabled(true);
    EXPECT_EQ(store->helperActivity(), HelperActivity::enablingCurve);
    EXPECT_EQ(store->mode(), FanControlMode::system);
    harness.loop.advanceBy(Seconds(2.0));
    EXPECT_EQ(harness.helper->count(Action::renewal), 0u);

    answer();
    EXPECT_EQ(harness.helper->healthReads, 2);
    EXPECT_EQ(store->mode(), FanControlMode::curve);
    EXPECT_EQ(harness.helper->count(Action::renewal), 1u);
}

TEST_F(HelperQueue, AResetAskedForWhileTheSwitchIsTurningOnWins) {
    const auto store = harness.make(FanControlMode::curve);
    answer();
    store->setCurveEnabled(false);
    store->setCurveEnabled(true);
    store->resetToSystem();
    answer();
    EXPECT_EQ(store->mode(), FanControlMode::system);
    EXPECT_EQ(harness.helper->count(Action::reset), 2u);
}

// Each action's helper call waits on the queue with the action's activity shown, and its
// outcome is what the store shows once it has come back.
TEST_F(HelperQueue, EachSlowActionRunsOnTheQueueAndShowsItsOutcomeWhenItReturns) {
    struct Row {
        const char* name;
        FanControlMode mode;
        std::function<void(AerivoStore&)> act;
        HelperActivity activity;
        Action call;
        std::string status;
    };
    const std::vector<Row> rows = {
        {"install", FanControlMode::system, [](AerivoStore& s) { s.installPrivilegedHelper(); },
         HelperActivity::installingHelper, Action::install, "Privileged helper installed."},
        {"reset", FanControlMode::curve, [](AerivoStore& s) { s.resetToSystem(); },
         HelperActivity::resettingToSystem, Action::reset, "Helper reset accepted."},
        {"test", FanControlMode::system, [](AerivoStore& s) { s.applyCurveTargetLease(); },
         HelperActivity::testingCurveTarget, Action::hold,
         "success=true\nmessage=Helper fan lease accepted.\naccepted=true"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        StoreHarness fresh;
        fresh.makeWriteCapable();
        fresh.queueHelperCalls();
        const auto store = fresh.make(row.mode);
        fresh.loop.runUntilIdle();
        fresh.helperQueue->setHolding(true);
        const int healthReads = fresh.helper->healthReads;

        row.act(*store);
        EXPECT_EQ(store->helperActivity(), row.activity);
        EXPECT_EQ(fresh.helper->count(row.call), 0u);
        while (fresh.helperQueue->heldCount() > 0) {
            // The test's second step (the hold) is still the test: never idle in between.
            fresh.helperQueue->runHeld();
            fresh.loop.runUntilIdle();
            if (fresh.helperQueue->heldCount() > 0) {
                EXPECT_EQ(store->helperActivity(), row.activity);
            }
        }
        EXPECT_EQ(store->helperActivity(), HelperActivity::none);
        EXPECT_EQ(fresh.helper->count(row.call), 1u);
        EXPECT_GT(fresh.helper->healthReads, healthReads);
        EXPECT_EQ(store->hardwareProbeStatus(), row.status);
    }
}

TEST_F(HelperQueue, QuitResetsAtOnceAndSkipsWhatIsStillQueued) {
    const auto store = harness.make();
    answer();
    store->applyCurveTargetLease();
    store->installPrivilegedHelper();
    store->resetFanControlBeforeTermination();
    EXPECT_EQ(harness.helper->count(Action::reset), 1u);

    answer();
    EXPECT_EQ(harness.helper->count(Action::hold), 0u);
    EXPECT_EQ(harness.helper->count(Action::install), 0u);
    EXPECT_EQ(store->helperActivity(), HelperActivity::none);
}

TEST_F(HelperQueue, AHelperClientThatThrowsEndsTheBusyState) {
    struct ThrowingClient final : PrivilegedHelperClient {
        PrivilegedHelperHealth readHealth() override { throw std::runtime_error("socket gone"); }
    };
    harness.helper = nullptr;
    AerivoStoreCollaborators collaborators = harness.collaborators();
    collaborators.helperClient = std::make_shared<ThrowingClient>();
    AerivoStore store(harness.loop, std::move(collaborators), std::nullopt);
    answer();
    EXPECT_EQ(store.helperActivity(), HelperActivity::none);
    EXPECT_EQ(store.helperHealth().detail, "socket gone");
}

} // namespace
} // namespace aerivo
