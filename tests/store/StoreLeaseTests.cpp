#include "platform/mainloop/WorkerSerialQueue.h"
#include "tests/store/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

namespace aerivo {
namespace {

using Action = ScriptedPrivilegedHelperClient::Action;
using Seconds = MainLoop::Seconds;

// 10 rpm per °C from 1000 rpm at 0 °C, with every target below exact in binary.
AerivoProfile linearProfile() {
    AerivoProfile profile = AerivoProfile::balanced();
    profile.temperatureAxis.minimum = 0.0;
    profile.temperatureAxis.maximum = 128.0;
    profile.rpmAxis.minimum = 1000.0;
    profile.rpmAxis.maximum = 2280.0;
    profile.points = {{0.0, 1000.0}, {128.0, 2280.0}};
    return profile;
}

// Curve leasing on the manual loop: a write-capable Mac at 60 °C, the store's timer ticking every
// two seconds from T0, renewals answered at once unless the lease queue holds them.
class CurveLeasing : public ::testing::Test {
protected:
    CurveLeasing() { renew(); }

    // A fresh harness (and no store), write-capable or not.
    void renew(bool writeCapable = true) {
        store.reset();
        harness = std::make_unique<StoreHarness>();
        if (writeCapable) {
            harness->makeWriteCapable();
        }
    }
    void start(FanControlMode mode = FanControlMode::curve,
               AerivoProfile profile = AerivoProfile::balanced(), bool applyRange = true) {
        harness->controller->temperatureC = 60.0;
        store = harness->make(mode, std::move(profile), true, applyRange);
    }
    // Runs the loop to T0 + seconds.
    void runTo(double seconds) { harness->loop.runUntil(secondsAfter(t0, seconds)); }
    std::vector<double> renewalTimes() const {
        std::vector<double> times;
        for (const auto& call : harness->helper->calls(Action::renewal)) {
            times.push_back(std::chrono::duration<double>(call.at - t0).count());
        }
        return times;
    }
    double curveTarget(double temperature) const { return store->profile().targetRPM(temperature); }

    std::unique_ptr<StoreHarness> harness;
    const MainLoop::Instant t0 = ManualMainLoop::referenceDate;
    std::unique_ptr<AerivoStore> store;
};

TEST_F(CurveLeasing, FirstTickSendsThenRenewsOncePerIntervalWithoutOverlap) {
    start();
    ASSERT_TRUE(store->isCurveLeaseInFlight());
    runTo(20.0);
    // Sent at once, nothing 2 and 4 s later, then whenever 5 s have passed (on the 2 s ticks).
    EXPECT_EQ(renewalTimes(), (std::vector<double>{0.0, 6.0, 12.0, 18.0}));
    for (const auto& call : harness->helper->calls(Action::renewal)) {
        EXPECT_EQ(call.seconds, 15);
        EXPECT_DOUBLE_EQ(call.targetRPM, curveTarget(60.0));
    }
    EXPECT_FALSE(store->isCurveLeaseInFlight());
    EXPECT_EQ(store->hardwareProbeStatus(),
              "success=true\nmessage=Helper fan lease accepted.\naccepted=true");
}

TEST_F(CurveLeasing, ATargetMoveOf75RpmOrMoreGoesOutAtOnce) {
    struct Row {
        double change;
        std::vector<double> expected;
    };
    for (const Row& row : {Row{80.0, {0.0, 2.0, 8.0}}, Row{-80.0, {0.0, 2.0, 8.0}},
                           Row{75.0, {0.0, 2.0, 8.0}}, Row{70.0, {0.0, 6.0}}}) {
        renew();
        start(FanControlMode::curve, linearProfile(), false);
        ASSERT_EQ(curveTarget(60.0), 1600.0);
        runTo(1.0);
        harness->controller->temperatureC = 60.0 + row.change / 10.0;
        runTo(9.0);
        EXPECT_EQ(renewalTimes(), row.expected) << row.change;
        EXPECT_EQ(harness->helper->calls(Action::renewal).back().targetRPM, 1600.0 + row.change);
    }
}

TEST_F(CurveLeasing, ForcedEvaluationsIgnoreTheRulesButWaitForTheOutstandingRequest) {
    harness->leaseQueue->setHolding(true);
    start();
    store->curveProfileDidChange();
    store->updateFanOffThreshold(40.0);
    EXPECT_EQ(harness->leaseQueue->submittedCount(), 1u);
    harness->leaseQueue->setHolding(false);
    runTo(1.0);
    harness->leaseQueue->runHeld(); // reaches the helper at T0 + 1
    runTo(2.0);
    ASSERT_EQ(renewalTimes(), (std::vector<double>{1.0}));
    store->curveProfileDidChange();
    runTo(2.0);
    EXPECT_EQ(renewalTimes(), (std::vector<double>{1.0, 2.0}));
}

TEST_F(CurveLeasing, AFailureWaitsTheFullIntervalFromWhenItCameBack) {
    // The request sent at T0 reaches the helper and comes back at T0 + 4.5.
    for (const bool isSuccess : {true, false}) {
        renew();
        if (!isSuccess) {
            harness->helper->renewalResult =
                PrivilegedHelperActionResult::failure("Helper fan lease rejected.");
        }
        harness->leaseQueue->setHolding(true);
        start();
        runTo(4.5);
        harness->leaseQueue->setHolding(false);
        harness->leaseQueue->runHeld();
        runTo(11.0);
        const auto times = renewalTimes();
        ASSERT_GE(times.size(), 2u);
        EXPECT_EQ(times[1], isSuccess ? 6.0 : 10.0);
        EXPECT_EQ(store->mode(), FanControlMode::curve);
    }
    EXPECT_EQ(store->hardwareProbeStatus(), "success=false\nmessage=Helper fan lease rejected.");
}

TEST_F(CurveLeasing, TheSafetyLimitAsksForTheAxisMaximumOnlyInCurveMode) {
    for (const FanControlMode mode : {FanControlMode::curve, FanControlMode::system}) {
        renew();
        harness->controller->capabilities = FanHardwareCapabilities(1, 1000, 5800, 2000, "SMC");
        harness->controller->temperatureC = 86.0;
        store = harness->make(mode);
        runTo(10.0);
        EXPECT_EQ(store->effectiveMode(), FanControlMode::safety);
        const auto renewals = harness->helper->calls(Action::renewal);
        ASSERT_EQ(renewals.size(), mode == FanControlMode::curve ? 2u : 0u);
        for (const auto& renewal : renewals) {
            EXPECT_EQ(renewal.targetRPM, 5800.0);
        }
    }
}

TEST_F(CurveLeasing, OneResetPerStayInTheFanOffRange) {
    AerivoProfile profile = AerivoProfile::balanced();
    profile.updateFanOffThresholdEnabled(true);
    start(FanControlMode::curve, profile);
    harness->controller->temperatureC = 44.0;
    runTo(9.0);
    EXPECT_EQ(harness->helper->count(Action::reset), 1u);
    EXPECT_EQ(store->hardwareProbeStatus(), "Helper reset accepted.");
    EXPECT_EQ(store->effectiveMode(), FanControlMode::system);
    // Above the threshold the first lease goes out on the next tick; the next stay resets again.
    harness->controller->temperatureC = 60.0;
    runTo(11.0);
    EXPECT_EQ(renewalTimes(), (std::vector<double>{0.0, 10.0}));
    harness->controller->temperatureC = 45.0;
    runTo(17.0);
    EXPECT_EQ(harness->helper->count(Action::reset), 2u);
    EXPECT_EQ(renewalTimes().size(), 2u);
}

TEST_F(CurveLeasing, AnUntrustedHelperGetsNoResetAndOnlyActionsSayWhy) {
    harness->helper->health.hasTrustedProvenance = false;
    AerivoProfile profile = AerivoProfile::balanced();
    profile.updateFanOffThresholdEnabled(true);
    start(FanControlMode::curve, profile);
    harness->controller->temperatureC = 40.0;
    runTo(4.0);
    EXPECT_FALSE(store->hardwareProbeStatus()); // ticks leave the status alone
    store->updateFanOffThreshold(50.0);
    EXPECT_EQ(store->hardwareProbeStatus(), "Fan off below 50 C; macOS controls the fan.");
    EXPECT_EQ(harness->helper->callCount(), 0u);
}

TEST_F(CurveLeasing, AResultAfterAResetOnlyClearsTheInFlightMark) {
    harness->leaseQueue->setHolding(true);
    start();
    store->resetToSystem();
    ASSERT_TRUE(store->isCurveLeaseInFlight());
    harness->leaseQueue->runHeld();
    harness->loop.runUntilIdle();
    EXPECT_FALSE(store->isCurveLeaseInFlight());
    EXPECT_EQ(store->hardwareProbeStatus(), "Helper reset accepted.");
    EXPECT_EQ(store->mode(), FanControlMode::system);
}

TEST_F(CurveLeasing, TheCurveToggle) {
    // On while the helper is missing: curve mode, locked, the plan says what is missing.
    harness->helper->health = PrivilegedHelperHealth::unavailable();
    start(FanControlMode::system);
    store->setCurveEnabled(true);
    EXPECT_TRUE(store->isCurveEnabled());
    EXPECT_EQ(store->hardwareProbeStatus(), store->writeSafetyPlan().actionMessage());
    EXPECT_EQ(store->writeSafetyPlan().status, FanWriteSafetyStatus::helperRequired);
    runTo(10.0);
    EXPECT_EQ(harness->helper->callCount(), 0u);

    // With the helper ready: on leases at once, off resets and returns to system.
    harness->helper->health = StoreHarness::writeCapableHealth();
    store->setCurveEnabled(true);
    harness->loop.runUntilIdle();
    EXPECT_EQ(harness->helper->count(Action::renewal), 1u);
    store->setCurveEnabled(false);
    EXPECT_EQ(store->mode(), FanControlMode::system);
    EXPECT_EQ(harness->helper->count(Action::reset), 1u);

    // No fan: turning the curve on performs a reset instead.
    harness->controller->capabilities = FanHardwareCapabilities(
        0, {}, {}, {}, "No fan", {}, FanHardwareSupportStatus::unsupportedNoFan);
    store->refreshHardwareCapabilities(false);
    store->setCurveEnabled(true);
    EXPECT_FALSE(store->isCurveEnabled());
    EXPECT_EQ(harness->helper->count(Action::reset), 2u);
    EXPECT_EQ(harness->helper->count(Action::renewal), 1u);
}

TEST_F(CurveLeasing, QuitResetsOnceAndSendsNothingAfterwards) {
    harness->leaseQueue->setHolding(true);
    start();
    std::vector<FanControlEvent> events;
    store->setFanControlEventHandler(
        [&](const FanControlEvent& event) { events.push_back(event); });
    store->resetFanControlBeforeTermination();
    EXPECT_EQ(store->mode(), FanControlMode::curve);
    // The renewal that was queued but had not started is skipped, and no tick leases again.
    harness->leaseQueue->setHolding(false);
    harness->leaseQueue->runHeld();
    runTo(30.0);
    EXPECT_EQ(harness->helper->count(Action::renewal), 0u);
    EXPECT_FALSE(store->isCurveLeaseInFlight());
    EXPECT_EQ(events,
              (std::vector<FanControlEvent>{FanControlEvent::sentReset(
                  FanControlEvent::ResetReason::termination, harness->helper->resetResult)}));

    // Without a trusted helper nothing is sent at all.
    renew(false);
    start();
    store->resetFanControlBeforeTermination();
    EXPECT_EQ(harness->helper->callCount(), 0u);
}

TEST_F(CurveLeasing, ARenewalFinishingAfterTheStoreIsGoneIsDropped) {
    // The store goes while its renewal is inside the helper client.
    harness->helper->duringRenewal = [this] { store.reset(); };
    start();
    harness->loop.runUntilIdle();
    ASSERT_EQ(store, nullptr);
    harness->loop.advanceBy(Seconds(30.0));
    EXPECT_EQ(harness->helper->count(Action::renewal), 1u);
    // The queue outlives the store, and the store's reference to it was let go off the loop.
    EXPECT_EQ(harness->leaseQueue.use_count(), 1);
}

TEST_F(CurveLeasing, AClockThatStepsBackDoesNotStopTheLeases) {
    // The store's clock is the manual loop's, moved back an hour after the first lease.
    class SteppedLoop final : public MainLoop {
    public:
        explicit SteppedLoop(ManualMainLoop& loop) : loop_(loop) {}
        Instant now() const override { return loop_.now() - offset; }
        std::unique_ptr<RepeatingTimer> scheduleRepeating(Seconds interval,
                                                          std::function<void()> tick) override {
            return loop_.scheduleRepeating(interval, std::move(tick));
        }
        void post(std::function<void()> work) override { loop_.post(std::move(work)); }
        std::chrono::seconds offset{0};

    private:
        ManualMainLoop& loop_;
    };
    SteppedLoop stepped(harness->loop);
    AerivoStore steppedStore(stepped, harness->collaborators(), std::nullopt,
                             AerivoProfile::balanced(), ThermalSnapshot::initial(),
                             FanControlMode::curve, true, harness->leaseQueue);
    runTo(1.0);
    stepped.offset = std::chrono::hours(1);
    runTo(3.0);
    EXPECT_EQ(harness->helper->count(Action::renewal), 2u);
}

TEST_F(CurveLeasing, TheCurveTargetTestHoldsForFiveSecondsOnceWritesAreAllowed) {
    harness->helper->health = PrivilegedHelperHealth::unavailable();
    start(FanControlMode::system);
    store->applyCurveTargetLease();
    EXPECT_EQ(store->hardwareProbeStatus(), store->writeSafetyPlan().actionMessage());
    EXPECT_EQ(harness->helper->callCount(), 0u);

    harness->helper->health = StoreHarness::writeCapableHealth();
    const int capabilityReads = harness->controller->capabilityReads;
    store->applyCurveTargetLease();
    const auto holds = harness->helper->calls(Action::hold);
    ASSERT_EQ(holds.size(), 1u);
    EXPECT_DOUBLE_EQ(holds[0].targetRPM, curveTarget(60.0));
    EXPECT_EQ(holds[0].seconds, 5);
    EXPECT_EQ(harness->controller->capabilityReads, capabilityReads + 1);
    // The result stays visible over the re-read readings.
    EXPECT_EQ(store->hardwareProbeStatus(),
              "success=true\nmessage=Helper fan lease accepted.\naccepted=true");

    // At the safety limit the test holds the speed axis maximum, not the curve's target.
    harness->controller->temperatureC = store->profile().safetyLimitC;
    store->refreshSnapshot();
    store->applyCurveTargetLease();
    ASSERT_EQ(harness->helper->count(Action::hold), 2u);
    EXPECT_DOUBLE_EQ(harness->helper->calls(Action::hold)[1].targetRPM,
                     store->profile().rpmAxis.maximum);
}

// A real worker queue: the renewal blocks in the helper client while the store is destroyed.
TEST(CurveLeasingOnAWorker, DestroyingTheStoreDoesNotWaitForARunningRenewal) {
    StoreHarness harness;
    harness.makeWriteCapable();
    // Shared with the worker, which may still be leaving set_value when the test goes on.
    auto entered = std::make_shared<std::promise<void>>();
    auto done = std::make_shared<std::promise<void>>();
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::future<void> enteredFuture = entered->get_future();
    std::future<void> doneFuture = done->get_future();
    harness.helper->duringRenewal = [entered, done, released] {
        entered->set_value();
        // Bounded so a regression fails the check below instead of hanging the suite.
        released.wait_for(std::chrono::seconds(30));
        done->set_value();
    };
    auto worker = std::make_shared<WorkerSerialQueue>(AerivoStore::curveLeaseQueueLabel());
    std::weak_ptr<WorkerSerialQueue> watch = worker;
    AerivoStoreCollaborators collaborators = harness.collaborators();
    collaborators.startBackgroundTask = {}; // the production default: a detached thread
    auto store = std::make_unique<AerivoStore>(
        harness.loop, std::move(collaborators), std::nullopt, AerivoProfile::balanced(),
        ThermalSnapshot::initial(), FanControlMode::curve, true, std::move(worker));
    ASSERT_EQ(enteredFuture.wait_for(std::chrono::seconds(30)), std::future_status::ready);

    store.reset();
    // Had the destructor waited for the renewal, the renewal would be over by now.
    EXPECT_EQ(doneFuture.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
    release.set_value();
    ASSERT_EQ(doneFuture.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    // The queue's last reference goes on the background task once the renewal is over.
    for (int i = 0; i < 10000 && !watch.expired(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(watch.expired());
    // The outcome never reached the loop.
    EXPECT_EQ(harness.loop.runUntilIdle(), 0u);
}

} // namespace
} // namespace aerivo
