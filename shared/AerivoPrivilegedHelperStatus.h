#pragma once

#include "shared/AerivoPrivilegedHelperXPC.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace aerivo {

// The helper's answer to a status or reset request, and its command-line status output.
struct AerivoPrivilegedHelperStatus {
    static constexpr std::string_view labelKey = "helperLabel";
    static constexpr std::string_view protocolVersionKey = "helperProtocol";
    static constexpr std::string_view xpcServiceNameKey = "helperXPCServiceName";
    static constexpr std::string_view xpcInterfaceNameKey = "helperXPCInterfaceName";
    static constexpr std::string_view xpcListenerKey = "helperXPCListener";
    static constexpr std::string_view xpcConnectionKey = "helperXPCConnection";
    static constexpr std::string_view xpcRequestTimeoutSecondsKey =
        "helperXPCRequestTimeoutSeconds";
    static constexpr std::string_view xpcResetTimeoutSecondsKey = "helperXPCResetTimeoutSeconds";
    static constexpr std::string_view privilegeKey = "helperPrivilege";
    static constexpr std::string_view fanWritesKey = "fanWrites";
    static constexpr std::string_view heartbeatKey = "heartbeat";
    static constexpr std::string_view resetToSystemKey = "resetToSystem";
    static constexpr std::string_view errorKey = "error";
    static constexpr std::string_view fanHandBackKey = "fanHandBack";
    static constexpr std::string_view fanHandBackErrorKey = "fanHandBackError";

    std::string label{AerivoPrivilegedHelperXPC::serviceName};
    std::int64_t protocolVersion = AerivoPrivilegedHelperXPC::protocolVersion;
    std::string xpcServiceName{AerivoPrivilegedHelperXPC::serviceName};
    std::string xpcInterfaceName{AerivoPrivilegedHelperXPC::interfaceName};
    std::string xpcListener{AerivoPrivilegedHelperXPC::listenerStatus};
    std::string xpcConnection{AerivoPrivilegedHelperXPC::connectionStatus};
    std::int64_t xpcRequestTimeoutSeconds = AerivoPrivilegedHelperXPC::requestTimeoutSeconds;
    std::int64_t xpcResetTimeoutSeconds = AerivoPrivilegedHelperXPC::resetTimeoutSeconds;
    // "installed" only in a status reply; "not-installed" everywhere else.
    std::string privilege = "not-installed";
    // "enabled" or "disabled".
    std::string fanWrites = "disabled";
    // "ok" when present.
    std::optional<std::string> heartbeat;
    // "noop", "accepted" or "failed" when present.
    std::optional<std::string> resetToSystem;
    std::optional<std::string> error;
    // "failed" while the helper holds a fan it could not hand back to system control (its last
    // hand-back failed and none has succeeded since), with why in fanHandBackError.
    std::optional<std::string> fanHandBack;
    std::optional<std::string> fanHandBackError;

    static AerivoPrivilegedHelperStatus status();
    static AerivoPrivilegedHelperStatus resetAccepted();
    static AerivoPrivilegedHelperStatus unsupportedCommand();

    // key=value lines, unquoted: the ten fixed entries, then heartbeat, resetToSystem, error,
    // fanHandBack and fanHandBackError when present.
    std::vector<std::string> lines() const;
    // The same pairs as a JSON object of strings (numbers included); absent fields are absent keys.
    nlohmann::json dictionary() const;

    friend bool operator==(const AerivoPrivilegedHelperStatus&,
                           const AerivoPrivilegedHelperStatus&) = default;

private:
    std::vector<std::pair<std::string_view, std::string>> fields() const;
};

} // namespace aerivo
