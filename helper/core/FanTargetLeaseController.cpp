#include "helper/core/FanTargetLeaseController.h"

#include "helper/core/SMCWriteProbeText.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace aerivo {

namespace {

constexpr std::string_view minimumKey = "F0Mn";
constexpr std::string_view maximumKey = "F0Mx";
constexpr std::string_view actualKey = "F0Ac";
constexpr std::string_view targetKey = "F0Tg";
constexpr std::string_view modeKey = "F0md";

constexpr std::uint8_t systemModeByte = 0;
constexpr std::uint8_t manualModeByte = 1;

constexpr std::string_view holdAction = "manual-target-hold";
constexpr std::string_view renewalAction = "manual-target-renewal";
constexpr std::string_view resetAction = "reset-automatic";

constexpr std::string_view unreadableReason =
    "fan range, current RPM, F0Tg target, or F0md mode unreadable";
constexpr std::string_view unexpectedTypeReason = "unexpected F0Tg or F0md data type";
constexpr std::string_view alreadyManualReason = "fan is already in manual mode";
constexpr std::string_view holdTargetMissingReason = "requires --target-rpm or --target-delta";
constexpr std::string_view nearCurrentReason =
    "downward or near-current targets are disabled in this helper phase";
constexpr std::string_view renewalTargetMissingReason = "requires target RPM";
constexpr std::string_view modeUnreadableReason = "F0md mode unreadable";
constexpr std::string_view incompleteLeaseError = "manual target lease did not complete cleanly";

constexpr auto line = &SMCWriteProbeText::line;
constexpr auto rpmText = &SMCWriteProbeText::rpm;
constexpr auto byteText = &SMCWriteProbeText::bytes;
constexpr auto boolText = &SMCWriteProbeText::boolean;
constexpr auto appendWriteResult = &SMCWriteProbeText::appendWriteResult;

// Exactly one of an absolute target or a delta on the present speed. A request that is not a
// finite number is no request: it could neither be clamped nor reported.
std::optional<double> requestedTargetRPM(std::optional<double> absoluteTargetRPM,
                                         std::optional<double> targetDeltaRPM, double current) {
    std::optional<double> requested;
    if (absoluteTargetRPM && !targetDeltaRPM) {
        requested = *absoluteTargetRPM;
    } else if (targetDeltaRPM && !absoluteTargetRPM) {
        requested = current + *targetDeltaRPM;
    }
    if (requested && !std::isfinite(*requested)) {
        return std::nullopt;
    }
    return requested;
}

bool isWithinReach(std::optional<double> actual, double applied) {
    return actual && std::fabs(*actual - applied) <= FanTargetLeaseController::reachToleranceRPM;
}

// The mode key as the controller writes it: one unsigned byte.
bool isModeValue(const SMCValue& mode) {
    return mode.trimmedDataType() == "ui8" && mode.dataSize == 1 && mode.bytes.size() == 1;
}

// The target key as the controller writes it: a four-byte float. Any other size would make the
// float encoding a partial write.
bool isTargetValue(const SMCValue& target) {
    return target.trimmedDataType() == "flt" && target.dataSize == 4 && target.bytes.size() == 4;
}

FanTargetLeaseExecution refused(std::string_view action, std::string_view reason,
                                std::vector<std::string> extraLines = {}) {
    FanTargetLeaseExecution execution;
    execution.lines = {line("Action", action), line("WriteAttempted", "false"),
                       line("Reason", reason)};
    for (std::string& extra : extraLines) {
        execution.lines.push_back(std::move(extra));
    }
    execution.exitCode = FanTargetLeaseExecution::failed;
    return execution;
}

} // namespace

FanTargetLeaseController::ManualWrite
FanTargetLeaseController::writeManualModeAndTarget(const Preflight& facts, double applied,
                                                   std::vector<std::string>& lines) {
    // Mode first: the target key only takes effect once the fan is in manual mode.
    const FanTargetWriteResult modeWrite =
        client_.writeValue(facts.previousMode.replacingBytes({manualModeByte}));
    appendWriteResult(lines, "ModeWrite", modeWrite);
    if (!modeWrite.isSuccess()) {
        return ManualWrite::modeFailed;
    }
    const FanTargetWriteResult targetWrite =
        client_.writeValue(facts.previousTarget.replacingRPM(applied));
    appendWriteResult(lines, "TargetWrite", targetWrite);
    return targetWrite.isSuccess() ? ManualWrite::written : ManualWrite::targetFailed;
}

std::vector<std::string> FanTargetLeaseController::writeAttemptLines(std::string_view action,
                                                                     const Preflight& facts,
                                                                     double requested,
                                                                     double applied,
                                                                     std::string lengthLine) {
    return {line("Action", action),
            line("WriteAttempted", "true"),
            line("MinimumRPM", rpmText(facts.minimum)),
            line("MaximumRPM", rpmText(facts.maximum)),
            line("BeforeCurrentRPM", rpmText(facts.current)),
            line("BeforeTargetRPM", rpmText(facts.previousTarget.rpmValue())),
            line("BeforeModeBytes", byteText(facts.previousMode.bytes)),
            line("RequestedTargetRPM", rpmText(requested)),
            line("AppliedTargetRPM", rpmText(applied)),
            std::move(lengthLine)};
}

FanTargetLeaseController::FanTargetLeaseController(SMCProbeClient& client, Sleeper sleeper)
    : client_(client), sleeper_(std::move(sleeper)) {}

std::optional<double> FanTargetLeaseController::speed(std::string_view key) {
    const std::optional<SMCValue> value = client_.readValue(key);
    return value ? value->rpmValue() : std::nullopt;
}

std::optional<FanTargetLeaseController::Preflight>
FanTargetLeaseController::preflight(std::string& reason) {
    reason = unreadableReason;
    Preflight facts;
    // Each read only happens when the ones before it worked.
    const std::optional<double> minimum = speed(minimumKey);
    if (!minimum) {
        return std::nullopt;
    }
    const std::optional<double> maximum = speed(maximumKey);
    if (!maximum) {
        return std::nullopt;
    }
    const std::optional<double> current = speed(actualKey);
    if (!current) {
        return std::nullopt;
    }
    std::optional<SMCValue> previousTarget = client_.readValue(targetKey);
    if (!previousTarget) {
        return std::nullopt;
    }
    std::optional<SMCValue> previousMode = client_.readValue(modeKey);
    if (!previousMode) {
        return std::nullopt;
    }
    if (!isTargetValue(*previousTarget) || !isModeValue(*previousMode)) {
        reason = unexpectedTypeReason;
        return std::nullopt;
    }
    reason.clear();
    facts.minimum = *minimum;
    facts.maximum = *maximum;
    facts.current = *current;
    facts.previousTarget = std::move(*previousTarget);
    facts.previousMode = std::move(*previousMode);
    return facts;
}

FanTargetLeaseExecution
FanTargetLeaseController::holdManualTarget(std::optional<double> absoluteTargetRPM,
                                           std::optional<double> targetDeltaRPM, int holdSeconds) {
    std::string reason;
    const std::optional<Preflight> facts = preflight(reason);
    if (!facts) {
        return refused(holdAction, reason);
    }
    const std::string beforeModeBytes = byteText(facts->previousMode.bytes);
    if (facts->previousMode.bytes != std::vector<std::uint8_t>{systemModeByte}) {
        return refused(holdAction, alreadyManualReason, {line("BeforeModeBytes", beforeModeBytes)});
    }
    const std::optional<double> requested =
        requestedTargetRPM(absoluteTargetRPM, targetDeltaRPM, facts->current);
    if (!requested) {
        return refused(holdAction, holdTargetMissingReason);
    }
    const double applied = std::min(std::max(*requested, facts->minimum), facts->maximum);
    // A manual hold never lowers the fan and never aims within the headroom of its present speed.
    if (facts->current + holdHeadroomRPM > applied) {
        return refused(holdAction, nearCurrentReason,
                       {line("RequestedTargetRPM", rpmText(requested)),
                        line("CurrentRPM", rpmText(facts->current))});
    }

    FanTargetLeaseExecution execution;
    std::vector<std::string>& lines = execution.lines;
    lines = writeAttemptLines(holdAction, *facts, *requested, applied,
                              line("HoldSeconds", std::to_string(holdSeconds)));

    const ManualWrite written = writeManualModeAndTarget(*facts, applied, lines);
    if (written == ManualWrite::modeFailed) {
        execution.exitCode = FanTargetLeaseExecution::failed;
        return execution;
    }
    if (written == ManualWrite::targetFailed) {
        const bool restored = restoreAutomatic(facts->previousTarget, facts->previousMode, lines);
        execution.exitCode =
            restored ? FanTargetLeaseExecution::failed : FanTargetLeaseExecution::restoreFailed;
        return execution;
    }

    bool targetReached = false;
    // A wide counter, so no hold length can overflow it.
    for (long long i = 1; i <= holdSeconds; ++i) {
        sleeper_(std::chrono::duration<double>(sampleIntervalSeconds));
        if (isWithinReach(appendSample(lines, "Sample", i), applied)) {
            targetReached = true;
        }
    }

    const bool restored = restoreAutomatic(facts->previousTarget, facts->previousMode, lines);
    lines.push_back(line("TargetReached", boolText(targetReached)));
    const std::optional<double> finalActual = speed(actualKey);

    AerivoManualTargetLeaseResponse response;
    response.accepted = restored;
    response.targetReached = targetReached;
    response.resetAccepted = restored;
    response.fanIndex = 0;
    response.requestedTargetRPM = requested;
    response.appliedTargetRPM = applied;
    response.finalActualRPM = finalActual;
    if (!restored || !targetReached) {
        response.error = std::string(incompleteLeaseError);
    }
    execution.response = std::move(response);
    if (!restored) {
        execution.exitCode = FanTargetLeaseExecution::restoreFailed;
    } else {
        execution.exitCode =
            targetReached ? FanTargetLeaseExecution::success : FanTargetLeaseExecution::failed;
    }
    return execution;
}

FanTargetLeaseExecution
FanTargetLeaseController::renewManualTarget(std::optional<double> absoluteTargetRPM,
                                            std::optional<double> targetDeltaRPM,
                                            int leaseSeconds) {
    std::string reason;
    const std::optional<Preflight> facts = preflight(reason);
    if (!facts) {
        return refused(renewalAction, reason);
    }
    // No manual-mode check: a renewal normally finds the fan manual from the previous renewal.
    const std::optional<double> requested =
        requestedTargetRPM(absoluteTargetRPM, targetDeltaRPM, facts->current);
    if (!requested) {
        return refused(renewalAction, renewalTargetMissingReason);
    }
    // No headroom rule: the curve may lower the speed.
    const double applied = std::min(std::max(*requested, facts->minimum), facts->maximum);

    FanTargetLeaseExecution execution;
    std::vector<std::string>& lines = execution.lines;
    lines = writeAttemptLines(renewalAction, *facts, *requested, applied,
                              line("LeaseSeconds", std::to_string(leaseSeconds)));

    const ManualWrite written = writeManualModeAndTarget(*facts, applied, lines);
    if (written == ManualWrite::modeFailed) {
        execution.exitCode = FanTargetLeaseExecution::failed;
        return execution;
    }
    if (written == ManualWrite::targetFailed) {
        // Manual mode without the new target must not outlive this call.
        const bool reset = resetAutomatic().exitCode == FanTargetLeaseExecution::success;
        lines.push_back(line("ResetAfterTargetFailure", boolText(reset)));
        execution.exitCode =
            reset ? FanTargetLeaseExecution::failed : FanTargetLeaseExecution::restoreFailed;
        return execution;
    }

    const std::optional<double> actual = speed(actualKey);
    const bool targetReached = isWithinReach(actual, applied);
    lines.push_back(line("SampleActualRPM", rpmText(actual)));
    lines.push_back(line("TargetReached", boolText(targetReached)));

    AerivoManualTargetLeaseResponse response;
    response.accepted = true;
    response.targetReached = targetReached;
    response.resetAccepted = true;
    response.fanIndex = 0;
    response.requestedTargetRPM = requested;
    response.appliedTargetRPM = applied;
    response.finalActualRPM = actual;
    execution.response = std::move(response);
    execution.exitCode = FanTargetLeaseExecution::success;
    return execution;
}

bool FanTargetLeaseController::restoreAutomatic(const SMCValue& previousTarget,
                                                const SMCValue& previousMode,
                                                std::vector<std::string>& lines) {
    // The target goes back before the mode, the reverse of the hold's order; the mode write is
    // attempted whatever became of the target write.
    const FanTargetWriteResult targetWrite = client_.writeValue(previousTarget);
    appendWriteResult(lines, "RestoreTarget", targetWrite);
    const FanTargetWriteResult modeWrite =
        client_.writeValue(previousMode.replacingBytes({systemModeByte}));
    appendWriteResult(lines, "RestoreMode", modeWrite);

    if (const std::optional<SMCValue> mode = client_.readValue(modeKey)) {
        lines.push_back(line("RestoredModeBytes", byteText(mode->bytes)));
    }
    if (const std::optional<SMCValue> target = client_.readValue(targetKey)) {
        lines.push_back(line("RestoredTargetRPM", rpmText(target->rpmValue())));
        lines.push_back(line("RestoredTargetBytes", byteText(target->bytes)));
    }
    appendPostRestoreSamples(lines);
    return targetWrite.isSuccess() && modeWrite.isSuccess();
}

FanTargetLeaseExecution FanTargetLeaseController::resetAutomatic() {
    const std::optional<SMCValue> mode = client_.readValue(modeKey);
    if (!mode || !isModeValue(*mode)) {
        return refused(resetAction, modeUnreadableReason);
    }
    FanTargetLeaseExecution execution;
    std::vector<std::string>& lines = execution.lines;
    lines = {line("Action", resetAction), line("WriteAttempted", "true"),
             line("BeforeModeBytes", byteText(mode->bytes))};
    // Only the mode byte: the system takes the fan over from whatever target the last write left.
    const FanTargetWriteResult modeWrite =
        client_.writeValue(mode->replacingBytes({systemModeByte}));
    appendWriteResult(lines, "ResetMode", modeWrite);
    appendPostRestoreSamples(lines);
    execution.exitCode =
        modeWrite.isSuccess() ? FanTargetLeaseExecution::success : FanTargetLeaseExecution::failed;
    return execution;
}

void FanTargetLeaseController::appendPostRestoreSamples(std::vector<std::string>& lines) {
    for (long long i = 1; i <= 3; ++i) {
        sleeper_(std::chrono::duration<double>(sampleIntervalSeconds));
        appendSample(lines, "PostRestore", i);
    }
}

std::optional<double> FanTargetLeaseController::appendSample(std::vector<std::string>& lines,
                                                             const std::string& prefix,
                                                             long long index) {
    const std::string name = prefix + std::to_string(index);
    const std::optional<SMCValue> mode = client_.readValue(modeKey);
    const std::optional<double> target = speed(targetKey);
    const std::optional<double> actual = speed(actualKey);
    lines.push_back(line(name + "ModeBytes", mode ? byteText(mode->bytes) : "nil"));
    lines.push_back(line(name + "TargetRPM", rpmText(target)));
    lines.push_back(line(name + "ActualRPM", rpmText(actual)));
    return actual;
}

} // namespace aerivo
