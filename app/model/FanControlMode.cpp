#include "app/model/FanControlMode.h"

#include "app/l10n/L10n.h"

namespace aerivo {

std::string_view rawValue(FanControlMode mode) {
    switch (mode) {
    case FanControlMode::system:
        return "System";
    case FanControlMode::curve:
        return "Curve";
    case FanControlMode::safety:
        return "Safety preview";
    }
    return "System";
}

std::optional<FanControlMode> fanControlModeFromRawValue(std::string_view raw) {
    for (FanControlMode mode : allFanControlModes) {
        if (rawValue(mode) == raw) {
            return mode;
        }
    }
    return std::nullopt;
}

L10nKey displayNameKey(FanControlMode mode) {
    switch (mode) {
    case FanControlMode::system:
        return L10nKey::systemMode;
    case FanControlMode::curve:
        return L10nKey::curveMode;
    case FanControlMode::safety:
        return L10nKey::safetyMode;
    }
    return L10nKey::systemMode;
}

L10nKey descriptionKey(FanControlMode mode) {
    switch (mode) {
    case FanControlMode::system:
        return L10nKey::systemModeDescription;
    case FanControlMode::curve:
        return L10nKey::curveModeDescription;
    case FanControlMode::safety:
        return L10nKey::safetyModeDescription;
    }
    return L10nKey::systemModeDescription;
}

std::string displayName(FanControlMode mode, AppLanguage language) {
    return L10n::text(displayNameKey(mode), language);
}

std::string description(FanControlMode mode, AppLanguage language) {
    return L10n::text(descriptionKey(mode), language);
}

std::string description(FanControlMode mode) {
    return description(mode, AppLanguage::english);
}

} // namespace aerivo
