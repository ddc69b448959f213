#include "app/cli/HeadlessSession.h"
#include "app/hardware/HardwareProbeLines.h"
#include "platform/InMemoryUserDefaults.h"
#include "tests/support/FakeFanHardwareController.h"
#include "tests/support/ManualMainLoop.h"
#include "tests/support/ManualSerialQueue.h"

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

    std::unique_ptr<HeadlessSession> start(std::optional<std::int64_t> limit) {
        return std::make_unique<HeadlessSession>(
            loop, controller, AerivoPreferences(defaults),
            [this](const std::string& line) { lines.push_back(line); }, limit,
            [this] { ++finishedCalls; },
            std::make_unique<ManualSerialQueue>(loop, AerivoStore::curveLeaseQueueLabel()));
    }

    ManualMainLoop loop;
    std::shared_ptr<FakeFanHardwareController> controller =
        std::make_shared<FakeFanHardwareController>();
    std::shared_ptr<InMemoryUserDefaults> defaults = std::make_shared<InMemoryUserDefaults>();
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
                            " mode=System");
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

TEST_F(Headless, LimitOfOneFinishesDuringConstruction) {
    const auto session = start(1);
    EXPECT_EQ(lines.size(), 1u);
    EXPECT_EQ(finishedCalls, 1);
    EXPECT_TRUE(session->isFinished());
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
                        "mode=Safety preview");
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
