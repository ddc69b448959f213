#include "shared/AerivoPrivilegedHelperStatus.h"

namespace aerivo {

AerivoPrivilegedHelperStatus AerivoPrivilegedHelperStatus::status() {
    AerivoPrivilegedHelperStatus result;
    result.heartbeat = "ok";
    return result;
}

AerivoPrivilegedHelperStatus AerivoPrivilegedHelperStatus::resetAccepted() {
    AerivoPrivilegedHelperStatus result;
    result.resetToSystem = "noop";
    return result;
}

AerivoPrivilegedHelperStatus AerivoPrivilegedHelperStatus::unsupportedCommand() {
    AerivoPrivilegedHelperStatus result;
    result.error = "unsupported command";
    return result;
}

std::vector<std::pair<std::string_view, std::string>> AerivoPrivilegedHelperStatus::fields() const {
    std::vector<std::pair<std::string_view, std::string>> pairs{
        {labelKey, label},
        {protocolVersionKey, std::to_string(protocolVersion)},
        {xpcServiceNameKey, xpcServiceName},
        {xpcInterfaceNameKey, xpcInterfaceName},
        {xpcListenerKey, xpcListener},
        {xpcConnectionKey, xpcConnection},
        {xpcRequestTimeoutSecondsKey, std::to_string(xpcRequestTimeoutSeconds)},
        {xpcResetTimeoutSecondsKey, std::to_string(xpcResetTimeoutSeconds)},
        {privilegeKey, privilege},
        {fanWritesKey, fanWrites},
    };
    if (heartbeat) {
        pairs.emplace_back(heartbeatKey, *heartbeat);
    }
    if (resetToSystem) {
        pairs.emplace_back(resetToSystemKey, *resetToSystem);
    }
    if (error) {
        pairs.emplace_back(errorKey, *error);
    }
    if (fanHandBack) {
        pairs.emplace_back(fanHandBackKey, *fanHandBack);
    }
    if (fanHandBackError) {
        pairs.emplace_back(fanHandBackErrorKey, *fanHandBackError);
    }
    return pairs;
}

std::vector<std::string> AerivoPrivilegedHelperStatus::lines() const {
    std::vector<std::string> result;
    for (const auto& [key, value] : fields()) {
        std::string line{key};
        line += '=';
        line += value;
        result.push_back(std::move(line));
    }
    return result;
}

nlohmann::json AerivoPrivilegedHelperStatus::dictionary() const {
    nlohmann::json result = nlohmann::json::object();
    for (auto& [key, value] : fields()) {
        result[std::string{key}] = std::move(value);
    }
    return result;
}

} // namespace aerivo
