// The product's own readers against each simulated model, in-process.

#include "app/hardware/KnownMacFanCatalog.h"
#include "app/hardware/MacHardwareModel.h"
#include "app/hardware/SMCReadOnlyClient.h"
#include "tests/support/SimulatedMacHIDEventSystem.h"
#include "tests/support/SimulatedMacIOKit.h"

#include <gtest/gtest.h>

namespace aerivo {
namespace {

using testing::SimulatedMacIOKit;

struct ModelRig {
    explicit ModelRig(std::string_view model)
        : machine(*simModelPreset(model), 3), io(machine, "app", false) {}

    SimulatedMac machine;
    SimulatedMacIOKit io;
};

TEST(SimulatedModelsThroughTheReadOnlyClient, TwoFanLaptopReportsBothRanges) {
    ModelRig rig("laptop-2fan");
    auto client = SMCReadOnlyClient::create(rig.io);
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(client->serviceClassName(), "AppleSMCKeysEndpoint");
    const FanHardwareCapabilities capabilities = client->readFanCapabilities();
    EXPECT_EQ(capabilities.supportStatus, FanHardwareSupportStatus::supported);
    ASSERT_EQ(capabilities.fans.size(), 2u);
    EXPECT_EQ(capabilities.fans[0].minimumRPM, 1200);
    EXPECT_EQ(capabilities.fans[0].maximumRPM, 6000);
    EXPECT_EQ(capabilities.fans[1].minimumRPM, 1000);
    EXPECT_EQ(capabilities.fans[1].maximumRPM, 5500);
    EXPECT_TRUE(capabilities.hasLiveRPMReadback());
    const auto report = client->debugFanKeyReport();
    EXPECT_EQ(report.front(), "smcService=AppleSMCKeysEndpoint");
    client.reset();
    // Every service was released and the connection closed.
    EXPECT_EQ(rig.machine.heldObjectCount(rig.io.session()), 0u);
    EXPECT_EQ(rig.machine.openConnectionCount(rig.io.session()), 0u);
}

TEST(SimulatedModelsThroughTheReadOnlyClient, Mac17TwoHasNoRangeKeysAndGetsTheCatalogPreset) {
    ModelRig rig("mac17-2");
    auto client = SMCReadOnlyClient::create(rig.io);
    ASSERT_NE(client, nullptr);
    const FanHardwareCapabilities capabilities = client->readFanCapabilities();
    ASSERT_EQ(capabilities.fans.size(), 1u);
    EXPECT_FALSE(capabilities.fans[0].minimumRPM.has_value());
    EXPECT_FALSE(capabilities.fans[0].maximumRPM.has_value());
    EXPECT_TRUE(capabilities.fans[0].currentRPM.has_value());
    const MacHardwareModel model = MacHardwareModel::current(rig.io);
    EXPECT_EQ(model.identifier, "Mac17,2");
    const auto fallback = KnownMacFanCatalog::fallbackCapabilities(model);
    ASSERT_TRUE(fallback.has_value());
    EXPECT_EQ(fallback->minimumRPM, 2500);
}

TEST(SimulatedModelsThroughTheReadOnlyClient, FanlessAirFpe2AndNoEndpointModels) {
    ModelRig air("air-fanless");
    auto airClient = SMCReadOnlyClient::create(air.io);
    ASSERT_NE(airClient, nullptr);
    EXPECT_EQ(airClient->readFanCapabilities().supportStatus,
              FanHardwareSupportStatus::unsupportedNoFan);
    const MacHardwareModel airModel = MacHardwareModel::current(air.io);
    ASSERT_TRUE(airModel.identifier.has_value());
    EXPECT_TRUE(airModel.identifier->starts_with("MacBookAir"));
    EXPECT_TRUE(KnownMacFanCatalog::fallbackCapabilities(airModel).has_value());

    ModelRig legacy("legacy-fpe2");
    auto legacyClient = SMCReadOnlyClient::create(legacy.io);
    ASSERT_NE(legacyClient, nullptr);
    const FanHardwareCapabilities legacyCapabilities = legacyClient->readFanCapabilities();
    ASSERT_EQ(legacyCapabilities.fans.size(), 2u);
    EXPECT_EQ(legacyCapabilities.fans[0].minimumRPM, 1300);
    EXPECT_EQ(legacyCapabilities.fans[1].maximumRPM, 5300);

    ModelRig noEndpoint("no-endpoint");
    auto fallbackClient = SMCReadOnlyClient::create(noEndpoint.io);
    ASSERT_NE(fallbackClient, nullptr);
    EXPECT_EQ(fallbackClient->serviceClassName(), "AppleSMC");
    EXPECT_EQ(fallbackClient->readFanCapabilities().source, "AppleSMC read-only");
    const auto matrix = SMCReadOnlyClient::debugConnectionMatrix(noEndpoint.io);
    EXPECT_NE(std::find(matrix.begin(), matrix.end(), "  type=0 open=notPermitted(-536870174)"),
              matrix.end());
}

TEST(SimulatedModelsThroughTheHIDEventSystem, ServicesAnswerOnlyTheTemperatureEvent) {
    ModelRig rig("desktop-1fan");
    testing::SimulatedMacHIDEventSystem hid(rig.machine);
    const auto services = hid.copyServices(0xFF00, 5);
    ASSERT_TRUE(services.has_value());
    int dieSensors = 0;
    for (const HIDServiceHandle service : *services) {
        const auto product = hid.copyStringProperty(service, "Product");
        EXPECT_FALSE(hid.copyStringProperty(service, "Manufacturer").has_value());
        EXPECT_FALSE(hid.copyEventFloatValue(service, 15, 0).has_value());
        if (product && product->starts_with("PMU tdie") && *product != "PMU tdie0") {
            ++dieSensors;
            EXPECT_TRUE(hid.copyEventFloatValue(service, 15, 0xF0000).has_value());
        }
    }
    EXPECT_EQ(dieSensors, 8);
    EXPECT_EQ(hid.copyServices(-1, 5), std::vector<HIDServiceHandle>{});
}

} // namespace
} // namespace aerivo
