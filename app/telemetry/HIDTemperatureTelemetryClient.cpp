#include "app/telemetry/HIDTemperatureTelemetryClient.h"

#include "app/hardware/HardwareProbeLines.h"
#include "app/l10n/Formatters.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace aerivo {

namespace {

// ASCII lower case only: the markers are ASCII, and folding nothing else keeps the rule
// independent of the locale.
std::string asciiLowercased(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return result;
}

bool isSMCKey(std::string_view name, std::string_view prefix) {
    return name.size() == 4 && name.starts_with(prefix);
}

TemperatureTelemetryReading reading(const TemperatureTelemetrySensor& sensor,
                                    std::string_view sourcePrefix) {
    return {*sensor.temperatureC, std::string(sourcePrefix) + sensor.name + ")", true};
}

std::optional<TemperatureTelemetryReading>
hottest(const std::vector<TemperatureTelemetrySensor>& sensors,
        const std::function<bool(const TemperatureTelemetrySensor&)>& counts,
        std::string_view sourcePrefix) {
    const TemperatureTelemetrySensor* best = nullptr;
    for (const TemperatureTelemetrySensor& sensor : sensors) {
        if (!sensor.temperatureC || !counts(sensor)) {
            continue;
        }
        if (best == nullptr || *sensor.temperatureC > *best->temperatureC) {
            best = &sensor;
        }
    }
    if (best == nullptr) {
        return std::nullopt;
    }
    return reading(*best, sourcePrefix);
}

// The first valid sensor of that exact name.
const TemperatureTelemetrySensor* named(const std::vector<TemperatureTelemetrySensor>& sensors,
                                        std::string_view name) {
    const auto found =
        std::find_if(sensors.begin(), sensors.end(), [name](const TemperatureTelemetrySensor& s) {
            return s.temperatureC && s.name == name;
        });
    return found == sensors.end() ? nullptr : &*found;
}

} // namespace

bool HIDTemperatureTelemetryClient::isProcessorSensorName(std::string_view name) {
    const std::string lowered = asciiLowercased(name);
    return (lowered.find("pmu") != std::string::npos &&
            (lowered.find("tdie") != std::string::npos ||
             lowered.find("tdev") != std::string::npos)) ||
           isSMCKey(name, "TC");
}

bool HIDTemperatureTelemetryClient::isBatterySensorName(std::string_view name) {
    return name == "Battery Hotspot" || name == "temp" || isSMCKey(name, "TB");
}

bool HIDTemperatureTelemetryClient::isValidTemperature(double celsius) {
    return std::isfinite(celsius) && celsius > 0.0 && celsius < 150.0;
}

std::optional<std::string>
HIDTemperatureTelemetryClient::serviceStringProperty(HIDServiceHandle service,
                                                     std::string_view key) {
    return eventSystem_.copyStringProperty(service, key);
}

std::optional<double> HIDTemperatureTelemetryClient::readTemperature(HIDServiceHandle service) {
    const std::optional<double> value =
        eventSystem_.copyEventFloatValue(service, temperatureEventType, temperatureEventField);
    if (!value || !isValidTemperature(*value)) {
        return std::nullopt;
    }
    return value;
}

std::vector<TemperatureTelemetrySensor> HIDTemperatureTelemetryClient::readSensors() {
    const auto services = eventSystem_.copyServices(primaryUsagePage, primaryUsage);
    if (!services) {
        return {};
    }
    std::vector<TemperatureTelemetrySensor> sensors;
    sensors.reserve(services->size());
    for (std::size_t index = 0; index < services->size(); ++index) {
        const HIDServiceHandle service = (*services)[index];
        std::string name =
            serviceStringProperty(service, "Product").value_or("sensor-" + std::to_string(index));
        const bool isProcessor = isProcessorSensorName(name);
        sensors.push_back({std::move(name), readTemperature(service), isProcessor});
    }
    std::stable_sort(sensors.begin(), sensors.end(),
                     [](const TemperatureTelemetrySensor& a, const TemperatureTelemetrySensor& b) {
                         if (a.isProcessorSensor != b.isProcessorSensor) {
                             return a.isProcessorSensor;
                         }
                         return a.name < b.name;
                     });
    return sensors;
}

std::optional<TemperatureTelemetryReading> HIDTemperatureTelemetryClient::primaryTemperature(
    const std::vector<TemperatureTelemetrySensor>& sensors,
    const std::optional<std::string>& chosenSensor) {
    if (chosenSensor) {
        if (const TemperatureTelemetrySensor* chosen = named(sensors, *chosenSensor)) {
            return reading(*chosen, "IOHID chosen (");
        }
    }
    if (auto processor = hottest(
            sensors, [](const auto& sensor) { return sensor.isProcessorSensor; },
            "IOHID PMU max (")) {
        return processor;
    }
    for (const std::string_view board : boardSensorPriority) {
        if (const TemperatureTelemetrySensor* sensor = named(sensors, board)) {
            return reading(*sensor, "IOHID board (");
        }
    }
    if (auto other = hottest(
            sensors, [](const auto& sensor) { return !isBatterySensorName(sensor.name); },
            "IOHID temperature max (")) {
        return other;
    }
    return hottest(
        sensors, [](const auto&) { return true; }, "IOHID temperature max (");
}

std::optional<TemperatureTelemetryReading> HIDTemperatureTelemetryClient::readPrimaryTemperature() {
    return primaryTemperature(readSensors(), chosenSensor_);
}

std::vector<std::string> HIDTemperatureTelemetryClient::debugReport() {
    const std::vector<TemperatureTelemetrySensor> sensors = readSensors();
    if (sensors.empty()) {
        return {"temperatureTelemetry=unavailable"};
    }
    std::vector<std::string> lines;
    lines.reserve(sensors.size() + 2);
    lines.push_back("temperatureTelemetry=IOHID sensors=" + std::to_string(sensors.size()));
    const auto primary = primaryTemperature(sensors, chosenSensor_);
    // A service name is the device's own text: line breaks in it would start lines of their
    // own in the report, so the report writes them as spaces.
    lines.push_back("temperaturePrimary=" + (primary
                                                 ? Formatters::temperature(primary->temperatureC) +
                                                       " source=" + singleLine(primary->source)
                                                 : std::string("nil")));
    if (chosenSensor_) {
        lines.push_back("temperatureChoice=" + singleLine(*chosenSensor_) +
                        (named(sensors, *chosenSensor_) ? " found" : " missing"));
    }
    for (const TemperatureTelemetrySensor& sensor : sensors) {
        lines.push_back(singleLine(sensor.name) + ": " +
                        (sensor.temperatureC ? Formatters::temperature(*sensor.temperatureC)
                                             : std::string("nil")) +
                        " " + (sensor.isProcessorSensor ? "processor" : "other"));
    }
    return lines;
}

} // namespace aerivo
