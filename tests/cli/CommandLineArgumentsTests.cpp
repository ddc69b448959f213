#include "app/cli/CommandLineArguments.h"
#include "app/hardware/HardwareProbeLines.h"

#include <gtest/gtest.h>

#include <map>

namespace aerivo {
namespace {

EnvironmentLookup environmentOf(std::map<std::string, std::string> values) {
    return [values = std::move(values)](std::string_view name) -> std::optional<std::string> {
        const auto found = values.find(std::string(name));
        if (found == values.end()) {
            return std::nullopt;
        }
        return found->second;
    };
}

const std::vector<std::string> program{"AerivoMac"};

std::vector<std::string> args(std::initializer_list<std::string> rest) {
    std::vector<std::string> all = program;
    all.insert(all.end(), rest);
    return all;
}

TEST(CommandLineValues, ValueFollowsTheFirstOccurrence) {
    EXPECT_EQ(valueArgument("--x", args({"--x", "1", "--x", "2"})), "1");
    EXPECT_FALSE(valueArgument("--x", args({"--y", "1"})).has_value());
    EXPECT_FALSE(valueArgument("--x", args({"--y", "--x"})).has_value());
    EXPECT_EQ(valueArgument("--x", args({"--x", "--y"})), "--y");
}

TEST(CommandLineValues, NumbersMustFillTheWholeValue) {
    EXPECT_EQ(parseInteger("15"), 15);
    EXPECT_EQ(parseInteger("+15"), 15);
    EXPECT_EQ(parseInteger("-3"), -3);
    for (const char* bad : {"", "abc", "1.5", " 5", "5 ", "+", "+-5", "99999999999999999999"}) {
        EXPECT_FALSE(parseInteger(bad).has_value()) << bad;
    }
    EXPECT_EQ(parseDouble("2500"), 2500.0);
    EXPECT_EQ(parseDouble("-100.5"), -100.5);
    EXPECT_EQ(parseDouble("+1e3"), 1000.0);
    for (const char* bad : {"", "abc", "12rpm", "nan", "inf", "-infinity", "1e999", " 1"}) {
        EXPECT_FALSE(parseDouble(bad).has_value()) << bad;
    }
}

TEST(CommandLineTarget, ExplicitDeltaAndDefaultRules) {
    const auto none = environmentOf({});
    EXPECT_EQ(requestedTargetRPM(args({}), 2000.0, none), 2300.0);
    EXPECT_EQ(requestedTargetRPM(args({"--target-delta", "-150"}), 2000.0, none), 1850.0);
    EXPECT_EQ(requestedTargetRPM(args({"--target-rpm", "2500"}), std::nullopt, none), 2500.0);
    EXPECT_FALSE(
        requestedTargetRPM(args({"--target-rpm", "2500", "--target-delta", "100"}), 2000.0, none)
            .has_value());
    EXPECT_FALSE(requestedTargetRPM(args({}), std::nullopt, none).has_value());
}

TEST(CommandLineTarget, EnvironmentStandsInForMissingOrBadFlags) {
    const auto env = environmentOf({{"AERIVO_SMC_TARGET_RPM", "3100"}});
    EXPECT_EQ(requestedTargetRPM(args({"--target-rpm"}), std::nullopt, env), 3100.0);
    EXPECT_EQ(requestedTargetRPM(args({"--target-rpm", "fast"}), std::nullopt, env), 3100.0);
    EXPECT_EQ(requestedTargetRPM(args({"--target-rpm", "2000"}), std::nullopt, env), 2000.0);
    const auto both =
        environmentOf({{"AERIVO_SMC_TARGET_RPM", "3100"}, {"AERIVO_SMC_TARGET_DELTA", "50"}});
    EXPECT_FALSE(requestedTargetRPM(args({}), 2000.0, both).has_value());
    const auto badDelta = environmentOf({{"AERIVO_SMC_TARGET_DELTA", "lots"}});
    EXPECT_EQ(requestedTargetRPM(args({}), 2000.0, badDelta), 2300.0);
}

TEST(CommandLineSettings, IntegerFallsBackToEnvironmentThenDefault) {
    const auto none = environmentOf({});
    EXPECT_EQ(integerSetting("--hold-seconds", "AERIVO_SMC_HOLD_SECONDS", 5,
                             args({"--hold-seconds", "abc"}), none),
              5);
    EXPECT_EQ(integerSetting("--hold-seconds", "AERIVO_SMC_HOLD_SECONDS", 5,
                             args({"--hold-seconds", "8"}), none),
              8);
    const auto env = environmentOf({{"AERIVO_SMC_LEASE_SECONDS", "20"}});
    EXPECT_EQ(integerSetting("--lease-seconds", "AERIVO_SMC_LEASE_SECONDS", 15, args({}), env), 20);
    EXPECT_EQ(integerSetting("--lease-seconds", "AERIVO_SMC_LEASE_SECONDS", 15, args({}), none),
              15);
}

TEST(CommandLineText, SingleLineJoinsLinesAndTrims) {
    EXPECT_EQ(singleLine("first\nsecond"), "first second");
    EXPECT_EQ(singleLine("\r\n a\r\nb \n"), "a  b");
    EXPECT_EQ(singleLine(""), "");
}

} // namespace
} // namespace aerivo
