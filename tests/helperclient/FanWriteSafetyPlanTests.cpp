#include "app/helperclient/FanWriteSafetyPlan.h"

#include <gtest/gtest.h>

#include <set>

namespace aerivo {
namespace {

struct Inputs {
    FanHardwareCapabilities capabilities{1, 1200.0, 6200.0, 2000.0, "SMC"};
    bool telemetry = true;
    bool signedHelper = true;
    bool metadata = true;
    bool installed = true;
    bool trusted = true;
    bool heartbeat = true;
    bool fanWrites = true;
    bool resetPath = true;

    FanWriteSafetyPlan evaluate() const {
        return FanWriteSafetyPlan::evaluate(capabilities, telemetry, signedHelper, metadata,
                                            installed, trusted, heartbeat, fanWrites, resetPath);
    }
};

Inputs with(void (*change)(Inputs&)) {
    Inputs inputs;
    change(inputs);
    return inputs;
}

const std::vector<std::string> allTitles{"supported fan hardware",
                                         "hardware min/max RPM readback",
                                         "live RPM readback",
                                         "live temperature telemetry",
                                         "signed privileged helper",
                                         "ServiceManagement helper metadata",
                                         "privileged helper install verified",
                                         "trusted helper provenance",
                                         "helper heartbeat",
                                         "helper fan writes enabled",
                                         "macOS-control reset path"};

TEST(FanWriteSafetyPlan, TheFirstFailingTestDecidesAndTheListShowsEverythingMissing) {
    struct Row {
        const char* name;
        Inputs inputs;
        FanWriteSafetyStatus status;
        const char* title;
        const char* detail;
        const char* actionMessage;
    };
    const FanHardwareCapabilities noFan(0, std::nullopt, std::nullopt, std::nullopt, "No fan", {},
                                        FanHardwareSupportStatus::unsupportedNoFan);
    const std::vector<Row> rows{
        {"supported status but no fan", with([](Inputs& i) {
             i.capabilities = FanHardwareCapabilities(0, 1200.0, 6200.0, 2000.0, "SMC", {},
                                                      FanHardwareSupportStatus::supported);
         }),
         FanWriteSafetyStatus::unsupported, "Unsupported",
         "This Mac has no controllable fan for Aerivo Mac.",
         "Fan writes remain locked. Missing: supported fan hardware, hardware min/max RPM "
         "readback."},
        {"unavailable status with fans", with([](Inputs& i) {
             i.capabilities = FanHardwareCapabilities(1, 1200.0, 6200.0, 2000.0, "SMC", {},
                                                      FanHardwareSupportStatus::unavailable);
         }),
         FanWriteSafetyStatus::unsupported, "Unsupported",
         "This Mac has no controllable fan for Aerivo Mac.",
         "Fan writes remain locked. Missing: supported fan hardware."},
        {"no fan and no helper",
         [&] {
             Inputs i;
             i.capabilities = noFan;
             i.telemetry = i.signedHelper = i.metadata = i.installed = i.trusted = i.heartbeat =
                 i.fanWrites = i.resetPath = false;
             return i;
         }(),
         FanWriteSafetyStatus::unsupported, "Unsupported",
         "This Mac has no controllable fan for Aerivo Mac.",
         "Fan writes remain locked. Missing: supported fan hardware, hardware min/max RPM "
         "readback, live RPM readback, live temperature telemetry, signed privileged helper, "
         "ServiceManagement helper metadata, privileged helper install verified, trusted helper "
         "provenance, helper heartbeat, helper fan writes enabled, macOS-control reset path."},
        {"no range", with([](Inputs& i) {
             i.capabilities = FanHardwareCapabilities(1, std::nullopt, 6200.0, 2000.0, "SMC");
         }),
         FanWriteSafetyStatus::missingRange, "Range missing",
         "Detect hardware min/max RPM before any helper can write.",
         "Fan writes remain locked. Missing: hardware min/max RPM readback."},
        {"no live speed", with([](Inputs& i) {
             i.capabilities = FanHardwareCapabilities(1, 1200.0, 6200.0, std::nullopt, "SMC");
             i.heartbeat = false;
         }),
         FanWriteSafetyStatus::missingReadback, "Readback missing",
         "Need live RPM readback before any helper can write.",
         "Fan writes remain locked. Missing: live RPM readback, helper heartbeat."},
        {"no live temperature", with([](Inputs& i) { i.telemetry = false; }),
         FanWriteSafetyStatus::missingTelemetry, "Telemetry required",
         "Fan RPM readback is available; real temperature telemetry is still needed before "
         "writes.",
         "Fan writes remain locked. Missing: live temperature telemetry."},
        {"no heartbeat", with([](Inputs& i) { i.heartbeat = false; }),
         FanWriteSafetyStatus::helperRequired, "Helper required",
         "A signed, metadata-ready, installed, trusted privileged helper with heartbeat is still "
         "needed before writes.",
         "Fan writes remain locked. Missing: helper heartbeat."},
        {"no metadata, no reset path", with([](Inputs& i) {
             i.metadata = false;
             i.resetPath = false;
         }),
         FanWriteSafetyStatus::helperRequired, "Helper required",
         "A signed, metadata-ready, installed, trusted privileged helper with heartbeat is still "
         "needed before writes.",
         "Fan writes remain locked. Missing: ServiceManagement helper metadata, macOS-control "
         "reset path."},
        {"no write gate, no reset path", with([](Inputs& i) {
             i.fanWrites = false;
             i.resetPath = false;
         }),
         FanWriteSafetyStatus::writeGateRequired, "Write gate required",
         "The privileged helper is reachable, but its fan-write gate is not enabled.",
         "Fan writes remain locked. Missing: helper fan writes enabled, macOS-control reset "
         "path."},
        {"no reset path", with([](Inputs& i) { i.resetPath = false; }),
         FanWriteSafetyStatus::resetRequired, "Reset required",
         "The helper must prove it can return fan control to macOS before writes.",
         "Fan writes remain locked. Missing: macOS-control reset path."},
        {"everything", Inputs{}, FanWriteSafetyStatus::writeCapable, "Write capable",
         "All write preflight requirements are satisfied.",
         "All write requirements are satisfied."},
    };
    std::set<FanWriteSafetyStatus> verdicts;
    for (const Row& row : rows) {
        const FanWriteSafetyPlan plan = row.inputs.evaluate();
        verdicts.insert(plan.status);
        EXPECT_EQ(plan.status, row.status) << row.name;
        EXPECT_EQ(plan.title, row.title) << row.name;
        EXPECT_EQ(plan.detail, row.detail) << row.name;
        EXPECT_EQ(plan.actionMessage(), row.actionMessage) << row.name;
        EXPECT_EQ(plan.isWriteCapable(), row.status == FanWriteSafetyStatus::writeCapable);
        // Every verdict lists all eleven conditions in the same order.
        std::vector<std::string> titles;
        for (const FanWriteRequirement& requirement : plan.requirements) {
            titles.push_back(requirement.id());
        }
        EXPECT_EQ(titles, allTitles) << row.name;
    }
    EXPECT_EQ(verdicts.size(), allFanWriteSafetyStatuses.size());
}

TEST(FanWriteSafetyStatus, RawValuesAreTheCaseNames) {
    for (FanWriteSafetyStatus status : allFanWriteSafetyStatuses) {
        EXPECT_EQ(fanWriteSafetyStatusFromRawValue(rawValue(status)), status);
    }
    EXPECT_EQ(rawValue(FanWriteSafetyStatus::writeGateRequired), "writeGateRequired");
    EXPECT_EQ(fanWriteSafetyStatusFromRawValue("WriteCapable"), std::nullopt);
}

} // namespace
} // namespace aerivo
