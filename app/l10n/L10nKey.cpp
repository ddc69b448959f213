#include "app/l10n/L10nKey.h"

namespace aerivo {

namespace {

constexpr std::array<std::string_view, l10nKeyCount> keyNames{
    "activeTarget",
    "actualFan",
    "actualFans",
    "addPoint",
    "allowedRange",
    "appSettings",
    "balancedDefaults",
    "cancel",
    "checkForUpdates",
    "checkingForUpdates",
    "controlWithCurve",
    "curve",
    "curveEditor",
    "curveEditorSubtitle",
    "curveTarget",
    "curveTargetNearCurrent",
    "curveTargetWillSlowDown",
    "curveTargetWillSpeedUp",
    "curveWouldHold",
    "curveWouldSlowDown",
    "curveWouldSpeedUp",
    "disabled",
    "detectedRange",
    "detectAgain",
    "fan",
    "aerivoMac",
    "fanOff",
    "fanOffBelow",
    "fanOffEnabled",
    "fanOffRange",
    "fanOffRangeActive",
    "fanOffRangeDescription",
    "fanSpeed",
    "fanSpeedAxis",
    "fanWritesSafetyNote",
    "hardwareRange",
    "installHelper",
    "language",
    "last1Hour",
    "last5Minutes",
    "last24Hours",
    "last30Minutes",
    "limit",
    "liveTemp",
    "liveTemperature",
    "launchAtLogin",
    "launchAtLoginFailed",
    "launchAtLoginRequiresApproval",
    "maximum",
    "minimum",
    "mockTemp",
    "mockTemperature",
    "mode",
    "noFan",
    "none",
    "openCurveEditor",
    "openUpdatePage",
    "pointEditorSubtitle",
    "pointEditorTitle",
    "presets",
    "quitAerivoMac",
    "range",
    "readOnlyAdminDetect",
    "removePoint",
    "resetToSystem",
    "rpm",
    "safetyLimit",
    "save",
    "showWriteRequirements",
    "simRPM",
    "simulatedFan",
    "temperature",
    "temperatureAxis",
    "testCurveTarget",
    "thermalWindow",
    "unsupported",
    "upToDate",
    "updateAvailable",
    "updateCheckFailed",
    "updateCheckUnavailable",
    "updateHelper",
    "useHardwareRange",
    "writePath",
    "systemMode",
    "curveMode",
    "safetyMode",
    "currentTargetAnnotation",
    "systemModeDescription",
    "curveModeDescription",
    "safetyModeDescription",
    "linkedTarget",
    "linkedPreview",
    "fanlessUnsupported",
    "hardwareRPMUnavailable",
    "appliedDetectedRange",
    "waitingForAdministratorApproval",
    "appExecutableNotFound",
    "adminProbeFailed",
    "adminProbeUnreadable",
    "adminProbeAppliedRange",
    "adminProbeAppliedRangeWithoutReadback",
    "adminProbeNoRPMKeys",
    "profileSaveFailed",
    "aboutAerivoMac",
    "checkingHelper",
};

} // namespace

std::string_view rawValue(L10nKey key) {
    const auto index = static_cast<std::size_t>(key);
    // Only a value cast from outside the enumeration can miss; it has no name of its own.
    return index < keyNames.size() ? keyNames[index] : std::string_view{};
}

std::optional<L10nKey> l10nKeyFromRawValue(std::string_view raw) {
    for (std::size_t index = 0; index < keyNames.size(); ++index) {
        if (keyNames[index] == raw) {
            return allL10nKeys[index];
        }
    }
    return std::nullopt;
}

} // namespace aerivo
