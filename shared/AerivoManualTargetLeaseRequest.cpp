#include "shared/AerivoManualTargetLeaseRequest.h"

#include "shared/ContractValues.h"

namespace aerivo {

nlohmann::json AerivoManualTargetLeaseRequest::dictionary() const {
    nlohmann::json result = nlohmann::json::object();
    result[std::string{fanIndexKey}] = fanIndex;
    result[std::string{targetRPMKey}] = targetRPM;
    result[std::string{holdSecondsKey}] = holdSeconds;
    result[std::string{reasonKey}] = reason;
    return result;
}

std::optional<AerivoManualTargetLeaseRequest>
AerivoManualTargetLeaseRequest::fromDictionary(const nlohmann::json& dictionary) {
    const auto member = [&](std::string_view key) { return contractMember(dictionary, key); };

    const auto* fanIndexValue = member(fanIndexKey);
    const auto fanIndex = fanIndexValue ? contractInteger(*fanIndexValue) : std::nullopt;
    if (!fanIndex) {
        return std::nullopt;
    }
    const auto* targetValue = member(targetRPMKey);
    const auto targetRPM = targetValue ? contractDouble(*targetValue) : std::nullopt;
    if (!targetRPM) {
        return std::nullopt;
    }
    const auto* holdValue = member(holdSecondsKey);
    const auto holdSeconds = holdValue ? contractInteger(*holdValue) : std::nullopt;
    if (!holdSeconds) {
        return std::nullopt;
    }
    const auto* reasonValue = member(reasonKey);
    auto reason = reasonValue ? contractString(*reasonValue) : std::nullopt;
    if (!reason) {
        return std::nullopt;
    }
    return AerivoManualTargetLeaseRequest{*fanIndex, *targetRPM, *holdSeconds, std::move(*reason)};
}

} // namespace aerivo
