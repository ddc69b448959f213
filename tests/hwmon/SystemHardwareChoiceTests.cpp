// Which backend a process gets, and which processes may write through hwmon.

#include "helper/core/SMCProbeClient.h"
#include "platform/hardware/SystemHardware.h"
#include "platform/hwmon/write/HwmonFanWriter.h"
#include "tests/support/FakeHwmonTree.h"

#include <gtest/gtest.h>

namespace aerivo {
namespace {

using testing::FakeHwmonTree;

TEST(SystemHardwareChoice, HwmonWhenASupportedDriverIsThereOtherwiseNone) {
    const std::vector<std::pair<std::function<void(FakeHwmonTree&)>, std::string>> roots{
        {[](FakeHwmonTree& tree) {
             tree.addOther(0, "nvme");
             tree.macsmcLaptop(3, true);
         },
         "hwmon macsmc_hwmon /sys/class/hwmon/hwmon3"},
        {[](FakeHwmonTree& tree) { tree.applesmcLaptop(0); },
         "hwmon applesmc /sys/class/hwmon/hwmon0"},
        // The battery and AC devices registered before the SMC's are not the SMC.
        {[](FakeHwmonTree& tree) {
             tree.addMacSMCPowerSupplies(0, 1);
             tree.macsmcLaptop(2, true);
         },
         "hwmon macsmc_hwmon /sys/class/hwmon/hwmon2"},
        {[](FakeHwmonTree& tree) { tree.addMacSMCPowerSupplies(0, 1); }, "none"},
        {[](FakeHwmonTree& tree) { tree.addOther(0, "coretemp"); }, "none"},
        {[](FakeHwmonTree&) {}, "none"},
    };
    for (const auto& [build, description] : roots) {
        FakeHwmonTree tree;
        build(tree);
        const SystemHardware hardware = SystemHardware::forPaths(SystemPaths(tree.root()));
        EXPECT_EQ(hardware.description, description);
        ASSERT_NE(hardware.ioKit, nullptr);
        ASSERT_NE(hardware.eventSystem, nullptr);
        // The SMC class a Mac with that driver has opens; with none, no class does.
        const bool opens = hardware.ioKit->matchingService("AppleSMCKeysEndpoint") != 0 ||
                           hardware.ioKit->matchingService("AppleSMC") != 0;
        EXPECT_EQ(opens, description != "none") << description;
    }
}

TEST(SystemHardwareChoice, OnlyAPortGivenTheWriterWrites) {
    FakeHwmonTree tree;
    tree.applesmcLaptop(0);
    for (const bool helper : {false, true}) {
        SCOPED_TRACE(helper ? "helper" : "app");
        const SystemHardware hardware = SystemHardware::forPaths(
            SystemPaths(tree.root()), helper ? HwmonFanWriter::factory() : HwmonFanWriterFactory{});
        auto client = SMCProbeClient::open(*hardware.ioKit);
        ASSERT_NE(client, nullptr);
        const FanTargetWriteResult result = client->writeValue(SMCValue{"F0md", "ui8 ", 1, {1}});
        EXPECT_EQ(result.kernelResult, helper ? kIOReturnSuccess : kIOReturnNotPrivileged);
        EXPECT_EQ(
            FakeHwmonTree::get(tree.root() / "sys/devices/platform/applesmc.768", "fan1_manual"),
            helper ? "1" : "0");
    }
}

TEST(SystemHardwareChoice, OnlyAnImageInsideThePrivilegedHelperToolsFolderMayWrite) {
    const SystemPaths paths("/tmp/aerivo-root");
    const std::vector<std::pair<std::optional<std::string>, bool>> images{
        {"/tmp/aerivo-root/Library/PrivilegedHelperTools/com.aerivo.mac.Helper", true},
        {"/tmp/aerivo-root/Library/PrivilegedHelperTools/../com.aerivo.mac.Helper", false},
        {"/tmp/aerivo-root/Library/PrivilegedHelperToolsX/com.aerivo.mac.Helper", false},
        {"/tmp/aerivo-root/Library/PrivilegedHelperTools", false},
        {"/usr/bin/AerivoMac", false},
        {std::nullopt, false},
    };
    for (const auto& [image, privileged] : images) {
        EXPECT_EQ(SystemHardware::isPrivilegedHelperImage(paths, image), privileged)
            << image.value_or("none");
    }
}

} // namespace
} // namespace aerivo
