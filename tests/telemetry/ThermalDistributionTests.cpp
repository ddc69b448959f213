#include "app/telemetry/ThermalDistribution.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace aerivo {
namespace {

const AerivoAxis axis{"Temperature", "C", 30.0, 100.0};

std::vector<ThermalSample> samplesAt(std::initializer_list<double> temperatures) {
    std::vector<ThermalSample> samples;
    for (double t : temperatures) {
        samples.emplace_back(t, 0.0, 0.0, std::chrono::system_clock::time_point{});
    }
    return samples;
}

TEST(ThermalDistribution, BinEdgesAndInclusiveAxisEnds) {
    const auto distribution =
        ThermalDistribution::make(samplesAt({30.0, 32.5, 100.0, 29.9, 100.1}), axis, 28);
    ASSERT_EQ(distribution.bins.size(), 28u);
    EXPECT_EQ(distribution.sampleCount, 3);
    EXPECT_EQ(distribution.bins[0].count, 1);
    EXPECT_EQ(distribution.bins[1].count, 1);
    EXPECT_EQ(distribution.bins[27].count, 1);
    EXPECT_DOUBLE_EQ(distribution.bins[1].lowerBound, 32.5);
    EXPECT_DOUBLE_EQ(distribution.bins[1].upperBound, 35.0);
    EXPECT_DOUBLE_EQ(distribution.bins[27].upperBound, 100.0);
    EXPECT_DOUBLE_EQ(distribution.bins[1].midpoint(), 33.75);
    for (int k = 0; k < 28; ++k) {
        EXPECT_EQ(distribution.bins[static_cast<std::size_t>(k)].index, k);
    }
}

TEST(ThermalDistribution, ASampleBelowABinsUpperEdgeBelongsToThatBin) {
    // 2.5 °C bins from 30 °C: the index is the position truncated, never rounded.
    struct Row {
        double temperature;
        std::size_t bin;
    };
    for (const Row& row : {Row{32.49, 0}, Row{32.5, 1}, Row{34.99, 1}, Row{31.3, 0}, Row{99.99, 27},
                           Row{97.4, 26}}) {
        const auto distribution = ThermalDistribution::make(samplesAt({row.temperature}), axis, 28);
        ASSERT_EQ(distribution.bins.size(), 28u);
        EXPECT_EQ(distribution.bins[row.bin].count, 1) << row.temperature;
        EXPECT_EQ(distribution.sampleCount, 1) << row.temperature;
    }
}

TEST(ThermalDistribution, NormalisesByThePeak) {
    const auto distribution =
        ThermalDistribution::make(samplesAt({40.0, 40.0, 41.0, 90.0}), axis, 28);
    EXPECT_EQ(distribution.sampleCount, 4);
    EXPECT_EQ(distribution.bins[4].count, 3);
    EXPECT_EQ(distribution.bins[4].normalizedCount, 1.0);
    EXPECT_EQ(distribution.bins[24].count, 1);
    EXPECT_DOUBLE_EQ(distribution.bins[24].normalizedCount, 1.0 / 3.0);
    EXPECT_EQ(distribution.bins[5].normalizedCount, 0.0);
}

TEST(ThermalDistribution, EmptyInputStillCoversTheAxis) {
    const auto distribution = ThermalDistribution::make(samplesAt({}), axis, 28);
    ASSERT_EQ(distribution.bins.size(), 28u);
    EXPECT_EQ(distribution.sampleCount, 0);
    for (const auto& bin : distribution.bins) {
        EXPECT_EQ(bin.count, 0);
        EXPECT_EQ(bin.normalizedCount, 0.0);
    }
    EXPECT_DOUBLE_EQ(distribution.bins.front().lowerBound, 30.0);
    EXPECT_DOUBLE_EQ(distribution.bins.back().upperBound, 100.0);
}

TEST(ThermalDistribution, NonPositiveBinCountGivesOneBin) {
    for (int binCount : {0, -5}) {
        const auto distribution =
            ThermalDistribution::make(samplesAt({31.0, 99.0}), axis, binCount);
        ASSERT_EQ(distribution.bins.size(), 1u);
        EXPECT_EQ(distribution.bins[0].lowerBound, 30.0);
        EXPECT_EQ(distribution.bins[0].upperBound, 100.0);
        EXPECT_EQ(distribution.bins[0].count, 2);
    }
    EXPECT_EQ(ThermalDistribution::make(samplesAt({}), axis, 1 << 30).bins.size(),
              static_cast<std::size_t>(ThermalDistribution::maximumBinCount));
}

TEST(ThermalDistribution, NarrowAxisUsesASpanOfOneAndCountsOnlyInside) {
    const AerivoAxis narrow{"Temperature", "C", 50.0, 50.5};
    const auto distribution = ThermalDistribution::make(samplesAt({50.0, 50.5, 50.7}), narrow, 1);
    ASSERT_EQ(distribution.bins.size(), 1u);
    EXPECT_EQ(distribution.bins[0].lowerBound, 50.0);
    EXPECT_EQ(distribution.bins[0].upperBound, 51.0);
    EXPECT_EQ(distribution.sampleCount, 2);
}

TEST(ThermalDistribution, NotANumberIsSkippedAndOddAxesStayDefined) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(ThermalDistribution::make(samplesAt({nan, 50.0}), axis, 28).sampleCount, 1);

    const AerivoAxis huge{"Temperature", "C", -1e308, 1e308};
    const auto wide = ThermalDistribution::make(samplesAt({1e308, -1e308, 0.0}), huge, 28);
    EXPECT_EQ(wide.sampleCount, 3);
    int total = 0;
    for (const auto& bin : wide.bins) {
        total += bin.count;
    }
    EXPECT_EQ(total, 3);

    const AerivoAxis inverted{"Temperature", "C", 100.0, 30.0};
    EXPECT_EQ(ThermalDistribution::make(samplesAt({50.0}), inverted, 28).sampleCount, 0);
}

} // namespace
} // namespace aerivo
