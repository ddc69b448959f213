#include "tests/store/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <limits>

namespace aerivo {
namespace {

using Seconds = MainLoop::Seconds;

// The store refreshed by hand with scripted temperatures, for the mode rules.
class StoreModes : public ::testing::Test {
protected:
    void at(double temperature) {
        harness.controller->temperatureC = temperature;
        store->refreshSnapshot();
    }

    StoreHarness harness;
    std::unique_ptr<AerivoStore> store;
};

TEST_F(StoreModes, SafetyFromTheLimitUpWhateverTheMode) {
    for (FanControlMode mode : allFanControlModes) {
        store = harness.make(mode);
        at(86.0);
        EXPECT_EQ(store->effectiveMode(), FanControlMode::safety) << rawValue(mode);
        at(85.9);
        EXPECT_EQ(store->effectiveMode(), mode) << rawValue(mode);
        at(std::numeric_limits<double>::quiet_NaN());
        EXPECT_EQ(store->effectiveMode(), FanControlMode::safety) << rawValue(mode);
        EXPECT_FALSE(store->isFanOffRangeActive());
    }
}

TEST_F(StoreModes, FanOffRangeHandsTheFanToTheSystemOnlyInCurveMode) {
    AerivoProfile profile = AerivoProfile::balanced();
    profile.updateFanOffThresholdEnabled(true);
    profile.updateFanOffThreshold(45.0);
    ASSERT_EQ(profile.fanOffThresholdC, 45.0);

    store = harness.make(FanControlMode::curve, profile);
    at(45.0);
    EXPECT_TRUE(store->isFanOffRangeActive());
    EXPECT_EQ(store->effectiveMode(), FanControlMode::system);
    at(45.1);
    EXPECT_FALSE(store->isFanOffRangeActive());
    EXPECT_EQ(store->effectiveMode(), FanControlMode::curve);

    store = harness.make(FanControlMode::system, profile);
    at(40.0);
    EXPECT_FALSE(store->isFanOffRangeActive());
    EXPECT_EQ(store->effectiveMode(), FanControlMode::system);
}

TEST_F(StoreModes, ReadingUsesTheModeOfThePreviousSnapshot) {
    store = harness.make(FanControlMode::curve);
    at(90.0); // read with curve (previous 50 °C), now in safety
    at(60.0); // read with safety, now back in curve
    at(60.0);
    const auto& calls = harness.controller->snapshotCalls;
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[1].mode, FanControlMode::curve);
    EXPECT_EQ(calls[2].mode, FanControlMode::safety);
    EXPECT_EQ(calls[2].previous.temperatureC, 90.0);
    EXPECT_EQ(calls[3].mode, FanControlMode::curve);
}

TEST_F(StoreModes, CurveTargetIgnoresSafetyAndFanOff) {
    store = harness.make(FanControlMode::curve);
    at(90.0);
    EXPECT_DOUBLE_EQ(store->curveTargetRPM(), AerivoProfile::balanced().targetRPM(90.0));
}

// History bookkeeping with snapshots at chosen instants.
class StoreHistory : public ::testing::Test {
protected:
    StoreHistory() {
        harness.controller->nextSnapshot = [this] { return next; };
        next = live(0.0);
        store = harness.make();
        store->refreshSnapshot(); // same instant: not recorded again
    }

    ThermalSnapshot live(double seconds, double temperature = 50.0) {
        return ThermalSnapshot{temperature, 2000.0,
                               2100.0,      "PMU tdie1",
                               true,        secondsAfter(ManualMainLoop::referenceDate, seconds)};
    }
    void readAt(double seconds, bool isLive = true) {
        next = live(seconds);
        next.hasLiveTemperatureTelemetry = isLive;
        store->refreshSnapshot();
    }
    std::size_t count() const { return store->thermalSamples().size(); }

    StoreHarness harness;
    ThermalSnapshot next;
    std::unique_ptr<AerivoStore> store;
};

TEST_F(StoreHistory, SamplesAreAtLeastOneAndAHalfSecondsApart) {
    EXPECT_EQ(count(), 1u);
    readAt(1.4);
    EXPECT_EQ(count(), 1u);
    readAt(1.5);
    EXPECT_EQ(count(), 2u);
    EXPECT_EQ(store->thermalSamples().back(), ThermalSample(live(1.5)));
}

TEST_F(StoreHistory, ReadingsWithoutLiveTelemetryAreShownButNotRecorded) {
    readAt(1.0, false);
    EXPECT_EQ(count(), 1u);
    EXPECT_FALSE(store->snapshot().hasLiveTemperatureTelemetry);
    // Had the fallback reading moved the last-sample time to 1.0, this one would be too early.
    readAt(1.5);
    EXPECT_EQ(count(), 2u);
}

TEST_F(StoreHistory, AClockThatGoesBackDoesNotBreakTheTimeOrder) {
    readAt(100.0);
    readAt(50.0);
    readAt(101.0);
    EXPECT_EQ(count(), 2u);
    readAt(101.5);
    EXPECT_EQ(count(), 3u);
}

TEST_F(StoreHistory, ALongGapDropsEverythingOlderThanADay) {
    for (int i = 1; i <= 100; ++i) {
        readAt(i * 2.0);
    }
    EXPECT_EQ(count(), 101u);
    readAt(200.0 + 25 * 3600.0);
    ASSERT_EQ(count(), 1u);
    EXPECT_EQ(store->thermalSamples().front().recordedAt, live(200.0 + 25 * 3600.0).updatedAt);
}

TEST_F(StoreHistory, TheDayCutKeepsASampleExactlyADayOld) {
    readAt(86400.0);
    EXPECT_EQ(count(), 2u); // the sample at 0 is exactly 86400 s old
    readAt(86400.0 + 1.5);
    EXPECT_EQ(count(), 2u);
    EXPECT_EQ(store->thermalSamples().front().recordedAt, live(86400.0).updatedAt);
}

TEST_F(StoreHistory, TheCapRemovesTheOldestSample) {
    // 1.5 s apart, 43201 samples fit in the day: the cap, not the time cut, removes one.
    for (std::size_t i = 1; i < AerivoStore::thermalHistoryLimit; ++i) {
        readAt(static_cast<double>(i) * 1.5);
    }
    ASSERT_EQ(count(), AerivoStore::thermalHistoryLimit);
    EXPECT_EQ(store->thermalSamples().front().recordedAt, live(0.0).updatedAt);
    readAt(static_cast<double>(AerivoStore::thermalHistoryLimit) * 1.5);
    ASSERT_EQ(count(), AerivoStore::thermalHistoryLimit);
    EXPECT_EQ(store->thermalSamples().front().recordedAt, live(1.5).updatedAt);
    EXPECT_LE(store->thermalSamples().storageBytes(),
              AerivoStore::thermalHistoryLimit * sizeof(ThermalSample));
}

TEST_F(StoreHistory, WindowEndsAreIncluded) {
    readAt(98.0); // outside the window below
    readAt(100.0);
    readAt(250.0);
    readAt(400.0);
    const auto now = live(400.0).updatedAt;
    const auto window = store->thermalSamples(ThermalHistoryWindow::fiveMinutes, now);
    ASSERT_EQ(window.size(), 3u);
    EXPECT_EQ(window.front().recordedAt, live(100.0).updatedAt); // exactly 300 s before
    EXPECT_EQ(window.back().recordedAt, now);                    // exactly at the end

    const auto earlier =
        store->thermalSamples(ThermalHistoryWindow::fiveMinutes, now - std::chrono::nanoseconds(1));
    ASSERT_EQ(earlier.size(), 2u);
    EXPECT_EQ(earlier.front().recordedAt, live(100.0).updatedAt);
    EXPECT_EQ(earlier.back().recordedAt, live(250.0).updatedAt);

    const auto later =
        store->thermalSamples(ThermalHistoryWindow::fiveMinutes, now + std::chrono::nanoseconds(1));
    ASSERT_EQ(later.size(), 2u);
    EXPECT_EQ(later.front().recordedAt, live(250.0).updatedAt);
}

TEST_F(StoreHistory, VisibleSamplesFollowTheSelectedWindowAndTheSnapshotTime) {
    for (int i = 1; i <= 1800; ++i) {
        readAt(i * 2.0); // one hour
    }
    EXPECT_EQ(store->visibleThermalSamples().size(), 901u); // 30 min at 2 s, both ends
    int windowChanges = 0;
    auto observation = store->observe([&](AerivoStoreProperty property) {
        windowChanges += property == AerivoStoreProperty::thermalHistoryWindow;
    });
    store->setThermalHistoryWindow(ThermalHistoryWindow::fiveMinutes);
    EXPECT_EQ(windowChanges, 1);
    EXPECT_EQ(store->visibleThermalSamples().size(), 151u);
    store->setThermalHistoryWindow(ThermalHistoryWindow::twentyFourHours);
    EXPECT_EQ(store->visibleThermalSamples().size(), 1801u);
}

// The store on its own timer for a simulated day and more.
TEST(StoreLoop, ADayOfTwoSecondTicksFillsTheHistoryExactly) {
    StoreHarness harness;
    auto store = harness.make(FanControlMode::curve);
    int sampleChanges = 0;
    auto observation = store->observe([&](AerivoStoreProperty property) {
        sampleChanges += property == AerivoStoreProperty::thermalSamples;
    });
    harness.loop.advanceBy(Seconds(25.0 * 3600.0));
    EXPECT_EQ(sampleChanges, 45000);
    const auto& history = store->thermalSamples();
    ASSERT_EQ(history.size(), AerivoStore::thermalHistoryLimit);
    EXPECT_EQ(history.back().recordedAt, harness.loop.now());
    EXPECT_EQ(history.front().recordedAt, harness.loop.now() - std::chrono::seconds(86398));
    for (std::size_t i = 1; i < history.size(); ++i) {
        ASSERT_EQ(history[i].recordedAt - history[i - 1].recordedAt, std::chrono::seconds(2));
    }
    EXPECT_EQ(store->thermalSamples(ThermalHistoryWindow::oneHour, harness.loop.now()).size(),
              1801u);
}

TEST(StoreObservers, NotifiedAfterEachChangeUntilTheObservationIsDropped) {
    StoreHarness harness;
    auto store = harness.make();
    std::vector<AerivoStoreProperty> seen;
    auto observation = store->observe([&](AerivoStoreProperty property) {
        seen.push_back(property);
        if (property == AerivoStoreProperty::snapshot) {
            EXPECT_EQ(store->snapshot().updatedAt, harness.loop.now());
        }
    });
    harness.loop.advanceBy(Seconds(2.0));
    EXPECT_EQ(seen, (std::vector<AerivoStoreProperty>{AerivoStoreProperty::snapshot,
                                                      AerivoStoreProperty::thermalSamples}));
    harness.helper->health.detail = "refreshed";
    store->refreshHelperHealth();
    EXPECT_EQ(seen.back(), AerivoStoreProperty::helperHealth);
    EXPECT_EQ(store->helperHealth().detail, "refreshed");

    observation.cancel();
    seen.clear();
    harness.loop.advanceBy(Seconds(10.0));
    EXPECT_TRUE(seen.empty());

    // An observation may outlive its store.
    auto late = store->observe([](AerivoStoreProperty) {});
    store.reset();
    late.cancel();
}

TEST(StoreObservers, AnObserverMayUnsubscribeAnotherWhileBeingNotified) {
    StoreHarness harness;
    auto store = harness.make();
    int second = 0;
    AerivoStoreObservation secondObservation;
    auto first = store->observe([&](AerivoStoreProperty) { secondObservation.cancel(); });
    secondObservation = store->observe([&](AerivoStoreProperty) { ++second; });
    store->setThermalHistoryWindow(ThermalHistoryWindow::oneHour);
    EXPECT_EQ(second, 0);
}

} // namespace
} // namespace aerivo
