#include "app/cli/CommandLineActions.h"

#include "app/hardware/AdminHardwareProbe.h"
#include "app/hardware/HardwareProbeLines.h"
#include "app/hardware/SMCReadOnlyClient.h"

#include <algorithm>

namespace aerivo {

namespace {

bool hasFlag(const std::vector<std::string>& arguments, std::string_view flag) {
    return std::find(arguments.begin(), arguments.end(), flag) != arguments.end();
}

} // namespace

CommandLineActions::CommandLineActions(CommandLineEnvironment environment, OutputSink output)
    : environment_(std::move(environment)), output_(std::move(output)) {
    if (!environment_.environment) {
        environment_.environment = processEnvironment();
    }
    if (!output_) {
        output_ = [](const std::string&) {};
    }
}

std::optional<int> CommandLineActions::run(const std::vector<std::string>& arguments) {
    const std::optional<CommandLineAction> action = requestedCommandLineAction(arguments);
    if (!action) {
        return std::nullopt;
    }
    switch (*action) {
    case CommandLineAction::smcMatrix:
        return smcMatrix();
    case CommandLineAction::printHardware:
        return printHardware(arguments);
    case CommandLineAction::installHelper:
    case CommandLineAction::xpcReset:
    case CommandLineAction::xpcManualTargetHold:
    case CommandLineAction::xpcCurveRenewal:
    case CommandLineAction::helperPreflight:
        return unavailable(*action);
    }
    return unavailable(*action);
}

int CommandLineActions::smcMatrix() {
    print(SMCReadOnlyClient::debugConnectionMatrix(environment_.ioKit));
    return 0;
}

bool CommandLineActions::needsSMCDiagnoseFallback(const FanHardwareCapabilities& capabilities) {
    return !capabilities.hasRPMAxis() ||
           capabilities.source.find("built-in fan preset") != std::string::npos;
}

CommandLineActions::FallbackOutcome
CommandLineActions::applySMCDiagnoseFallback(FanHardwareCapabilities capabilities) {
    AdminHardwareProbe probe(environment_.processRunner, environment_.paths);
    const AdminHardwareProbeResult result = probe.runSMCDiagnoseDirect();
    if (!result.isSuccess()) {
        return {std::move(capabilities), "smcDiagnose failed: " + singleLine(result.text)};
    }
    if (auto parsed = FanHardwareCapabilities::fromSMCDiagnoseOutput(result.text)) {
        return {std::move(*parsed), "smcDiagnose applied"};
    }
    return {std::move(capabilities), "smcDiagnose unreadable"};
}

int CommandLineActions::printHardware(const std::vector<std::string>& arguments) {
    const std::unique_ptr<SMCFanHardwareController> controller = makeController();
    FanHardwareCapabilities capabilities = controller->readCapabilities();
    std::optional<std::string> fallbackStatus;
    if (hasFlag(arguments, "--smc-diagnose-fallback") && needsSMCDiagnoseFallback(capabilities)) {
        FallbackOutcome outcome = applySMCDiagnoseFallback(std::move(capabilities));
        capabilities = std::move(outcome.capabilities);
        fallbackStatus = std::move(outcome.status);
    }
    printHardwareProbe(output_, capabilities, fallbackStatus);
    output_("hardware=" + environment_.hardwareDescription);
    if (const auto support = controller->fanWriteSupport()) {
        output_("fanWriteSupport=" + singleLine(*support));
    }
    if (hasFlag(arguments, "--smc-debug")) {
        print(controller->smcDebugReport());
    }
    if (hasFlag(arguments, "--smc-write-debug")) {
        print(controller->smcFanControlKeyDebugReport());
    }
    if (hasFlag(arguments, "--temperature-debug")) {
        print(controller->temperatureDebugReport());
    }
    return 0;
}

int CommandLineActions::unavailable(CommandLineAction action) {
    output_("unavailableAction=" + std::string(rawValue(action)));
    output_("message=This build has no privileged helper client yet; nothing was sent.");
    return unavailableExitCode;
}

void CommandLineActions::printActionResult(const OutputSink& output,
                                           const PrivilegedHelperActionResult& result) {
    for (const std::string& line : result.lines()) {
        output(line);
    }
}

void CommandLineActions::printHardwareProbe(const OutputSink& output,
                                            const FanHardwareCapabilities& capabilities,
                                            const std::optional<std::string>& fallbackStatus) {
    for (const std::string& line : hardwareProbeLines(capabilities, fallbackStatus)) {
        output(line);
    }
}

std::unique_ptr<SMCFanHardwareController> CommandLineActions::makeController() {
    return std::make_unique<SMCFanHardwareController>(environment_.ioKit, environment_.eventSystem);
}

void CommandLineActions::print(const std::vector<std::string>& lines) const {
    for (const std::string& line : lines) {
        output_(line);
    }
}

} // namespace aerivo
