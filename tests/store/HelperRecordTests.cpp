#include "app/helperclient/PrivilegedHelperActionResult.h"
#include "tests/support/FakePrivilegedHelperClient.h"

#include <gtest/gtest.h>

namespace aerivo {
namespace {

TEST(PrivilegedHelperClient, ActionsDefaultToFailuresWithFixedMessages) {
    FakePrivilegedHelperClient client;
    const auto expect = [](const PrivilegedHelperActionResult& result, const char* message) {
        EXPECT_FALSE(result.isSuccess);
        EXPECT_EQ(result.message, message);
        EXPECT_FALSE(result.dictionary);
    };
    expect(client.installPrivilegedHelper(), "Privileged helper install is unavailable.");
    expect(client.resetToSystem(), "Privileged helper reset is unavailable.");
    expect(client.holdManualTargetLease(2000.0, 5),
           "Privileged helper fan control is unavailable.");
    expect(client.renewCurveTargetLease(2000.0, 15),
           "Privileged helper curve renewal is unavailable.");
}

TEST(PrivilegedHelperHealth, UnavailableKnowsOnlyTheContract) {
    const auto& health = PrivilegedHelperHealth::unavailable();
    EXPECT_EQ(health.label, std::string(AERIVO_BUNDLE_IDENTIFIER) + ".Helper");
    EXPECT_EQ(health.label, PrivilegedHelperHealth::expectedLabel());
    EXPECT_FALSE(health.executablePath);
    EXPECT_FALSE(health.signingIdentifier);
    EXPECT_FALSE(health.teamIdentifier);
    EXPECT_FALSE(health.appHelperRequirement);
    EXPECT_FALSE(health.helperClientRequirement);
    EXPECT_FALSE(health.serviceManagementStatus);
    EXPECT_FALSE(health.isBundled || health.isSignatureValid || health.hasBlessMetadata ||
                 health.isPrivilegedInstallVerified || health.hasTrustedProvenance ||
                 health.hasHeartbeat || health.resetCommandAccepted || health.fanWritesEnabled);
    EXPECT_TRUE(health.isXPCConnectionEnabled);
    EXPECT_EQ(health.xpcServiceName, health.label);
    EXPECT_EQ(health.xpcInterfaceName, "AerivoPrivilegedHelperXPCProtocol");
    EXPECT_EQ(health.xpcProtocolVersion, 2);
    EXPECT_EQ(health.xpcListenerStatus, "launchd-mach-service");
    EXPECT_EQ(health.xpcConnectionStatus, "enabled");
    EXPECT_EQ(health.xpcRequestTimeoutSeconds, 2);
    EXPECT_EQ(health.xpcResetTimeoutSeconds, 8);
    EXPECT_EQ(health.detail, "Helper executable is not bundled.");

    PrivilegedHelperHealth signedHelper = health;
    signedHelper.isSignatureValid = true;
    EXPECT_TRUE(signedHelper.hasSignedPrivilegedHelper());
    EXPECT_FALSE(signedHelper.hasResetPath());
    signedHelper.resetCommandAccepted = true;
    EXPECT_TRUE(signedHelper.hasResetPath());
}

TEST(PrivilegedHelperActionResult, LinesListTheReplyInKeyOrder) {
    const PrivilegedHelperActionResult result{
        true, "Curve lease renewed.",
        nlohmann::json::parse(R"({"targetReached": false, "accepted": true, "fanIndex": 0,
                                  "appliedTargetRPM": 2000.0, "finalActualRPM": 1813.68,
                                  "error": "none", "extra": null})")};
    EXPECT_EQ(result.lines(), (std::vector<std::string>{
                                  "success=true",
                                  "message=Curve lease renewed.",
                                  "accepted=true",
                                  "appliedTargetRPM=2000.0",
                                  "error=none",
                                  "extra=nil",
                                  "fanIndex=0",
                                  "finalActualRPM=1813.68",
                                  "targetReached=false",
                              }));
    EXPECT_EQ(PrivilegedHelperActionResult::failure("No reply.").lines(),
              (std::vector<std::string>{"success=false", "message=No reply."}));
}

} // namespace
} // namespace aerivo
