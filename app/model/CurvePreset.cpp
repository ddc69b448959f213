#include "app/model/CurvePreset.h"

namespace aerivo {

std::string_view rawValue(CurvePreset preset) {
    switch (preset) {
    case CurvePreset::quiet:
        return "Quiet";
    case CurvePreset::balanced:
        return "Balanced";
    case CurvePreset::cooling:
        return "Cooling";
    }
    return "Balanced";
}

std::optional<CurvePreset> curvePresetFromRawValue(std::string_view raw) {
    for (CurvePreset preset : allCurvePresets) {
        if (rawValue(preset) == raw) {
            return preset;
        }
    }
    return std::nullopt;
}

AerivoProfile profile(CurvePreset preset) {
    AerivoProfile result = AerivoProfile::balanced();
    result.name = std::string(rawValue(preset));
    switch (preset) {
    case CurvePreset::quiet:
        result.points = {{35, 1200}, {55, 1700}, {72, 3000}, {86, 5200}, {94, 6200}};
        result.safetyLimitC = 84.0;
        break;
    case CurvePreset::balanced:
        break;
    case CurvePreset::cooling:
        result.points = {{32, 1600}, {48, 2600}, {64, 4100}, {78, 5600}, {90, 6200}};
        result.safetyLimitC = 82.0;
        break;
    }
    result.normalize();
    return result;
}

} // namespace aerivo
