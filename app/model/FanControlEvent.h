#pragma once

#include "app/helperclient/PrivilegedHelperActionResult.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// Something the store did to the fan through the helper: a curve lease came back, the curve
// target test ran, or fan control was handed back to the system. For listeners that log the
// control loop (the headless session); views read the store's status text instead.
struct FanControlEvent {
    enum class Kind { curveLease, curveTargetTest, reset };
    // Why control went back to the system: the reset action (button or curve toggle off), the
    // fan-off range, or the app ending.
    enum class ResetReason { resetToSystem, fanOffRange, termination };

    Kind kind = Kind::reset;
    ResetReason resetReason = ResetReason::resetToSystem;
    // The target asked for (leases and tests).
    std::optional<double> targetRPM = std::nullopt;
    // A reset goes to the helper only when its install is verified and its provenance trusted;
    // leases and tests are always sent.
    bool wasSent = false;
    bool isSuccess = false;
    std::string message = {};
    // The helper result's lines (success, message, reply entries); empty when nothing was sent.
    std::vector<std::string> lines = {};

    // A reset that stayed in the store (the helper is not trusted with it).
    static FanControlEvent unsentReset(ResetReason reason) { return {Kind::reset, reason}; }
    static FanControlEvent sentReset(ResetReason reason,
                                     const PrivilegedHelperActionResult& result) {
        return {Kind::reset,      reason,         std::nullopt,  true,
                result.isSuccess, result.message, result.lines()};
    }
    static FanControlEvent lease(Kind kind, double targetRPM, bool isSuccess, std::string message,
                                 std::vector<std::string> lines) {
        return {kind,      ResetReason::resetToSystem, targetRPM,       true,
                isSuccess, std::move(message),         std::move(lines)};
    }

    friend bool operator==(const FanControlEvent&, const FanControlEvent&) = default;
};

// "curveLease", "curveTargetTest", "reset".
std::string_view rawValue(FanControlEvent::Kind kind);
// "resetToSystem", "fanOffRange", "termination".
std::string_view rawValue(FanControlEvent::ResetReason reason);

} // namespace aerivo
