#pragma once

#include "app/model/AerivoProfile.h"

#include <array>
#include <optional>
#include <string_view>

namespace aerivo {

// Ready-made curves the user can load in one step. The raw value is also the profile's name.
enum class CurvePreset { quiet, balanced, cooling };

inline constexpr std::array<CurvePreset, 3> allCurvePresets{
    CurvePreset::quiet, CurvePreset::balanced, CurvePreset::cooling};

std::string_view rawValue(CurvePreset preset);
// The preset's identity for lists; the same as its raw value.
inline std::string_view id(CurvePreset preset) {
    return rawValue(preset);
}
// Exactly "Quiet", "Balanced" or "Cooling" (case-sensitive).
std::optional<CurvePreset> curvePresetFromRawValue(std::string_view raw);

// Built against the default axes of the balanced profile. The balanced preset keeps the default
// profile's point ids; the others get fresh ids on every call.
AerivoProfile profile(CurvePreset preset);

} // namespace aerivo
