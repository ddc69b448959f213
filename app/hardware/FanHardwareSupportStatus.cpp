#include "app/hardware/FanHardwareSupportStatus.h"

namespace aerivo {

std::string_view rawValue(FanHardwareSupportStatus status) {
    switch (status) {
    case FanHardwareSupportStatus::supported:
        return "supported";
    case FanHardwareSupportStatus::unsupportedNoFan:
        return "unsupportedNoFan";
    case FanHardwareSupportStatus::unavailable:
        return "unavailable";
    }
    return "unavailable";
}

std::optional<FanHardwareSupportStatus> fanHardwareSupportStatusFromRawValue(std::string_view raw) {
    for (FanHardwareSupportStatus status : allFanHardwareSupportStatuss) {
        if (rawValue(status) == raw) {
            return status;
        }
    }
    return std::nullopt;
}

} // namespace aerivo
