#include "shared/AerivoPrivilegedHelperStatus.h"

#include <gtest/gtest.h>

namespace aerivo {
namespace {

const std::string label{AerivoPrivilegedHelperXPC::serviceName};

TEST(HelperContract, HelperLabelIsTheBundleIdentifierWithHelperSuffix) {
    EXPECT_EQ(label, std::string(AERIVO_BUNDLE_IDENTIFIER) + ".Helper");
}

TEST(HelperStatus, StatusLinesAreTheHelperStatusOutput) {
    const std::vector<std::string> expected{
        "helperLabel=" + label,
        "helperProtocol=2",
        "helperXPCServiceName=" + label,
        "helperXPCInterfaceName=AerivoPrivilegedHelperXPCProtocol",
        "helperXPCListener=launchd-mach-service",
        "helperXPCConnection=enabled",
        "helperXPCRequestTimeoutSeconds=2",
        "helperXPCResetTimeoutSeconds=8",
        "helperPrivilege=not-installed",
        "fanWrites=disabled",
        "heartbeat=ok",
    };
    EXPECT_EQ(AerivoPrivilegedHelperStatus::status().lines(), expected);
}

TEST(HelperStatus, FactoriesDifferFromTheDefaultsInOneField) {
    const auto reset = AerivoPrivilegedHelperStatus::resetAccepted().lines();
    ASSERT_EQ(reset.size(), 11u);
    EXPECT_EQ(reset.back(), "resetToSystem=noop");

    const auto unsupported = AerivoPrivilegedHelperStatus::unsupportedCommand();
    EXPECT_EQ(unsupported.lines().back(), "error=unsupported command");
    EXPECT_FALSE(unsupported.heartbeat);
    EXPECT_FALSE(unsupported.resetToSystem);

    EXPECT_EQ(AerivoPrivilegedHelperStatus{}.lines().size(), 10u);
}

TEST(HelperStatus, OptionalsComeInFixedOrderWhenAllPresent) {
    AerivoPrivilegedHelperStatus status;
    status.error = "AppleSMC connection failed";
    status.resetToSystem = "failed";
    status.heartbeat = "ok";
    const auto lines = status.lines();
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[10], "heartbeat=ok");
    EXPECT_EQ(lines[11], "resetToSystem=failed");
    EXPECT_EQ(lines[12], "error=AppleSMC connection failed");
}

TEST(HelperStatus, DictionaryHoldsOnlyStringsAndOmitsAbsentFields) {
    auto status = AerivoPrivilegedHelperStatus::status();
    status.privilege = "installed";
    status.fanWrites = "enabled";
    status.xpcRequestTimeoutSeconds = 12;
    const auto dictionary = status.dictionary();
    ASSERT_TRUE(dictionary.is_object());
    EXPECT_EQ(dictionary.size(), 11u);
    for (const auto& [key, value] : dictionary.items()) {
        EXPECT_TRUE(value.is_string()) << key;
    }
    EXPECT_EQ(dictionary.at("helperProtocol"), "2");
    EXPECT_EQ(dictionary.at("helperXPCRequestTimeoutSeconds"), "12");
    EXPECT_EQ(dictionary.at("helperPrivilege"), "installed");
    EXPECT_EQ(dictionary.at("fanWrites"), "enabled");
    EXPECT_EQ(dictionary.at("heartbeat"), "ok");
    EXPECT_FALSE(dictionary.contains("resetToSystem"));
    EXPECT_FALSE(dictionary.contains("error"));
}

TEST(HelperStatus, LinesDoNotQuoteOrEscape) {
    AerivoPrivilegedHelperStatus status;
    status.error = "reset failed: \"FS! \" = 1";
    EXPECT_EQ(status.lines().back(), "error=reset failed: \"FS! \" = 1");
}

} // namespace
} // namespace aerivo
