#include "app/ui/StorePresentation.h"

#include "app/l10n/Formatters.h"
#include "app/l10n/L10n.h"

#include <algorithm>
#include <cmath>

namespace aerivo::StorePresentation {

namespace {

// The presentation rules for the values the store publishes.
class Reading {
public:
    explicit Reading(const AerivoStore& store)
        : store_(store), capabilities_(store.hardwareCapabilities()), snapshot_(store.snapshot()),
          profile_(store.profile()), language_(store.language()) {}

    std::string text(L10nKey key) const { return L10n::text(key, language_); }
    template <typename... Arguments>
    std::string formatted(L10nKey key, const Arguments&... arguments) const {
        return L10n::format(key, language_, arguments...);
    }

    bool isUnsupported() const { return capabilities_.isUnsupported(); }
    bool hasLiveReading() const { return capabilities_.currentRPM.has_value(); }
    bool isFanOffRangeActive() const { return store_.isFanOffRangeActive(); }
    bool isCurveEnabled() const {
        return store_.mode() == FanControlMode::curve && !isUnsupported();
    }

    std::optional<double> currentFanPercent() const {
        if (!capabilities_.maximumRPM || !(*capabilities_.maximumRPM > 0)) {
            return std::nullopt;
        }
        return std::clamp(snapshot_.actualRPM / *capabilities_.maximumRPM, 0.0, 1.0);
    }
    std::string menuFanValueText() const {
        return isUnsupported() ? text(L10nKey::none) : Formatters::rpm(snapshot_.actualRPM);
    }
    std::string menuBarStatusText() const {
        if (isUnsupported()) {
            return text(L10nKey::fan);
        }
        const std::optional<double> percent = currentFanPercent();
        return percent ? Formatters::percent(*percent) : menuFanValueText();
    }
    std::string effectiveModeTitle() const {
        return isFanOffRangeActive() ? text(L10nKey::fanOffRange)
                                     : displayName(store_.effectiveMode(), language_);
    }
    std::string menuTemperatureLabel() const {
        return text(snapshot_.hasLiveTemperatureTelemetry ? L10nKey::liveTemp : L10nKey::mockTemp);
    }
    std::string menuRPMLabel() const {
        if (isUnsupported()) {
            return text(L10nKey::fan);
        }
        return text(hasLiveReading() ? L10nKey::rpm : L10nKey::simRPM);
    }
    std::string curveTargetValueText() const {
        if (isFanOffRangeActive()) {
            return text(L10nKey::fanOff);
        }
        return isUnsupported() ? text(L10nKey::disabled) : Formatters::rpm(store_.curveTargetRPM());
    }
    double curveRPMDelta() const { return store_.curveTargetRPM() - snapshot_.actualRPM; }
    double curveTargetPercent() const { return profile_.rpmPercent(store_.curveTargetRPM()); }

    std::string curveEffectLabel() const {
        if (isFanOffRangeActive()) {
            return formatted(L10nKey::fanOffRangeActive,
                             Formatters::temperature(profile_.fanOffThresholdC));
        }
        const std::string linked = capabilities_.linkedTargetText(curveTargetPercent());
        // Leases are sent only once the fan-write path is complete; until then the label
        // previews the curve.
        const bool isWriting = false;
        if (capabilities_.fans.size() > 1 && !linked.empty()) {
            return std::string("Linked ") + (isWriting ? "target" : "preview") + " " +
                   Formatters::percent(curveTargetPercent()) + ": " + linked;
        }
        const double delta = curveRPMDelta();
        const bool enabled = isCurveEnabled();
        if (std::abs(delta) >= 50.0) {
            const L10nKey key =
                delta <= 0
                    ? (enabled ? L10nKey::curveTargetWillSlowDown : L10nKey::curveWouldSlowDown)
                    : (enabled ? L10nKey::curveTargetWillSpeedUp : L10nKey::curveWouldSpeedUp);
            return formatted(key, Formatters::rpm(std::abs(delta)));
        }
        return text(enabled ? L10nKey::curveTargetNearCurrent : L10nKey::curveWouldHold);
    }

    bool helperIsTrusted() const {
        const PrivilegedHelperHealth& health = store_.helperHealth();
        return health.isPrivilegedInstallVerified && health.hasTrustedProvenance;
    }
    bool shouldShowHelperInstallAction() const {
        const PrivilegedHelperHealth& health = store_.helperHealth();
        return !isUnsupported() &&
               !(health.isPrivilegedInstallVerified && health.hasTrustedProvenance &&
                 health.hasHeartbeat && health.fanWritesEnabled && health.hasResetPath());
    }

    const AerivoStore& store_;
    const FanHardwareCapabilities& capabilities_;
    const ThermalSnapshot& snapshot_;
    const AerivoProfile& profile_;
    AppLanguage language_;
};

} // namespace

std::string menuBarStatusText(const AerivoStore& store) {
    return Reading(store).menuBarStatusText();
}

MenuBarPanelState menuBarPanelState(const AerivoStore& store) {
    const Reading reading(store);
    MenuBarPanelState state;
    state.title = reading.text(L10nKey::aerivoMac);
    state.modeTitle = reading.effectiveModeTitle();
    state.effectiveMode = store.effectiveMode();
    state.temperatureTitle = reading.menuTemperatureLabel();
    state.temperatureValue = Formatters::temperature(store.snapshot().temperatureC);
    state.fanTitle = reading.menuRPMLabel();
    state.fanValue = reading.menuFanValueText();
    state.curveTitle = reading.text(L10nKey::curve);
    state.curveValue = reading.curveTargetValueText();
    state.limitTitle = reading.text(L10nKey::limit);
    state.limitValue = Formatters::temperature(store.profile().safetyLimitC);
    state.effectCaption = reading.curveEffectLabel();
    state.effectSlowsDown = reading.curveRPMDelta() < 0;
    state.curveSwitchTitle = reading.text(L10nKey::controlWithCurve);
    state.isCurveEnabled = reading.isCurveEnabled();
    state.canSwitchCurve = !reading.isUnsupported();
    state.rangeText = reading.formatted(L10nKey::range, store.hardwareCapabilities().rangeText());
    state.openEditorTitle = reading.text(L10nKey::openCurveEditor);
    if (store.mode() != FanControlMode::system) {
        state.resetTitle = reading.text(L10nKey::resetToSystem);
    }
    if (reading.shouldShowHelperInstallAction()) {
        state.helperTitle = reading.text(reading.helperIsTrusted() ? L10nKey::updateHelper
                                                                   : L10nKey::installHelper);
    }
    state.helperSymbolName = reading.helperIsTrusted() ? "checkmark.shield" : "key";
    state.quitTitle = reading.text(L10nKey::quitAerivoMac);
    return state;
}

MenuBarPanelActions menuBarPanelActions(AerivoStore& store, std::function<void()> openEditor,
                                        std::function<void()> quit) {
    (void)store;
    MenuBarPanelActions actions;
    actions.openEditor = std::move(openEditor);
    actions.quit = std::move(quit);
    return actions;
}

void resetFanControlBeforeTermination(AerivoStore&) {}

} // namespace aerivo::StorePresentation
