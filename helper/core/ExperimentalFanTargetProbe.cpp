#include "helper/core/ExperimentalFanTargetProbe.h"

#include "helper/core/FanTargetLeaseController.h"
#include "helper/core/SMCWriteProbeText.h"
#include "shared/AerivoManualTargetLeaseResponse.h"
#include "shared/SMCKeyData.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <utility>

namespace aerivo {

namespace {

constexpr auto line = &SMCWriteProbeText::line;
constexpr auto rpmText = &SMCWriteProbeText::rpm;
constexpr auto byteText = &SMCWriteProbeText::bytes;
constexpr auto appendWriteResult = &SMCWriteProbeText::appendWriteResult;

constexpr std::string_view minimumKey = "F0Mn";
constexpr std::string_view maximumKey = "F0Mx";
constexpr std::string_view actualKey = "F0Ac";
constexpr std::string_view targetKey = "F0Tg";
constexpr std::string_view modeKey = "F0md";

constexpr int pulseSampleCount = 5;
constexpr int defaultHoldSeconds = 5;

bool contains(const std::vector<std::string>& arguments, std::string_view argument) {
    return std::find(arguments.begin(), arguments.end(), argument) != arguments.end();
}

// A leading "+" is allowed; from_chars takes the optional "-" itself.
std::string_view withoutPlus(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') {
            return {};
        }
    }
    return text;
}

std::optional<double> speed(SMCProbeClient& client, std::string_view key) {
    const std::optional<SMCValue> value = client.readValue(key);
    return value ? value->rpmValue() : std::nullopt;
}

// A four-byte float target: the only target the probe encodes a speed into.
bool isFloatTarget(const SMCValue& target) {
    return target.trimmedDataType() == "flt" && target.dataSize == 4 && target.bytes.size() == 4;
}

// An upward pulse of up to 300 rpm above the larger of the actual speed and the target, kept
// 150 rpm under the maximum; used only when it is clearly above the present speed and inside
// the range.
std::optional<double> pulseTarget(double minimum, double maximum, double current,
                                  std::optional<double> targetSpeed) {
    const double base = targetSpeed ? std::max(current, *targetSpeed) : current;
    const double pulse = std::min(maximum - 150.0, base + 300.0);
    if (base + 50.0 < pulse && pulse <= maximum && minimum <= pulse) {
        return pulse;
    }
    return std::nullopt;
}

std::vector<std::string> refused(std::string_view action, std::string_view reason) {
    return {line("Action", action), line("WriteAttempted", "false"), line("Reason", reason)};
}

// JSON's own text for everything but strings, which print unquoted.
std::string plainText(const nlohmann::json& value) {
    if (value.is_string()) {
        return value.get<std::string>();
    }
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace

ExperimentalFanTargetProbe::ExperimentalFanTargetProbe(SMCOpener openSMC, Sleeper sleeper,
                                                       OutputSink output)
    : openSMC_(std::move(openSMC)), sleeper_(std::move(sleeper)), output_(std::move(output)) {}

std::optional<std::string>
ExperimentalFanTargetProbe::valueArgument(std::string_view name,
                                          const std::vector<std::string>& arguments) {
    const auto found = std::find(arguments.begin(), arguments.end(), name);
    if (found == arguments.end() || std::next(found) == arguments.end()) {
        return std::nullopt;
    }
    return *std::next(found);
}

std::optional<double>
ExperimentalFanTargetProbe::doubleArgument(std::string_view name,
                                           const std::vector<std::string>& arguments) {
    const std::optional<std::string> value = valueArgument(name, arguments);
    if (!value) {
        return std::nullopt;
    }
    const std::string_view text = withoutPlus(*value);
    double number = 0;
    const char* end = text.data() + text.size();
    const auto [consumed, error] =
        std::from_chars(text.data(), end, number, std::chars_format::general);
    // "inf" and "nan" parse but are no speed.
    if (text.empty() || error != std::errc{} || consumed != end || !std::isfinite(number)) {
        return std::nullopt;
    }
    return number;
}

std::optional<std::int64_t>
ExperimentalFanTargetProbe::intArgument(std::string_view name,
                                        const std::vector<std::string>& arguments) {
    const std::optional<std::string> value = valueArgument(name, arguments);
    if (!value) {
        return std::nullopt;
    }
    const std::string_view text = withoutPlus(*value);
    std::int64_t number = 0;
    const char* end = text.data() + text.size();
    const auto [consumed, error] = std::from_chars(text.data(), end, number, 10);
    if (text.empty() || error != std::errc{} || consumed != end) {
        return std::nullopt;
    }
    return number;
}

int ExperimentalFanTargetProbe::holdSeconds(const std::vector<std::string>& arguments) {
    const std::int64_t requested =
        intArgument("--hold-seconds", arguments).value_or(defaultHoldSeconds);
    return static_cast<int>(std::clamp<std::int64_t>(requested, 1, 10));
}

void ExperimentalFanTargetProbe::print(const std::vector<std::string>& lines) const {
    for (const std::string& text : lines) {
        output_(text);
    }
}

void ExperimentalFanTargetProbe::printExecution(const FanTargetLeaseExecution& execution) const {
    print(execution.lines);
    if (execution.response) {
        // Kept in a local: iterating the items of a temporary would outlive it.
        const nlohmann::json dictionary = execution.response->dictionary();
        for (const auto& [key, value] : dictionary.items()) {
            output_("leaseResponse." + key + "=" + plainText(value));
        }
    }
}

std::int32_t ExperimentalFanTargetProbe::run(const std::vector<std::string>& arguments,
                                             const EnvironmentLookup& environment) {
    const std::unique_ptr<SMCProbeClient> client = openSMC_();
    if (!client) {
        print({"smcWriteProbe=unavailable", "smcWriteProbeReason=AppleSMC connection failed"});
        return FanTargetLeaseExecution::failed;
    }
    print({"smcWriteProbe=experimental", "smcWriteProbeService=" + client->serviceClassName(),
           "smcWriteProbeStructSize=" + std::to_string(smcKeyDataSize)});
    for (const std::string_view key : snapshotKeys) {
        output_(client->debugLine(key));
    }

    if (contains(arguments, "--scan-fan-keys")) {
        return scanFanKeys(*client);
    }
    if (contains(arguments, "--dry-run")) {
        print({line("Action", "dry-run"), line("WriteAttempted", "false")});
        return FanTargetLeaseExecution::success;
    }
    const std::optional<std::string> arming = environment(armEnvironmentName);
    if (!(arming && *arming == "1" && contains(arguments, armFlag))) {
        print(
            refused("blocked",
                    "requires AERIVO_ALLOW_SMC_WRITE_PROBE=1 and --i-understand-this-writes-smc"));
        return FanTargetLeaseExecution::failed;
    }
    for (const std::string_view flag : experimentFlags) {
        if (contains(arguments, flag)) {
            return runExperiment(flag, *client, arguments);
        }
    }
    print(refused("blocked", "requires --dry-run, --zero-delta, --mode-zero-delta, --pulse-up, "
                             "--mode-pulse-up, --manual-target-hold, or --reset-automatic"));
    return FanTargetLeaseExecution::failed;
}

std::int32_t ExperimentalFanTargetProbe::scanFanKeys(SMCProbeClient& client) const {
    const std::vector<std::string> keys = client.fanRelatedKeys();
    print({line("Action", "scan-fan-keys"), line("WriteAttempted", "false"),
           "smcKeyScanCount=" + client.keyCountText(),
           "smcKeyScanFanMatchCount=" + std::to_string(keys.size())});
    for (const std::string& key : keys) {
        output_(client.debugLine(key));
    }
    return FanTargetLeaseExecution::success;
}

std::int32_t
ExperimentalFanTargetProbe::runExperiment(std::string_view flag, SMCProbeClient& client,
                                          const std::vector<std::string>& arguments) const {
    if (flag == "--zero-delta" || flag == "--mode-zero-delta") {
        return zeroDelta(client, flag == "--mode-zero-delta");
    }
    if (flag == "--pulse-up") {
        return pulseUp(client);
    }
    if (flag == "--mode-pulse-up") {
        return modePulseUp(client);
    }
    FanTargetLeaseController controller(client, sleeper_);
    const FanTargetLeaseExecution execution =
        flag == "--manual-target-hold"
            ? controller.holdManualTarget(doubleArgument("--target-rpm", arguments),
                                          doubleArgument("--target-delta", arguments),
                                          holdSeconds(arguments))
            : controller.resetAutomatic();
    printExecution(execution);
    return execution.exitCode;
}

std::int32_t ExperimentalFanTargetProbe::zeroDelta(SMCProbeClient& client, bool modeByte) const {
    // The same value written back: proves the write path without changing anything.
    const std::string_view key = modeByte ? modeKey : targetKey;
    const std::string_view action = modeByte ? "mode-zero-delta" : "zero-delta";
    const std::optional<SMCValue> before = client.readValue(key);
    if (!before) {
        print(refused(action, modeByte ? "F0md unreadable" : "F0Tg unreadable"));
        return FanTargetLeaseExecution::failed;
    }
    std::vector<std::string> lines{line("Action", action), line("WriteAttempted", "true")};
    if (modeByte) {
        lines.push_back(line("BeforeModeBytes", byteText(before->bytes)));
    } else {
        lines.push_back(line("BeforeTargetRPM", rpmText(before->rpmValue())));
        lines.push_back(line("BeforeTargetBytes", byteText(before->bytes)));
    }
    const FanTargetWriteResult write = client.writeValue(*before);
    appendWriteResult(lines, modeByte ? "ModeWrite" : "Write", write);
    if (const std::optional<SMCValue> after = client.readValue(key)) {
        if (modeByte) {
            lines.push_back(line("AfterModeBytes", byteText(after->bytes)));
        } else {
            lines.push_back(line("AfterTargetRPM", rpmText(after->rpmValue())));
            lines.push_back(line("AfterTargetBytes", byteText(after->bytes)));
        }
    }
    print(lines);
    return write.isSuccess() ? FanTargetLeaseExecution::success : FanTargetLeaseExecution::failed;
}

std::int32_t ExperimentalFanTargetProbe::pulseUp(SMCProbeClient& client) const {
    constexpr std::string_view action = "pulse-up";
    const std::optional<double> minimum = speed(client, minimumKey);
    const std::optional<double> maximum = speed(client, maximumKey);
    const std::optional<double> current = speed(client, actualKey);
    const std::optional<SMCValue> target = client.readValue(targetKey);
    if (!minimum || !maximum || !current || !target) {
        print(refused(action, "fan range, current RPM, or F0Tg target unreadable"));
        return FanTargetLeaseExecution::failed;
    }
    if (!isFloatTarget(*target)) {
        print(refused(action, "F0Tg data type is not flt"));
        return FanTargetLeaseExecution::failed;
    }
    const std::optional<double> pulse =
        pulseTarget(*minimum, *maximum, *current, target->rpmValue());
    if (!pulse) {
        std::vector<std::string> lines = refused(action, "no safe upward target available");
        lines.push_back(line("MinimumRPM", rpmText(minimum)));
        lines.push_back(line("MaximumRPM", rpmText(maximum)));
        lines.push_back(line("CurrentRPM", rpmText(current)));
        print(lines);
        return FanTargetLeaseExecution::failed;
    }

    // Only the target moves; the mode byte is never written.
    std::vector<std::string> lines{line("Action", action),
                                   line("WriteAttempted", "true"),
                                   line("MinimumRPM", rpmText(minimum)),
                                   line("MaximumRPM", rpmText(maximum)),
                                   line("BeforeCurrentRPM", rpmText(current)),
                                   line("BeforeTargetRPM", rpmText(target->rpmValue())),
                                   line("PulseTargetRPM", rpmText(pulse))};
    const FanTargetWriteResult pulseWrite = client.writeValue(target->replacingRPM(*pulse));
    appendWriteResult(lines, "PulseWrite", pulseWrite);
    if (!pulseWrite.isSuccess()) {
        print(lines);
        return FanTargetLeaseExecution::failed;
    }
    for (int i = 1; i <= pulseSampleCount; ++i) {
        sleeper_(std::chrono::duration<double>(FanTargetLeaseController::sampleIntervalSeconds));
        const std::string name = "Sample" + std::to_string(i);
        lines.push_back(line(name + "TargetRPM", rpmText(speed(client, targetKey))));
        lines.push_back(line(name + "ActualRPM", rpmText(speed(client, actualKey))));
    }
    const FanTargetWriteResult restore = client.writeValue(*target);
    appendWriteResult(lines, "Restore", restore);
    if (const std::optional<SMCValue> restored = client.readValue(targetKey)) {
        lines.push_back(line("RestoredTargetRPM", rpmText(restored->rpmValue())));
        lines.push_back(line("RestoredTargetBytes", byteText(restored->bytes)));
    }
    print(lines);
    return restore.isSuccess() ? FanTargetLeaseExecution::success : FanTargetLeaseExecution::failed;
}

std::int32_t ExperimentalFanTargetProbe::modePulseUp(SMCProbeClient& client) const {
    constexpr std::string_view action = "mode-pulse-up";
    FanTargetLeaseController controller(client, sleeper_);
    std::string reason;
    const std::optional<FanTargetLeaseController::Preflight> facts = controller.preflight(reason);
    if (!facts) {
        print(refused(action, reason));
        return FanTargetLeaseExecution::failed;
    }
    const std::optional<double> pulse = pulseTarget(facts->minimum, facts->maximum, facts->current,
                                                    facts->previousTarget.rpmValue());
    if (!pulse) {
        std::vector<std::string> lines = refused(action, "no safe upward target available");
        lines.push_back(line("MinimumRPM", rpmText(facts->minimum)));
        lines.push_back(line("MaximumRPM", rpmText(facts->maximum)));
        lines.push_back(line("CurrentRPM", rpmText(facts->current)));
        print(lines);
        return FanTargetLeaseExecution::failed;
    }

    const SMCValue manualMode = facts->previousMode.replacingBytes({1});
    std::vector<std::string> lines{
        line("Action", action),
        line("WriteAttempted", "true"),
        line("MinimumRPM", rpmText(facts->minimum)),
        line("MaximumRPM", rpmText(facts->maximum)),
        line("BeforeCurrentRPM", rpmText(facts->current)),
        line("BeforeTargetRPM", rpmText(facts->previousTarget.rpmValue())),
        line("BeforeModeBytes", byteText(facts->previousMode.bytes)),
        line("PulseTargetRPM", rpmText(pulse)),
        line("PulseModeBytes", byteText(manualMode.bytes))};
    const FanTargetWriteResult modeWrite = client.writeValue(manualMode);
    appendWriteResult(lines, "ModeWrite", modeWrite);
    if (!modeWrite.isSuccess()) {
        print(lines);
        return FanTargetLeaseExecution::failed;
    }
    const FanTargetWriteResult pulseWrite =
        client.writeValue(facts->previousTarget.replacingRPM(*pulse));
    appendWriteResult(lines, "PulseWrite", pulseWrite);
    if (!pulseWrite.isSuccess()) {
        const bool restored =
            controller.restoreAutomatic(facts->previousTarget, facts->previousMode, lines);
        print(lines);
        return restored ? FanTargetLeaseExecution::failed : FanTargetLeaseExecution::restoreFailed;
    }
    for (int i = 1; i <= pulseSampleCount; ++i) {
        sleeper_(std::chrono::duration<double>(FanTargetLeaseController::sampleIntervalSeconds));
        controller.appendSample(lines, "Sample", i);
    }
    const bool restored =
        controller.restoreAutomatic(facts->previousTarget, facts->previousMode, lines);
    print(lines);
    return restored ? FanTargetLeaseExecution::success : FanTargetLeaseExecution::restoreFailed;
}

} // namespace aerivo
