#pragma once

#include <array>
#include <string_view>

namespace aerivo {

// The store's published properties, in declaration order; observers are told which one changed.
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
};

inline constexpr std::array<AerivoStoreProperty, 13> allAerivoStoreProperties{
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
};

// The property's name, e.g. "thermalSamples".
std::string_view rawValue(AerivoStoreProperty property);

} // namespace aerivo
