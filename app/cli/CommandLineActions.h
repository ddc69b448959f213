#pragma once

#include "app/cli/CommandLineAction.h"
#include "app/cli/CommandLineArguments.h"
#include "app/hardware/FanHardwareCapabilities.h"
#include "app/hardware/SMCFanHardwareController.h"
#include "app/helperclient/PrivilegedHelperActionResult.h"
#include "app/helperclient/PrivilegedHelperHealth.h"
#include "app/model/PrivilegedHelperClient.h"
#include "platform/posix/ProcessRunner.h"
#include "platform/posix/SystemPaths.h"
#include "platform/services/HIDEventSystem.h"
#include "platform/services/IOKitPort.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace aerivo {

// Where the command line's lines go: one call per line, without the line feed.
using OutputSink = std::function<void(const std::string& line)>;

// Builds the helper client an action talks through (the default one of the app's bundle).
using HelperClientFactory = std::function<std::shared_ptr<PrivilegedHelperClient>()>;

// What the command-line actions run on: the hardware backends and which they are
// (SystemHardware's description), the process runner for smcDiagnose and the system paths it
// lives under, and the helper client. Without a helper client factory the helper actions use
// the store's unavailable stand-in, which fails every action and reports no helper.
struct CommandLineEnvironment {
    IOKitPort& ioKit;
    HIDEventSystem& eventSystem;
    ProcessRunner& processRunner;
    SystemPaths paths;
    EnvironmentLookup environment;
    std::string hardwareDescription = "none";
    HelperClientFactory helperClient;
    // The temperature sensor chosen in the settings; nothing for the automatic priority.
    std::optional<std::string> temperatureSensor = std::nullopt;
};

// The one-shot diagnostic actions of the executable. Each builds what it needs anew (a fresh
// hardware controller per action), prints key=value lines and answers the exit code.
class CommandLineActions {
public:
    static constexpr int unavailableExitCode = 2;

    CommandLineActions(CommandLineEnvironment environment, OutputSink output);

    // Runs the first action flag present and answers its exit code; nothing when the arguments
    // carry no action flag (the caller then starts the application).
    std::optional<int> run(const std::vector<std::string>& arguments);

    // "--smc-matrix": the connection matrix of every SMC class and user-client type.
    int smcMatrix();
    // "--print-hardware": the probe block (with the smcDiagnose fallback when asked for and
    // needed), "hardware=" with the backend, "fanWriteSupport=" when the SMC service says what
    // fan writes it allows, "temperatureSensor=" with the curve's sensor and the rule that chose
    // it (the reading's source, "none" without one), then the reports whose flags are present.
    int printHardware(const std::vector<std::string>& arguments);
    // "--install-helper", "--xpc-reset": the action's result, then the preflight block.
    int installHelper();
    int xpcReset();
    // "--xpc-manual-target-hold": the hold's result, the probe block read afterwards and the
    // preflight block; "--xpc-curve-renewal": the renewal's result and the probe block. Both
    // print two failure lines and answer 2, sending nothing, when no target can be worked out.
    int xpcManualTargetHold(const std::vector<std::string>& arguments);
    int xpcCurveRenewal(const std::vector<std::string>& arguments);
    // "--helper-preflight": the preflight block.
    int helperPreflight();

    // Whether the read capabilities call for the smcDiagnose fallback: no speed range, or only
    // the built-in preset's.
    static bool needsSMCDiagnoseFallback(const FanHardwareCapabilities& capabilities);
    // The capabilities after the smcDiagnose fallback and its status line text.
    struct FallbackOutcome {
        FanHardwareCapabilities capabilities;
        std::string status;
    };
    FallbackOutcome applySMCDiagnoseFallback(FanHardwareCapabilities capabilities);

    static void printActionResult(const OutputSink& output,
                                  const PrivilegedHelperActionResult& result);
    static void printHardwareProbe(const OutputSink& output,
                                   const FanHardwareCapabilities& capabilities,
                                   const std::optional<std::string>& fallbackStatus);
    // The 28 "helper…=" lines of a health record; only the detail passes through singleLine.
    static void printHelperPreflight(const OutputSink& output,
                                     const PrivilegedHelperHealth& health);

private:
    std::unique_ptr<SMCFanHardwareController> makeController();
    std::shared_ptr<PrivilegedHelperClient> makeHelperClient();
    // The lease target of the two lease actions from the live speed, or none after printing
    // the two failure lines.
    std::optional<double> leaseTarget(const std::vector<std::string>& arguments,
                                      SMCFanHardwareController& controller);
    int leaseAction(const std::vector<std::string>& arguments, bool curveRenewal);
    void print(const std::vector<std::string>& lines) const;

    CommandLineEnvironment environment_;
    OutputSink output_;
};

} // namespace aerivo
