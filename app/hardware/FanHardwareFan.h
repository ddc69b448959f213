#pragma once

#include <optional>
#include <string>

namespace aerivo {

// One fan as the SMC numbers it (index from 0), with its hardware speed range and last measured
// speed in revolutions per minute. Any speed may be absent when its read failed.
struct FanHardwareFan {
    int index = 0;
    std::string displayName; // "Fan 0", ...
    std::optional<double> minimumRPM;
    std::optional<double> maximumRPM;
    std::optional<double> currentRPM;
    std::string source; // where the values came from

    // Both ends present and minimum < maximum (so never true for NaN ends).
    bool hasRPMAxis() const;
    // "<min> - <max>" or "Unavailable".
    std::string rangeText() const;
    // "<name>: <range>" followed by ", <current> now" when the current speed is known.
    std::string detailText() const;
    // minimum + clamp(fraction, 0, 1) * (maximum - minimum) when the fan has an axis; nothing
    // for a NaN fraction.
    std::optional<double> targetRPM(double linkedFraction) const;

    friend bool operator==(const FanHardwareFan&, const FanHardwareFan&) = default;
};

} // namespace aerivo
