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

// Live temperatures from the HID temperature services of the processor's power-management unit.
// Keeps no state between calls: every read lists the services afresh and copies one event per
// service, so a sensor that appears or disappears is seen on the next read. The event system
// must outlive the client.
class HIDTemperatureTelemetryClient final : public TemperatureTelemetrySource {
public:
    static constexpr std::int64_t primaryUsagePage = 0xFF00;
    static constexpr std::int64_t primaryUsage = 5;
    static constexpr std::int64_t temperatureEventType = 15;
    // The temperature level: the event type shifted left by 16.
    static constexpr std::int64_t temperatureEventField = 0xF0000;

    explicit HIDTemperatureTelemetryClient(HIDEventSystem& eventSystem)
        : eventSystem_(eventSystem) {}

    // The hottest processor sensor, else the hottest sensor of any kind.
    std::optional<TemperatureTelemetryReading> readPrimaryTemperature() override;
    // "temperatureTelemetry=unavailable" without sensors; otherwise the sensor count, the
    // primary reading and one line per sensor.
    std::vector<std::string> debugReport() override;

    // Every matching service, processor sensors first, each group by name. Sensors without a
    // valid reading stay in the list without a temperature.
    std::vector<TemperatureTelemetrySensor> readSensors();
    // A later sensor replaces the best so far only when strictly hotter, so ties keep the one
    // listed first.
    static std::optional<TemperatureTelemetryReading>
    primaryTemperature(const std::vector<TemperatureTelemetrySensor>& sensors);
    // "pmu" together with "tdie" or "tdev", in any letter case.
    static bool isProcessorSensorName(std::string_view name);
    // A reading counts only when finite and strictly between 0 and 150 °C.
    static bool isValidTemperature(double celsius);

    std::optional<double> readTemperature(HIDServiceHandle service);
    std::optional<std::string> serviceStringProperty(HIDServiceHandle service,
                                                     std::string_view key);

private:
    HIDEventSystem& eventSystem_;
};

} // namespace aerivo
