#pragma once

#include "app/model/FanControlMode.h"

#include <functional>
#include <optional>
#include <string>

namespace aerivo {

// Everything the menu-bar panel shows, read from the store in one go (`StorePresentation`), so
// the panel draws exactly one consistent reading of the store per notification.
struct MenuBarPanelState {
    std::string title; // "Aerivo Mac"
    std::string modeTitle;
    FanControlMode effectiveMode = FanControlMode::system;

    std::string temperatureTitle;
    std::string temperatureValue;
    std::string fanTitle;
    std::string fanValue;
    std::string curveTitle;
    std::string curveValue;
    std::string limitTitle;
    std::string limitValue;

    std::string effectCaption;
    // The curve target lies below the actual speed (the caption turns orange).
    bool effectSlowsDown = false;

    // "Checking helper..." while the helper is checked or reset for the switch.
    std::string curveSwitchTitle;
    // Also on while the health read that precedes curve mode runs.
    bool isCurveEnabled = false;
    // False on a Mac without a fan, and while the check before curve mode runs: the switch is
    // shown but cannot be flipped.
    bool canSwitchCurve = false;
    // The helper works for the user: the reset, helper and test buttons wait (the one that
    // started it says "Checking helper...").
    bool isHelperBusy = false;

    std::string rangeText;
    std::string openEditorTitle;

    // Present exactly while the store offers the action.
    std::optional<std::string> resetTitle;
    std::optional<std::string> helperTitle;
    std::string helperSymbolName; // "checkmark.shield" or "key"
    std::optional<std::string> testTitle;

    std::string quitTitle;

    bool operator==(const MenuBarPanelState&) const = default;
};

// What the panel's controls do; every one calls a store action or the controller.
struct MenuBarPanelActions {
    std::function<void(bool)> setCurveEnabled;
    std::function<void()> resetToSystem;
    std::function<void()> installPrivilegedHelper;
    std::function<void()> applyCurveTargetLease;
    std::function<void()> openEditor;
    std::function<void()> quit;
};

} // namespace aerivo
