#include "app/hardware/KnownMacFanCatalog.h"
#include "app/hardware/SMCFanHardwareController.h"
#include "app/model/MockFanHardwareController.h"
#include "shared/SMCValue.h"
#include "tests/support/FakeFanHardwareController.h"
#include "tests/support/FakeHIDEventSystem.h"
#include "tests/support/FakeIOKit.h"

#include <gtest/gtest.h>

namespace aerivo {
namespace {

using testing::FakeHIDEventSystem;
using testing::FakeIOKit;
using testing::FakeIOKitCallKind;
using Bytes = std::vector<std::uint8_t>;

const auto fixedTime = std::chrono::system_clock::time_point(std::chrono::seconds(1'800'000'000));

Bytes floatBytes(float speed) {
    return SMCValue{"F0Ac", "flt ", 4, {0, 0, 0, 0}}.replacingRPM(speed).bytes;
}

Bytes text(std::string_view value) {
    Bytes bytes(value.begin(), value.end());
    bytes.push_back(0);
    return bytes;
}

class SMCController : public ::testing::Test {
protected:
    void withSMC() { fake.addService("AppleSMCKeysEndpoint"); }
    void withModel(std::string_view identifier, std::string_view productName = "Mac") {
        fake.setRegistryProperty(RegistryEntry::deviceTreeRoot, "model", text(identifier));
        fake.setRegistryProperty(RegistryEntry::deviceTreeRoot, "product-name", text(productName));
    }
    void setFan(int index, std::optional<float> minimum, std::optional<float> maximum,
                std::optional<float> actual) {
        const std::string prefix = "F" + std::to_string(index);
        if (minimum) {
            fake.setKey(prefix + "Mn", "flt ", floatBytes(*minimum));
        }
        if (maximum) {
            fake.setKey(prefix + "Mx", "flt ", floatBytes(*maximum));
        }
        if (actual) {
            fake.setKey(prefix + "Ac", "flt ", floatBytes(*actual));
        }
    }

    // Built after the fake is scripted: the SMC opens and the model is read at construction.
    SMCFanHardwareController& controller() {
        if (!controller_) {
            auto fallbackController = std::make_unique<FakeFanHardwareController>();
            fallback = fallbackController.get();
            fallback->temperatureC = 41.0;
            fallback->isLive = false;
            fallback->clock = [] { return fixedTime - std::chrono::hours(1); };
            controller_ = std::make_unique<SMCFanHardwareController>(
                fake, hid, std::move(fallbackController), nullptr, [] { return fixedTime; });
        }
        return *controller_;
    }

    FakeIOKit fake;
    FakeHIDEventSystem hid;
    FakeFanHardwareController* fallback = nullptr;
    std::unique_ptr<SMCFanHardwareController> controller_;
};

TEST_F(SMCController, NoSMCAndNoCatalogEntryGivesTheFallbacksUnavailableCapabilities) {
    withModel("Mac15,9");
    const FanHardwareCapabilities capabilities = controller().readCapabilities();
    EXPECT_FALSE(controller().hasSMCClient());
    EXPECT_EQ(capabilities, FanHardwareCapabilities::unavailable());
    EXPECT_EQ(capabilities.source, "Hardware range unavailable");
    EXPECT_EQ(fallback->capabilityReads, 1);
}

TEST_F(SMCController, NoSMCOnMac17_2UsesTheBuiltInPreset) {
    withModel("Mac17,2");
    const FanHardwareCapabilities capabilities = controller().readCapabilities();
    EXPECT_EQ(capabilities.source, KnownMacFanCatalog::presetSource);
    EXPECT_EQ(capabilities.minimumRPM, 2500.0);
    EXPECT_EQ(capabilities.maximumRPM, 6550.0);
    EXPECT_EQ(capabilities.supportStatus, FanHardwareSupportStatus::supported);
}

TEST_F(SMCController, SMCWithoutRangeKeysOnMac17_2IsReplacedByThePreset) {
    withSMC();
    withModel("Mac17,2");
    fake.setKey("FNum", "ui8 ", {1});
    setFan(0, std::nullopt, std::nullopt, 2400); // minimum and maximum keys fail
    EXPECT_EQ(controller().readCapabilities(),
              *KnownMacFanCatalog::fallbackCapabilities({"Mac17,2", "Mac"}));
    // The fallback is only asked when there is no SMC client.
    EXPECT_EQ(fallback->capabilityReads, 0);
}

TEST_F(SMCController, SMCRangeWinsAndFanCountZeroIsNeverOverridden) {
    withSMC();
    withModel("Mac17,2");
    fake.setKey("FNum", "ui8 ", {1});
    setFan(0, 1800, 5900, 2000);
    FanHardwareCapabilities capabilities = controller().readCapabilities();
    EXPECT_EQ(capabilities.minimumRPM, 1800.0);
    EXPECT_EQ(capabilities.maximumRPM, 5900.0);
    EXPECT_NE(capabilities.source, KnownMacFanCatalog::presetSource);

    fake.setKey("FNum", "ui8 ", {0});
    capabilities = controller().readCapabilities();
    EXPECT_EQ(capabilities.supportStatus, FanHardwareSupportStatus::unsupportedNoFan);
    EXPECT_EQ(capabilities.fanCount, 0);
}

TEST_F(SMCController, FanlessAirRuleAppliesOnlyWhenTheSMCGaveNoRange) {
    withSMC();
    withModel("MacBookAir10,1", "MacBook Air (M1, 2020)");
    fake.setKey("FNum", "ui8 ", {1});
    setFan(0, 1200, 5000, 1300);
    const FanHardwareCapabilities withRange = controller().readCapabilities();
    EXPECT_EQ(withRange.supportStatus, FanHardwareSupportStatus::supported);
    EXPECT_EQ(withRange.maximumRPM, 5000.0);

    fake.removeKey("F0Mx");
    const FanHardwareCapabilities withoutRange = controller().readCapabilities();
    EXPECT_EQ(withoutRange.supportStatus, FanHardwareSupportStatus::unsupportedNoFan);
    EXPECT_EQ(withoutRange.source, KnownMacFanCatalog::fanlessSource);
}

TEST_F(SMCController, SnapshotUsesLiveSourcesAndTargetsByMode) {
    withSMC();
    withModel("Mac15,9");
    fake.setKey("FNum", "ui8 ", {1});
    setFan(0, 1000, 7000, 1850);
    hid.add("PMU tdie1", 66.0);
    AerivoProfile profile = AerivoProfile::balanced();
    profile.rpmAxis.minimum = 0;
    profile.rpmAxis.maximum = 7000;
    const ThermalSnapshot previous = ThermalSnapshot::initial();

    const ThermalSnapshot system =
        controller().readSnapshot(profile, FanControlMode::system, previous);
    EXPECT_EQ(system.temperatureC, 66.0);
    EXPECT_EQ(system.actualRPM, 1850.0);
    EXPECT_EQ(system.targetRPM, 1850.0);
    EXPECT_EQ(system.temperatureSource, "IOHID PMU max (PMU tdie1)");
    EXPECT_TRUE(system.hasLiveTemperatureTelemetry);
    EXPECT_EQ(system.updatedAt, fixedTime);

    EXPECT_EQ(controller().readSnapshot(profile, FanControlMode::curve, previous).targetRPM,
              profile.targetRPM(66.0));
    for (const double temperature : {20.0, 66.0, 120.0}) {
        hid.services[0].value = temperature;
        EXPECT_EQ(controller().readSnapshot(profile, FanControlMode::safety, previous).targetRPM,
                  7000.0);
    }
    // The fallback is always asked, with the same arguments.
    ASSERT_EQ(fallback->snapshotCalls.size(), 5u);
    EXPECT_EQ(fallback->snapshotCalls[1].mode, FanControlMode::curve);
    EXPECT_EQ(fallback->snapshotCalls[1].previous, previous);
}

TEST_F(SMCController, EachSnapshotFieldFallsBackOnItsOwn) {
    // SMC but no sensors: the real fan speed, the fallback's temperature and flag.
    withSMC();
    fake.setKey("FNum", "ui8 ", {1});
    setFan(0, 1000, 5000, 2222);
    const AerivoProfile profile = AerivoProfile::balanced();
    ThermalSnapshot snapshot =
        controller().readSnapshot(profile, FanControlMode::curve, ThermalSnapshot::initial());
    EXPECT_EQ(snapshot.actualRPM, 2222.0);
    EXPECT_EQ(snapshot.temperatureC, 41.0);
    EXPECT_EQ(snapshot.temperatureSource, "Fallback");
    EXPECT_FALSE(snapshot.hasLiveTemperatureTelemetry);
    EXPECT_EQ(snapshot.targetRPM, profile.targetRPM(41.0));

    // An unreadable F0Ac gives the fallback's fan speed.
    fake.key("F0Ac").readResult = FakeIOKit::unknownKeyResult;
    snapshot =
        controller().readSnapshot(profile, FanControlMode::system, ThermalSnapshot::initial());
    EXPECT_EQ(snapshot.actualRPM, profile.targetRPM(41.0)); // the fake's fan speed
    EXPECT_EQ(snapshot.targetRPM, snapshot.actualRPM);
}

TEST_F(SMCController, SensorsWithoutSMCShowTheRealTemperatureAndTheFallbackFanSpeed) {
    hid.add("PMU tdev2", 52.0);
    const AerivoProfile profile = AerivoProfile::balanced();
    const ThermalSnapshot snapshot =
        controller().readSnapshot(profile, FanControlMode::system, ThermalSnapshot::initial());
    EXPECT_EQ(snapshot.temperatureC, 52.0);
    EXPECT_TRUE(snapshot.hasLiveTemperatureTelemetry);
    EXPECT_EQ(snapshot.actualRPM, profile.targetRPM(41.0));
}

TEST_F(SMCController, ReportsWithoutSMCOrSensorsAreSingleUnavailableLines) {
    EXPECT_EQ(controller().smcDebugReport(), std::vector<std::string>{"smcService=unavailable"});
    EXPECT_EQ(controller().smcFanControlKeyDebugReport(),
              std::vector<std::string>{"smcFanControlKeyProbe=unavailable"});
    EXPECT_EQ(controller().temperatureDebugReport(),
              std::vector<std::string>{"temperatureTelemetry=unavailable"});
}

TEST_F(SMCController, NeverWritesAndClosesItsConnection) {
    withSMC();
    fake.setKey("FNum", "ui8 ", {1});
    setFan(0, 1000, 5000, 2000);
    hid.add("PMU tdie1", 50.0);
    controller().readCapabilities();
    controller().readSnapshot(AerivoProfile::balanced(), FanControlMode::curve,
                              ThermalSnapshot::initial());
    controller().smcDebugReport();
    controller().smcFanControlKeyDebugReport();
    EXPECT_TRUE(fake.smcInputs(SMCCommand::writeBytes).empty());
    EXPECT_EQ(fake.openConnectionCount(), 1u);
    controller_.reset();
    EXPECT_EQ(fake.openConnectionCount(), 0u);
    EXPECT_EQ(fake.unreleasedServiceCount(), 0u);
}

TEST(SMCControllerDefaults, MockFallbackWithoutHardware) {
    FakeIOKit fake;
    FakeHIDEventSystem hid;
    SMCFanHardwareController controller(fake, hid);
    EXPECT_EQ(controller.readCapabilities(), FanHardwareCapabilities::unavailable());
    const ThermalSnapshot snapshot = controller.readSnapshot(
        AerivoProfile::balanced(), FanControlMode::system, ThermalSnapshot::initial());
    EXPECT_EQ(snapshot.temperatureSource, MockFanHardwareController::temperatureSource);
    EXPECT_FALSE(snapshot.hasLiveTemperatureTelemetry);
}

} // namespace
} // namespace aerivo
