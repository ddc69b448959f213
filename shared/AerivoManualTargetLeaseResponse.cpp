#include "shared/AerivoManualTargetLeaseResponse.h"

namespace aerivo {

AerivoManualTargetLeaseResponse AerivoManualTargetLeaseResponse::rejection(std::int64_t fanIndex,
                                                                           std::string error) {
    AerivoManualTargetLeaseResponse response;
    response.fanIndex = fanIndex;
    response.error = std::move(error);
    return response;
}

nlohmann::json AerivoManualTargetLeaseResponse::dictionary() const {
    nlohmann::json result = nlohmann::json::object();
    result[std::string{acceptedKey}] = accepted;
    result[std::string{targetReachedKey}] = targetReached;
    result[std::string{resetAcceptedKey}] = resetAccepted;
    result[std::string{fanIndexKey}] = fanIndex;
    const auto putSpeed = [&](std::string_view key, const std::optional<double>& value) {
        if (value) {
            // Stored as a floating-point number even when whole, so 2000 travels as 2000.0.
            result[std::string{key}] = nlohmann::json(static_cast<double>(*value));
        }
    };
    putSpeed(requestedTargetRPMKey, requestedTargetRPM);
    putSpeed(appliedTargetRPMKey, appliedTargetRPM);
    putSpeed(finalActualRPMKey, finalActualRPM);
    if (error) {
        result[std::string{errorKey}] = *error;
    }
    return result;
}

} // namespace aerivo
