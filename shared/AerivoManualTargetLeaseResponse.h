#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace aerivo {

// The helper's answer to a lease request.
struct AerivoManualTargetLeaseResponse {
    static constexpr std::string_view acceptedKey = "accepted";
    static constexpr std::string_view targetReachedKey = "targetReached";
    static constexpr std::string_view resetAcceptedKey = "resetAccepted";
    static constexpr std::string_view fanIndexKey = "fanIndex";
    static constexpr std::string_view requestedTargetRPMKey = "requestedTargetRPM";
    static constexpr std::string_view appliedTargetRPMKey = "appliedTargetRPM";
    static constexpr std::string_view finalActualRPMKey = "finalActualRPM";
    static constexpr std::string_view errorKey = "error";

    bool accepted = false;
    bool targetReached = false;
    bool resetAccepted = false;
    std::int64_t fanIndex = 0;
    std::optional<double> requestedTargetRPM;
    std::optional<double> appliedTargetRPM;
    std::optional<double> finalActualRPM;
    std::optional<std::string> error;

    // A request refused before the fan was touched: nothing accepted, no speeds, the reason.
    static AerivoManualTargetLeaseResponse rejection(std::int64_t fanIndex, std::string error);

    // The four flags and the index always (Booleans and an integer); speeds as floating-point
    // numbers and the error as a string only when present.
    nlohmann::json dictionary() const;

    friend bool operator==(const AerivoManualTargetLeaseResponse&,
                           const AerivoManualTargetLeaseResponse&) = default;
};

} // namespace aerivo
