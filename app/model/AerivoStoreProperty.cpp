#include "app/model/AerivoStoreProperty.h"

namespace aerivo {

std::string_view rawValue(AerivoStoreProperty property) {
    switch (property) {
    case AerivoStoreProperty::profile:
        return "profile";
    case AerivoStoreProperty::snapshot:
        return "snapshot";
    case AerivoStoreProperty::thermalSamples:
        return "thermalSamples";
    case AerivoStoreProperty::thermalHistoryWindow:
        return "thermalHistoryWindow";
    case AerivoStoreProperty::mode:
        return "mode";
    case AerivoStoreProperty::hardwareCapabilities:
        return "hardwareCapabilities";
    case AerivoStoreProperty::hardwareProbeStatus:
        return "hardwareProbeStatus";
    case AerivoStoreProperty::helperHealth:
        return "helperHealth";
    case AerivoStoreProperty::launchAtLoginStatus:
        return "launchAtLoginStatus";
    case AerivoStoreProperty::launchAtLoginErrorMessage:
        return "launchAtLoginErrorMessage";
    case AerivoStoreProperty::isCheckingForUpdates:
        return "isCheckingForUpdates";
    case AerivoStoreProperty::updateCheckResult:
        return "updateCheckResult";
    case AerivoStoreProperty::language:
        return "language";
    case AerivoStoreProperty::helperActivity:
        return "helperActivity";
    }
    return "profile";
}

} // namespace aerivo
