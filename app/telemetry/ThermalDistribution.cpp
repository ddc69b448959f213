#include "app/telemetry/ThermalDistribution.h"

#include <algorithm>
#include <cstddef>

namespace aerivo {

namespace {

void countPiece(std::span<const ThermalSample> piece, const AerivoAxis& axis, double width,
                std::vector<int>& counts, int& counted) {
    const double lastBin = static_cast<double>(counts.size() - 1);
    for (const ThermalSample& sample : piece) {
        const double t = sample.temperatureC;
        if (!(axis.minimum <= t && t <= axis.maximum)) {
            continue;
        }
        const double position = (t - axis.minimum) / width;
        // Clamped in floating point before the conversion, so no value can overflow the index;
        // a NaN position (only from infinite axis ends) lands in the first bin.
        const double clamped = position >= lastBin ? lastBin : (position > 0.0 ? position : 0.0);
        ++counts[static_cast<std::size_t>(clamped)];
        ++counted;
    }
}

} // namespace

ThermalDistribution ThermalDistribution::make(const ThermalSampleSlice& samples,
                                              const AerivoAxis& axis, int binCount) {
    const int n = std::clamp(binCount, 1, maximumBinCount);
    const double width = axis.span() / n;

    std::vector<int> counts(static_cast<std::size_t>(n), 0);
    int counted = 0;
    countPiece(samples.firstPiece(), axis, width, counts, counted);
    countPiece(samples.secondPiece(), axis, width, counts, counted);

    const int peak = std::max(*std::max_element(counts.begin(), counts.end()), 1);
    ThermalDistribution distribution;
    distribution.bins.reserve(counts.size());
    for (int k = 0; k < n; ++k) {
        const double lowerBound = axis.minimum + k * width;
        const int count = counts[static_cast<std::size_t>(k)];
        distribution.bins.push_back(ThermalDistributionBin{k, lowerBound, lowerBound + width, count,
                                                           static_cast<double>(count) / peak});
    }
    distribution.sampleCount = counted;
    return distribution;
}

} // namespace aerivo
