// AerivoStore: the user's actions (profile edits, presets, hardware detection, helper install,
// login item, update check).

#include "app/model/AerivoStore.h"
#include "app/model/GuardedHelperCall.h"

#include <cmath>
#include <exception>

namespace aerivo {

void AerivoStore::commitProfileChange() {
    persistProfile();
    refreshSnapshot();
}

void AerivoStore::persistProfile() {
    if (!preferences_) {
        return;
    }
    const PreferencesSaveResult saved = preferences_->saveProfile(profile_);
    if (!saved.isSuccess) {
        // The edit stays in force for this run, but the user must not believe it was kept.
        setHardwareProbeStatus(formatted(L10nKey::profileSaveFailed, saved.detail));
    }
}

void AerivoStore::updatePoint(const Uuid& id, double temperatureC, double rpm) {
    editProfile([&](AerivoProfile& profile) { profile.updatePoint(id, temperatureC, rpm); });
    applyCurveTargetLeaseIfNeeded(true);
}

void AerivoStore::addPoint() {
    editProfile([](AerivoProfile& profile) { profile.addPoint(); });
}

void AerivoStore::removePoint() {
    editProfile([](AerivoProfile& profile) { profile.removeLastEditablePoint(); });
}

void AerivoStore::updateTemperatureAxis(std::optional<double> minimum,
                                        std::optional<double> maximum) {
    editProfile([&](AerivoProfile& profile) { profile.updateTemperatureAxis(minimum, maximum); });
}

void AerivoStore::updateRPMAxis(std::optional<double> minimum, std::optional<double> maximum) {
    editProfile([&](AerivoProfile& profile) { profile.updateRPMAxis(minimum, maximum); });
}

void AerivoStore::updateFanOffThresholdEnabled(bool enabled) {
    editProfile([&](AerivoProfile& profile) { profile.updateFanOffThresholdEnabled(enabled); });
    applyCurveTargetLeaseIfNeeded(true);
}

void AerivoStore::updateFanOffThreshold(double value) {
    editProfile([&](AerivoProfile& profile) { profile.updateFanOffThreshold(value); });
    applyCurveTargetLeaseIfNeeded(true);
}

void AerivoStore::updateSafetyLimit(double value) {
    editProfile([&](AerivoProfile& profile) {
        // Clamping would take NaN to the axis minimum, a limit that puts the fan at full speed
        // for good; like the profile's own edits, a value that is not a number changes nothing.
        if (!std::isnan(value)) {
            profile.safetyLimitC = profile.temperatureAxis.clamped(value);
        }
        profile.updateFanOffThreshold(profile.fanOffThresholdC);
    });
}

void AerivoStore::setPreset(CurvePreset preset) {
    editProfile([&](AerivoProfile& profile) {
        profile = aerivo::profile(preset);
        if (hardwareCapabilities_.minimumRPM && hardwareCapabilities_.maximumRPM) {
            profile.applyHardwareRPMAxis(*hardwareCapabilities_.minimumRPM,
                                         *hardwareCapabilities_.maximumRPM);
        }
    });
}

void AerivoStore::applyDetectedHardwareRange() {
    if (!hardwareCapabilities_.minimumRPM || !hardwareCapabilities_.maximumRPM) {
        return;
    }
    editProfile([&](AerivoProfile& profile) {
        profile.applyHardwareRPMAxis(*hardwareCapabilities_.minimumRPM,
                                     *hardwareCapabilities_.maximumRPM);
        setHardwareProbeStatus(text(L10nKey::appliedDetectedRange));
    });
}

void AerivoStore::setProfile(AerivoProfile profile) {
    publish(profile_, std::move(profile), AerivoStoreProperty::profile);
}

void AerivoStore::curveProfileDidChange() {
    commitProfileChange();
    applyCurveTargetLeaseIfNeeded(true);
}

std::optional<AerivoPointEditingBounds> AerivoStore::editingBounds(const Uuid& id) const {
    return profile_.editingBounds(id);
}

void AerivoStore::refreshHardwareCapabilities(bool applyToAxis) {
    setHardwareProbeStatus(std::nullopt);
    setHardwareCapabilities(controller_->readCapabilities());
    if (hardwareCapabilities_.isUnsupported()) {
        setMode(FanControlMode::system);
    }
    if (applyToAxis && hardwareCapabilities_.minimumRPM && hardwareCapabilities_.maximumRPM) {
        profile_.applyHardwareRPMAxis(*hardwareCapabilities_.minimumRPM,
                                      *hardwareCapabilities_.maximumRPM);
        notify(AerivoStoreProperty::profile);
        persistProfile();
    }
    refreshSnapshot();
}

void AerivoStore::refreshHardwareCapabilitiesAsAdmin(bool applyToAxis) {
    setHardwareProbeStatus(text(L10nKey::waitingForAdministratorApproval));
    const std::optional<std::string> executable = executablePath_();
    if (!executable || executable->empty()) {
        setHardwareProbeStatus(text(L10nKey::appExecutableNotFound));
        return;
    }
    // The task owns what it uses; its result reaches the store only while the store exists.
    startBackgroundTask_([this, runner = processRunner_, paths = systemPaths_, lifeline = lifeline_,
                          executable = *executable, applyToAxis] {
        // No approval prompt for a store that is already gone.
        if (!lifeline->isAlive()) {
            return;
        }
        AdminHardwareProbeResult result;
        try {
            result = AdminHardwareProbe(*runner, paths).run(executable);
        } catch (const std::exception& error) {
            result = AdminHardwareProbeResult::failure(error.what());
        }
        lifeline->post([this, result = std::move(result), applyToAxis] {
            finishAdminHardwareProbe(result, applyToAxis);
        });
    });
}

void AerivoStore::finishAdminHardwareProbe(const AdminHardwareProbeResult& result,
                                           bool applyToAxis) {
    if (!result.isSuccess()) {
        setHardwareProbeStatus(result.text.empty() ? text(L10nKey::adminProbeFailed) : result.text);
        return;
    }
    std::optional<FanHardwareCapabilities> parsed =
        FanHardwareCapabilities::fromProbeOutput(result.text);
    if (!parsed) {
        setHardwareProbeStatus(text(L10nKey::adminProbeUnreadable));
        return;
    }
    setHardwareCapabilities(std::move(*parsed));
    if (hardwareCapabilities_.isUnsupported()) {
        setMode(FanControlMode::system);
    }
    if (applyToAxis && hardwareCapabilities_.minimumRPM && hardwareCapabilities_.maximumRPM) {
        profile_.applyHardwareRPMAxis(*hardwareCapabilities_.minimumRPM,
                                      *hardwareCapabilities_.maximumRPM);
        notify(AerivoStoreProperty::profile);
        // The status first, so a refused save can still say so.
        setHardwareProbeStatus(text(hardwareCapabilities_.currentRPM
                                        ? L10nKey::adminProbeAppliedRange
                                        : L10nKey::adminProbeAppliedRangeWithoutReadback));
        persistProfile();
    } else {
        setHardwareProbeStatus(text(L10nKey::adminProbeNoRPMKeys));
    }
    refreshSnapshot();
}

void AerivoStore::installPrivilegedHelper() {
    setHardwareProbeStatus(text(L10nKey::waitingForAdministratorApproval));
    runHelperTask(
        HelperActivity::installingHelper,
        [](PrivilegedHelperClient& helper) {
            PrivilegedHelperActionResult result =
                guardedHelperCall([&] { return helper.installPrivilegedHelper(); });
            return HelperCallOutcome{std::move(result), guardedHealthRead(helper)};
        },
        [this](const HelperCallOutcome& outcome) {
            setHardwareProbeStatus(outcome.result.message);
            publishHelperHealth(outcome.health);
        });
}

void AerivoStore::showWriteRequirements() {
    runHelperTask(
        HelperActivity::checkingHelper,
        [](PrivilegedHelperClient& helper) { return guardedHealthRead(helper); },
        [this](PrivilegedHelperHealth health) {
            publishHelperHealth(std::move(health));
            setHardwareProbeStatus(writeSafetyPlan().actionMessage());
        });
}

void AerivoStore::refreshLaunchAtLoginStatus() {
    publish(launchAtLoginStatus_, loginItemController_->status(),
            AerivoStoreProperty::launchAtLoginStatus);
    publish(launchAtLoginErrorMessage_, std::optional<std::string>(),
            AerivoStoreProperty::launchAtLoginErrorMessage);
}

void AerivoStore::setLaunchAtLoginEnabled(bool enabled) {
    std::optional<std::string> error;
    try {
        loginItemController_->setEnabled(enabled);
    } catch (const std::exception& thrown) {
        error = thrown.what();
    }
    publish(launchAtLoginErrorMessage_, std::move(error),
            AerivoStoreProperty::launchAtLoginErrorMessage);
    publish(launchAtLoginStatus_, loginItemController_->status(),
            AerivoStoreProperty::launchAtLoginStatus);
}

void AerivoStore::checkForUpdates() {
    if (isCheckingForUpdates_) {
        return;
    }
    publish(isCheckingForUpdates_, true, AerivoStoreProperty::isCheckingForUpdates);
    startBackgroundTask_([this, checker = updateChecker_, lifeline = lifeline_] {
        if (!lifeline->isAlive()) {
            return;
        }
        AppUpdateCheckResult result;
        try {
            result = checker->checkForUpdates();
        } catch (const std::exception& error) {
            // The checker reports failures as results; one that throws must still end the check,
            // or no check could ever run again.
            result = AppUpdateCheckResult{AppUpdateCheckResult::Status::failed, AERIVO_VERSION,
                                          std::nullopt, std::nullopt, error.what()};
        }
        lifeline->post([this, result = std::move(result)] {
            publish(updateCheckResult_, std::optional<AppUpdateCheckResult>(result),
                    AerivoStoreProperty::updateCheckResult);
            publish(isCheckingForUpdates_, false, AerivoStoreProperty::isCheckingForUpdates);
        });
    });
}

} // namespace aerivo
