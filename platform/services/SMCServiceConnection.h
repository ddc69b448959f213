#pragma once

#include "platform/services/IOKitPort.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace aerivo {

// The SMC driver classes tried for a connection, in order.
inline constexpr std::array<std::string_view, 2> smcServiceClassNames{"AppleSMCKeysEndpoint",
                                                                      "AppleSMC"};
// The user-client type of an SMC connection.
inline constexpr std::uint32_t smcUserClientType = 0;

// An open SMC user client and the class whose service gave it.
struct SMCServiceConnection {
    IOConnectHandle connection = 0;
    std::string serviceClassName;

    bool operator==(const SMCServiceConnection&) const = default;
};

// Opens the SMC: for each class in order, the first matching service is opened with type 0 and
// released whatever the outcome; the first success wins. Nothing when no class opens. The caller
// owns the connection and closes it with IOKitPort::closeService.
std::optional<SMCServiceConnection> openSMCService(IOKitPort& port);

} // namespace aerivo
