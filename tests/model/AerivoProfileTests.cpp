#include "app/model/AerivoProfile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace aerivo {
namespace {

AerivoProfile profileWithPoints(std::vector<AerivoPoint> points) {
    AerivoProfile profile = AerivoProfile::balanced();
    profile.points = std::move(points);
    return profile;
}

const AerivoPoint& pointAt(const AerivoProfile& profile, double temperatureC) {
    for (const AerivoPoint& point : profile.points) {
        if (point.temperatureC == temperatureC) {
            return point;
        }
    }
    throw std::runtime_error("no point at that temperature");
}

TEST(AerivoAxis, SpanNeverDropsBelowOne) {
    EXPECT_EQ((AerivoAxis{"", "", 30, 100}.span()), 70.0);
    EXPECT_EQ((AerivoAxis{"", "", 50, 50.5}.span()), 1.0);
    EXPECT_EQ((AerivoAxis{"", "", 100, 30}.span()), 1.0);
}

TEST(AerivoAxis, ClampAppliesTheLowerBoundFirst) {
    const AerivoAxis axis{"", "", 30, 100};
    EXPECT_EQ(axis.clamped(10), 30);
    EXPECT_EQ(axis.clamped(120), 100);
    EXPECT_EQ(axis.clamped(55.5), 55.5);
    EXPECT_EQ(axis.clamped(std::numeric_limits<double>::quiet_NaN()), 30);
    const AerivoAxis inverted{"", "", 100, 30};
    EXPECT_EQ(inverted.clamped(10), 30);
    EXPECT_EQ(inverted.clamped(60), 30);
    EXPECT_EQ(inverted.clamped(200), 30);
}

TEST(AerivoProfileTarget, BalancedInterpolatesBetweenPointsAndIsFlatOutside) {
    const AerivoProfile& balanced = AerivoProfile::balanced();
    EXPECT_DOUBLE_EQ(balanced.targetRPM(20), 1400);
    EXPECT_DOUBLE_EQ(balanced.targetRPM(35), 1400);
    EXPECT_DOUBLE_EQ(balanced.targetRPM(43.5), 1750);
    EXPECT_DOUBLE_EQ(balanced.targetRPM(52), 2100);
    EXPECT_DOUBLE_EQ(balanced.targetRPM(60), 2750);
    EXPECT_DOUBLE_EQ(balanced.targetRPM(75), 4200);
    EXPECT_DOUBLE_EQ(balanced.targetRPM(94), 6200);
    EXPECT_DOUBLE_EQ(balanced.targetRPM(99), 6200);
}

TEST(AerivoProfileTarget, EmptyAndSinglePointCurves) {
    const AerivoProfile empty = profileWithPoints({});
    EXPECT_EQ(empty.targetRPM(-40), 1200);
    EXPECT_EQ(empty.targetRPM(70), 1200);
    const AerivoProfile single = profileWithPoints({{60, 3000}});
    EXPECT_EQ(single.targetRPM(10), 3000);
    EXPECT_EQ(single.targetRPM(60), 3000);
    EXPECT_EQ(single.targetRPM(95), 3000);
}

TEST(AerivoProfileTarget, EqualTemperaturesTakeTheEarlierSegment) {
    const AerivoProfile profile =
        profileWithPoints({{40, 1000}, {50, 2000}, {50, 3000}, {70, 4000}});
    EXPECT_EQ(profile.targetRPM(50), 2000);
    EXPECT_EQ(profile.targetRPM(60), 3500);
    EXPECT_EQ(profile.targetRPM(45), 1500);
}

TEST(AerivoProfileTarget, UnsortedPointsAreEvaluatedInTemperatureOrder) {
    const AerivoProfile profile = profileWithPoints({{70, 4000}, {40, 1000}, {50, 2000}});
    EXPECT_EQ(profile.targetRPM(45), 1500);
    EXPECT_EQ(profile.targetRPM(60), 3000);
    EXPECT_EQ(profile.targetRPM(30), 1000);
    // The stored order is left alone by a query.
    EXPECT_EQ(profile.points.front().temperatureC, 70);
}

TEST(AerivoProfileTarget, FallingCurveIsAllowed) {
    const AerivoProfile profile = profileWithPoints({{40, 3000}, {60, 2000}});
    EXPECT_EQ(profile.targetRPM(50), 2500);
}

TEST(AerivoProfileTarget, SortedPointsKeepStoredOrderForEqualTemperatures) {
    const AerivoPoint a{50, 1}, b{40, 2}, c{50, 3};
    const AerivoProfile profile = profileWithPoints({a, b, c});
    const auto sorted = profile.sortedPoints();
    ASSERT_EQ(sorted.size(), 3u);
    EXPECT_EQ(sorted[0], b);
    EXPECT_EQ(sorted[1], a);
    EXPECT_EQ(sorted[2], c);
}

TEST(AerivoProfilePercent, PositionOnTheSpeedAxisIsClampedToUnit) {
    const AerivoProfile& balanced = AerivoProfile::balanced();
    EXPECT_EQ(balanced.rpmPercent(3700), 0.5);
    EXPECT_EQ(balanced.rpmPercent(0), 0.0);
    EXPECT_EQ(balanced.rpmPercent(9000), 1.0);
    EXPECT_EQ(balanced.rpmPercent(std::numeric_limits<double>::quiet_NaN()), 0.0);
    EXPECT_DOUBLE_EQ(balanced.targetPercent(94), 1.0);
    EXPECT_DOUBLE_EQ(balanced.targetPercent(20), 0.04);
}

TEST(AerivoProfileEditing, BoundsStopOneDegreeShortOfNeighbours) {
    const AerivoProfile& balanced = AerivoProfile::balanced();
    const auto coldest = balanced.editingBounds(pointAt(balanced, 35).id);
    ASSERT_TRUE(coldest.has_value());
    EXPECT_EQ(coldest->temperature, (ClosedRange{30, 51}));
    EXPECT_EQ(coldest->rpm, (ClosedRange{1200, 6200}));
    const auto middle = balanced.editingBounds(pointAt(balanced, 68).id);
    ASSERT_TRUE(middle.has_value());
    EXPECT_EQ(middle->temperature, (ClosedRange{53, 81}));
    const auto hottest = balanced.editingBounds(pointAt(balanced, 94).id);
    ASSERT_TRUE(hottest.has_value());
    EXPECT_EQ(hottest->temperature, (ClosedRange{83, 100}));
    EXPECT_FALSE(balanced.editingBounds(Uuid::random()).has_value());
}

TEST(AerivoProfileEditing, BoundsFollowSortedNeighboursOfAnUnsortedProfile) {
    const AerivoPoint hot{80, 5000}, cold{40, 2000}, mid{60, 3000};
    const AerivoProfile profile = profileWithPoints({hot, cold, mid});
    EXPECT_EQ(profile.editingBounds(mid.id)->temperature, (ClosedRange{41, 79}));
    EXPECT_EQ(profile.editingBounds(hot.id)->temperature, (ClosedRange{61, 100}));
}

TEST(AerivoProfileEditing, EmptyRangesCollapseToTheCurrentValue) {
    // Neighbours 1.5 °C apart leave no room between them.
    const AerivoPoint a{50, 2000}, b{50.5, 2500}, c{51.5, 3000};
    AerivoProfile profile = profileWithPoints({a, b, c});
    const auto bounds = profile.editingBounds(b.id);
    ASSERT_TRUE(bounds.has_value());
    EXPECT_EQ(bounds->temperature, (ClosedRange{50.5, 50.5}));
    profile.updatePoint(b.id, 90, 4000);
    EXPECT_EQ(profile.points[1].temperatureC, 50.5);
    EXPECT_EQ(profile.points[1].rpm, 4000);
    EXPECT_TRUE(profile.isNormalized());

    AerivoProfile inverted = profileWithPoints({{40, 1000}, {60, 2000}});
    inverted.rpmAxis = {"Fan speed", "RPM", 3000, 2000};
    const auto invertedBounds = inverted.editingBounds(inverted.points[0].id);
    EXPECT_EQ(invertedBounds->rpm, (ClosedRange{2000, 2000}));
}

TEST(AerivoProfileEditing, MovingAPointIsClampedIntoItsBounds) {
    AerivoProfile profile = AerivoProfile::balanced();
    const Uuid id = pointAt(profile, 52).id;
    profile.updatePoint(id, 90, 9000);
    EXPECT_EQ(profile.points[1].temperatureC, 67);
    EXPECT_EQ(profile.points[1].rpm, 6200);
    profile.updatePoint(id, 10, -50);
    EXPECT_EQ(profile.points[1].temperatureC, 36);
    EXPECT_EQ(profile.points[1].rpm, 1200);
    EXPECT_EQ(profile.points[1].id, id);

    const AerivoProfile before = profile;
    profile.updatePoint(Uuid::random(), 50, 2000);
    EXPECT_EQ(profile, before);
}

TEST(AerivoProfileEditing, NonFiniteMovesKeepTheCoordinate) {
    AerivoProfile profile = AerivoProfile::balanced();
    const Uuid id = pointAt(profile, 52).id;
    profile.updatePoint(id, std::numeric_limits<double>::quiet_NaN(), 2500);
    EXPECT_EQ(profile.points[1].temperatureC, 52);
    EXPECT_EQ(profile.points[1].rpm, 2500);
    profile.updatePoint(id, std::numeric_limits<double>::infinity(),
                        -std::numeric_limits<double>::infinity());
    EXPECT_EQ(profile.points[1].temperatureC, 67);
    EXPECT_EQ(profile.points[1].rpm, 1200);
}

TEST(AerivoProfileEditing, AddedPointSitsOnTheCurveInTheMiddle) {
    AerivoProfile profile = AerivoProfile::balanced();
    profile.addPoint();
    ASSERT_EQ(profile.points.size(), 6u);
    EXPECT_TRUE(profile.isNormalized());
    const AerivoPoint& added = profile.points[2];
    EXPECT_EQ(added.temperatureC, 65);
    EXPECT_DOUBLE_EQ(added.rpm, 3156.25);
    for (double t = 20; t <= 100; t += 0.5) {
        EXPECT_NEAR(profile.targetRPM(t), AerivoProfile::balanced().targetRPM(t), 1e-9) << t;
    }
}

TEST(AerivoProfileEditing, RemovalDropsTheHottestAndStopsAtTwo) {
    AerivoProfile profile = AerivoProfile::balanced();
    profile.removeLastEditablePoint();
    ASSERT_EQ(profile.points.size(), 4u);
    EXPECT_EQ(profile.points.back().temperatureC, 82);
    profile.removeLastEditablePoint();
    profile.removeLastEditablePoint();
    ASSERT_EQ(profile.points.size(), 2u);
    const AerivoProfile two = profile;
    profile.removeLastEditablePoint();
    EXPECT_EQ(profile, two);
}

TEST(AerivoProfileAxes, TemperatureMinimumKeepsFiveDegreesAndPullsEverythingIn) {
    AerivoProfile profile = AerivoProfile::balanced();
    profile.updateTemperatureAxis(98.0, std::nullopt);
    EXPECT_EQ(profile.temperatureAxis.minimum, 95);
    EXPECT_EQ(profile.temperatureAxis.maximum, 100);
    for (const AerivoPoint& point : profile.points) {
        EXPECT_EQ(point.temperatureC, 95);
    }
    EXPECT_EQ(profile.safetyLimitC, 95);
    EXPECT_EQ(profile.fanOffThresholdC, 95);
    EXPECT_EQ(profile.fanOffBounds(), (ClosedRange{95, 95}));
}

TEST(AerivoProfileAxes, TemperatureMaximumUsesTheMinimumJustSet) {
    AerivoProfile profile = AerivoProfile::balanced();
    profile.updateTemperatureAxis(60.0, 40.0);
    EXPECT_EQ(profile.temperatureAxis.minimum, 60);
    EXPECT_EQ(profile.temperatureAxis.maximum, 65);
    EXPECT_EQ(profile.safetyLimitC, 65);
    EXPECT_TRUE(profile.isNormalized());
}

TEST(AerivoProfileAxes, SpeedAxisKeepsOneHundredRPM) {
    AerivoProfile profile = AerivoProfile::balanced();
    profile.updateRPMAxis(std::nullopt, 1000.0);
    EXPECT_EQ(profile.rpmAxis.minimum, 1200);
    EXPECT_EQ(profile.rpmAxis.maximum, 1300);
    for (const AerivoPoint& point : profile.points) {
        EXPECT_GE(point.rpm, 1200);
        EXPECT_LE(point.rpm, 1300);
    }
    profile.updateRPMAxis(5000.0, std::nullopt);
    EXPECT_EQ(profile.rpmAxis.minimum, 1200);
}

TEST(AerivoProfileAxes, NonFiniteAxisEndsAreIgnored) {
    AerivoProfile profile = AerivoProfile::balanced();
    profile.updateTemperatureAxis(std::numeric_limits<double>::quiet_NaN(),
                                  std::numeric_limits<double>::infinity());
    profile.updateRPMAxis(-std::numeric_limits<double>::infinity(),
                          std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(profile.temperatureAxis, AerivoProfile::balanced().temperatureAxis);
    EXPECT_EQ(profile.rpmAxis, AerivoProfile::balanced().rpmAxis);
}

TEST(AerivoProfileAxes, HardwareRangeNeedsMinimumBelowMaximum) {
    AerivoProfile profile = AerivoProfile::balanced();
    profile.applyHardwareRPMAxis(2000, 2000);
    EXPECT_EQ(profile, AerivoProfile::balanced());
    profile.applyHardwareRPMAxis(3000, 2000);
    EXPECT_EQ(profile, AerivoProfile::balanced());
    profile.applyHardwareRPMAxis(1000, std::numeric_limits<double>::infinity());
    EXPECT_EQ(profile, AerivoProfile::balanced());
    // No 100 rpm rule for a detected range; titles stay.
    profile.applyHardwareRPMAxis(2317, 2350);
    EXPECT_EQ(profile.rpmAxis, (AerivoAxis{"Fan speed", "RPM", 2317, 2350}));
    EXPECT_TRUE(profile.isNormalized());
}

TEST(AerivoProfileFanOff, BoundsStayBelowTheSafetyLimitAndInsideTheAxis) {
    AerivoProfile profile = AerivoProfile::balanced();
    EXPECT_EQ(profile.fanOffBounds(), (ClosedRange{30, 85}));
    profile.updateFanOffThreshold(90);
    EXPECT_EQ(profile.fanOffThresholdC, 85);
    profile.updateFanOffThreshold(70);
    profile.safetyLimitC = 60;
    profile.updateFanOffThreshold(profile.fanOffThresholdC);
    EXPECT_EQ(profile.fanOffThresholdC, 59);
    profile.safetyLimitC = 30.5;
    EXPECT_EQ(profile.fanOffBounds(), (ClosedRange{30, 30}));
    profile.updateFanOffThreshold(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(profile.fanOffThresholdC, 30);
}

TEST(AerivoProfileFanOff, RangeAppliesOnlyWhenEnabledAndIsInclusive) {
    AerivoProfile profile = AerivoProfile::balanced();
    EXPECT_FALSE(profile.isInFanOffRange(20));
    profile.safetyLimitC = 40;
    profile.updateFanOffThresholdEnabled(true);
    // Enabling clamps a threshold that no longer fits below the safety limit.
    EXPECT_EQ(profile.fanOffThresholdC, 39);
    EXPECT_TRUE(profile.isInFanOffRange(39));
    EXPECT_FALSE(profile.isInFanOffRange(39.01));
}

TEST(AerivoProfileEquality, PointIdentityCounts) {
    AerivoProfile a = AerivoProfile::balanced();
    AerivoProfile b = a;
    EXPECT_EQ(a, b);
    b.points[2] = AerivoPoint(b.points[2].temperatureC, b.points[2].rpm);
    EXPECT_NE(a, b);
}

TEST(AerivoProfileBalanced, IsBuiltOnceAndAlreadyNormalized) {
    const AerivoProfile& first = AerivoProfile::balanced();
    EXPECT_EQ(&first, &AerivoProfile::balanced());
    EXPECT_TRUE(first.isNormalized());
    EXPECT_EQ(first.name, "Balanced");
    EXPECT_EQ(first.safetyLimitC, 86);
    EXPECT_EQ(first.fanOffThresholdC, 45);
    EXPECT_FALSE(first.isFanOffThresholdEnabled);
    EXPECT_EQ(first.temperatureAxis, (AerivoAxis{"Temperature", "C", 30, 100}));
    EXPECT_EQ(first.rpmAxis, (AerivoAxis{"Fan speed", "RPM", 1200, 6200}));
}

} // namespace
} // namespace aerivo
