#include "app/telemetry/TemperatureTelemetryReading.h"

namespace aerivo {

const TemperatureTelemetryReading& TemperatureTelemetryReading::mock() {
    static const TemperatureTelemetryReading reading{48.0, "Mock temperature", false};
    return reading;
}

} // namespace aerivo
