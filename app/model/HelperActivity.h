#pragma once

#include <string_view>

namespace aerivo {

// What the store has asked of the helper and is waiting for. Health reads (each with the reset
// that proves the reset path), the install, resets and the five-second test take seconds, so
// they run away from the main loop; the views show the control that asked as busy meanwhile.
enum class HelperActivity {
    none,
    // A health read: at start, "Show Write Requirements", or a refresh of the helper's state.
    checkingHelper,
    // The health read that precedes curve mode.
    enablingCurve,
    installingHelper,
    // A reset to system control (the reset action, the curve switch turned off, the fan-off
    // range), followed by a health read.
    resettingToSystem,
    // "Test Curve Target for 5s": a health read, the hold, another health read.
    testingCurveTarget,
};

// The case name, e.g. "enablingCurve".
constexpr std::string_view rawValue(HelperActivity activity) {
    switch (activity) {
    case HelperActivity::none:
        return "none";
    case HelperActivity::checkingHelper:
        return "checkingHelper";
    case HelperActivity::enablingCurve:
        return "enablingCurve";
    case HelperActivity::installingHelper:
        return "installingHelper";
    case HelperActivity::resettingToSystem:
        return "resettingToSystem";
    case HelperActivity::testingCurveTarget:
        return "testingCurveTarget";
    }
    return "none";
}

} // namespace aerivo
