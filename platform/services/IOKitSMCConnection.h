#pragma once

#include "platform/services/IOKitPort.h"
#include "shared/SMCConnection.h"

namespace aerivo {

// The SMC command sequences over one user-client connection of an IOKitPort. Records cross as
// their explicit 80-byte images. Does not own the connection: whoever opened it closes it.
class IOKitSMCConnection final : public SMCConnection {
public:
    IOKitSMCConnection(IOKitPort& port, IOConnectHandle connection)
        : port_(port), connection_(connection) {}

    KernReturn callStructMethod(std::uint32_t selector, const SMCKeyData& input,
                                SMCKeyData& output) override;

    IOConnectHandle connection() const { return connection_; }

private:
    IOKitPort& port_;
    IOConnectHandle connection_;
};

} // namespace aerivo
