#pragma once

#include <algorithm>

namespace aerivo {

// A closed interval [lower, upper]; empty when lower > upper.
struct ClosedRange {
    double lower = 0.0;
    double upper = 0.0;

    bool isEmpty() const { return !(lower <= upper); }
    bool contains(double value) const { return lower <= value && value <= upper; }
    double clamp(double value) const { return std::min(std::max(value, lower), upper); }

    friend bool operator==(const ClosedRange&, const ClosedRange&) = default;
};

// Where one point may be moved: its temperature stays 1 °C short of its neighbours, its speed
// anywhere on the speed axis.
struct AerivoPointEditingBounds {
    ClosedRange temperature;
    ClosedRange rpm;

    friend bool operator==(const AerivoPointEditingBounds&,
                           const AerivoPointEditingBounds&) = default;
};

} // namespace aerivo
