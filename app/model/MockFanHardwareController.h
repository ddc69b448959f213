#pragma once

#include "app/model/FanHardwareController.h"

#include <chrono>
#include <functional>

namespace aerivo {

// Hardware without hardware: a temperature drifting on two sine waves around 58 °C and a fan that
// follows its target with a lag. Holds nothing but its clock.
class MockFanHardwareController final : public FanHardwareController {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    static constexpr std::string_view temperatureSource = "Mock temperature simulation";

    // The phases are measured from 2001-01-01 00:00:00 UTC on `clock` (the system clock by
    // default).
    explicit MockFanHardwareController(Clock clock = {});

    // FanHardwareCapabilities::unavailable().
    FanHardwareCapabilities readCapabilities() override;
    // 58 + 12 sin(t/8) + 3 sin(t/2.8) °C; the target is 1900 + 38 (T − 45) rpm in system mode and
    // the profile's curve otherwise; the fan closes 22 % of the gap to it. Not live.
    ThermalSnapshot readSnapshot(const AerivoProfile& profile, FanControlMode mode,
                                 const ThermalSnapshot& previous) override;

private:
    Clock clock_;
};

} // namespace aerivo
