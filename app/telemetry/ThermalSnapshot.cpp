#include "app/telemetry/ThermalSnapshot.h"

#include "app/telemetry/TemperatureTelemetryReading.h"

namespace aerivo {

const ThermalSnapshot& ThermalSnapshot::initial() {
    static const ThermalSnapshot snapshot = [] {
        const auto& reading = TemperatureTelemetryReading::mock();
        return ThermalSnapshot{
            reading.temperatureC, 1650.0,         1650.0,
            reading.source,       reading.isLive, std::chrono::system_clock::now()};
    }();
    return snapshot;
}

} // namespace aerivo
