#include "app/hardware/SMCFanHardwareController.h"

#include "app/hardware/HardwareProbeLines.h"
#include "app/hardware/KnownMacFanCatalog.h"
#include "app/model/MockFanHardwareController.h"
#include "app/telemetry/HIDTemperatureTelemetryClient.h"

namespace aerivo {

SMCFanHardwareController::SMCFanHardwareController(
    IOKitPort& port, HIDEventSystem& eventSystem, std::unique_ptr<FanHardwareController> fallback,
    std::unique_ptr<TemperatureTelemetrySource> temperatureTelemetry, Clock clock)
    : port_(port),
      fallback_(fallback ? std::move(fallback) : std::make_unique<MockFanHardwareController>()),
      temperatureTelemetry_(temperatureTelemetry
                                ? std::move(temperatureTelemetry)
                                : std::make_unique<HIDTemperatureTelemetryClient>(eventSystem)),
      smcClient_(SMCReadOnlyClient::create(port)), model_(MacHardwareModel::current(port)),
      clock_(clock ? std::move(clock) : Clock([] { return std::chrono::system_clock::now(); })) {}

SMCFanHardwareController::~SMCFanHardwareController() = default;

FanHardwareCapabilities SMCFanHardwareController::readCapabilities() {
    FanHardwareCapabilities read =
        smcClient_ ? smcClient_->readFanCapabilities() : fallback_->readCapabilities();
    if (read.hasRPMAxis() || read.isUnsupported()) {
        return read;
    }
    if (auto catalog = KnownMacFanCatalog::fallbackCapabilities(model_)) {
        return std::move(*catalog);
    }
    return read;
}

ThermalSnapshot SMCFanHardwareController::readSnapshot(const AerivoProfile& profile,
                                                       FanControlMode mode,
                                                       const ThermalSnapshot& previous) {
    ThermalSnapshot base = fallback_->readSnapshot(profile, mode, previous);
    const std::optional<TemperatureTelemetryReading> reading =
        temperatureTelemetry_->readPrimaryTemperature();

    std::optional<double> smcActual;
    if (smcClient_) {
        smcActual = smcClient_->readCurrentPrimaryFanRPM();
    }
    const double actualRPM = smcActual.value_or(base.actualRPM);
    const double temperatureC = reading ? reading->temperatureC : base.temperatureC;
    const double curveTarget = profile.targetRPM(temperatureC);

    double targetRPM = curveTarget;
    switch (mode) {
    case FanControlMode::system:
        targetRPM = actualRPM;
        break;
    case FanControlMode::curve:
        targetRPM = curveTarget;
        break;
    case FanControlMode::safety:
        targetRPM = profile.rpmAxis.maximum;
        break;
    }

    ThermalSnapshot snapshot;
    snapshot.temperatureC = temperatureC;
    snapshot.actualRPM = actualRPM;
    snapshot.targetRPM = targetRPM;
    if (reading) {
        snapshot.temperatureSource = reading->source;
        snapshot.hasLiveTemperatureTelemetry = reading->isLive;
    } else {
        snapshot.temperatureSource = std::move(base.temperatureSource);
        snapshot.hasLiveTemperatureTelemetry = base.hasLiveTemperatureTelemetry;
    }
    snapshot.updatedAt = clock_();
    return snapshot;
}

std::vector<std::string> SMCFanHardwareController::smcDebugReport() {
    return smcClient_ ? smcClient_->debugFanKeyReport()
                      : std::vector<std::string>{"smcService=unavailable"};
}

std::vector<std::string> SMCFanHardwareController::smcFanControlKeyDebugReport() {
    std::vector<std::string> lines =
        smcClient_ ? smcClient_->debugPotentialFanControlKeyReport()
                   : std::vector<std::string>{"smcFanControlKeyProbe=unavailable"};
    if (const auto support = fanWriteSupport()) {
        lines.push_back("fanWriteSupport=" + singleLine(*support));
    }
    return lines;
}

std::optional<std::string> SMCFanHardwareController::fanWriteSupport() {
    if (!smcClient_) {
        return std::nullopt;
    }
    const IOObjectHandle service = port_.matchingService(smcClient_->serviceClassName());
    if (service == 0) {
        return std::nullopt;
    }
    std::optional<std::string> support = port_.stringProperty(service, "FanWriteSupport");
    port_.releaseObject(service);
    return support;
}

std::vector<std::string> SMCFanHardwareController::temperatureDebugReport() {
    return temperatureTelemetry_->debugReport();
}

std::optional<TemperatureTelemetryReading> SMCFanHardwareController::primaryTemperature() {
    return temperatureTelemetry_->readPrimaryTemperature();
}

} // namespace aerivo
