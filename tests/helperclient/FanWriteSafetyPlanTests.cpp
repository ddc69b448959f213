#include "app/helperclient/FanWriteSafetyPlan.h"

#include <gtest/gtest.h>

#include <map>

namespace aerivo {
namespace {

// The inputs of one evaluation; every condition holds unless a row says otherwise.
struct Inputs {
    FanHardwareCapabilities capabilities{1, 1200.0, 6200.0, 2000.0, "SMC"};
    std::array<bool, 8> flags{true, true, true, true, true, true, true, true};

    FanWriteSafetyPlan evaluate() const {
        const auto& f = flags;
        return FanWriteSafetyPlan::evaluate(capabilities, f[0], f[1], f[2], f[3], f[4], f[5], f[6],
                                            f[7]);
    }
};

// Flag positions in evaluate's order.
enum Flag { telemetry, signature, metadata, installed, trusted, heartbeat, fanWrites, resetPath };

Inputs without(std::initializer_list<Flag> missing,
               std::optional<FanHardwareCapabilities> capabilities = std::nullopt) {
    Inputs inputs;
    for (Flag flag : missing) {
        inputs.flags[flag] = false;
    }
    if (capabilities) {
        inputs.capabilities = *capabilities;
    }
    return inputs;
}

TEST(FanWriteSafetyPlan, TheFirstFailingTestDecidesAndTheListShowsEverythingMissing) {
    using S = FanWriteSafetyStatus;
    using Caps = FanHardwareCapabilities;
    const auto supported = FanHardwareSupportStatus::supported;
    struct Row {
        Inputs inputs;
        S status;
        // The unmet titles the summary lists, in list order; empty: all satisfied.
        const char* missing;
    };
    const std::vector<Row> rows{
        {without({}, Caps(0, 1200.0, 6200.0, 2000.0, "SMC", {}, supported)), S::unsupported,
         "supported fan hardware, hardware min/max RPM readback"},
        {without({},
                 Caps(1, 1200.0, 6200.0, 2000.0, "SMC", {}, FanHardwareSupportStatus::unavailable)),
         S::unsupported, "supported fan hardware"},
        {without(
             {telemetry, signature, metadata, installed, trusted, heartbeat, fanWrites, resetPath},
             Caps(0, std::nullopt, std::nullopt, std::nullopt, "No fan", {},
                  FanHardwareSupportStatus::unsupportedNoFan)),
         S::unsupported,
         "supported fan hardware, hardware min/max RPM readback, live RPM readback, live "
         "temperature telemetry, signed privileged helper, ServiceManagement helper metadata, "
         "privileged helper install verified, trusted helper provenance, helper heartbeat, helper "
         "fan writes enabled, macOS-control reset path"},
        {without({}, Caps(1, std::nullopt, 6200.0, 2000.0, "SMC")), S::missingRange,
         "hardware min/max RPM readback"},
        {without({heartbeat}, Caps(1, 1200.0, 6200.0, std::nullopt, "SMC")), S::missingReadback,
         "live RPM readback, helper heartbeat"},
        {without({telemetry}), S::missingTelemetry, "live temperature telemetry"},
        {without({heartbeat}), S::helperRequired, "helper heartbeat"},
        {without({signature}), S::helperRequired, "signed privileged helper"},
        {without({metadata, resetPath}), S::helperRequired,
         "ServiceManagement helper metadata, macOS-control reset path"},
        {without({installed}), S::helperRequired, "privileged helper install verified"},
        {without({trusted}), S::helperRequired, "trusted helper provenance"},
        {without({fanWrites, resetPath}), S::writeGateRequired,
         "helper fan writes enabled, macOS-control reset path"},
        {without({resetPath}), S::resetRequired, "macOS-control reset path"},
        {without({}), S::writeCapable, ""},
    };
    std::map<S, std::pair<std::string, std::string>> texts;
    for (const Row& row : rows) {
        const FanWriteSafetyPlan plan = row.inputs.evaluate();
        EXPECT_EQ(plan.status, row.status) << row.missing;
        EXPECT_EQ(plan.actionMessage(),
                  *row.missing
                      ? "Fan writes remain locked. Missing: " + std::string(row.missing) + "."
                      : "All write requirements are satisfied.");
        EXPECT_EQ(plan.requirements.size(), 11u) << row.missing;
        EXPECT_EQ(plan.isWriteCapable(), row.status == S::writeCapable);
        // Title and detail belong to the verdict alone, whatever else is missing.
        const auto [entry, isNew] = texts.try_emplace(plan.status, plan.title, plan.detail);
        EXPECT_EQ(entry->second, std::make_pair(plan.title, plan.detail)) << row.missing;
    }
    // Every verdict is reached, each with the words the settings and the sidebar show.
    const std::map<S, std::pair<std::string, std::string>> shown{
        {S::unsupported, {"Unsupported", "This Mac has no controllable fan for Aerivo Mac."}},
        {S::missingRange,
         {"Range missing", "Detect hardware min/max RPM before any helper can write."}},
        {S::missingReadback,
         {"Readback missing", "Need live RPM readback before any helper can write."}},
        {S::missingTelemetry,
         {"Telemetry required", "Fan RPM readback is available; real temperature telemetry is "
                                "still needed before writes."}},
        {S::helperRequired,
         {"Helper required", "A signed, metadata-ready, installed, trusted privileged helper "
                             "with heartbeat is still needed before writes."}},
        {S::writeGateRequired,
         {"Write gate required",
          "The privileged helper is reachable, but its fan-write gate is not enabled."}},
        {S::resetRequired,
         {"Reset required",
          "The helper must prove it can return fan control to macOS before writes."}},
        {S::writeCapable, {"Write capable", "All write preflight requirements are satisfied."}},
    };
    ASSERT_EQ(texts.size(), allFanWriteSafetyStatuses.size());
    EXPECT_EQ(texts, shown);
}

} // namespace
} // namespace aerivo

namespace aerivo {
namespace {

// A fan the helper could not hand back comes before every other verdict, with the helper's
// reason, and unmeets the reset path even when the reset request itself was accepted.
TEST(FanWriteSafetyPlan, AFanTheHelperCouldNotHandBackIsNamedFirst) {
    for (const bool everythingElseHolds : {true, false}) {
        SCOPED_TRACE(everythingElseHolds ? "otherwise write capable" : "telemetry missing too");
        const Inputs inputs = everythingElseHolds ? Inputs{} : without({telemetry});
        const auto& f = inputs.flags;
        const FanWriteSafetyPlan plan = FanWriteSafetyPlan::evaluate(
            inputs.capabilities, f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7],
            std::string("ResetModeKernelResult=unsupported(-536870201)"));
        EXPECT_EQ(plan.status, FanWriteSafetyStatus::resetRequired);
        EXPECT_FALSE(plan.isWriteCapable());
        EXPECT_NE(plan.detail.find("could not return fan 0 to macOS control"), std::string::npos);
        EXPECT_NE(plan.detail.find("ResetModeKernelResult=unsupported(-536870201)"),
                  std::string::npos);
        EXPECT_NE(plan.actionMessage().find("macOS-control reset path"), std::string::npos);
    }
}

} // namespace
} // namespace aerivo
