#include "app/helperclient/PrivilegedHelperXPCActivationPolicy.h"

#include <array>
#include <utility>

namespace aerivo {

namespace {

using State = PrivilegedHelperXPCActivationState;

constexpr std::array<std::pair<State, std::string_view>, 7> stateNames{{
    {State::unavailable, "unavailable"},
    {State::contractMismatch, "contractMismatch"},
    {State::metadataRequired, "metadataRequired"},
    {State::installRequired, "installRequired"},
    {State::provenanceRequired, "provenanceRequired"},
    {State::compileTimeLocked, "compileTimeLocked"},
    {State::activationAllowed, "activationAllowed"},
}};

std::string_view detailFor(State state) {
    switch (state) {
    case State::unavailable:
        return "The helper executable is not bundled.";
    case State::contractMismatch:
        return "The helper XPC contract metadata does not match the app contract.";
    case State::metadataRequired:
        return "The helper signature and ServiceManagement metadata must be valid before XPC "
               "activation.";
    case State::installRequired:
        return "The privileged helper install must be verified before XPC activation.";
    case State::provenanceRequired:
        return "The installed helper must match trusted app provenance before XPC activation.";
    case State::compileTimeLocked:
        return "The app-side XPC connection is still locked at compile time.";
    case State::activationAllowed:
        return "The helper XPC activation policy allows a connection attempt.";
    }
    return {};
}

} // namespace

std::string_view rawValue(PrivilegedHelperXPCActivationState state) {
    for (const auto& [candidate, name] : stateNames) {
        if (candidate == state) {
            return name;
        }
    }
    return "unavailable";
}

std::optional<PrivilegedHelperXPCActivationState>
privilegedHelperXPCActivationStateFromRawValue(std::string_view text) {
    for (const auto& [state, name] : stateNames) {
        if (name == text) {
            return state;
        }
    }
    return std::nullopt;
}

PrivilegedHelperXPCActivationPolicy
PrivilegedHelperXPCActivationPolicy::evaluate(const PrivilegedHelperHealth& health,
                                              bool connectionEnabled) {
    const bool nameMatches = health.xpcServiceName == AerivoPrivilegedHelperXPC::serviceName;
    const bool interfaceMatches =
        health.xpcInterfaceName == AerivoPrivilegedHelperXPC::interfaceName;
    const bool versionMatches =
        health.xpcProtocolVersion == AerivoPrivilegedHelperXPC::protocolVersion;

    PrivilegedHelperXPCActivationPolicy policy;
    policy.requirements = {
        {"bundled helper", health.isBundled},
        {"valid helper signature", health.isSignatureValid},
        {"ServiceManagement helper metadata", health.hasBlessMetadata},
        {"privileged helper install verified", health.isPrivilegedInstallVerified},
        {"trusted helper provenance", health.hasTrustedProvenance},
        {"XPC service name matches contract", nameMatches},
        {"XPC interface name matches contract", interfaceMatches},
        {"XPC protocol version matches contract", versionMatches},
        {"XPC connection compile-time lock released", connectionEnabled},
    };
    policy.isContractReady = true;
    for (std::size_t index = 0; index < 8; ++index) {
        policy.isContractReady = policy.isContractReady && policy.requirements[index].isSatisfied;
    }
    policy.isActivationAllowed = policy.isContractReady && connectionEnabled;

    // Contract mismatches are reported before signature, install and provenance problems.
    if (!health.isBundled) {
        policy.state = State::unavailable;
    } else if (!nameMatches || !interfaceMatches || !versionMatches) {
        policy.state = State::contractMismatch;
    } else if (!health.isSignatureValid || !health.hasBlessMetadata) {
        policy.state = State::metadataRequired;
    } else if (!health.isPrivilegedInstallVerified) {
        policy.state = State::installRequired;
    } else if (!health.hasTrustedProvenance) {
        policy.state = State::provenanceRequired;
    } else if (!connectionEnabled) {
        policy.state = State::compileTimeLocked;
    } else {
        policy.state = State::activationAllowed;
    }
    policy.detail = std::string(detailFor(policy.state));
    return policy;
}

PrivilegedHelperXPCActivationPolicy PrivilegedHelperHealth::xpcActivationPolicy() const {
    return PrivilegedHelperXPCActivationPolicy::evaluate(*this);
}

std::string PrivilegedHelperXPCActivationPolicy::blockerText() const {
    std::string text;
    for (const PrivilegedHelperXPCActivationRequirement& requirement : requirements) {
        if (!requirement.isSatisfied) {
            text += (text.empty() ? "" : ", ") + requirement.title;
        }
    }
    return text;
}

} // namespace aerivo
