#include "platform/helpersocket/HelperRequest.h"

#include "shared/AerivoPrivilegedHelperXPC.h"

namespace aerivo {

namespace {
using XPC = AerivoPrivilegedHelperXPC;
} // namespace

HelperRequest HelperRequest::readStatus() {
    return {std::string{XPC::readStatusMethod}, nlohmann::json::object()};
}

HelperRequest HelperRequest::resetToSystem() {
    return {std::string{XPC::resetToSystemMethod}, nlohmann::json::object()};
}

HelperRequest HelperRequest::holdManualTargetLease(nlohmann::json leaseRequest) {
    return {std::string{XPC::holdManualTargetLeaseMethod}, std::move(leaseRequest)};
}

std::optional<HelperRequest> HelperRequest::fromDictionary(const nlohmann::json& dictionary) {
    if (!dictionary.is_object()) {
        return std::nullopt;
    }
    const auto method = dictionary.find("method");
    if (method == dictionary.end() || !method->is_string()) {
        return std::nullopt;
    }
    const std::string& name = method->get_ref<const std::string&>();
    if (name != XPC::readStatusMethod && name != XPC::resetToSystemMethod &&
        name != XPC::holdManualTargetLeaseMethod) {
        return std::nullopt;
    }
    HelperRequest request{name, nlohmann::json::object()};
    if (const auto argument = dictionary.find("argument"); argument != dictionary.end()) {
        if (!argument->is_object()) {
            return std::nullopt;
        }
        request.argument = *argument;
    }
    return request;
}

nlohmann::json HelperRequest::dictionary() const {
    return nlohmann::json{{"method", method}, {"argument", argument}};
}

bool HelperRequest::dispatch(AerivoPrivilegedHelperXPCProtocol& service,
                             AerivoPrivilegedHelperXPCProtocol::Reply reply) const {
    if (method == XPC::readStatusMethod) {
        service.readStatus(std::move(reply));
    } else if (method == XPC::resetToSystemMethod) {
        service.resetToSystem(std::move(reply));
    } else if (method == XPC::holdManualTargetLeaseMethod) {
        service.holdManualTargetLease(argument, std::move(reply));
    } else {
        return false;
    }
    return true;
}

} // namespace aerivo
