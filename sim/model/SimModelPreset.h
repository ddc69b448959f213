#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// One fan of a simulated machine: its hardware range and the temperatures between which the
// simulated system's own curve ramps it from minimum to maximum.
struct SimFanDesign {
    double minimumRPM = 0;
    double maximumRPM = 0;
    double systemCurveLowC = 45;
    double systemCurveHighC = 85;

    bool operator==(const SimFanDesign&) const = default;
};

// Which encoding the speed keys (FnAc, FnTg, FnMn, FnMx) use.
enum class SimSpeedEncoding { float32, fpe2 };

// A machine the simulator can play: identity, fans, SMC quirks and the thermal constants.
struct SimModelPreset {
    std::string name;
    std::string identifier;  // device-tree "model"
    std::string productName; // device-tree "product-name"
    std::vector<SimFanDesign> fans;
    SimSpeedEncoding speedEncoding = SimSpeedEncoding::float32;
    bool hasRangeKeys = true;  // FnMn / FnMx present in the key table
    bool endpointOpens = true; // "AppleSMCKeysEndpoint" opens a type-0 user client
    int processorDieSensors = 6;
    int processorDeviceSensors = 4;
    // Thermal constants: die heat capacity (J/K), conductance to ambient with the fans stopped
    // and the extra conductance all fans give together at full speed (W/K), workload powers (W).
    double heatCapacityJPerK = 20;
    double passiveConductanceWPerK = 0.25;
    double fanConductanceWPerK = 1.0;
    double idlePowerW = 5;
    double loadPowerW = 33;

    bool operator==(const SimModelPreset&) const = default;
};

inline constexpr std::array<std::string_view, 6> allSimModelPresetNames{
    "laptop-2fan", "desktop-1fan", "mac17-2", "air-fanless", "legacy-fpe2", "no-endpoint"};

inline constexpr std::string_view defaultSimModelPresetName = "laptop-2fan";

// The preset of that exact name, or nothing.
std::optional<SimModelPreset> simModelPreset(std::string_view name);

} // namespace aerivo
