#pragma once

#include "app/model/AerivoAxis.h"
#include "app/telemetry/ThermalDistributionBin.h"
#include "app/telemetry/ThermalSampleSlice.h"

#include <vector>

namespace aerivo {

// The temperature histogram drawn under the curve.
struct ThermalDistribution {
    // More bins than this are not drawable; a larger request is capped so a stray argument cannot
    // ask for gigabytes.
    static constexpr int maximumBinCount = 4096;

    std::vector<ThermalDistributionBin> bins;
    // Samples that fell on the axis and were counted.
    int sampleCount = 0;

    // max(binCount, 1) equal bins spanning the axis (at least 1 °C wide in total). A sample is
    // counted when minimum ≤ t ≤ maximum (NaN never is); the maximum falls in the last bin.
    static ThermalDistribution make(const ThermalSampleSlice& samples, const AerivoAxis& axis,
                                    int binCount);

    friend bool operator==(const ThermalDistribution&, const ThermalDistribution&) = default;
};

} // namespace aerivo
