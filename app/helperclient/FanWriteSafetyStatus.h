#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace aerivo {

// The verdict on whether fan writes may be sent, named after the first condition that fails.
enum class FanWriteSafetyStatus {
    unsupported,
    missingRange,
    missingReadback,
    missingTelemetry,
    helperRequired,
    writeGateRequired,
    resetRequired,
    writeCapable,
};

inline constexpr std::array<FanWriteSafetyStatus, 8> allFanWriteSafetyStatuses{
    FanWriteSafetyStatus::unsupported,     FanWriteSafetyStatus::missingRange,
    FanWriteSafetyStatus::missingReadback, FanWriteSafetyStatus::missingTelemetry,
    FanWriteSafetyStatus::helperRequired,  FanWriteSafetyStatus::writeGateRequired,
    FanWriteSafetyStatus::resetRequired,   FanWriteSafetyStatus::writeCapable,
};

// The case name ("writeCapable").
std::string_view rawValue(FanWriteSafetyStatus status);
// Exact match of a raw value only.
std::optional<FanWriteSafetyStatus> fanWriteSafetyStatusFromRawValue(std::string_view raw);

} // namespace aerivo
