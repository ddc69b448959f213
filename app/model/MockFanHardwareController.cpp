#include "app/model/MockFanHardwareController.h"

#include "app/telemetry/InstantArithmetic.h"

#include <cmath>

namespace aerivo {

namespace {

const Instant referenceDate = Instant(std::chrono::seconds(978307200));

} // namespace

MockFanHardwareController::MockFanHardwareController(Clock clock) : clock_(std::move(clock)) {
    if (!clock_) {
        clock_ = [] { return std::chrono::system_clock::now(); };
    }
}

FanHardwareCapabilities MockFanHardwareController::readCapabilities() {
    return FanHardwareCapabilities::unavailable();
}

ThermalSnapshot MockFanHardwareController::readSnapshot(const AerivoProfile& profile,
                                                        FanControlMode mode,
                                                        const ThermalSnapshot& previous) {
    const Instant now = clock_();
    const double t = secondsBetween(now, referenceDate).count();
    const double temperatureC = 58.0 + std::sin(t / 8.0) * 12.0 + std::sin(t / 2.8) * 3.0;
    const double target = mode == FanControlMode::system ? 1900.0 + (temperatureC - 45.0) * 38.0
                                                         : profile.targetRPM(temperatureC);
    const double actual = previous.actualRPM + (target - previous.actualRPM) * 0.22;
    return ThermalSnapshot{temperatureC, actual, target, std::string{temperatureSource},
                           false,        now};
}

} // namespace aerivo
