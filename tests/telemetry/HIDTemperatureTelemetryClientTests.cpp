#include "app/telemetry/HIDTemperatureTelemetryClient.h"
#include "tests/support/FakeHIDEventSystem.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace aerivo {
namespace {

using testing::FakeHIDEventSystem;
using Sensor = TemperatureTelemetrySensor;

class HIDTelemetry : public ::testing::Test {
protected:
    FakeHIDEventSystem hid;
    HIDTemperatureTelemetryClient client{hid};
};

TEST_F(HIDTelemetry, ProcessorSensorsWinOverHotterOthers) {
    hid.add("PMU tdie3", 61.2);
    hid.add("NAND CH0 temp", 70.0);
    hid.add("PMU tdev1", 64.0);
    const auto reading = client.readPrimaryTemperature();
    ASSERT_TRUE(reading);
    EXPECT_EQ(*reading, (TemperatureTelemetryReading{64.0, "IOHID PMU max (PMU tdev1)", true}));
}

TEST_F(HIDTelemetry, WithoutProcessorReadingsTheHottestOtherSensorDrives) {
    hid.add("PMU tdie1", std::nullopt); // a processor sensor without an event does not count
    hid.add("gas gauge battery", 31.0);
    hid.add("NAND CH0 temp", 44.5);
    const auto reading = client.readPrimaryTemperature();
    ASSERT_TRUE(reading);
    EXPECT_EQ(*reading,
              (TemperatureTelemetryReading{44.5, "IOHID temperature max (NAND CH0 temp)", true}));
}

TEST_F(HIDTelemetry, TiesKeepTheSensorWhoseNameSortsFirst) {
    // Listed in the other order by the event system: the sort decides, not the service order.
    hid.add("PMU tdie9", 55.0);
    hid.add("PMU tdie2", 55.0);
    hid.add("B other", 40.0);
    hid.add("A other", 40.0);
    EXPECT_EQ(client.readPrimaryTemperature()->source, "IOHID PMU max (PMU tdie2)");
    const std::vector<Sensor> others{{"B other", 40.0, false}, {"A other", 40.0, false}};
    EXPECT_EQ(HIDTemperatureTelemetryClient::primaryTemperature(others)->source,
              "IOHID temperature max (B other)");
}

TEST_F(HIDTelemetry, ProcessorRuleNeedsPmuAndDieOrDeviceIgnoringCase) {
    EXPECT_TRUE(HIDTemperatureTelemetryClient::isProcessorSensorName("PMU tdie1"));
    EXPECT_TRUE(HIDTemperatureTelemetryClient::isProcessorSensorName("pMu TDEV7"));
    EXPECT_TRUE(HIDTemperatureTelemetryClient::isProcessorSensorName("xtdiexpmux"));
    EXPECT_FALSE(HIDTemperatureTelemetryClient::isProcessorSensorName("PMU TP3w"));
    EXPECT_FALSE(HIDTemperatureTelemetryClient::isProcessorSensorName("SOC tdie1"));
    EXPECT_FALSE(HIDTemperatureTelemetryClient::isProcessorSensorName("tdev only"));
    EXPECT_FALSE(HIDTemperatureTelemetryClient::isProcessorSensorName(""));
}

TEST_F(HIDTelemetry, OnlyReadingsStrictlyBetweenZeroAndOneHundredFiftyCount) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const double bad : {0.0, 150.0, nan, inf, -inf, -5.0, 151.0}) {
        hid.services.clear();
        hid.add("PMU tdie1", bad);
        const auto sensors = client.readSensors();
        ASSERT_EQ(sensors.size(), 1u);
        EXPECT_FALSE(sensors[0].temperatureC) << bad;
        EXPECT_FALSE(client.readPrimaryTemperature()) << bad;
    }
    for (const double good : {0.1, 149.9}) {
        hid.services.clear();
        hid.add("PMU tdie1", good);
        EXPECT_EQ(client.readSensors()[0].temperatureC, good);
        EXPECT_EQ(client.readPrimaryTemperature()->temperatureC, good);
    }
}

TEST_F(HIDTelemetry, SensorsAreNamedClassifiedAndSortedProcessorsFirst) {
    hid.add("zeta", 30.0);
    hid.add("PMU tdie2", 50.0);
    hid.add("alpha", std::nullopt);
    hid.add(std::nullopt, 45.0); // index 3 in the service list
    hid.add("PMU tdev1", 52.0);
    const std::vector<Sensor> expected{{"PMU tdev1", 52.0, true},
                                       {"PMU tdie2", 50.0, true},
                                       {"alpha", std::nullopt, false},
                                       {"sensor-3", 45.0, false},
                                       {"zeta", 30.0, false}};
    EXPECT_EQ(client.readSensors(), expected);
    // Each service is asked for the temperature event's level field, once per read.
    ASSERT_EQ(hid.eventRequests.size(), 5u);
    for (const auto& request : hid.eventRequests) {
        EXPECT_EQ(request.eventType, 15);
        EXPECT_EQ(request.field, 0xF0000);
    }
}

TEST_F(HIDTelemetry, MatchesOnThePowerManagementUsagePair) {
    hid.add("PMU tdie1", 50.0);
    hid.matchingUsagePage = 0xFF00;
    hid.matchingUsage = 6; // the client must ask for usage 5, so nothing matches
    EXPECT_TRUE(client.readSensors().empty());
    hid.matchingUsage = 5;
    EXPECT_EQ(client.readSensors().size(), 1u);
}

TEST_F(HIDTelemetry, NothingIsCachedBetweenReads) {
    hid.add("PMU tdie1", 50.0);
    EXPECT_EQ(client.readPrimaryTemperature()->temperatureC, 50.0);
    hid.services[0].value = 57.5;
    EXPECT_EQ(client.readPrimaryTemperature()->temperatureC, 57.5);
    EXPECT_EQ(hid.copyServicesCalls, 2);
}

TEST_F(HIDTelemetry, ReportListsCountPrimaryAndEverySensor) {
    hid.add("NAND CH0 temp", 70.4);
    hid.add("PMU tdie1", 61.5);
    hid.add(std::nullopt, std::nullopt);
    const std::vector<std::string> expected{
        "temperatureTelemetry=IOHID sensors=3",
        "temperaturePrimary=62 C source=IOHID PMU max (PMU tdie1)",
        "PMU tdie1: 62 C processor",
        "NAND CH0 temp: 70 C other",
        "sensor-2: nil other",
    };
    EXPECT_EQ(client.debugReport(), expected);
}

TEST_F(HIDTelemetry, ReportWithoutAnyValidReading) {
    hid.add("PMU tdie1", 0.0);
    hid.add("other", std::nullopt);
    const std::vector<std::string> expected{"temperatureTelemetry=IOHID sensors=2",
                                            "temperaturePrimary=nil", "PMU tdie1: nil processor",
                                            "other: nil other"};
    EXPECT_EQ(client.debugReport(), expected);
}

TEST_F(HIDTelemetry, NoServicesOrNoServiceListMeansUnavailable) {
    EXPECT_FALSE(client.readPrimaryTemperature());
    EXPECT_EQ(client.debugReport(), std::vector<std::string>{"temperatureTelemetry=unavailable"});
    hid.add("PMU tdie1", 50.0);
    hid.hasServiceList = false;
    EXPECT_FALSE(client.readPrimaryTemperature());
    EXPECT_EQ(client.debugReport(), std::vector<std::string>{"temperatureTelemetry=unavailable"});
}

TEST_F(HIDTelemetry, ReportLinesStayOneLineForNamesWithLineBreaks) {
    hid.add("PMU tdie1\nfanCount=9", 50.0);
    const auto lines = client.debugReport();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "PMU tdie1 fanCount=9: 50 C processor");
    EXPECT_EQ(lines[1], "temperaturePrimary=50 C source=IOHID PMU max (PMU tdie1 fanCount=9)");
}

} // namespace
} // namespace aerivo
