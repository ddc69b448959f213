#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace aerivo {

// Who drives the fan: macOS, the user's curve, or the safety override. Never persisted.
enum class FanControlMode { system, curve, safety };

inline constexpr std::array<FanControlMode, 3> allFanControlModes{
    FanControlMode::system, FanControlMode::curve, FanControlMode::safety};

std::string_view rawValue(FanControlMode mode);
// Exactly "System", "Curve" or "Safety preview".
std::optional<FanControlMode> fanControlModeFromRawValue(std::string_view raw);

} // namespace aerivo
