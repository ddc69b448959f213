#pragma once

#include "app/hardware/MacHardwareModel.h"
#include "app/hardware/SMCReadOnlyClient.h"
#include "app/model/FanHardwareController.h"
#include "app/telemetry/TemperatureTelemetrySource.h"
#include "platform/services/HIDEventSystem.h"
#include "platform/services/IOKitPort.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace aerivo {

// The real fan hardware controller. Fan ranges and the live fan speed come from the read-only
// SMC client, the temperature from the HID telemetry, missing ranges from the model catalog, and
// whatever is still missing from the fallback controller. It never writes to the hardware.
//
// The SMC connection is opened and the machine model read once, at construction; a controller
// whose SMC did not open never retries. The port and the event system must outlive it.
class SMCFanHardwareController final : public FanHardwareController {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    // `fallback` defaults to a MockFanHardwareController, `temperatureTelemetry` to an
    // HIDTemperatureTelemetryClient over `eventSystem`, `clock` (the snapshots' time) to the
    // system clock.
    SMCFanHardwareController(
        IOKitPort& port, HIDEventSystem& eventSystem,
        std::unique_ptr<FanHardwareController> fallback = nullptr,
        std::unique_ptr<TemperatureTelemetrySource> temperatureTelemetry = nullptr,
        Clock clock = {});
    ~SMCFanHardwareController() override;

    SMCFanHardwareController(const SMCFanHardwareController&) = delete;
    SMCFanHardwareController& operator=(const SMCFanHardwareController&) = delete;

    // The SMC's capabilities when it gave a range or said there is no fan; otherwise the
    // catalog's entry for the model, when it has one; otherwise what was read (the fallback's
    // answer without an SMC).
    FanHardwareCapabilities readCapabilities() override;
    // Every field falls back on its own: the SMC's "F0Ac" else the fallback's fan speed, the
    // telemetry's primary reading else the fallback's temperature, source and live flag. The
    // target is the actual speed in system mode, the curve in curve mode and the top of the
    // speed axis in safety mode.
    ThermalSnapshot readSnapshot(const AerivoProfile& profile, FanControlMode mode,
                                 const ThermalSnapshot& previous) override;

    // The SMC client's fan-key report, else "smcService=unavailable".
    std::vector<std::string> smcDebugReport();
    // The client's fan-control key probe, else "smcFanControlKeyProbe=unavailable"; then
    // "fanWriteSupport=" with what the SMC service says about fan writes, when it says anything.
    std::vector<std::string> smcFanControlKeyDebugReport();
    // The SMC service's "FanWriteSupport" property: whether its driver lets the helper drive the
    // fan and, if not, why. Only backends over a foreign driver publish it (hwmon); nothing
    // without an SMC client or when the service does not say.
    std::optional<std::string> fanWriteSupport();
    std::vector<std::string> temperatureDebugReport();
    // The telemetry's reading of the curve's sensor, its source naming the sensor.
    std::optional<TemperatureTelemetryReading> primaryTemperature();

    bool hasSMCClient() const { return smcClient_ != nullptr; }
    const MacHardwareModel& model() const { return model_; }

private:
    IOKitPort& port_;
    std::unique_ptr<FanHardwareController> fallback_;
    std::unique_ptr<TemperatureTelemetrySource> temperatureTelemetry_;
    std::unique_ptr<SMCReadOnlyClient> smcClient_;
    MacHardwareModel model_;
    Clock clock_;
};

} // namespace aerivo
