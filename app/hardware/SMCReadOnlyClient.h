#pragma once

#include "app/hardware/FanHardwareCapabilities.h"
#include "platform/services/IOKitPort.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// The application's only path to the SMC: one open user-client connection over which fan keys
// are read, never written. Write commands cannot leave this client: its connection refuses them
// before they reach the port. The port must outlive the client; destroying the client closes the
// connection.
class SMCReadOnlyClient {
public:
    // Opens "AppleSMCKeysEndpoint", else "AppleSMC" (user-client type 0), releasing each matched
    // service whatever the outcome. Nothing when neither class opens.
    static std::unique_ptr<SMCReadOnlyClient> create(IOKitPort& port);

    SMCReadOnlyClient(const SMCReadOnlyClient&) = delete;
    SMCReadOnlyClient& operator=(const SMCReadOnlyClient&) = delete;
    ~SMCReadOnlyClient();

    IOConnectHandle connection() const { return connection_; }
    const std::string& serviceClassName() const { return serviceClassName_; }

    // Count, then each fan's minimum, maximum and actual speed. A key that fails only leaves its
    // value absent; no count gives unavailable capabilities, a count of 0 unsupportedNoFan.
    FanHardwareCapabilities readFanCapabilities();
    // "F0Ac" as a speed.
    std::optional<double> readCurrentPrimaryFanRPM();

    // "smcService=", "smcStructSize=80", then one debugLine per fan key of fans 0 and 1.
    std::vector<std::string> debugFanKeyReport();
    // The read-only probe of the candidate fan-control keys.
    std::vector<std::string> debugPotentialFanControlKeyReport();
    // Every SMC driver class, every matching service, user-client types 0 to 9: whether each
    // opens and what the key-information call of "FNum" answers. Opens and closes its own
    // connections and releases every service; needs no client.
    static std::vector<std::string> debugConnectionMatrix(IOKitPort& port);

    // "FNum": the first of its bytes that is above zero, else its first byte (0 without bytes).
    std::optional<int> readFanCount();
    // The key decoded by the SMC speed rule; nothing when unreadable or too short.
    std::optional<double> readRPM(std::string_view key);
    // One diagnostic line for the key, with every kernel code and SMC result byte.
    std::string debugLine(std::string_view key);

    // "selector=<s> FNum.info=<text> result=<n> type=<type> size=<n> inputSize=80" from one
    // key-information call (the size is not capped).
    static std::string matrixReadSummary(IOKitPort& port, IOConnectHandle connection,
                                         std::uint32_t selector, std::string_view key);
    // The service's "IOClass" string property, or "unknown".
    static std::string ioClassName(IOKitPort& port, IOObjectHandle service);

private:
    class ReadOnlyConnection;

    SMCReadOnlyClient(IOKitPort& port, IOConnectHandle connection, std::string serviceClassName);

    IOKitPort& port_;
    IOConnectHandle connection_;
    std::string serviceClassName_;
    std::unique_ptr<ReadOnlyConnection> smc_;
};

} // namespace aerivo
