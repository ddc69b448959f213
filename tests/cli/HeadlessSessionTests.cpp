#include "app/cli/HeadlessSession.h"
#include "app/hardware/HardwareProbeLines.h"
#include "platform/services/InMemoryUserDefaults.h"
#include "tests/support/FakeFanHardwareController.h"
#include "tests/support/ManualMainLoop.h"
#include "tests/support/ManualSerialQueue.h"
#include "tests/support/ScriptedPrivilegedHelperClient.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace aerivo {
namespace {

using Lines = std::vector<std::string>;

class Headless : public ::testing::Test {
protected:
    Headless() {
        controller->clock = [this] { return loop.now(); };
        controller->capabilities = FanHardwareCapabilities(1, 1500.0, 5500.0, 2000.0, "SMC");
    }

    std::unique_ptr<HeadlessSession>
    start(std::optional<std::int64_t> limit, FanControlMode mode = FanControlMode::system,
          std::shared_ptr<PrivilegedHelperClient> helper = nullptr) {
        AerivoStoreCollaborators collaborators;
        collaborators.controller = controller;
        collaborators.helperClient = std::move(helper);
        return std::make_unique<HeadlessSession>(
            loop, std::move(collaborators), AerivoPreferences(defaults),
            [this](const std::string& line) { lines.push_back(line); },
            HeadlessSession::Options{limit, mode}, [this] { ++finishedCalls; }, queue);
    }
    // A helper that answers every request and passes every write requirement.
    std::shared_ptr<ScriptedPrivilegedHelperClient> readyHelper() {
        auto helper = std::make_shared<ScriptedPrivilegedHelperClient>();
        helper->health = PrivilegedHelperHealth::unavailable();
        for (bool* flag :
             {&helper->health.isSignatureValid, &helper->health.hasBlessMetadata,
              &helper->health.isPrivilegedInstallVerified, &helper->health.hasTrustedProvenance,
              &helper->health.hasHeartbeat, &helper->health.resetCommandAccepted,
              &helper->health.fanWritesEnabled}) {
            *flag = true;
        }
        return helper;
    }

    ManualMainLoop loop;
    std::shared_ptr<FakeFanHardwareController> controller =
        std::make_shared<FakeFanHardwareController>();
    std::shared_ptr<InMemoryUserDefaults> defaults = std::make_shared<InMemoryUserDefaults>();
    std::shared_ptr<ManualSerialQueue> queue =
        std::make_shared<ManualSerialQueue>(loop, AerivoStore::curveLeaseQueueLabel());
    Lines lines;
    int finishedCalls = 0;
};

TEST_F(Headless, OneLinePerRefreshUntilTheLimit) {
    const auto session = start(3);
    ASSERT_EQ(lines.size(), 1u); // the store's first refresh, during its construction
    EXPECT_FALSE(session->isFinished());
    controller->temperatureC = 71.25;
    loop.advanceBy(MainLoop::Seconds(2.0));
    loop.advanceBy(MainLoop::Seconds(2.0));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(finishedCalls, 1);
    EXPECT_TRUE(session->isFinished());
    // The store keeps ticking until the caller stops the loop, but nothing more is printed.
    loop.advanceBy(MainLoop::Seconds(10.0));
    EXPECT_EQ(lines.size(), 3u);
    EXPECT_EQ(finishedCalls, 1);
    EXPECT_EQ(session->refreshCount(), 3);

    const double target = session->store().profile().targetRPM(71.25);
    EXPECT_EQ(lines[2], "refresh=3 time=2001-01-01T00:00:04.000Z temperatureC=71.2 "
                        "source=PMU tdie1 live=true actualRPM=" +
                            probeValue(target) + " targetRPM=" + probeValue(target) +
                            " mode=System modeTitle=System curveTargetRPM=" + probeValue(target) +
                            " writePlan=helperRequired leaseInFlight=false");
    EXPECT_THAT(lines[0], ::testing::StartsWith("refresh=1 time=2001-01-01T00:00:00.000Z "
                                                "temperatureC=50.0 "));
}

TEST_F(Headless, WithoutLimitItRunsOn) {
    const auto session = start(std::nullopt);
    loop.advanceBy(MainLoop::Seconds(20.0));
    EXPECT_EQ(lines.size(), 11u);
    EXPECT_EQ(finishedCalls, 0);
    EXPECT_FALSE(session->isFinished());
}

TEST_F(Headless, LimitOfOnePrintsOnlyTheConstructionRefresh) {
    const auto session = start(1);
    EXPECT_EQ(lines.size(), 1u);
    EXPECT_TRUE(session->isFinished());
    // Told once the loop turns.
    EXPECT_EQ(finishedCalls, 0);
    loop.runUntilIdle();
    EXPECT_EQ(finishedCalls, 1);
}

TEST_F(Headless, UnsavedProfileTakesTheHardwareRangeAndSavedOneIsKept) {
    {
        const auto session = start(1);
        EXPECT_EQ(session->store().profile().rpmAxis.minimum, 1500.0);
        EXPECT_EQ(session->store().profile().rpmAxis.maximum, 5500.0);
        EXPECT_EQ(session->store().mode(), FanControlMode::system);
        // The helper, login item and update checker are the store's unavailable stand-ins.
        EXPECT_EQ(session->store().helperHealth(), PrivilegedHelperHealth::unavailable());
        EXPECT_EQ(session->store().launchAtLoginStatus(), LoginItemStatus::disabled);
    }
    AerivoProfile saved = AerivoProfile::balanced();
    saved.updateRPMAxis(800.0, 4000.0);
    ASSERT_TRUE(AerivoPreferences(defaults).saveProfile(saved).isSuccess);
    const auto session = start(1);
    EXPECT_EQ(session->store().profile().rpmAxis.minimum, 800.0);
    EXPECT_EQ(session->store().profile().rpmAxis.maximum, 4000.0);
}

TEST_F(Headless, EffectiveModeAndNonFiniteValuesInTheLine) {
    controller->nextSnapshot = [this] {
        return ThermalSnapshot{std::numeric_limits<double>::quiet_NaN(),
                               1800.0,
                               1800.0,
                               "two\nlines",
                               false,
                               loop.now()};
    };
    const auto session = start(1);
    EXPECT_EQ(lines[0], "refresh=1 time=2001-01-01T00:00:00.000Z temperatureC=nil "
                        "source=two lines live=false actualRPM=1800 targetRPM=1800 "
                        "mode=Safety preview modeTitle=Safety curveTargetRPM=5500 "
                        "writePlan=missingTelemetry leaseInFlight=false");
}

TEST_F(Headless, CurveModeWithoutAHelperStaysLockedAndSaysWhy) {
    const auto session = start(std::nullopt, FanControlMode::curve);
    loop.runUntilIdle();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_THAT(lines[1], ::testing::HasSubstr(" mode=Curve modeTitle=Curve "));
    EXPECT_THAT(lines[1], ::testing::HasSubstr(" writePlan=helperRequired "));
    EXPECT_THAT(lines[2], ::testing::StartsWith("status=Fan writes remain locked. Missing: "
                                                "signed privileged helper, "));
    loop.advanceBy(MainLoop::Seconds(10.0));
    EXPECT_EQ(lines.size(), 8u); // refresh lines only: nothing was sent
}

TEST_F(Headless, LeasesFanOffResetsAndTheQuitResetEachGetALine) {
    controller->capabilities = FanHardwareCapabilities(1, 1500.0, 5500.0, 2000.0, "SMC");
    AerivoProfile profile = AerivoProfile::balanced();
    profile.updateFanOffThresholdEnabled(true);
    profile.updateFanOffThreshold(45.0);
    ASSERT_TRUE(AerivoPreferences(defaults).saveProfile(profile).isSuccess);
    const auto helper = readyHelper();
    queue->setHolding(true);
    const auto session = start(std::nullopt, FanControlMode::curve, helper);
    loop.runUntilIdle();
    // The lease is in flight while the queue holds it.
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_THAT(lines[1], ::testing::EndsWith(" writePlan=writeCapable leaseInFlight=true"));
    queue->setHolding(false);
    queue->runHeld();
    loop.runUntilIdle();
    ASSERT_EQ(lines.size(), 3u);
    const double target = session->store().profile().targetRPM(50.0);
    EXPECT_EQ(lines[2], "lease=1 time=2001-01-01T00:00:00.000Z targetRPM=" + probeValue(target) +
                            " success=true message=Helper fan lease accepted.");

    controller->temperatureC = 44.0;
    loop.advanceBy(MainLoop::Seconds(2.0));
    ASSERT_EQ(lines.size(), 5u);
    // The reset happened during the refresh the next line sums up.
    EXPECT_EQ(lines[3], "reset=fanOffRange time=2001-01-01T00:00:02.000Z sent=true success=true "
                        "message=Helper reset accepted.");
    EXPECT_THAT(lines[4], ::testing::HasSubstr(" mode=System modeTitle=Fan off "));

    session->end();
    session->end();
    EXPECT_EQ(lines.back(), "reset=termination time=2001-01-01T00:00:02.000Z sent=true "
                            "success=true message=Helper reset accepted.");
    EXPECT_EQ(helper->count(ScriptedPrivilegedHelperClient::Action::reset), 2u);
}

TEST_F(Headless, TheQuitResetWithoutAHelperSendsNothing) {
    const auto session = start(1);
    session->end();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "reset=termination time=2001-01-01T00:00:00.000Z sent=false");
}

TEST(HeadlessArguments, ModeAndCurveFlags) {
    using Arguments = std::vector<std::string>;
    struct Row {
        Arguments arguments;
        std::optional<FanControlMode> mode;
        std::optional<std::int64_t> limit;
    };
    for (const Row& row : {
             Row{{"x", "--headless"}, FanControlMode::system, std::nullopt},
             Row{{"x", "--curve"}, FanControlMode::curve, std::nullopt},
             Row{{"x", "--mode", "curve", "--refreshes", "4"}, FanControlMode::curve, 4},
             Row{{"x", "--mode", "system"}, FanControlMode::system, std::nullopt},
             Row{{"x", "--curve", "--mode", "curve"}, FanControlMode::curve, std::nullopt},
             Row{{"x", "--mode", "Curve"}, std::nullopt, std::nullopt},
             Row{{"x", "--mode", "safety"}, std::nullopt, std::nullopt},
             Row{{"x", "--mode"}, std::nullopt, std::nullopt},
             Row{{"x", "--curve", "--mode", "system"}, std::nullopt, std::nullopt},
             Row{{"x", "--curve", "--refreshes", "0"}, std::nullopt, std::nullopt},
         }) {
        const auto parsed = HeadlessSession::parseArguments(row.arguments);
        const std::string name = ::testing::PrintToString(row.arguments);
        EXPECT_EQ(parsed.error.has_value(), !row.mode) << name;
        if (row.mode) {
            EXPECT_EQ(parsed.options.mode, *row.mode) << name;
            EXPECT_EQ(parsed.options.refreshLimit, row.limit) << name;
        }
    }
    EXPECT_EQ(HeadlessSession::parseArguments({"x", "--mode", "fast"}).error,
              "--mode needs system or curve");
}

TEST(HeadlessArguments, RefreshLimitMustBeAWholeNumberOfAtLeastOne) {
    using Arguments = std::vector<std::string>;
    EXPECT_FALSE(HeadlessSession::refreshLimitArgument({"AerivoMac", "--headless"}).limit);
    EXPECT_FALSE(HeadlessSession::refreshLimitArgument({"AerivoMac", "--headless"}).error);
    EXPECT_EQ(HeadlessSession::refreshLimitArgument(Arguments{"x", "--refreshes", "3"}).limit, 3);
    for (const Arguments& bad :
         {Arguments{"x", "--refreshes"}, Arguments{"x", "--refreshes", "0"},
          Arguments{"x", "--refreshes", "-2"}, Arguments{"x", "--refreshes", "2.5"},
          Arguments{"x", "--refreshes", "lots"}}) {
        const auto parsed = HeadlessSession::refreshLimitArgument(bad);
        EXPECT_FALSE(parsed.limit);
        EXPECT_TRUE(parsed.error);
    }
}

TEST(HeadlessTimestamps, UtcWithMilliseconds) {
    using namespace std::chrono;
    EXPECT_EQ(HeadlessSession::utcTimestamp(system_clock::time_point(seconds(1'800'000'000)) +
                                            milliseconds(250)),
              "2027-01-15T08:00:00.250Z");
    EXPECT_EQ(HeadlessSession::utcTimestamp(system_clock::time_point{}),
              "1970-01-01T00:00:00.000Z");
}

} // namespace
} // namespace aerivo
