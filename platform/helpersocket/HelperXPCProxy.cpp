#include "platform/helpersocket/HelperXPCProxy.h"

namespace aerivo {

HelperXPCProxy::HelperXPCProxy(HelperTransport& transport, std::chrono::milliseconds deadline,
                               ErrorHandler errorHandler)
    : transport_(transport), deadline_(deadline), errorHandler_(std::move(errorHandler)) {}

void HelperXPCProxy::readStatus(Reply reply) {
    send(HelperRequest::readStatus(), reply);
}

void HelperXPCProxy::resetToSystem(Reply reply) {
    send(HelperRequest::resetToSystem(), reply);
}

void HelperXPCProxy::holdManualTargetLease(nlohmann::json request, Reply reply) {
    send(HelperRequest::holdManualTargetLease(std::move(request)), reply);
}

void HelperXPCProxy::send(const HelperRequest& request, const Reply& reply) {
    HelperRequestResult result = transport_.send(request, deadline_);
    if (result.isReplied()) {
        if (reply) {
            reply(std::move(*result.reply));
        }
    } else if (errorHandler_) {
        errorHandler_(result);
    }
}

} // namespace aerivo
