#pragma once

#include "app/telemetry/TemperatureTelemetryReading.h"

#include <optional>
#include <string>
#include <vector>

namespace aerivo {

// Where the hardware controller gets the temperature that drives the curve.
class TemperatureTelemetrySource {
public:
    virtual ~TemperatureTelemetrySource() = default;

    // The temperature that drives the curve; nothing when no sensor has a valid reading.
    virtual std::optional<TemperatureTelemetryReading> readPrimaryTemperature() = 0;
    // Diagnostic key=value lines for the command line.
    virtual std::vector<std::string> debugReport() = 0;
};

} // namespace aerivo
