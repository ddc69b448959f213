#include "sim/model/SimModelPreset.h"

namespace aerivo {

namespace {

SimModelPreset laptop() {
    SimModelPreset preset;
    preset.name = "laptop-2fan";
    preset.identifier = "Mac15,9";
    preset.productName = "MacBook Pro (16-inch, Nov 2023)";
    preset.fans = {SimFanDesign{1200, 6000, 45, 85}, SimFanDesign{1000, 5500, 48, 88}};
    return preset;
}

} // namespace

std::optional<SimModelPreset> simModelPreset(std::string_view name) {
    if (name == "laptop-2fan") {
        return laptop();
    }
    if (name == "desktop-1fan") {
        SimModelPreset preset = laptop();
        preset.name = "desktop-1fan";
        preset.identifier = "Mac14,13";
        preset.productName = "Mac Studio (2023)";
        preset.fans = {SimFanDesign{1000, 4000, 50, 90}};
        preset.processorDieSensors = 8;
        preset.processorDeviceSensors = 8;
        preset.heatCapacityJPerK = 40;
        preset.passiveConductanceWPerK = 0.30;
        preset.fanConductanceWPerK = 0.56;
        return preset;
    }
    if (name == "mac17-2") {
        SimModelPreset preset = laptop();
        preset.name = "mac17-2";
        preset.identifier = "Mac17,2";
        preset.productName = "MacBook Pro (14-inch, 2025)";
        preset.fans = {SimFanDesign{2500, 6550, 45, 85}};
        preset.hasRangeKeys = false;
        preset.passiveConductanceWPerK = 0.10;
        preset.fanConductanceWPerK = 0.90;
        return preset;
    }
    if (name == "air-fanless") {
        SimModelPreset preset = laptop();
        preset.name = "air-fanless";
        preset.identifier = "MacBookAir10,1";
        preset.productName = "MacBook Air (M1, 2020)";
        preset.fans = {};
        preset.processorDieSensors = 4;
        preset.processorDeviceSensors = 2;
        preset.passiveConductanceWPerK = 0.45;
        preset.fanConductanceWPerK = 0;
        preset.loadPowerW = 20;
        return preset;
    }
    if (name == "legacy-fpe2") {
        SimModelPreset preset = laptop();
        preset.name = "legacy-fpe2";
        preset.identifier = "MacBookPro16,1";
        preset.productName = "MacBook Pro (16-inch, 2019)";
        preset.fans = {SimFanDesign{1300, 5800, 45, 85}, SimFanDesign{1200, 5300, 48, 88}};
        preset.speedEncoding = SimSpeedEncoding::fpe2;
        return preset;
    }
    if (name == "no-endpoint") {
        SimModelPreset preset = laptop();
        preset.name = "no-endpoint";
        preset.identifier = "Mac14,10";
        preset.productName = "MacBook Pro (16-inch, 2023)";
        preset.endpointOpens = false;
        return preset;
    }
    return std::nullopt;
}

} // namespace aerivo
