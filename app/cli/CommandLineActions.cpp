#include "app/cli/CommandLineActions.h"

#include "app/hardware/AdminHardwareProbe.h"
#include "app/hardware/HardwareProbeLines.h"
#include "app/hardware/SMCReadOnlyClient.h"
#include "app/helperclient/PrivilegedHelperXPCActivationPolicy.h"
#include "app/telemetry/HIDTemperatureTelemetryClient.h"

#include <algorithm>
#include <limits>

namespace aerivo {

namespace {

bool hasFlag(const std::vector<std::string>& arguments, std::string_view flag) {
    return std::find(arguments.begin(), arguments.end(), flag) != arguments.end();
}

// The store's stand-in: no helper, every action unavailable.
class UnavailablePrivilegedHelperClient final : public PrivilegedHelperClient {
public:
    PrivilegedHelperHealth readHealth() override { return PrivilegedHelperHealth::unavailable(); }
};

std::string orNil(const std::optional<std::string>& value) {
    return value.value_or("nil");
}

// Lengths from the command line are 64-bit; the helper bounds them, so a value beyond int is
// passed on as the nearest int, which it bounds the same way.
int narrowSeconds(std::int64_t seconds) {
    return static_cast<int>(std::clamp<std::int64_t>(seconds, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
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
        return installHelper();
    case CommandLineAction::xpcReset:
        return xpcReset();
    case CommandLineAction::xpcManualTargetHold:
        return xpcManualTargetHold(arguments);
    case CommandLineAction::xpcCurveRenewal:
        return xpcCurveRenewal(arguments);
    case CommandLineAction::helperPreflight:
        return helperPreflight();
    }
    return std::nullopt;
}

int CommandLineActions::installHelper() {
    const std::shared_ptr<PrivilegedHelperClient> client = makeHelperClient();
    printActionResult(output_, client->installPrivilegedHelper());
    printHelperPreflight(output_, client->readHealth());
    return 0;
}

int CommandLineActions::xpcReset() {
    const std::shared_ptr<PrivilegedHelperClient> client = makeHelperClient();
    printActionResult(output_, client->resetToSystem());
    printHelperPreflight(output_, client->readHealth());
    return 0;
}

std::optional<double> CommandLineActions::leaseTarget(const std::vector<std::string>& arguments,
                                                      SMCFanHardwareController& controller) {
    const FanHardwareCapabilities capabilities = controller.readCapabilities();
    const std::optional<double> target =
        requestedTargetRPM(arguments, capabilities.currentRPM, environment_.environment);
    if (!target) {
        output_("success=false");
        output_("message=requires --target-rpm, --target-delta, AERIVO_SMC_TARGET_RPM, or live "
                "current RPM");
    }
    return target;
}

int CommandLineActions::xpcManualTargetHold(const std::vector<std::string>& arguments) {
    return leaseAction(arguments, false);
}

int CommandLineActions::xpcCurveRenewal(const std::vector<std::string>& arguments) {
    return leaseAction(arguments, true);
}

int CommandLineActions::leaseAction(const std::vector<std::string>& arguments, bool curveRenewal) {
    const std::shared_ptr<PrivilegedHelperClient> client = makeHelperClient();
    const std::unique_ptr<SMCFanHardwareController> controller = makeController();
    const std::optional<double> target = leaseTarget(arguments, *controller);
    if (!target) {
        return unavailableExitCode;
    }
    const int seconds =
        narrowSeconds(curveRenewal ? integerSetting("--lease-seconds", "AERIVO_SMC_LEASE_SECONDS",
                                                    15, arguments, environment_.environment)
                                   : integerSetting("--hold-seconds", "AERIVO_SMC_HOLD_SECONDS", 5,
                                                    arguments, environment_.environment));
    printActionResult(output_, curveRenewal ? client->renewCurveTargetLease(*target, seconds)
                                            : client->holdManualTargetLease(*target, seconds));
    printHardwareProbe(output_, controller->readCapabilities(), std::nullopt);
    if (!curveRenewal) {
        printHelperPreflight(output_, client->readHealth());
    }
    return 0;
}

int CommandLineActions::helperPreflight() {
    printHelperPreflight(output_, makeHelperClient()->readHealth());
    return 0;
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
    const auto temperature = controller->primaryTemperature();
    output_("temperatureSensor=" + (temperature ? singleLine(temperature->source) : "none"));
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

void CommandLineActions::printHelperPreflight(const OutputSink& output,
                                              const PrivilegedHelperHealth& health) {
    const PrivilegedHelperXPCActivationPolicy policy = health.xpcActivationPolicy();
    const std::string lines[] = {
        "helperLabel=" + health.label,
        "helperPath=" + orNil(health.executablePath),
        "helperBundled=" + booleanText(health.isBundled),
        "helperSignatureValid=" + booleanText(health.isSignatureValid),
        "helperSigningIdentifier=" + orNil(health.signingIdentifier),
        "helperTeamIdentifier=" + orNil(health.teamIdentifier),
        "helperAppRequirement=" + orNil(health.appHelperRequirement),
        "helperClientRequirement=" + orNil(health.helperClientRequirement),
        "helperBlessMetadata=" + booleanText(health.hasBlessMetadata),
        "helperServiceManagementStatus=" + orNil(health.serviceManagementStatus),
        "helperXPCServiceName=" + health.xpcServiceName,
        "helperXPCInterfaceName=" + health.xpcInterfaceName,
        "helperXPCProtocolVersion=" + std::to_string(health.xpcProtocolVersion),
        "helperXPCListener=" + health.xpcListenerStatus,
        "helperXPCConnection=" + health.xpcConnectionStatus,
        "helperXPCRequestTimeoutSeconds=" + std::to_string(health.xpcRequestTimeoutSeconds),
        "helperXPCResetTimeoutSeconds=" + std::to_string(health.xpcResetTimeoutSeconds),
        "helperXPCConnectionEnabled=" + booleanText(health.isXPCConnectionEnabled),
        "helperXPCActivationState=" + std::string(rawValue(policy.state)),
        "helperXPCContractReady=" + booleanText(policy.isContractReady),
        "helperXPCActivationAllowed=" + booleanText(policy.isActivationAllowed),
        "helperXPCActivationBlockers=" + policy.blockerText(),
        "helperPrivilegedInstallVerified=" + booleanText(health.isPrivilegedInstallVerified),
        "helperTrustedProvenance=" + booleanText(health.hasTrustedProvenance),
        "helperHeartbeat=" + booleanText(health.hasHeartbeat),
        "helperResetAccepted=" + booleanText(health.resetCommandAccepted),
        "helperFanWritesEnabled=" + booleanText(health.fanWritesEnabled),
        "helperDetail=" + singleLine(health.detail),
    };
    for (const std::string& line : lines) {
        output(line);
    }
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
    return std::make_unique<SMCFanHardwareController>(
        environment_.ioKit, environment_.eventSystem, nullptr,
        std::make_unique<HIDTemperatureTelemetryClient>(environment_.eventSystem,
                                                        environment_.temperatureSensor));
}

std::shared_ptr<PrivilegedHelperClient> CommandLineActions::makeHelperClient() {
    if (environment_.helperClient) {
        if (std::shared_ptr<PrivilegedHelperClient> client = environment_.helperClient()) {
            return client;
        }
    }
    return std::make_shared<UnavailablePrivilegedHelperClient>();
}

void CommandLineActions::print(const std::vector<std::string>& lines) const {
    for (const std::string& line : lines) {
        output_(line);
    }
}

} // namespace aerivo
