#pragma once

#include "sim/model/SimModelPreset.h"

#include <cstdint>
#include <string>

namespace aerivo {

// The live state of one simulated fan. `target` is what FnTg reads: the system curve's target in
// mode 0, the last written target in mode 1 (followed clamped to the range). `actual` is the
// rotor speed without the measurement noise that FnAc adds.
struct SimFanState {
    SimFanDesign design;
    std::uint8_t mode = 0; // 0 = system, 1 = manual
    double target = 0;
    double actual = 0;
    double noise = 0;
    std::string lastWriter = "none";
    double lastWriteSeconds = 0;

    double measuredRPM() const { return actual + noise > 0 ? actual + noise : 0; }

    bool operator==(const SimFanState&) const = default;
};

} // namespace aerivo
