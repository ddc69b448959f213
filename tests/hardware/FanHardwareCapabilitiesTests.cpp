#include "app/hardware/FanHardwareCapabilities.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace aerivo {
namespace {

FanHardwareFan fan(int index, std::optional<double> minimum, std::optional<double> maximum,
                   std::optional<double> current = std::nullopt, std::string source = "SMC") {
    return FanHardwareFan{.index = index,
                          .displayName = "Fan " + std::to_string(index),
                          .minimumRPM = minimum,
                          .maximumRPM = maximum,
                          .currentRPM = current,
                          .source = std::move(source)};
}

TEST(FanHardwareCapabilitiesConstructor, BuildsLegacyFansFromAggregates) {
    const FanHardwareCapabilities capabilities(2, 1000.0, 6000.0, 1800.0, "SMC aggregate");
    ASSERT_EQ(capabilities.fans.size(), 2U);
    EXPECT_EQ(capabilities.fans[0], fan(0, 1000.0, 6000.0, 1800.0, "SMC aggregate"));
    EXPECT_EQ(capabilities.fans[1], fan(1, 1000.0, 6000.0, std::nullopt, "SMC aggregate"));
    EXPECT_EQ(capabilities.fanCount, 2);
    EXPECT_EQ(capabilities.supportStatus, FanHardwareSupportStatus::supported);
    EXPECT_TRUE(capabilities.hasRPMAxis());
    EXPECT_FALSE(capabilities.hasLiveRPMReadback()); // fan 1 has no current speed
}

TEST(FanHardwareCapabilitiesConstructor, CountFollowsTheFans) {
    const FanHardwareCapabilities raised(1, std::nullopt, std::nullopt, std::nullopt, "probe",
                                         {fan(0, 1200.0, 6000.0), fan(1, 1000.0, 5000.0)});
    EXPECT_EQ(raised.fanCount, 2);
    const FanHardwareCapabilities fromZero(0, std::nullopt, std::nullopt, std::nullopt, "probe",
                                           {fan(0, 1200.0, 6000.0)});
    EXPECT_EQ(fromZero.fanCount, 1);
    const FanHardwareCapabilities kept(3, std::nullopt, std::nullopt, std::nullopt, "probe",
                                       {fan(0, 1200.0, 6000.0)});
    EXPECT_EQ(kept.fanCount, 3);
    const FanHardwareCapabilities negative(-4, 1000.0, 2000.0, std::nullopt, "probe");
    EXPECT_EQ(negative.fanCount, 0);
    EXPECT_TRUE(negative.fans.empty());
    EXPECT_EQ(negative.supportStatus, FanHardwareSupportStatus::unavailable);
}

TEST(FanHardwareCapabilitiesConstructor, AggregatesComeFromTheFansWhenNotGiven) {
    const FanHardwareCapabilities capabilities(0, std::nullopt, std::nullopt, std::nullopt, "probe",
                                               {fan(0, std::nullopt, 5000.0),
                                                fan(1, 1300.0, 6200.0, 2100.0),
                                                fan(2, 900.0, 4000.0, 800.0)});
    EXPECT_EQ(capabilities.minimumRPM, 900.0);
    EXPECT_EQ(capabilities.maximumRPM, 6200.0);
    EXPECT_EQ(capabilities.currentRPM, 2100.0); // first fan in list order that has one

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const FanHardwareCapabilities withNaN(0, std::nullopt, std::nullopt, std::nullopt, "probe",
                                          {fan(0, nan, nan), fan(1, 1300.0, 6200.0)});
    EXPECT_EQ(withNaN.minimumRPM, 1300.0);
    EXPECT_EQ(withNaN.maximumRPM, 6200.0);

    const FanHardwareCapabilities given(0, 100.0, 200.0, 150.0, "probe",
                                        {fan(0, 1300.0, 6200.0, 2100.0)});
    EXPECT_EQ(given.minimumRPM, 100.0);
    EXPECT_EQ(given.maximumRPM, 200.0);
    EXPECT_EQ(given.currentRPM, 150.0);
}

TEST(FanHardwareCapabilitiesConstructor, StatusIsDerivedOnlyWhenNotGiven) {
    EXPECT_EQ(
        FanHardwareCapabilities(0, std::nullopt, std::nullopt, std::nullopt, "x").supportStatus,
        FanHardwareSupportStatus::unavailable);
    EXPECT_EQ(
        FanHardwareCapabilities(1, std::nullopt, std::nullopt, std::nullopt, "x").supportStatus,
        FanHardwareSupportStatus::supported);
    EXPECT_EQ(FanHardwareCapabilities(1, std::nullopt, std::nullopt, std::nullopt, "x", {},
                                      FanHardwareSupportStatus::unsupportedNoFan)
                  .supportStatus,
              FanHardwareSupportStatus::unsupportedNoFan);
}

TEST(FanHardwareCapabilitiesConstructor, HugeCountsBuildABoundedFanList) {
    const FanHardwareCapabilities capabilities(std::numeric_limits<int>::max(), 1000.0, 2000.0,
                                               std::nullopt, "x");
    EXPECT_EQ(capabilities.fans.size(),
              static_cast<std::size_t>(FanHardwareCapabilities::maximumFanCount));
    EXPECT_EQ(capabilities.fanCount, std::numeric_limits<int>::max());
}

TEST(FanHardwareCapabilitiesConstructor, UnavailableIsTheDefault) {
    const FanHardwareCapabilities& unavailable = FanHardwareCapabilities::unavailable();
    EXPECT_EQ(unavailable.fanCount, 0);
    EXPECT_FALSE(unavailable.minimumRPM || unavailable.maximumRPM || unavailable.currentRPM);
    EXPECT_TRUE(unavailable.fans.empty());
    EXPECT_EQ(unavailable.source, "Hardware range unavailable");
    EXPECT_EQ(unavailable.supportStatus, FanHardwareSupportStatus::unavailable);
    EXPECT_EQ(FanHardwareCapabilities(), unavailable);
    EXPECT_EQ(FanHardwareCapabilities(0, std::nullopt, std::nullopt, std::nullopt,
                                      "Hardware range unavailable"),
              unavailable);
    EXPECT_EQ(unavailable.detailText(), "Hardware range unavailable");
    EXPECT_EQ(unavailable.rangeText(), "Unavailable");
}

TEST(FanHardwareCapabilitiesPredicates, AxisWithoutFansNeedsSupportCountAndOrderedAggregates) {
    FanHardwareCapabilities capabilities(1, 1000.0, 6000.0, std::nullopt, "x");
    capabilities.fans.clear();
    EXPECT_TRUE(capabilities.hasRPMAxis());
    capabilities.supportStatus = FanHardwareSupportStatus::unavailable;
    EXPECT_FALSE(capabilities.hasRPMAxis());
    capabilities.supportStatus = FanHardwareSupportStatus::supported;
    capabilities.fanCount = 0;
    EXPECT_FALSE(capabilities.hasRPMAxis());
    capabilities.fanCount = 1;
    capabilities.maximumRPM = 1000.0;
    EXPECT_FALSE(capabilities.hasRPMAxis());
    capabilities.maximumRPM = std::nullopt;
    EXPECT_FALSE(capabilities.hasRPMAxis());
    capabilities.currentRPM = 0.0;
    EXPECT_TRUE(capabilities.hasLiveRPMReadback());
}

TEST(FanHardwareCapabilitiesPredicates, WithFansEveryFanDecides) {
    FanHardwareCapabilities capabilities(0, 1000.0, 6000.0, 1500.0, "x",
                                         {fan(0, 1000.0, 6000.0, 1500.0), fan(1, 1000.0, 6000.0)});
    EXPECT_TRUE(capabilities.hasRPMAxis());
    EXPECT_FALSE(capabilities.hasLiveRPMReadback());
    capabilities.fans[1].currentRPM = 1400.0;
    EXPECT_TRUE(capabilities.hasLiveRPMReadback());
    capabilities.fans[1].maximumRPM = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(capabilities.hasRPMAxis()); // aggregates are not consulted
    capabilities.fans[1].maximumRPM = 6000.0;
    capabilities.supportStatus = FanHardwareSupportStatus::unavailable;
    EXPECT_TRUE(capabilities.hasRPMAxis()); // nor is the status
    EXPECT_FALSE(capabilities.isUnsupported());
    capabilities.supportStatus = FanHardwareSupportStatus::unsupportedNoFan;
    EXPECT_TRUE(capabilities.isUnsupported());
}

TEST(FanHardwareFanTexts, RangeDetailAndTarget) {
    const FanHardwareFan full = fan(0, 1200.0, 6000.0, 2317.5);
    EXPECT_EQ(full.rangeText(), "1200 RPM - 6000 RPM");
    EXPECT_EQ(full.detailText(), "Fan 0: 1200 RPM - 6000 RPM, 2318 RPM now");
    const FanHardwareFan noMaximum = fan(1, 1200.0, std::nullopt);
    EXPECT_EQ(noMaximum.rangeText(), "Unavailable");
    EXPECT_EQ(noMaximum.detailText(), "Fan 1: Unavailable");
    EXPECT_FALSE(noMaximum.hasRPMAxis());
    EXPECT_FALSE(noMaximum.targetRPM(0.5));

    EXPECT_EQ(full.targetRPM(1.5), 6000.0);
    EXPECT_EQ(full.targetRPM(-0.2), 1200.0);
    EXPECT_EQ(full.targetRPM(0.25), 2400.0);
    EXPECT_FALSE(full.targetRPM(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_EQ(full.targetRPM(std::numeric_limits<double>::infinity()), 6000.0);
    EXPECT_FALSE(fan(0, 6000.0, 6000.0).targetRPM(0.5)); // an empty range is no axis
}

TEST(FanHardwareCapabilitiesTexts, RangeText) {
    EXPECT_EQ(FanHardwareCapabilities(0, std::nullopt, std::nullopt, std::nullopt, "x", {},
                                      FanHardwareSupportStatus::unsupportedNoFan)
                  .rangeText(),
              "Unsupported");
    EXPECT_EQ(FanHardwareCapabilities(1, 1000.0, 5000.0, std::nullopt, "x").rangeText(),
              "1000 RPM - 5000 RPM");
    EXPECT_EQ(FanHardwareCapabilities(0, std::nullopt, std::nullopt, std::nullopt, "x",
                                      {fan(0, 1200.0, 6000.0), fan(1, 1200.0, 6000.0)})
                  .rangeText(),
              "1200 RPM - 6000 RPM each");
    EXPECT_EQ(FanHardwareCapabilities(0, std::nullopt, std::nullopt, std::nullopt, "x",
                                      {fan(0, 1200.0, 6000.0), fan(1, 1000.0, 5000.0)})
                  .rangeText(),
              "1000 RPM - 6000 RPM aggregate");
    EXPECT_EQ(FanHardwareCapabilities(0, std::nullopt, std::nullopt, std::nullopt, "x",
                                      {fan(0, 1200.0, std::nullopt), fan(1, 1000.0, std::nullopt)})
                  .rangeText(),
              "Unavailable");
}

TEST(FanHardwareCapabilitiesTexts, DetailText) {
    EXPECT_EQ(FanHardwareCapabilities(2, 1000.0, 2000.0, std::nullopt, "x", {},
                                      FanHardwareSupportStatus::unsupportedNoFan)
                  .detailText(),
              "This Mac has no controllable fan.");
    EXPECT_EQ(FanHardwareCapabilities(2, 1000.0, 2000.0, std::nullopt, "SMC", {},
                                      FanHardwareSupportStatus::unavailable)
                  .detailText(),
              "SMC");
    EXPECT_EQ(FanHardwareCapabilities(0, 1000.0, 2000.0, std::nullopt, "nothing", {},
                                      FanHardwareSupportStatus::supported)
                  .detailText(),
              "nothing");
    EXPECT_EQ(FanHardwareCapabilities(0, std::nullopt, std::nullopt, std::nullopt, "x",
                                      {fan(0, 1200.0, 6000.0, 2000.0), fan(1, 1000.0, 5000.0)})
                  .detailText(),
              "Fan 0: 1200 RPM - 6000 RPM, 2000 RPM now\nFan 1: 1000 RPM - 5000 RPM");
    EXPECT_EQ(FanHardwareCapabilities(1, 1000.0, 5000.0, 1999.6, "SMC").detailText(),
              "1 fan, 2000 RPM now");
    EXPECT_EQ(FanHardwareCapabilities(1, 1000.0, 5000.0, std::nullopt, "SMC F0Mn").detailText(),
              "1 fan, SMC F0Mn");
    // A count above the listed fans, with a single fan listed, uses the count text.
    EXPECT_EQ(FanHardwareCapabilities(3, std::nullopt, std::nullopt, std::nullopt, "probe",
                                      {fan(0, 1000.0, 5000.0)})
                  .detailText(),
              "3 fans, probe");
}

TEST(FanHardwareCapabilitiesTexts, LinkedTargetText) {
    const FanHardwareCapabilities two(
        0, std::nullopt, std::nullopt, std::nullopt, "x",
        {fan(0, 1000.0, 5000.0), fan(1, std::nullopt, 5000.0), fan(2, 2000.0, 6000.0)});
    EXPECT_EQ(two.linkedTargetText(0.5), "Fan 0 3000 RPM / Fan 2 4000 RPM");
    EXPECT_EQ(two.linkedTargetText(2.0), "Fan 0 5000 RPM / Fan 2 6000 RPM");

    FanHardwareCapabilities notSupported = two;
    notSupported.supportStatus = FanHardwareSupportStatus::unavailable;
    EXPECT_EQ(notSupported.linkedTargetText(0.5), "");
    FanHardwareCapabilities noFans(1, 1000.0, 5000.0, std::nullopt, "x");
    noFans.fans.clear();
    EXPECT_EQ(noFans.linkedTargetText(0.5), "");
}

TEST(FanHardwareSupportStatusRawValues, RoundTripAndRejectOthers) {
    for (FanHardwareSupportStatus status : allFanHardwareSupportStatuss) {
        EXPECT_EQ(fanHardwareSupportStatusFromRawValue(rawValue(status)), status);
    }
    EXPECT_EQ(rawValue(FanHardwareSupportStatus::unsupportedNoFan), "unsupportedNoFan");
    EXPECT_FALSE(fanHardwareSupportStatusFromRawValue("Supported"));
    EXPECT_FALSE(fanHardwareSupportStatusFromRawValue(" supported"));
    EXPECT_FALSE(fanHardwareSupportStatusFromRawValue(""));
}

} // namespace
} // namespace aerivo
