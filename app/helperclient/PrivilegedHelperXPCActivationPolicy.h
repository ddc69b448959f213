#pragma once

#include "app/helperclient/PrivilegedHelperHealth.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// The verdict on opening a connection to the helper, the first unmet condition in a fixed order.
enum class PrivilegedHelperXPCActivationState {
    unavailable,
    contractMismatch,
    metadataRequired,
    installRequired,
    provenanceRequired,
    compileTimeLocked,
    activationAllowed,
};

std::string_view rawValue(PrivilegedHelperXPCActivationState state);
std::optional<PrivilegedHelperXPCActivationState>
privilegedHelperXPCActivationStateFromRawValue(std::string_view text);

struct PrivilegedHelperXPCActivationRequirement {
    std::string title;
    bool isSatisfied = false;

    friend bool operator==(const PrivilegedHelperXPCActivationRequirement&,
                           const PrivilegedHelperXPCActivationRequirement&) = default;
};

// Whether the app may open a connection to the helper: a pure function of a health record and
// the contract. It does not look at heartbeat, reset or fan-write flags.
struct PrivilegedHelperXPCActivationPolicy {
    PrivilegedHelperXPCActivationState state = PrivilegedHelperXPCActivationState::unavailable;
    bool isContractReady = false;
    bool isActivationAllowed = false;
    // Nine conditions, always in the same order: bundled, signature, metadata, install,
    // provenance, service name, interface name, protocol version, connection lock.
    std::vector<PrivilegedHelperXPCActivationRequirement> requirements;
    std::string detail;

    // `connectionEnabled` is the app's contract switch (not the health's copy of it).
    static PrivilegedHelperXPCActivationPolicy
    evaluate(const PrivilegedHelperHealth& health,
             bool connectionEnabled = AerivoPrivilegedHelperXPC::connectionEnabled);

    // The unsatisfied titles in list order, joined by ", "; empty when all hold.
    std::string blockerText() const;

    friend bool operator==(const PrivilegedHelperXPCActivationPolicy&,
                           const PrivilegedHelperXPCActivationPolicy&) = default;
};

} // namespace aerivo
