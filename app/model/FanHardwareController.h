#pragma once

#include "app/hardware/FanHardwareCapabilities.h"
#include "app/model/AerivoProfile.h"
#include "app/model/FanControlMode.h"
#include "app/telemetry/ThermalSnapshot.h"

namespace aerivo {

// The store's door to the fans and the temperature.
class FanHardwareController {
public:
    virtual ~FanHardwareController() = default;

    // Called once while the store is built and again by the hardware-detection actions.
    virtual FanHardwareCapabilities readCapabilities() = 0;
    // Called on the main thread by every refresh with the current profile, the effective mode and
    // the previous snapshot; the result replaces the store's snapshot whole. Must be quick: it
    // runs every two seconds on the main thread. Never fails: a controller that cannot read the
    // hardware returns a fallback snapshot without live telemetry.
    virtual ThermalSnapshot readSnapshot(const AerivoProfile& profile, FanControlMode mode,
                                         const ThermalSnapshot& previous) = 0;
};

} // namespace aerivo
