// AerivoStore: the write plan, the texts the views show and which actions they offer.

#include "app/l10n/Formatters.h"
#include "app/model/AerivoStore.h"

#include <algorithm>
#include <cmath>

namespace aerivo {

FanWriteSafetyPlan AerivoStore::writeSafetyPlan() const {
    const PrivilegedHelperHealth& health = helperHealth_;
    return FanWriteSafetyPlan::evaluate(
        hardwareCapabilities_, snapshot_.hasLiveTemperatureTelemetry,
        health.hasSignedPrivilegedHelper(), health.hasBlessMetadata,
        health.isPrivilegedInstallVerified, health.hasTrustedProvenance, health.hasHeartbeat,
        health.fanWritesEnabled, health.hasResetPath(), health.fanHandBackFailure);
}

bool AerivoStore::launchAtLoginEnabled() const {
    return isEnabled(launchAtLoginStatus_);
}

std::optional<std::string> AerivoStore::launchAtLoginStatusText() const {
    if (launchAtLoginErrorMessage_) {
        return formatted(L10nKey::launchAtLoginFailed, *launchAtLoginErrorMessage_);
    }
    if (launchAtLoginStatus_ == LoginItemStatus::requiresApproval) {
        return text(L10nKey::launchAtLoginRequiresApproval);
    }
    return std::nullopt;
}

std::optional<std::string> AerivoStore::updateStatusText() const {
    if (!updateCheckResult_) {
        return std::nullopt;
    }
    const AppUpdateCheckResult& result = *updateCheckResult_;
    switch (result.status) {
    case AppUpdateCheckResult::Status::updateAvailable:
        return formatted(L10nKey::updateAvailable, result.latestVersion.value_or(""),
                         result.localVersion);
    case AppUpdateCheckResult::Status::upToDate:
        return formatted(L10nKey::upToDate, result.localVersion);
    case AppUpdateCheckResult::Status::unavailable:
        return text(L10nKey::updateCheckUnavailable);
    case AppUpdateCheckResult::Status::failed:
        return formatted(L10nKey::updateCheckFailed, result.detail.value_or(""));
    }
    return std::nullopt;
}

std::optional<std::string> AerivoStore::updateReleaseURL() const {
    if (updateCheckResult_ &&
        updateCheckResult_->status == AppUpdateCheckResult::Status::updateAvailable) {
        return updateCheckResult_->releaseURL;
    }
    return std::nullopt;
}

std::string AerivoStore::effectiveModeTitle() const {
    if (isFanOffRangeActive()) {
        return text(L10nKey::fanOffRange);
    }
    return displayName(effectiveMode(), language_);
}

std::string AerivoStore::effectiveModeDetail() const {
    if (isFanOffRangeActive()) {
        return formatted(L10nKey::fanOffRangeDescription,
                         Formatters::temperature(profile_.fanOffThresholdC));
    }
    return description(effectiveMode(), language_);
}

double AerivoStore::curveTargetPercent() const {
    return profile_.rpmPercent(curveTargetRPM());
}

double AerivoStore::curveRPMDelta() const {
    return curveTargetRPM() - snapshot_.actualRPM;
}

std::string AerivoStore::curveEffectLabel() const {
    if (isFanOffRangeActive()) {
        return formatted(L10nKey::fanOffRangeActive,
                         Formatters::temperature(profile_.fanOffThresholdC));
    }
    const double percent = curveTargetPercent();
    const std::string linked = hardwareCapabilities_.linkedTargetText(percent);
    if (hardwareCapabilities_.fans.size() > 1 && !linked.empty()) {
        const bool isTarget = isCurveEnabled() && writeSafetyPlan().isWriteCapable();
        return formatted(isTarget ? L10nKey::linkedTarget : L10nKey::linkedPreview,
                         Formatters::percent(percent), linked);
    }
    const double delta = curveRPMDelta();
    const double distance = std::fabs(delta);
    if (distance >= 50.0) {
        const bool slower = delta <= 0;
        if (isCurveEnabled()) {
            return formatted(slower ? L10nKey::curveTargetWillSlowDown
                                    : L10nKey::curveTargetWillSpeedUp,
                             Formatters::rpm(distance));
        }
        return formatted(slower ? L10nKey::curveWouldSlowDown : L10nKey::curveWouldSpeedUp,
                         Formatters::rpm(distance));
    }
    return text(isCurveEnabled() ? L10nKey::curveTargetNearCurrent : L10nKey::curveWouldHold);
}

std::string AerivoStore::hardwareRangeText() const {
    return hardwareCapabilities_.rangeText();
}

std::string AerivoStore::hardwareDetailText() const {
    std::string detail = hardwareCapabilities_.detailText();
    if (hardwareProbeStatus_) {
        detail += '\n';
        detail += *hardwareProbeStatus_;
    }
    return detail;
}

std::string AerivoStore::fanReadingTitle() const {
    if (hardwareCapabilities_.isUnsupported()) {
        return text(L10nKey::noFan);
    }
    if (hardwareCapabilities_.fans.size() > 1 && hardwareCapabilities_.hasLiveRPMReadback()) {
        return text(L10nKey::actualFans);
    }
    if (!hardwareCapabilities_.currentRPM) {
        return text(L10nKey::simulatedFan);
    }
    return text(L10nKey::actualFan);
}

std::string AerivoStore::fanReadingValueText() const {
    if (hardwareCapabilities_.isUnsupported()) {
        return text(L10nKey::unsupported);
    }
    return Formatters::rpm(snapshot_.actualRPM);
}

std::string AerivoStore::fanReadingDetailText() const {
    if (hardwareCapabilities_.isUnsupported()) {
        return text(L10nKey::fanlessUnsupported);
    }
    if (!hardwareCapabilities_.currentRPM) {
        return text(L10nKey::hardwareRPMUnavailable);
    }
    return hardwareCapabilities_.source;
}

std::string AerivoStore::temperatureReadingTitle() const {
    return text(snapshot_.hasLiveTemperatureTelemetry ? L10nKey::liveTemperature
                                                      : L10nKey::mockTemperature);
}

std::string AerivoStore::temperatureDetailText() const {
    return snapshot_.temperatureSource;
}

std::string AerivoStore::menuTemperatureLabel() const {
    return text(snapshot_.hasLiveTemperatureTelemetry ? L10nKey::liveTemp : L10nKey::mockTemp);
}

std::string AerivoStore::curveTargetValueText() const {
    if (isFanOffRangeActive()) {
        return text(L10nKey::fanOff);
    }
    if (hardwareCapabilities_.isUnsupported()) {
        return text(L10nKey::disabled);
    }
    return Formatters::rpm(curveTargetRPM());
}

std::string AerivoStore::activeTargetValueText() const {
    if (isFanOffRangeActive()) {
        return text(L10nKey::fanOff);
    }
    if (hardwareCapabilities_.isUnsupported()) {
        return text(L10nKey::disabled);
    }
    return Formatters::rpm(snapshot_.targetRPM);
}

std::string AerivoStore::menuRPMLabel() const {
    if (hardwareCapabilities_.isUnsupported()) {
        return text(L10nKey::fan);
    }
    return text(hardwareCapabilities_.currentRPM ? L10nKey::rpm : L10nKey::simRPM);
}

std::string AerivoStore::menuBarStatusText() const {
    if (hardwareCapabilities_.isUnsupported()) {
        return text(L10nKey::fan);
    }
    if (const std::optional<double> percent = currentFanPercent()) {
        return Formatters::percent(*percent);
    }
    return menuFanValueText();
}

std::optional<double> AerivoStore::currentFanPercent() const {
    const std::optional<double>& maximum = hardwareCapabilities_.maximumRPM;
    if (!maximum || !(*maximum > 0)) {
        return std::nullopt;
    }
    const double fraction = snapshot_.actualRPM / *maximum;
    // An unreadable speed has no share of the maximum; the menu then shows the speed text.
    if (!std::isfinite(fraction)) {
        return std::nullopt;
    }
    return std::clamp(fraction, 0.0, 1.0);
}

std::string AerivoStore::menuFanValueText() const {
    if (hardwareCapabilities_.isUnsupported()) {
        return text(L10nKey::none);
    }
    return Formatters::rpm(snapshot_.actualRPM);
}

std::string AerivoStore::helperInstallActionTitle() const {
    return text(mayResetThroughHelper() ? L10nKey::updateHelper : L10nKey::installHelper);
}

std::string_view AerivoStore::helperInstallActionIcon() const {
    return mayResetThroughHelper() ? helperVerifiedIcon : helperInstallIcon;
}

std::string AerivoStore::writeReadinessTitle() const {
    return text(L10nKey::writePath);
}

std::string AerivoStore::writeReadinessValueText() const {
    return writeSafetyPlan().title;
}

std::string AerivoStore::writeReadinessDetailText() const {
    return writeSafetyPlan().detail;
}

bool AerivoStore::shouldShowHardwareDetectionActions() const {
    return !hardwareCapabilities_.isUnsupported() &&
           (!hardwareCapabilities_.hasRPMAxis() || !hardwareCapabilities_.hasLiveRPMReadback());
}

bool AerivoStore::shouldShowAdminHardwareDetectionAction() const {
    return shouldShowHardwareDetectionActions();
}

bool AerivoStore::shouldShowUseHardwareRangeAction() const {
    const std::optional<double>& minimum = hardwareCapabilities_.minimumRPM;
    const std::optional<double>& maximum = hardwareCapabilities_.maximumRPM;
    if (!minimum || !maximum || !hardwareCapabilities_.hasRPMAxis()) {
        return false;
    }
    return std::fabs(profile_.rpmAxis.minimum - *minimum) > 1.0 ||
           std::fabs(profile_.rpmAxis.maximum - *maximum) > 1.0;
}

bool AerivoStore::shouldShowHelperInstallAction() const {
    const PrivilegedHelperHealth& health = helperHealth_;
    return !hardwareCapabilities_.isUnsupported() &&
           !(health.isPrivilegedInstallVerified && health.hasTrustedProvenance &&
             health.hasHeartbeat && health.fanWritesEnabled && health.hasResetPath());
}

bool AerivoStore::shouldShowResetToSystemAction() const {
    return mode_ != FanControlMode::system;
}

bool AerivoStore::shouldShowCurveTargetTestAction() const {
    return writeSafetyPlan().isWriteCapable() && mode_ != FanControlMode::curve;
}

bool AerivoStore::shouldShowWriteRequirementsAction() const {
    return !writeSafetyPlan().isWriteCapable() && !hardwareCapabilities_.isUnsupported();
}

bool AerivoStore::shouldShowWriteActions() const {
    return shouldShowHelperInstallAction() || shouldShowResetToSystemAction() ||
           shouldShowCurveTargetTestAction() || shouldShowWriteRequirementsAction();
}

} // namespace aerivo
