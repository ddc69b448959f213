#pragma once

#include "shared/SimulatorWire.h"
#include "sim/model/SimFaultPlan.h"
#include "sim/model/SimModelPreset.h"
#include "sim/model/SimWorkload.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace aerivo {

// `aerivo-sim-mac [--root DIR] [--model NAME] [--seed N] [--workload NAME|script:FILE]
//  [--faults FILE] [--approve yes|no|ask-file] [--approval-timeout SECONDS]
//  [--trust-anchor FILE|none]`: serve the device socket until stopped.
struct SimServeOptions {
    std::filesystem::path root;
    SimModelPreset preset;
    std::uint64_t seed = 1;
    SimWorkload workload;
    SimFaultPlan faults;
    SimulatorApprovalPolicy approvalPolicy = SimulatorApprovalPolicy::yes;
    std::chrono::milliseconds approvalTimeout{30000};
    // The anchor file put into the root's trust store; nothing for "none". The default is the
    // build's development anchor, which may not exist yet (then the simulator says so).
    std::optional<std::filesystem::path> trustAnchor;
    bool trustAnchorIsDefault = true;
};

// The build's development trust anchor.
extern const char* const simDevelopmentTrustAnchor;

// `aerivo-sim-mac ctl [--root DIR] <command>`: one request to a running simulator. `faultsJSON`
// carries the faults to add for "fault ...", `script` the script text for "workload script:FILE".
struct SimCtlOptions {
    enum class Command { status, workload, faults, clearFaults, takeBack, quit, approve };
    std::filesystem::path root;
    Command command = Command::status;
    std::string workloadName;
    std::string script;
    std::string faultsJSON;
    SimulatorApprovalPolicy approvalPolicy = SimulatorApprovalPolicy::yes;
};

struct SimHelpRequest {};

// Parses the arguments after the program name. `defaultRoot` is AERIVO_SYSTEM_ROOT or "/".
// Files named by the arguments are read here; any bad value gives an error text.
std::variant<SimServeOptions, SimCtlOptions, SimHelpRequest, std::string>
parseSimCommandLine(const std::vector<std::string>& arguments,
                    const std::filesystem::path& defaultRoot);

extern const char* const simUsageText;

} // namespace aerivo
