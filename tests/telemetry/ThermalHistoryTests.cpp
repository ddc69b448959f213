#include "app/telemetry/ThermalHistory.h"

#include <gtest/gtest.h>

namespace aerivo {
namespace {

using namespace std::chrono_literals;

const Instant origin = Instant(std::chrono::seconds(978307200));

ThermalSample sampleAt(double seconds, double temperature = 50.0) {
    return ThermalSample(temperature, 1000.0, 1100.0,
                         origin + std::chrono::duration_cast<Instant::duration>(
                                      std::chrono::duration<double>(seconds)));
}

std::vector<double> temperatures(const ThermalSampleSlice& slice) {
    std::vector<double> result;
    for (const ThermalSample& sample : slice) {
        result.push_back(sample.temperatureC);
    }
    return result;
}

TEST(ThermalHistory, KeepsTheNewestSamplesWhenFullAndWrapsCorrectly) {
    ThermalHistory history(300);
    for (int i = 0; i < 1000; ++i) {
        history.append(sampleAt(i, i));
    }
    ASSERT_EQ(history.size(), 300u);
    EXPECT_EQ(history.front().temperatureC, 700.0);
    EXPECT_EQ(history.back().temperatureC, 999.0);
    const auto everything = history.all();
    EXPECT_EQ(everything.size(), 300u);
    EXPECT_FALSE(everything.secondPiece().empty()); // the ring has wrapped
    const auto values = temperatures(everything);
    ASSERT_EQ(values.size(), 300u);
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(values[i], 700.0 + static_cast<double>(i));
        EXPECT_EQ(everything[i].temperatureC, values[i]);
    }
    EXPECT_EQ(history.storageBytes(), 300u * sizeof(ThermalSample));
}

TEST(ThermalHistory, RemoveFirstAcrossTheWrap) {
    ThermalHistory history(8);
    for (int i = 0; i < 12; ++i) {
        history.append(sampleAt(i, i));
    }
    history.removeFirst(3);
    EXPECT_EQ(temperatures(history.all()), (std::vector<double>{7, 8, 9, 10, 11}));
    history.append(sampleAt(12, 12));
    EXPECT_EQ(history.back().temperatureC, 12.0);
    history.removeFirst(100);
    EXPECT_TRUE(history.empty());
    EXPECT_TRUE(history.all().empty());
    EXPECT_EQ(history.all().begin(), history.all().end());
}

TEST(ThermalHistory, BetweenIncludesBothEnds) {
    ThermalHistory history(100);
    for (int i = 0; i < 10; ++i) {
        history.append(sampleAt(i * 10.0, i));
    }
    EXPECT_EQ(temperatures(history.between(sampleAt(20).recordedAt, sampleAt(50).recordedAt)),
              (std::vector<double>{2, 3, 4, 5}));
    EXPECT_EQ(temperatures(history.between(sampleAt(21).recordedAt, sampleAt(49).recordedAt)),
              (std::vector<double>{3, 4}));
    EXPECT_TRUE(history.between(sampleAt(50).recordedAt, sampleAt(20).recordedAt).empty());
    EXPECT_TRUE(history.between(sampleAt(91).recordedAt, sampleAt(95).recordedAt).empty());
}

TEST(ThermalHistory, AZeroLengthWindowStillHoldsTheSampleRecordedAtItsInstant) {
    ThermalHistory history(100);
    for (int i = 0; i < 10; ++i) {
        history.append(sampleAt(i, 40.0 + i));
    }
    EXPECT_EQ(temperatures(history.between(sampleAt(4).recordedAt, sampleAt(4).recordedAt)),
              (std::vector<double>{44.0}));
    EXPECT_TRUE(history.between(sampleAt(4.5).recordedAt, sampleAt(4.5).recordedAt).empty());
}

TEST(ThermalHistory, RemoveRecordedBeforeDropsOnlyTheExpiredPrefix) {
    ThermalHistory history(8);
    for (int i = 0; i < 10; ++i) {
        history.append(sampleAt(i, i));
    }
    EXPECT_EQ(history.removeRecordedBefore(sampleAt(5).recordedAt), 3u);
    EXPECT_EQ(temperatures(history.all()), (std::vector<double>{5, 6, 7, 8, 9}));
    EXPECT_EQ(history.removeRecordedBefore(sampleAt(5).recordedAt), 0u);
    EXPECT_EQ(history.removeRecordedBefore(sampleAt(100).recordedAt), 5u);
    EXPECT_TRUE(history.empty());
}

TEST(ThermalHistory, ZeroCapacityKeepsNothing) {
    ThermalHistory history(0);
    history.append(sampleAt(0));
    EXPECT_TRUE(history.empty());
}

TEST(InstantArithmetic, ExactAndSaturating) {
    const Instant now = origin + 123456789ns;
    EXPECT_EQ(instantBefore(now, std::chrono::duration<double>(300.0)), now - 300s);
    EXPECT_EQ(instantBefore(Instant::min() + 1s, std::chrono::duration<double>(86400.0)),
              Instant::min());
    EXPECT_EQ(secondsBetween(now + 1500ms, now).count(), 1.5);
    EXPECT_GT(secondsBetween(Instant::max(), Instant::min()).count(), 0.0);
}

} // namespace
} // namespace aerivo
