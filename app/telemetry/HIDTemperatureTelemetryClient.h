#pragma once

#include "app/telemetry/TemperatureTelemetrySensor.h"
#include "app/telemetry/TemperatureTelemetrySource.h"
#include "platform/services/HIDEventSystem.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// Live temperatures from the HID temperature services: the processor's power-management unit on
// a Mac, every hwmon temperature on Linux. Keeps no state between calls but the chosen sensor's
// name: every read lists the services afresh and copies one event per service, so a sensor that
// appears or disappears is seen on the next read. The event system must outlive the client.
//
// The curve's sensor, in this order of priority (the first with a valid reading):
//   1. the chosen sensor, by exact name ("--temperature-sensor", saved in the settings);
//   2. the hottest processor sensor: the Mac's "PMU tdie"/"PMU tdev" services, or an applesmc
//      CPU key ("TC0P", "TC0D", ...: applesmc labels a temperature with its SMC key);
//   3. the first of the Apple Silicon board sensors as the device tree names them
//      (arch/arm64/boot/dts/apple/hwmon-*.dtsi; macsmc_hwmon exposes no processor sensor):
//      "NAND Flash Temperature", "Charge Regulator Temp", "WiFi/BT Module Temp";
//   4. the hottest other sensor that is not a battery's ("Battery Hotspot", the power-supply
//      core's "temp", applesmc's "TB..." keys), else the hottest of all.
// The reading's source names the rule and the sensor: "IOHID chosen (<name>)", "IOHID PMU max
// (<name>)", "IOHID board (<name>)", "IOHID temperature max (<name>)".
class HIDTemperatureTelemetryClient final : public TemperatureTelemetrySource {
public:
    static constexpr std::int64_t primaryUsagePage = 0xFF00;
    static constexpr std::int64_t primaryUsage = 5;
    static constexpr std::int64_t temperatureEventType = 15;
    // The temperature level: the event type shifted left by 16.
    static constexpr std::int64_t temperatureEventField = 0xF0000;

    // The board sensors of rule 3, in their order.
    static constexpr std::string_view boardSensorPriority[] = {
        "NAND Flash Temperature", "Charge Regulator Temp", "WiFi/BT Module Temp"};

    explicit HIDTemperatureTelemetryClient(HIDEventSystem& eventSystem,
                                           std::optional<std::string> chosenSensor = std::nullopt)
        : eventSystem_(eventSystem), chosenSensor_(std::move(chosenSensor)) {}

    // The curve's sensor by the priority above.
    std::optional<TemperatureTelemetryReading> readPrimaryTemperature() override;
    // "temperatureTelemetry=unavailable" without sensors; otherwise the sensor count, the
    // primary reading, "temperatureChoice=<name> found|missing" when a sensor is chosen, and one
    // line per sensor.
    std::vector<std::string> debugReport() override;

    // Every matching service, processor sensors first, each group by name. Sensors without a
    // valid reading stay in the list without a temperature.
    std::vector<TemperatureTelemetrySensor> readSensors();
    // The priority above over `sensors`. Among several, a later sensor replaces the best so far
    // only when strictly hotter, so ties keep the one listed first.
    static std::optional<TemperatureTelemetryReading>
    primaryTemperature(const std::vector<TemperatureTelemetrySensor>& sensors,
                       const std::optional<std::string>& chosenSensor = std::nullopt);
    // "pmu" together with "tdie" or "tdev", in any letter case; or a four-character SMC key
    // beginning "TC".
    static bool isProcessorSensorName(std::string_view name);
    // "Battery Hotspot", "temp" (the power-supply core's battery label) or an SMC key beginning
    // "TB".
    static bool isBatterySensorName(std::string_view name);
    // A reading counts only when finite and strictly between 0 and 150 °C.
    static bool isValidTemperature(double celsius);

    std::optional<double> readTemperature(HIDServiceHandle service);
    std::optional<std::string> serviceStringProperty(HIDServiceHandle service,
                                                     std::string_view key);

private:
    HIDEventSystem& eventSystem_;
    std::optional<std::string> chosenSensor_;
};

} // namespace aerivo
