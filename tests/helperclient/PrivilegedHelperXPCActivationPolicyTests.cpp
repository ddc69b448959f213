#include "app/helperclient/PrivilegedHelperXPCActivationPolicy.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

namespace aerivo {
namespace {

using State = PrivilegedHelperXPCActivationState;

PrivilegedHelperHealth trustedHealth() {
    PrivilegedHelperHealth health = PrivilegedHelperHealth::unavailable();
    health.isBundled = true;
    health.isSignatureValid = true;
    health.hasBlessMetadata = true;
    health.isPrivilegedInstallVerified = true;
    health.hasTrustedProvenance = true;
    return health;
}

// What each state says, as the preflight report prints it.
const std::map<State, std::string> detailOf{
    {State::unavailable, "The helper executable is not bundled."},
    {State::contractMismatch, "The helper XPC contract metadata does not match the app contract."},
    {State::metadataRequired, "The helper signature and ServiceManagement metadata must be valid "
                              "before XPC activation."},
    {State::installRequired,
     "The privileged helper install must be verified before XPC activation."},
    {State::provenanceRequired,
     "The installed helper must match trusted app provenance before XPC activation."},
    {State::compileTimeLocked, "The app-side XPC connection is still locked at compile time."},
    {State::activationAllowed, "The helper XPC activation policy allows a connection attempt."},
};

TEST(HelperActivationPolicy, TheUnavailableHelperIsBlockedByEverythingButTheContract) {
    const auto policy = PrivilegedHelperHealth::unavailable().xpcActivationPolicy();
    EXPECT_EQ(policy.state, State::unavailable);
    EXPECT_EQ(policy.detail, detailOf.at(State::unavailable));
    EXPECT_FALSE(policy.isContractReady || policy.isActivationAllowed);
    ASSERT_EQ(policy.requirements.size(), 9u);
    EXPECT_EQ(policy.blockerText(),
              "bundled helper, valid helper signature, ServiceManagement helper metadata, "
              "privileged helper install verified, trusted helper provenance");
}

TEST(HelperActivationPolicy, TheFirstUnmetRuleDecidesAndContractMismatchesComeFirst) {
    struct Case {
        const char* name;
        std::function<void(PrivilegedHelperHealth&)> change;
        State state;
        std::string blockers;
    };
    const Case cases[] = {
        {"trusted", [](PrivilegedHelperHealth&) {}, State::activationAllowed, ""},
        {"version and signature",
         [](PrivilegedHelperHealth& h) {
             h.xpcProtocolVersion += 1;
             h.isSignatureValid = false;
         },
         State::contractMismatch, "valid helper signature, XPC protocol version matches contract"},
        {"service name", [](PrivilegedHelperHealth& h) { h.xpcServiceName = "other.Helper"; },
         State::contractMismatch, "XPC service name matches contract"},
        {"interface name", [](PrivilegedHelperHealth& h) { h.xpcInterfaceName = "Other"; },
         State::contractMismatch, "XPC interface name matches contract"},
        {"metadata and install",
         [](PrivilegedHelperHealth& h) {
             h.hasBlessMetadata = false;
             h.isPrivilegedInstallVerified = false;
         },
         State::metadataRequired,
         "ServiceManagement helper metadata, privileged helper install verified"},
        {"install", [](PrivilegedHelperHealth& h) { h.isPrivilegedInstallVerified = false; },
         State::installRequired, "privileged helper install verified"},
        {"provenance", [](PrivilegedHelperHealth& h) { h.hasTrustedProvenance = false; },
         State::provenanceRequired, "trusted helper provenance"},
        // The policy never looks at what the helper answered.
        {"silent helper",
         [](PrivilegedHelperHealth& h) {
             h.hasHeartbeat = false;
             h.resetCommandAccepted = false;
             h.fanWritesEnabled = false;
         },
         State::activationAllowed, ""},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.name);
        PrivilegedHelperHealth health = trustedHealth();
        each.change(health);
        const auto policy = PrivilegedHelperXPCActivationPolicy::evaluate(health);
        EXPECT_EQ(policy.state, each.state);
        EXPECT_EQ(policy.detail, detailOf.at(each.state));
        EXPECT_EQ(policy.blockerText(), each.blockers);
        EXPECT_EQ(policy.isActivationAllowed, each.state == State::activationAllowed);
        EXPECT_EQ(policy.isContractReady, each.blockers.empty());
    }
}

TEST(HelperActivationPolicy, TheAppsConnectionLockAloneHoldsBackATrustedHelper) {
    const auto policy = PrivilegedHelperXPCActivationPolicy::evaluate(trustedHealth(), false);
    EXPECT_EQ(policy.state, State::compileTimeLocked);
    EXPECT_EQ(policy.detail, detailOf.at(State::compileTimeLocked));
    EXPECT_TRUE(policy.isContractReady);
    EXPECT_FALSE(policy.isActivationAllowed);
    EXPECT_EQ(policy.blockerText(), "XPC connection compile-time lock released");
}

TEST(HelperActivationPolicy, StateNamesReadBack) {
    for (int raw = 0; raw <= static_cast<int>(State::activationAllowed); ++raw) {
        const auto state = static_cast<State>(raw);
        EXPECT_EQ(privilegedHelperXPCActivationStateFromRawValue(rawValue(state)), state);
    }
    EXPECT_FALSE(privilegedHelperXPCActivationStateFromRawValue("allowed"));
}

} // namespace
} // namespace aerivo
