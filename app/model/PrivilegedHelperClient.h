#pragma once

#include "app/helperclient/PrivilegedHelperActionResult.h"
#include "app/helperclient/PrivilegedHelperHealth.h"

#include <string_view>

namespace aerivo {

// The store's door to the privileged helper. Only readHealth() must be implemented; the four
// actions default to failures (without a dictionary). renewCurveTargetLease is called from the
// store's curve-lease queue, not the main thread, and may block until the helper answers.
class PrivilegedHelperClient {
public:
    static constexpr std::string_view installUnavailableMessage =
        "Privileged helper install is unavailable.";
    static constexpr std::string_view resetUnavailableMessage =
        "Privileged helper reset is unavailable.";
    static constexpr std::string_view fanControlUnavailableMessage =
        "Privileged helper fan control is unavailable.";
    static constexpr std::string_view curveRenewalUnavailableMessage =
        "Privileged helper curve renewal is unavailable.";

    virtual ~PrivilegedHelperClient() = default;

    virtual PrivilegedHelperHealth readHealth() = 0;
    virtual PrivilegedHelperActionResult installPrivilegedHelper();
    virtual PrivilegedHelperActionResult resetToSystem();
    virtual PrivilegedHelperActionResult holdManualTargetLease(double targetRPM, int holdSeconds);
    virtual PrivilegedHelperActionResult renewCurveTargetLease(double targetRPM, int leaseSeconds);
};

} // namespace aerivo
