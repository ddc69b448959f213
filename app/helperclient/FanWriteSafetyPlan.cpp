#include "app/helperclient/FanWriteSafetyPlan.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace aerivo {

namespace {

struct Verdict {
    FanWriteSafetyStatus status;
    std::string_view title;
    std::string_view detail;
};

constexpr std::array<Verdict, 8> verdicts{{
    {FanWriteSafetyStatus::unsupported, "Unsupported",
     "This Mac has no controllable fan for Aerivo Mac."},
    {FanWriteSafetyStatus::missingRange, "Range missing",
     "Detect hardware min/max RPM before any helper can write."},
    {FanWriteSafetyStatus::missingReadback, "Readback missing",
     "Need live RPM readback before any helper can write."},
    {FanWriteSafetyStatus::missingTelemetry, "Telemetry required",
     "Fan RPM readback is available; real temperature telemetry is still needed before writes."},
    {FanWriteSafetyStatus::helperRequired, "Helper required",
     "A signed, metadata-ready, installed, trusted privileged helper with heartbeat is still "
     "needed before writes."},
    {FanWriteSafetyStatus::writeGateRequired, "Write gate required",
     "The privileged helper is reachable, but its fan-write gate is not enabled."},
    {FanWriteSafetyStatus::resetRequired, "Reset required",
     "The helper must prove it can return fan control to macOS before writes."},
    {FanWriteSafetyStatus::writeCapable, "Write capable",
     "All write preflight requirements are satisfied."},
}};

const Verdict& verdictFor(FanWriteSafetyStatus status) {
    return *std::find_if(verdicts.begin(), verdicts.end(),
                         [status](const Verdict& verdict) { return verdict.status == status; });
}

} // namespace

FanWriteSafetyPlan FanWriteSafetyPlan::evaluate(
    const FanHardwareCapabilities& capabilities, bool hasLiveTemperatureTelemetry,
    bool hasSignedPrivilegedHelper, bool hasHelperBlessMetadata, bool hasPrivilegedHelperInstall,
    bool hasTrustedHelperProvenance, bool hasHelperHeartbeat, bool hasHelperFanWritesEnabled,
    bool hasResetPath, const std::optional<std::string>& fanHandBackFailure) {
    const bool supported = capabilities.supportStatus == FanHardwareSupportStatus::supported &&
                           capabilities.fanCount > 0;
    const bool range = capabilities.hasRPMAxis();
    const bool readback = capabilities.hasLiveRPMReadback();
    const bool helper = hasSignedPrivilegedHelper && hasHelperBlessMetadata &&
                        hasPrivilegedHelperInstall && hasTrustedHelperProvenance &&
                        hasHelperHeartbeat;

    FanWriteSafetyStatus status = FanWriteSafetyStatus::writeCapable;
    if (fanHandBackFailure) {
        hasResetPath = false;
        status = FanWriteSafetyStatus::resetRequired;
    } else if (!supported) {
        status = FanWriteSafetyStatus::unsupported;
    } else if (!range) {
        status = FanWriteSafetyStatus::missingRange;
    } else if (!readback) {
        status = FanWriteSafetyStatus::missingReadback;
    } else if (!hasLiveTemperatureTelemetry) {
        status = FanWriteSafetyStatus::missingTelemetry;
    } else if (!helper) {
        status = FanWriteSafetyStatus::helperRequired;
    } else if (!hasHelperFanWritesEnabled) {
        status = FanWriteSafetyStatus::writeGateRequired;
    } else if (!hasResetPath) {
        status = FanWriteSafetyStatus::resetRequired;
    }

    const Verdict& verdict = verdictFor(status);
    return FanWriteSafetyPlan{
        status,
        std::string(verdict.title),
        fanHandBackFailure ? "The helper could not return fan 0 to macOS control, so it may still "
                             "run at a fixed speed: " +
                                 *fanHandBackFailure
                           : std::string(verdict.detail),
        {
            {"supported fan hardware", supported},
            {"hardware min/max RPM readback", range},
            {"live RPM readback", readback},
            {"live temperature telemetry", hasLiveTemperatureTelemetry},
            {"signed privileged helper", hasSignedPrivilegedHelper},
            {"ServiceManagement helper metadata", hasHelperBlessMetadata},
            {"privileged helper install verified", hasPrivilegedHelperInstall},
            {"trusted helper provenance", hasTrustedHelperProvenance},
            {"helper heartbeat", hasHelperHeartbeat},
            {"helper fan writes enabled", hasHelperFanWritesEnabled},
            {"macOS-control reset path", hasResetPath},
        },
    };
}

std::string FanWriteSafetyPlan::actionMessage() const {
    std::string missing;
    for (const FanWriteRequirement& requirement : requirements) {
        if (!requirement.isSatisfied) {
            if (!missing.empty()) {
                missing += ", ";
            }
            missing += requirement.title;
        }
    }
    if (missing.empty()) {
        return "All write requirements are satisfied.";
    }
    return "Fan writes remain locked. Missing: " + missing + ".";
}

} // namespace aerivo
