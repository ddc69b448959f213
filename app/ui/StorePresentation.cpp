#include "app/ui/StorePresentation.h"

#include "app/l10n/Formatters.h"

namespace aerivo::StorePresentation {

std::string menuBarStatusText(const AerivoStore& store) {
    return store.menuBarStatusText();
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
    state.curveSwitchTitle = store.text(L10nKey::controlWithCurve);
    state.isCurveEnabled = store.isCurveEnabled();
    state.canSwitchCurve = !store.hardwareCapabilities().isUnsupported();
    state.rangeText = store.formatted(L10nKey::range, store.hardwareRangeText());
    state.openEditorTitle = store.text(L10nKey::openCurveEditor);
    if (store.shouldShowResetToSystemAction()) {
        state.resetTitle = store.text(L10nKey::resetToSystem);
    }
    if (store.shouldShowHelperInstallAction()) {
        state.helperTitle = store.helperInstallActionTitle();
    }
    state.helperSymbolName = std::string(store.helperInstallActionIcon());
    if (store.shouldShowCurveTargetTestAction()) {
        state.testTitle = store.text(L10nKey::testCurveTarget);
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
