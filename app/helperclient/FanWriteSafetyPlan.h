#pragma once

#include "app/hardware/FanHardwareCapabilities.h"
#include "app/helperclient/FanWriteRequirement.h"
#include "app/helperclient/FanWriteSafetyStatus.h"

#include <optional>
#include <string>
#include <vector>

namespace aerivo {

// Whether the app may ask the helper to set any fan target: eleven preconditions over the
// hardware, the telemetry, the helper and the way back to macOS control, turned into one verdict
// with a title, a detail sentence, the full checklist and a summary of what is missing. A pure
// value, recomputed from current state whenever it is asked for. All texts are English.
struct FanWriteSafetyPlan {
    FanWriteSafetyStatus status = FanWriteSafetyStatus::unsupported;
    std::string title;
    std::string detail;
    // Always all eleven, in a fixed order.
    std::vector<FanWriteRequirement> requirements;

    // The verdict is the first failing test in the order supported fan, speed range, live speed,
    // live temperature, helper (signed, metadata, installed, trusted, heartbeat), write gate,
    // reset path; a later condition never hides an earlier one. The one exception: a fan the
    // helper reports it could not hand back (`fanHandBackFailure`, its reason) comes first, as
    // "Reset required" with the reason in the detail and the reset path unmet, since that fan
    // may be running at a fixed speed with nothing to return it.
    static FanWriteSafetyPlan
    evaluate(const FanHardwareCapabilities& capabilities, bool hasLiveTemperatureTelemetry,
             bool hasSignedPrivilegedHelper, bool hasHelperBlessMetadata,
             bool hasPrivilegedHelperInstall, bool hasTrustedHelperProvenance,
             bool hasHelperHeartbeat, bool hasHelperFanWritesEnabled, bool hasResetPath,
             const std::optional<std::string>& fanHandBackFailure = std::nullopt);

    // "All write requirements are satisfied." or "Fan writes remain locked. Missing: " followed
    // by the unmet titles in list order, joined with ", ", and a full stop.
    std::string actionMessage() const;

    bool isWriteCapable() const { return status == FanWriteSafetyStatus::writeCapable; }

    friend bool operator==(const FanWriteSafetyPlan&, const FanWriteSafetyPlan&) = default;
};

} // namespace aerivo
