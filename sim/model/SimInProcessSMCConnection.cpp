#include "sim/model/SimInProcessSMCConnection.h"

namespace aerivo {

SimInProcessSMCConnection::SimInProcessSMCConnection(SimulatedMac& machine, SimSessionId session,
                                                     std::string_view className)
    : machine_(machine), session_(session) {
    const std::uint32_t service = machine_.matchingService(session_, className);
    if (service == 0) {
        return;
    }
    const SimOpenResult opened = machine_.openService(session_, service, 0);
    machine_.releaseObject(session_, service);
    openResult_ = opened.result;
    connection_ = opened.connection;
}

SimInProcessSMCConnection::~SimInProcessSMCConnection() {
    if (connection_ != 0) {
        machine_.closeService(session_, connection_);
    }
}

KernReturn SimInProcessSMCConnection::callStructMethod(std::uint32_t selector,
                                                       const SMCKeyData& input,
                                                       SMCKeyData& output) {
    return machine_.callStructMethod(session_, connection_, selector, input, output);
}

} // namespace aerivo
