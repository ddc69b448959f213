#include "app/model/CurvePreset.h"
#include "app/model/FanControlMode.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace aerivo {
namespace {

std::vector<std::pair<double, double>> coordinates(const AerivoProfile& profile) {
    std::vector<std::pair<double, double>> result;
    for (const AerivoPoint& point : profile.points) {
        result.emplace_back(point.temperatureC, point.rpm);
    }
    return result;
}

TEST(CurvePreset, RawValuesAreCaseSensitiveAndListedInOrder) {
    EXPECT_FALSE(curvePresetFromRawValue("quiet").has_value());
    EXPECT_EQ(curvePresetFromRawValue("Quiet"), CurvePreset::quiet);
    EXPECT_EQ(curvePresetFromRawValue("Balanced"), CurvePreset::balanced);
    EXPECT_EQ(curvePresetFromRawValue("Cooling"), CurvePreset::cooling);
    EXPECT_FALSE(curvePresetFromRawValue("").has_value());
    ASSERT_EQ(allCurvePresets.size(), 3u);
    EXPECT_EQ(allCurvePresets[0], CurvePreset::quiet);
    EXPECT_EQ(allCurvePresets[2], CurvePreset::cooling);
    EXPECT_EQ(id(CurvePreset::cooling), "Cooling");
}

TEST(CurvePreset, QuietCurveAndSafetyLimit) {
    const AerivoProfile quiet = profile(CurvePreset::quiet);
    EXPECT_EQ(quiet.name, "Quiet");
    EXPECT_EQ(quiet.safetyLimitC, 84);
    EXPECT_EQ(coordinates(quiet), (std::vector<std::pair<double, double>>{
                                      {35, 1200}, {55, 1700}, {72, 3000}, {86, 5200}, {94, 6200}}));
    EXPECT_EQ(quiet.targetRPM(86), 5200);
    EXPECT_EQ(quiet.targetRPM(90), 5700);
}

TEST(CurvePreset, CoolingCurveAndSafetyLimit) {
    const AerivoProfile cooling = profile(CurvePreset::cooling);
    EXPECT_EQ(cooling.name, "Cooling");
    EXPECT_EQ(cooling.safetyLimitC, 82);
    EXPECT_EQ(coordinates(cooling),
              (std::vector<std::pair<double, double>>{
                  {32, 1600}, {48, 2600}, {64, 4100}, {78, 5600}, {90, 6200}}));
    EXPECT_EQ(cooling.targetRPM(20), 1600);
    EXPECT_EQ(cooling.targetRPM(95), 6200);
}

TEST(CurvePreset, EveryPresetKeepsTheDefaultAxesAndFanOffSettings) {
    for (CurvePreset preset : allCurvePresets) {
        const AerivoProfile built = profile(preset);
        EXPECT_EQ(built.temperatureAxis, AerivoProfile::balanced().temperatureAxis);
        EXPECT_EQ(built.rpmAxis, AerivoProfile::balanced().rpmAxis);
        EXPECT_FALSE(built.isFanOffThresholdEnabled);
        EXPECT_EQ(built.fanOffThresholdC, 45);
        EXPECT_TRUE(built.isNormalized());
    }
}

TEST(CurvePreset, BalancedKeepsItsIdsWhileOthersGetFreshOnes) {
    EXPECT_EQ(profile(CurvePreset::balanced), AerivoProfile::balanced());
    EXPECT_EQ(profile(CurvePreset::balanced), profile(CurvePreset::balanced));
    EXPECT_NE(profile(CurvePreset::quiet).points[0].id, profile(CurvePreset::quiet).points[0].id);
}

TEST(FanControlMode, RawValuesRoundTripExactly) {
    EXPECT_EQ(rawValue(FanControlMode::system), "System");
    EXPECT_EQ(rawValue(FanControlMode::curve), "Curve");
    EXPECT_EQ(rawValue(FanControlMode::safety), "Safety preview");
    EXPECT_FALSE(fanControlModeFromRawValue("Safety").has_value());
    EXPECT_EQ(fanControlModeFromRawValue("Safety preview"), FanControlMode::safety);
    EXPECT_FALSE(fanControlModeFromRawValue("system").has_value());
    for (FanControlMode mode : allFanControlModes) {
        EXPECT_EQ(fanControlModeFromRawValue(rawValue(mode)), mode);
    }
}

} // namespace
} // namespace aerivo
