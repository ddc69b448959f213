#pragma once

#include "app/telemetry/ThermalSnapshot.h"

#include <chrono>

namespace aerivo {

// One history entry: 32 bytes, so a full day of samples stays near 1.4 MB.
struct ThermalSample {
    double temperatureC = 0.0;
    double actualRPM = 0.0;
    double targetRPM = 0.0;
    std::chrono::system_clock::time_point recordedAt{};

    ThermalSample() = default;
    explicit ThermalSample(
        double temperatureC, double actualRPM = 0.0, double targetRPM = 0.0,
        std::chrono::system_clock::time_point recordedAt = std::chrono::system_clock::now())
        : temperatureC(temperatureC), actualRPM(actualRPM), targetRPM(targetRPM),
          recordedAt(recordedAt) {}
    // Recorded at the snapshot's own time, not at the time of the call.
    explicit ThermalSample(const ThermalSnapshot& snapshot)
        : temperatureC(snapshot.temperatureC), actualRPM(snapshot.actualRPM),
          targetRPM(snapshot.targetRPM), recordedAt(snapshot.updatedAt) {}

    friend bool operator==(const ThermalSample&, const ThermalSample&) = default;
};

} // namespace aerivo
