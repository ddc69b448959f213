#include "app/model/MockFanHardwareController.h"
#include "tests/store/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

namespace aerivo {
namespace {

using Seconds = MainLoop::Seconds;

FanHardwareCapabilities rangeCapabilities(std::optional<double> minimum,
                                          std::optional<double> maximum) {
    return FanHardwareCapabilities(1, minimum, maximum, 2000.0, "SMC");
}

TEST(MockFanHardwareController, ReadingAtTheReferenceDate) {
    ManualMainLoop loop;
    MockFanHardwareController mock([&] { return loop.now(); });
    ThermalSnapshot previous = ThermalSnapshot::initial();
    previous.actualRPM = 1650.0;

    const auto system =
        mock.readSnapshot(AerivoProfile::balanced(), FanControlMode::system, previous);
    EXPECT_DOUBLE_EQ(system.temperatureC, 58.0);
    EXPECT_DOUBLE_EQ(system.targetRPM, 2394.0);
    EXPECT_NEAR(system.actualRPM, 1813.68, 1e-9);
    EXPECT_EQ(system.temperatureSource, "Mock temperature simulation");
    EXPECT_FALSE(system.hasLiveTemperatureTelemetry);
    EXPECT_EQ(system.updatedAt, loop.now());

    // Any other mode follows the curve.
    const auto curve =
        mock.readSnapshot(AerivoProfile::balanced(), FanControlMode::safety, previous);
    EXPECT_DOUBLE_EQ(curve.targetRPM, AerivoProfile::balanced().targetRPM(58.0));

    loop.advanceBy(Seconds(10.0));
    const auto later =
        mock.readSnapshot(AerivoProfile::balanced(), FanControlMode::system, previous);
    EXPECT_DOUBLE_EQ(later.temperatureC,
                     58.0 + std::sin(10.0 / 8.0) * 12.0 + std::sin(10.0 / 2.8) * 3.0);
    EXPECT_EQ(mock.readCapabilities(), FanHardwareCapabilities::unavailable());
}

TEST(AerivoStoreConstruction, RunsTheMockForHoursWithoutRecordingHistory) {
    ManualMainLoop loop;
    auto mock = std::make_shared<MockFanHardwareController>([&] { return loop.now(); });
    AerivoStore store(loop, {mock, nullptr, nullptr, nullptr}, std::nullopt,
                      AerivoProfile::balanced(), ThermalSnapshot::initial(), FanControlMode::system,
                      true, std::make_unique<ManualSerialQueue>(loop, "queue"));
    // The construction refresh, from the initial snapshot's 1650 rpm.
    EXPECT_DOUBLE_EQ(store.snapshot().temperatureC, 58.0);
    EXPECT_DOUBLE_EQ(store.snapshot().targetRPM, 2394.0);
    EXPECT_NEAR(store.snapshot().actualRPM, 1813.68, 1e-9);

    int snapshots = 0;
    auto observation = store.observe([&](AerivoStoreProperty property) {
        if (property == AerivoStoreProperty::snapshot) {
            ++snapshots;
        }
    });
    loop.advanceBy(Seconds(3.0 * 3600.0));
    EXPECT_EQ(snapshots, 3 * 1800);
    EXPECT_EQ(store.snapshot().updatedAt, loop.now());
    EXPECT_GE(store.snapshot().temperatureC, 58.0 - 15.0);
    EXPECT_LE(store.snapshot().temperatureC, 58.0 + 15.0);
    // Mock readings are not live: nothing enters the history.
    EXPECT_TRUE(store.thermalSamples().empty());
    // Without collaborators the helper is unavailable and login is off.
    EXPECT_EQ(store.helperHealth(), PrivilegedHelperHealth::unavailable());
    EXPECT_EQ(store.launchAtLoginStatus(), LoginItemStatus::disabled);
}

TEST(AerivoStoreConstruction, PublishesCollaboratorStateInitially) {
    StoreHarness harness;
    harness.helper->health.detail = "custom";
    harness.loginItem->currentStatus = LoginItemStatus::requiresApproval;
    auto store = harness.make(FanControlMode::curve);
    EXPECT_EQ(store->mode(), FanControlMode::curve);
    EXPECT_EQ(store->helperHealth().detail, "custom");
    EXPECT_EQ(harness.helper->healthReads, 1);
    EXPECT_EQ(store->launchAtLoginStatus(), LoginItemStatus::requiresApproval);
    EXPECT_EQ(harness.controller->capabilityReads, 1);
    EXPECT_EQ(store->thermalHistoryWindow(), ThermalHistoryWindow::thirtyMinutes);
    EXPECT_FALSE(store->hardwareProbeStatus());
    EXPECT_FALSE(store->launchAtLoginErrorMessage());
    EXPECT_FALSE(store->isCheckingForUpdates());
    EXPECT_FALSE(store->updateCheckResult());
    // One refresh during construction, which recorded the first live sample.
    EXPECT_EQ(harness.controller->snapshotCalls.size(), 1u);
    EXPECT_EQ(store->thermalSamples().size(), 1u);
    EXPECT_EQ(store->curveLeaseQueue().label(),
              std::string(AERIVO_BUNDLE_IDENTIFIER) + ".curve-lease");
}

TEST(AerivoStoreConstruction, UnsupportedHardwareForcesSystem) {
    StoreHarness harness;
    harness.controller->capabilities =
        FanHardwareCapabilities(0, std::nullopt, std::nullopt, std::nullopt, "No fan", {},
                                FanHardwareSupportStatus::unsupportedNoFan);
    ASSERT_TRUE(harness.controller->capabilities.isUnsupported());
    auto store = harness.make(FanControlMode::curve);
    EXPECT_EQ(store->mode(), FanControlMode::system);
    EXPECT_EQ(harness.controller->snapshotCalls.front().mode, FanControlMode::system);
    EXPECT_EQ(store->hardwareCapabilities(), harness.controller->capabilities);

    // Merely unavailable capabilities do not.
    StoreHarness unavailable;
    EXPECT_EQ(unavailable.make(FanControlMode::curve)->mode(), FanControlMode::curve);
}

TEST(AerivoStoreConstruction, HardwareRangeBecomesTheSpeedAxisWhenAsked) {
    {
        StoreHarness harness;
        harness.controller->capabilities = rangeCapabilities(1000.0, 5000.0);
        auto store = harness.make();
        EXPECT_EQ(store->profile().rpmAxis.minimum, 1000.0);
        EXPECT_EQ(store->profile().rpmAxis.maximum, 5000.0);
        for (const auto& point : store->profile().points) {
            EXPECT_GE(point.rpm, 1000.0);
            EXPECT_LE(point.rpm, 5000.0);
        }
        EXPECT_EQ(store->profile().points.back().rpm, 5000.0); // 6200 clamped
        // Applying the range is not a save.
        EXPECT_EQ(harness.defaults->count(), 0u);
    }
    for (const auto& capabilities :
         {rangeCapabilities(1000.0, std::nullopt), rangeCapabilities(std::nullopt, 5000.0)}) {
        StoreHarness harness;
        harness.controller->capabilities = capabilities;
        EXPECT_EQ(harness.make()->profile(), AerivoProfile::balanced());
    }
    StoreHarness notAsked;
    notAsked.controller->capabilities = rangeCapabilities(1000.0, 5000.0);
    EXPECT_EQ(
        notAsked.make(FanControlMode::system, AerivoProfile::balanced(), true, false)->profile(),
        AerivoProfile::balanced());
}

TEST(AerivoStoreConstruction, RetentionIsTheLongestWindow) {
    EXPECT_EQ(AerivoStore::thermalHistoryRetentionSeconds,
              duration(ThermalHistoryWindow::twentyFourHours).count());
    // One sample per two-second refresh covers exactly the retention.
    EXPECT_EQ(static_cast<double>(AerivoStore::thermalHistoryLimit) *
                  AerivoStore::snapshotRefreshInterval,
              AerivoStore::thermalHistoryRetentionSeconds);
}

TEST(AerivoStoreConstruction, NullControllerIsRefused) {
    ManualMainLoop loop;
    EXPECT_THROW(AerivoStore(loop, {}, std::nullopt), std::invalid_argument);
}

TEST(AerivoStoreConstruction, DroppingTheStoreStopsTheTimer) {
    StoreHarness harness;
    auto store = harness.make();
    harness.loop.advanceBy(Seconds(10.0));
    EXPECT_EQ(harness.controller->snapshotCalls.size(), 6u);
    EXPECT_EQ(harness.loop.activeTimerCount(), 1u);
    store.reset();
    EXPECT_EQ(harness.loop.activeTimerCount(), 0u);
    harness.loop.advanceBy(Seconds(60.0));
    EXPECT_EQ(harness.controller->snapshotCalls.size(), 6u);
}

TEST(AerivoStoreConstruction, LanguageIsLoadedAndSavedOnlyWithPreferences) {
    StoreHarness harness;
    harness.defaults->setString(AerivoPreferences::languageKey, "ja");
    auto store = harness.make();
    EXPECT_EQ(store->language(), AppLanguage::japanese);
    int languageChanges = 0;
    auto observation = store->observe([&](AerivoStoreProperty property) {
        if (property == AerivoStoreProperty::language) {
            ++languageChanges;
            EXPECT_EQ(store->language(), AppLanguage::spanish); // told after the change
        }
    });
    store->setLanguage(AppLanguage::spanish);
    EXPECT_EQ(languageChanges, 1);
    EXPECT_EQ(harness.defaults->string(AerivoPreferences::languageKey), "es");

    StoreHarness without;
    without.defaults->setString(AerivoPreferences::languageKey, "ja");
    auto unsaved = without.make(FanControlMode::system, AerivoProfile::balanced(), false);
    EXPECT_EQ(unsaved->language(), AppLanguage::english);
    unsaved->setLanguage(AppLanguage::korean);
    EXPECT_EQ(unsaved->language(), AppLanguage::korean);
    EXPECT_EQ(without.defaults->string(AerivoPreferences::languageKey), "ja");
}

} // namespace
} // namespace aerivo
