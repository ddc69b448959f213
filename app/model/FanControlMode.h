#pragma once

#include "app/l10n/AppLanguage.h"
#include "app/l10n/L10nKey.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace aerivo {

// Who drives the fan: macOS, the user's curve, or the safety override. Never persisted.
enum class FanControlMode { system, curve, safety };

inline constexpr std::array<FanControlMode, 3> allFanControlModes{
    FanControlMode::system, FanControlMode::curve, FanControlMode::safety};

std::string_view rawValue(FanControlMode mode);
// Exactly "System", "Curve" or "Safety preview".
std::optional<FanControlMode> fanControlModeFromRawValue(std::string_view raw);

// The text keys of the mode's short name ("System", "Curve", "Safety") and of its one-line
// description.
L10nKey displayNameKey(FanControlMode mode);
L10nKey descriptionKey(FanControlMode mode);
std::string displayName(FanControlMode mode, AppLanguage language);
std::string description(FanControlMode mode, AppLanguage language);
// The English description.
std::string description(FanControlMode mode);

} // namespace aerivo
