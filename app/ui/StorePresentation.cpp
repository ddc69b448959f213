#include "app/ui/StorePresentation.h"

#include "app/l10n/Formatters.h"

namespace aerivo::StorePresentation {

std::string menuBarStatusText(const AerivoStore& store) {
    return store.menuBarStatusText();
}

CurveSwitchState curveSwitchState(const AerivoStore& store) {
    const HelperActivity activity = store.helperActivity();
    const bool checking = activity == HelperActivity::checkingHelper ||
                          activity == HelperActivity::enablingCurve ||
                          activity == HelperActivity::resettingToSystem;
    return CurveSwitchState{
        store.text(checking ? L10nKey::checkingHelper : L10nKey::controlWithCurve),
        store.isCurveEnabled() || activity == HelperActivity::enablingCurve,
        !store.hardwareCapabilities().isUnsupported() && activity != HelperActivity::enablingCurve};
}

bool shouldShowHelperInstallAction(const AerivoStore& store) {
    return store.shouldShowHelperInstallAction() &&
           store.helperActivity() != HelperActivity::checkingHelper;
}

std::string helperActionTitle(const AerivoStore& store, HelperActivity activity,
                              std::string idleTitle) {
    return store.helperActivity() == activity ? store.text(L10nKey::checkingHelper)
                                              : std::move(idleTitle);
}

MenuBarPanelState menuBarPanelState(const AerivoStore& store) {
    MenuBarPanelState state;
    state.title = store.text(L10nKey::aerivoMac);
    state.modeTitle = store.effectiveModeTitle();
    state.effectiveMode = store.effectiveMode();
    state.temperatureTitle = store.menuTemperatureLabel();
    state.temperatureValue = Formatters::temperature(store.snapshot().temperatureC);
    state.fanTitle = store.menuRPMLabel();
    state.fanValue = store.menuFanValueText();
    state.curveTitle = store.text(L10nKey::curve);
    state.curveValue = store.curveTargetValueText();
    state.limitTitle = store.text(L10nKey::limit);
    state.limitValue = Formatters::temperature(store.profile().safetyLimitC);
    state.effectCaption = store.curveEffectLabel();
    state.effectSlowsDown = store.curveRPMDelta() < 0;
    const CurveSwitchState curveSwitch = curveSwitchState(store);
    state.curveSwitchTitle = curveSwitch.title;
    state.isCurveEnabled = curveSwitch.isOn;
    state.canSwitchCurve = curveSwitch.isEnabled;
    state.isHelperBusy = store.isHelperBusy();
    state.rangeText = store.formatted(L10nKey::range, store.hardwareRangeText());
    state.openEditorTitle = store.text(L10nKey::openCurveEditor);
    if (store.shouldShowResetToSystemAction()) {
        state.resetTitle = helperActionTitle(store, HelperActivity::resettingToSystem,
                                             store.text(L10nKey::resetToSystem));
    }
    if (shouldShowHelperInstallAction(store)) {
        state.helperTitle = helperActionTitle(store, HelperActivity::installingHelper,
                                              store.helperInstallActionTitle());
    }
    state.helperSymbolName = std::string(store.helperInstallActionIcon());
    if (store.shouldShowCurveTargetTestAction()) {
        state.testTitle = helperActionTitle(store, HelperActivity::testingCurveTarget,
                                            store.text(L10nKey::testCurveTarget));
    }
    state.quitTitle = store.text(L10nKey::quitAerivoMac);
    return state;
}

MenuBarPanelActions menuBarPanelActions(AerivoStore& store, std::function<void()> openEditor,
                                        std::function<void()> quit) {
    MenuBarPanelActions actions;
    actions.setCurveEnabled = [&store](bool enabled) { store.setCurveEnabled(enabled); };
    actions.resetToSystem = [&store] { store.resetToSystem(); };
    actions.installPrivilegedHelper = [&store] { store.installPrivilegedHelper(); };
    actions.applyCurveTargetLease = [&store] { store.applyCurveTargetLease(); };
    actions.openEditor = std::move(openEditor);
    actions.quit = std::move(quit);
    return actions;
}

void resetFanControlBeforeTermination(AerivoStore& store) {
    store.resetFanControlBeforeTermination();
}

} // namespace aerivo::StorePresentation
