#pragma once

#include <string>

namespace aerivo {

// One temperature reading and where it came from.
struct TemperatureTelemetryReading {
    double temperatureC = 0.0;
    // Shown to the user and carried into the snapshot.
    std::string source;
    // True for a measured value, false for a placeholder.
    bool isLive = false;

    // The placeholder used before any sensor was read: 48 °C, "Mock temperature", not live.
    static const TemperatureTelemetryReading& mock();

    friend bool operator==(const TemperatureTelemetryReading&,
                           const TemperatureTelemetryReading&) = default;
};

} // namespace aerivo
