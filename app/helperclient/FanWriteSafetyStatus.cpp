#include "app/helperclient/FanWriteSafetyStatus.h"

namespace aerivo {

std::string_view rawValue(FanWriteSafetyStatus status) {
    switch (status) {
    case FanWriteSafetyStatus::unsupported:
        return "unsupported";
    case FanWriteSafetyStatus::missingRange:
        return "missingRange";
    case FanWriteSafetyStatus::missingReadback:
        return "missingReadback";
    case FanWriteSafetyStatus::missingTelemetry:
        return "missingTelemetry";
    case FanWriteSafetyStatus::helperRequired:
        return "helperRequired";
    case FanWriteSafetyStatus::writeGateRequired:
        return "writeGateRequired";
    case FanWriteSafetyStatus::resetRequired:
        return "resetRequired";
    case FanWriteSafetyStatus::writeCapable:
        return "writeCapable";
    }
    return "unsupported";
}

std::optional<FanWriteSafetyStatus> fanWriteSafetyStatusFromRawValue(std::string_view raw) {
    for (FanWriteSafetyStatus status : allFanWriteSafetyStatuses) {
        if (rawValue(status) == raw) {
            return status;
        }
    }
    return std::nullopt;
}

} // namespace aerivo
