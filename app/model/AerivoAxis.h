#pragma once

#include <string>

namespace aerivo {

// The range and labels of one curve axis.
struct AerivoAxis {
    std::string title;
    std::string unit;
    double minimum = 0.0;
    double maximum = 0.0;

    // Never below 1, so positions along the axis can always be divided by it.
    double span() const;

    // Lower bound first, so an inverted axis (minimum > maximum) pins every value to maximum.
    // NaN is taken as the lower end, so a clamped value is always a number when the axis is.
    double clamped(double value) const;

    // True when clamping leaves the value where it is.
    bool contains(double value) const { return clamped(value) == value; }

    friend bool operator==(const AerivoAxis&, const AerivoAxis&) = default;
};

} // namespace aerivo
