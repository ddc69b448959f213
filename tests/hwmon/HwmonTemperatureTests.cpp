// hwmon temperature sensors as the HID temperature services the telemetry reads.

#include "app/telemetry/HIDTemperatureTelemetryClient.h"
#include "platform/hwmon/HwmonHIDEventSystem.h"
#include "tests/support/FakeHwmonTree.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

namespace aerivo {
namespace {

using testing::FakeHwmonTree;

TEST(HwmonSensorLabels, OddCharactersAreMadeSafe) {
    const std::vector<std::pair<std::string, std::string>> labels{
        {"PMU tdie1", "PMU tdie1"},
        {"  CPU\tcore\x01  2\r\n", "CPU core 2"},
        {"\xFF\xFEGPU \xC3\x28"
         "die",
         "GPU (die"},                            // invalid UTF-8 bytes become spaces
        {"Ba\xE2\x80\xA8ttery\x7F", "Ba ttery"}, // U+2028 and DEL
        {"Kühler 温度", "Kühler 温度"},
        {std::string(70, 'A'), std::string(64, 'A')},
        {std::string(63, 'A') + "é", std::string(63, 'A')}, // never cut inside a character
        {"\n\t ", ""},
    };
    for (const auto& [label, product] : labels) {
        EXPECT_EQ(HwmonDevice::safeLabel(label), product) << label;
    }
}

TEST(HwmonSensors, EverySensorOfEveryDeviceIsAServiceWithItsLabelAsProduct) {
    FakeHwmonTree tree;
    const auto nvme = tree.addOther(0, "nvme");
    FakeHwmonTree::set(nvme, "temp1_input", "41850");
    FakeHwmonTree::set(nvme, "temp1_label", "Composite\n\x1B[31m");
    const auto smc = tree.macsmcLaptop(1, false);
    FakeHwmonTree::set(smc, "temp10_input", "200000"); // out of range: no temperature
    FakeHwmonTree::set(smc, "temp11_input", "warm");   // not a number: no event
    FakeHwmonTree::set(smc, "temp11_label", "\x01\x02");

    HwmonHIDEventSystem hid(tree.root());
    HIDTemperatureTelemetryClient telemetry(hid);
    EXPECT_THAT(
        telemetry.debugReport(),
        ::testing::ElementsAre("temperatureTelemetry=IOHID sensors=7",
                               "temperaturePrimary=44 C source=IOHID board (NAND Flash "
                               "Temperature)",
                               "Battery Hotspot: 51 C other", "Charge Regulator Temp: 47 C other",
                               "Composite [31m: 42 C other", "NAND Flash Temperature: 44 C other",
                               "WiFi/BT Module Temp: 41 C other", "macsmc_hwmon temp10: nil other",
                               "macsmc_hwmon temp11: nil other"));
    // Other usage pairs match nothing.
    const auto others = hid.copyServices(0xFF00, 6);
    ASSERT_TRUE(others);
    EXPECT_TRUE(others->empty());
}

// The curve's sensor over the label sets the drivers really give: macsmc's device-tree labels
// (no processor sensor in mainline), the battery's "temp" beside them, applesmc's raw SMC keys.
TEST(HwmonCurveSensor, FollowsTheChoiceThenProcessorThenBoardPriorityAndAvoidsBatteries) {
    struct Row {
        const char* name;
        std::function<void(FakeHwmonTree&)> build;
        std::optional<std::string> chosen;
        std::string source;
    };
    const auto appleSilicon = [](FakeHwmonTree& tree) {
        tree.addMacSMCPowerSupplies(0, 1);
        tree.macsmcLaptop(2, true);
    };
    const std::vector<Row> rows{
        {"Apple Silicon: the NAND sensor, not the hotter battery", appleSilicon, std::nullopt,
         "IOHID board (NAND Flash Temperature)"},
        {"Apple Silicon without the NAND sensor: the next board sensor",
         [&](FakeHwmonTree& tree) {
             appleSilicon(tree);
             FakeHwmonTree::remove(tree.root() / "sys/class/hwmon/hwmon2", "temp1_input");
         },
         std::nullopt, "IOHID board (Charge Regulator Temp)"},
        {"a chosen sensor wins", appleSilicon, "WiFi/BT Module Temp",
         "IOHID chosen (WiFi/BT Module Temp)"},
        {"a chosen sensor that is not there: the priority", appleSilicon, "CPU die",
         "IOHID board (NAND Flash Temperature)"},
        {"Intel: the CPU key, not the hotter battery key",
         [](FakeHwmonTree& tree) {
             FakeHwmonTree::setReadOnly(tree.applesmcLaptop(0), "temp2_input", "60000");
         },
         std::nullopt, "IOHID PMU max (TC0P)"},
        {"no board sensor: the hottest that is not a battery",
         [](FakeHwmonTree& tree) {
             tree.addMacSMCPowerSupplies(0, 1);
             FakeHwmonTree::set(tree.addOther(2, "nvme"), "temp1_input", "30000");
         },
         std::nullopt, "IOHID temperature max (nvme temp1)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeHwmonTree tree;
        row.build(tree);
        HwmonHIDEventSystem hid(tree.root());
        HIDTemperatureTelemetryClient telemetry(hid, row.chosen);
        const auto primary = telemetry.readPrimaryTemperature();
        ASSERT_TRUE(primary);
        EXPECT_EQ(primary->source, row.source);
    }
}

} // namespace
} // namespace aerivo
