#pragma once

#include "platform/helpersocket/HelperTransport.h"
#include "shared/AerivoPrivilegedHelperXPCProtocol.h"

#include <chrono>
#include <functional>

namespace aerivo {

// The helper's protocol as the app sees it, over a transport: each call sends one request and
// blocks until it ends (at most the deadline). A reply goes to the call's reply block; any other
// ending goes to the error handler instead, so exactly one of the two is called per call.
class HelperXPCProxy final : public AerivoPrivilegedHelperXPCProtocol {
public:
    using ErrorHandler = std::function<void(const HelperRequestResult& result)>;

    HelperXPCProxy(HelperTransport& transport, std::chrono::milliseconds deadline,
                   ErrorHandler errorHandler);

    void readStatus(Reply reply) override;
    void resetToSystem(Reply reply) override;
    void holdManualTargetLease(nlohmann::json request, Reply reply) override;

private:
    void send(const HelperRequest& request, const Reply& reply);

    HelperTransport& transport_;
    std::chrono::milliseconds deadline_;
    ErrorHandler errorHandler_;
};

} // namespace aerivo
