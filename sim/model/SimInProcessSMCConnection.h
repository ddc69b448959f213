#pragma once

#include "shared/SMCConnection.h"
#include "sim/model/SimulatedMac.h"

#include <optional>
#include <string>
#include <string_view>

namespace aerivo {

// An SMC user client of an in-process simulated Mac, for tests: opens the first service of the
// class (type 0) in the given session, speaks the shared command sequences over it and closes
// it when destroyed.
class SimInProcessSMCConnection final : public SMCConnection {
public:
    SimInProcessSMCConnection(SimulatedMac& machine, SimSessionId session,
                              std::string_view className = "AppleSMCKeysEndpoint");
    ~SimInProcessSMCConnection() override;

    // The kernel code of the open; the connection is usable only when it is success.
    KernReturn openResult() const { return openResult_; }
    bool isOpen() const { return connection_ != 0; }

    KernReturn callStructMethod(std::uint32_t selector, const SMCKeyData& input,
                                SMCKeyData& output) override;

private:
    SimulatedMac& machine_;
    SimSessionId session_;
    std::uint32_t connection_ = 0;
    KernReturn openResult_ = kIOReturnNotFound;
};

} // namespace aerivo
