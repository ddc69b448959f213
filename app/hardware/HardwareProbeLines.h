#pragma once

#include "app/hardware/FanHardwareCapabilities.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// The hardware-probe block, one key=value line per item, in this order: fanCount, minimumRPM,
// maximumRPM, currentRPM, range, detail (several lines for several fans), source, supportStatus,
// then five lines per fan (fan<index>Name, ...MinimumRPM, ...MaximumRPM, ...CurrentRPM,
// ...Source) and last, only when given, "fallback=" with the fallback status on one line.
// FanHardwareCapabilities::fromProbeOutput reads it back.
//
// Line breaks inside a value (a name or source) are written as spaces, so a value can never
// start a line of its own; the detail keeps only its own line breaks, one between fans.
std::vector<std::string>
hardwareProbeLines(const FanHardwareCapabilities& capabilities,
                   const std::optional<std::string>& fallbackStatus = std::nullopt);

// A speed as the probe lines carry it: "nil" when absent, not finite or beyond the 64-bit
// integer range; otherwise the nearest whole number (halves away from zero) in decimal.
std::string probeValue(std::optional<double> rpm);

// Every line break (CR, LF, VT, FF, NEL, U+2028, U+2029) replaced by a space, then white space
// trimmed from both ends.
std::string singleLine(std::string_view text);

// A flag as every key=value line prints it: "true" or "false".
inline std::string booleanText(bool value) {
    return value ? "true" : "false";
}

} // namespace aerivo
