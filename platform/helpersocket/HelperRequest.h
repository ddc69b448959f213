#pragma once

#include "shared/AerivoPrivilegedHelperXPCProtocol.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace aerivo {

// One request on the helper socket: {"method": <one of the three protocol operations>,
// "argument": {...}}. The argument is passed through as it came; the service validates a lease
// request itself (and answers an invalid one with a rejection, never silence).
struct HelperRequest {
    std::string method;
    nlohmann::json argument = nlohmann::json::object();

    static HelperRequest readStatus();
    static HelperRequest resetToSystem();
    static HelperRequest holdManualTargetLease(nlohmann::json leaseRequest);

    // Nothing unless "method" names one of the three operations and "argument" is absent (an
    // empty object) or an object. Other members are ignored.
    static std::optional<HelperRequest> fromDictionary(const nlohmann::json& dictionary);
    nlohmann::json dictionary() const;

    // Calls the operation the method names, handing the reply through; false (and nothing called)
    // for a method that names no operation, which fromDictionary never gives.
    bool dispatch(AerivoPrivilegedHelperXPCProtocol& service,
                  AerivoPrivilegedHelperXPCProtocol::Reply reply) const;

    friend bool operator==(const HelperRequest&, const HelperRequest&) = default;
};

} // namespace aerivo
