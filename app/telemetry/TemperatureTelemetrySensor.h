#pragma once

#include <optional>
#include <string>

namespace aerivo {

// One temperature sensor as the event system lists it.
struct TemperatureTelemetrySensor {
    std::string name;
    // Absent when the sensor gave no valid reading.
    std::optional<double> temperatureC;
    // A power-management die or device sensor of the processor ("PMU tdie…", "PMU tdev…").
    bool isProcessorSensor = false;

    friend bool operator==(const TemperatureTelemetrySensor&,
                           const TemperatureTelemetrySensor&) = default;
};

} // namespace aerivo
