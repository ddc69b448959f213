#include "app/model/FanControlMode.h"

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

} // namespace aerivo
