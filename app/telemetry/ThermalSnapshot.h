#pragma once

#include <chrono>
#include <string>

namespace aerivo {

// One refresh's reading of temperature and fan.
struct ThermalSnapshot {
    // The temperature the curve is evaluated at.
    double temperatureC = 0.0;
    // Fan speed read back.
    double actualRPM = 0.0;
    // The fan target the controller reports.
    double targetRPM = 0.0;
    // Where the temperature came from, shown to the user.
    std::string temperatureSource;
    // False for simulated or fallback readings, which never enter the history.
    bool hasLiveTemperatureTelemetry = false;
    std::chrono::system_clock::time_point updatedAt{};

    // The starting value: 48 °C and 1650 rpm from the mock reading (not live), stamped with the
    // time of first use.
    static const ThermalSnapshot& initial();

    friend bool operator==(const ThermalSnapshot&, const ThermalSnapshot&) = default;
};

} // namespace aerivo
