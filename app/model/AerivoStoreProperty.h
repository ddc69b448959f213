#pragma once

#include <array>
#include <string_view>

namespace aerivo {

// The store's published properties, in declaration order; observers are told which one changed.
// helperActivity, the store's own addition, says what the helper is busy with for the user.
enum class AerivoStoreProperty {
    profile,
    snapshot,
    thermalSamples,
    thermalHistoryWindow,
    mode,
    hardwareCapabilities,
    hardwareProbeStatus,
    helperHealth,
    launchAtLoginStatus,
    launchAtLoginErrorMessage,
    isCheckingForUpdates,
    updateCheckResult,
    language,
    helperActivity,
};

inline constexpr std::array<AerivoStoreProperty, 14> allAerivoStoreProperties{
    AerivoStoreProperty::profile,
    AerivoStoreProperty::snapshot,
    AerivoStoreProperty::thermalSamples,
    AerivoStoreProperty::thermalHistoryWindow,
    AerivoStoreProperty::mode,
    AerivoStoreProperty::hardwareCapabilities,
    AerivoStoreProperty::hardwareProbeStatus,
    AerivoStoreProperty::helperHealth,
    AerivoStoreProperty::launchAtLoginStatus,
    AerivoStoreProperty::launchAtLoginErrorMessage,
    AerivoStoreProperty::isCheckingForUpdates,
    AerivoStoreProperty::updateCheckResult,
    AerivoStoreProperty::language,
    AerivoStoreProperty::helperActivity,
};

// The property's name, e.g. "thermalSamples".
std::string_view rawValue(AerivoStoreProperty property);

} // namespace aerivo
