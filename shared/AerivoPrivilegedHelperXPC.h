#pragma once

#include <string_view>

namespace aerivo {

// Constants and switches both programs agree on for the helper connection. Never instantiated.
//
// The helper label is the app's bundle identifier followed by ".Helper": the helper's bundle
// identifier and executable name, its daemon label, the name of its socket and the base of its
// lease queue label.
struct AerivoPrivilegedHelperXPC {
    AerivoPrivilegedHelperXPC() = delete;

    static constexpr std::string_view serviceName = AERIVO_BUNDLE_IDENTIFIER ".Helper";
    static constexpr std::string_view interfaceName = "AerivoPrivilegedHelperXPCProtocol";
    static constexpr int protocolVersion = 2;
    static constexpr bool connectionEnabled = true;
    static constexpr std::string_view listenerStatus = "launchd-mach-service";
    static constexpr std::string_view connectionStatus = "enabled";
    // Master switch: when off (or when the connection is off) the helper refuses every lease.
    static constexpr bool fanWritesEnabled = true;
    static constexpr int requestTimeoutSeconds = 2;
    static constexpr int resetTimeoutSeconds = 8;

    // The three requests the helper answers, in protocol order.
    static constexpr std::string_view readStatusMethod = "readStatus";
    static constexpr std::string_view resetToSystemMethod = "resetToSystem";
    static constexpr std::string_view holdManualTargetLeaseMethod = "holdManualTargetLease";
};

} // namespace aerivo
