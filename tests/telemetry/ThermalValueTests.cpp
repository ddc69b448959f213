#include "app/telemetry/TemperatureTelemetryReading.h"
#include "app/telemetry/ThermalHistoryWindow.h"
#include "app/telemetry/ThermalSample.h"
#include "app/telemetry/ThermalSnapshot.h"

#include <gtest/gtest.h>

namespace aerivo {
namespace {

using namespace std::chrono_literals;

TEST(ThermalSnapshot, InitialIsTheNotLiveMockReadingCreatedOnce) {
    EXPECT_EQ(TemperatureTelemetryReading::mock(),
              (TemperatureTelemetryReading{48.0, "Mock temperature", false}));
    const auto before = std::chrono::system_clock::now();
    const ThermalSnapshot& initial = ThermalSnapshot::initial();
    EXPECT_EQ(initial.temperatureC, 48.0);
    EXPECT_EQ(initial.actualRPM, 1650.0);
    EXPECT_EQ(initial.targetRPM, 1650.0);
    EXPECT_EQ(initial.temperatureSource, "Mock temperature");
    EXPECT_FALSE(initial.hasLiveTemperatureTelemetry);
    EXPECT_LE(initial.updatedAt, before + 1s);
    EXPECT_EQ(&ThermalSnapshot::initial(), &initial);
}

TEST(ThermalSample, SnapshotSampleKeepsTheSnapshotTime) {
    const auto t = std::chrono::system_clock::time_point(1'000'000s);
    const ThermalSnapshot snapshot{61.5, 2100.0, 2200.0, "PMU tdie1", true, t};
    const ThermalSample sample(snapshot);
    EXPECT_EQ(sample, ThermalSample(61.5, 2100.0, 2200.0, t));

    const auto before = std::chrono::system_clock::now();
    const ThermalSample defaulted(50.0);
    EXPECT_EQ(defaulted.actualRPM, 0.0);
    EXPECT_EQ(defaulted.targetRPM, 0.0);
    EXPECT_GE(defaulted.recordedAt, before);
    EXPECT_LE(sizeof(ThermalSample), 32u);
}

TEST(ThermalHistoryWindow, RawValuesDurationsAndTitles) {
    const std::vector<std::pair<std::string, double>> expected{{"fiveMinutes", 300.0},
                                                               {"thirtyMinutes", 1800.0},
                                                               {"oneHour", 3600.0},
                                                               {"twentyFourHours", 86400.0}};
    ASSERT_EQ(allThermalHistoryWindows.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const ThermalHistoryWindow window = allThermalHistoryWindows[i];
        EXPECT_EQ(rawValue(window), expected[i].first);
        EXPECT_EQ(duration(window).count(), expected[i].second);
        EXPECT_EQ(thermalHistoryWindowFromRawValue(expected[i].first), window);
    }
    EXPECT_FALSE(thermalHistoryWindowFromRawValue("FiveMinutes"));
    EXPECT_EQ(title(ThermalHistoryWindow::fiveMinutes, AppLanguage::english), "5 min");
    EXPECT_EQ(title(ThermalHistoryWindow::thirtyMinutes, AppLanguage::english), "30 min");
    EXPECT_EQ(title(ThermalHistoryWindow::oneHour, AppLanguage::english), "1 hr");
    EXPECT_EQ(title(ThermalHistoryWindow::twentyFourHours, AppLanguage::english), "24 hr");
    EXPECT_NE(title(ThermalHistoryWindow::oneHour, AppLanguage::korean), "1 hr");
}

} // namespace
} // namespace aerivo
