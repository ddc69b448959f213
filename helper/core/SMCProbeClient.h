#pragma once

#include "platform/services/IOKitPort.h"
#include "platform/services/IOKitSMCConnection.h"
#include "shared/FanTargetWriteResult.h"
#include "shared/KernelReturn.h"
#include "shared/SMCValue.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// The helper's only door to the SMC: one open user-client connection, with key reads, key
// writes, key enumeration and one-line diagnostics. Every helper operation opens its own client
// and drops it afterwards; the connection lives exactly as long as the client.
class SMCProbeClient {
public:
    // Keys are enumerated up to this index at most, whatever "#KEY" claims.
    static constexpr std::uint32_t maximumScannedKeys = 20000;
    // The scan length when "#KEY" gives no usable count.
    static constexpr std::uint32_t defaultScannedKeys = 5000;

    // Opens the SMC ("AppleSMCKeysEndpoint", then "AppleSMC", user-client type 0). Nothing when
    // no class opens; callers report that as "AppleSMC connection failed".
    static std::unique_ptr<SMCProbeClient> open(IOKitPort& port);

    SMCProbeClient(const SMCProbeClient&) = delete;
    SMCProbeClient& operator=(const SMCProbeClient&) = delete;
    // Closes the connection.
    ~SMCProbeClient();

    const std::string& serviceClassName() const { return serviceClassName_; }
    // The key count in decimal, "unknown" until fanRelatedKeys() has found one.
    const std::string& keyCountText() const { return keyCountText_; }
    IOConnectHandle connection() const { return connection_; }

    // The two-step read (key information, then the bytes). Nothing when either step fails.
    std::optional<SMCValue> readValue(std::string_view key);
    // The byte write of the value's key, size and bytes; both codes come back, nothing is retried.
    FanTargetWriteResult writeValue(const SMCValue& value);

    // Every key whose name begins with "F", without duplicates, in ascending order, found by
    // walking the key indexes up to the count "#KEY" gives (5000 without one, 20000 at most).
    std::vector<std::string> fanRelatedKeys();

    // One diagnostic line for the key, made from the raw calls so it shows every code.
    std::string debugLine(std::string_view key);

    static std::string kernelResultText(KernReturn code);

private:
    SMCProbeClient(IOKitPort& port, IOConnectHandle connection, std::string serviceClassName);

    // "#KEY" as a count: big-endian first, then little-endian; the first candidate that is
    // non-zero and below 100000 wins.
    std::optional<std::uint32_t> keyCount();
    std::optional<std::string> key(std::uint32_t index);

    IOKitPort& port_;
    std::string serviceClassName_;
    std::string keyCountText_ = "unknown";
    IOConnectHandle connection_;
    IOKitSMCConnection smc_;
};

// Opens a fresh SMC client for one helper operation; nothing when the SMC does not open.
using SMCOpener = std::function<std::unique_ptr<SMCProbeClient>()>;

} // namespace aerivo
