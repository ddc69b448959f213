#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace aerivo {

// A request to hold fan `fanIndex` at `targetRPM` for `holdSeconds`. Built memberwise without
// clamping: the helper bounds the hold itself.
struct AerivoManualTargetLeaseRequest {
    static constexpr std::string_view fanIndexKey = "fanIndex";
    static constexpr std::string_view targetRPMKey = "targetRPM";
    static constexpr std::string_view holdSecondsKey = "holdSeconds";
    static constexpr std::string_view reasonKey = "reason";

    // The app's curve mode renewing its lease.
    static constexpr std::string_view curveRenewalReason = "app-curve-renewal";
    // A one-off hold requested by the app.
    static constexpr std::string_view appManualTargetLeaseReason = "app-manual-target-lease";
    static constexpr std::string_view defaultReason = "manual-target-lease";

    // Contract integers are 64-bit signed, as on the Mac.
    std::int64_t fanIndex = 0;
    double targetRPM = 0.0;
    std::int64_t holdSeconds = 0;
    std::string reason{defaultReason};

    // Exact comparison: any other reason, unknown ones included, is a manual hold.
    bool isCurveRenewal() const { return reason == curveRenewalReason; }

    // Exactly the four keys: integers, a floating-point target and a string reason.
    nlohmann::json dictionary() const;

    // Reads fanIndex, targetRPM, holdSeconds and reason in that order; each must be present and
    // convert without loss (see ContractValues.h), otherwise the result is none. There is no
    // default reason here: a dictionary without one is refused. Other keys are ignored.
    static std::optional<AerivoManualTargetLeaseRequest>
    fromDictionary(const nlohmann::json& dictionary);

    friend bool operator==(const AerivoManualTargetLeaseRequest&,
                           const AerivoManualTargetLeaseRequest&) = default;
};

} // namespace aerivo
