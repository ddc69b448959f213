#pragma once

#include "shared/AerivoPrivilegedHelperXPC.h"

#include <optional>
#include <string>

namespace aerivo {

struct PrivilegedHelperXPCActivationPolicy;

// The application's picture of the privileged helper: where it is, whether its signature and
// blessing metadata hold, whether the installed copy is the trusted one, whether it answers and
// whether it accepted a reset and allows fan writes.
struct PrivilegedHelperHealth {
    std::string label;
    std::optional<std::string> executablePath;
    bool isBundled = false;
    bool isSignatureValid = false;
    std::optional<std::string> signingIdentifier;
    std::optional<std::string> teamIdentifier;
    std::optional<std::string> appHelperRequirement;
    std::optional<std::string> helperClientRequirement;
    bool hasBlessMetadata = false;
    std::optional<std::string> serviceManagementStatus;
    std::string xpcServiceName{AerivoPrivilegedHelperXPC::serviceName};
    std::string xpcInterfaceName{AerivoPrivilegedHelperXPC::interfaceName};
    int xpcProtocolVersion = AerivoPrivilegedHelperXPC::protocolVersion;
    std::string xpcListenerStatus{AerivoPrivilegedHelperXPC::listenerStatus};
    std::string xpcConnectionStatus{AerivoPrivilegedHelperXPC::connectionStatus};
    int xpcRequestTimeoutSeconds = AerivoPrivilegedHelperXPC::requestTimeoutSeconds;
    int xpcResetTimeoutSeconds = AerivoPrivilegedHelperXPC::resetTimeoutSeconds;
    bool isXPCConnectionEnabled = AerivoPrivilegedHelperXPC::connectionEnabled;
    bool isPrivilegedInstallVerified = false;
    bool hasTrustedProvenance = false;
    bool hasHeartbeat = false;
    bool resetCommandAccepted = false;
    bool fanWritesEnabled = false;
    std::string detail;
    // Set while the helper reports a fan it could not hand back to system control (its status
    // "fanHandBack=failed"): the helper's reason.
    std::optional<std::string> fanHandBackFailure;

    // The helper label: the app's bundle identifier followed by ".Helper".
    static std::string expectedLabel() {
        return std::string{AerivoPrivilegedHelperXPC::serviceName};
    }
    // No helper in the bundle: nothing known, every flag off except the contract's connection
    // switch, detail "Helper executable is not bundled.".
    static const PrivilegedHelperHealth& unavailable();

    // PrivilegedHelperXPCActivationPolicy::evaluate of this record (include its header to call).
    PrivilegedHelperXPCActivationPolicy xpcActivationPolicy() const;

    bool hasSignedPrivilegedHelper() const { return isSignatureValid; }
    bool hasResetPath() const { return resetCommandAccepted; }

    friend bool operator==(const PrivilegedHelperHealth&, const PrivilegedHelperHealth&) = default;
};

} // namespace aerivo
