#pragma once

namespace aerivo {

// One histogram bar, counted from the cold end.
struct ThermalDistributionBin {
    int index = 0;
    double lowerBound = 0.0;
    double upperBound = 0.0;
    int count = 0;
    // count divided by the largest count of the histogram (0 … 1).
    double normalizedCount = 0.0;

    int id() const { return index; }
    double midpoint() const { return (lowerBound + upperBound) / 2.0; }

    friend bool operator==(const ThermalDistributionBin&, const ThermalDistributionBin&) = default;
};

} // namespace aerivo
