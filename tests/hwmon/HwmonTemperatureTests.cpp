// hwmon temperature sensors as the HID temperature services the telemetry reads.

#include "app/telemetry/HIDTemperatureTelemetryClient.h"
#include "platform/hwmon/HwmonHIDEventSystem.h"
#include "tests/support/FakeHwmonTree.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
    EXPECT_THAT(telemetry.debugReport(),
                ::testing::ElementsAre(
                    "temperatureTelemetry=IOHID sensors=7",
                    // Processor sensors win over the hotter battery.
                    "temperaturePrimary=64 C source=IOHID PMU max (PMU tdev3)",
                    "PMU tdev3: 64 C processor", "PMU tdie1: 61 C processor", "Battery: 70 C other",
                    "Composite [31m: 42 C other", "macsmc_hwmon temp10: nil other",
                    "macsmc_hwmon temp11: nil other", "macsmc_hwmon temp4: 48 C other"));
    // Other usage pairs match nothing.
    const auto others = hid.copyServices(0xFF00, 6);
    ASSERT_TRUE(others);
    EXPECT_TRUE(others->empty());
}

} // namespace
} // namespace aerivo
