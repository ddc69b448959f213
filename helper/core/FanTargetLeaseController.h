#pragma once

#include "helper/core/FanTargetLeaseExecution.h"
#include "helper/core/SMCProbeClient.h"
#include "helper/core/Sleeper.h"
#include "shared/SMCValue.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// The only code that drives the fan. Each operation is an exact sequence of SMC reads and writes
// on fan 0 ("F0Mn", "F0Mx", "F0Ac", "F0Tg", "F0md"): every precondition is checked on fresh
// reads before the first write, the mode byte goes to manual before the target is written, and
// the fan goes back to system control wherever the operation demands it. Made for one operation
// with a fresh client; keeps no state of its own.
class FanTargetLeaseController {
public:
    // A manual hold must aim at least this far above the present speed.
    static constexpr double holdHeadroomRPM = 50.0;
    // The target counts as reached when the actual speed is this close to it (inclusive).
    static constexpr double reachToleranceRPM = 150.0;
    // The pause before each sample.
    static constexpr double sampleIntervalSeconds = 1.0;

    // The client must outlive the controller. The sleeper makes the pauses between samples.
    FanTargetLeaseController(SMCProbeClient& client, Sleeper sleeper);

    // A self-contained manual hold: manual mode, the target, one sample a second for the hold,
    // then the previous target and system control again before it returns. Refused before any
    // write when the fan is already manual, when the request is not exactly one of an absolute
    // target or a delta, or when the clamped target is not at least 50 rpm above the present
    // speed.
    FanTargetLeaseExecution holdManualTarget(std::optional<double> absoluteTargetRPM,
                                             std::optional<double> targetDeltaRPM, int holdSeconds);

    // The curve lease step: manual mode and the clamped target, one immediate sample, and the fan
    // left in manual mode (the caller arms the return to system control). A failed target write
    // resets the fan to system control at once. leaseSeconds is only reported.
    FanTargetLeaseExecution renewManualTarget(std::optional<double> absoluteTargetRPM,
                                              std::optional<double> targetDeltaRPM,
                                              int leaseSeconds);

    // The unconditional return to system control: the mode byte only, then three samples.
    FanTargetLeaseExecution resetAutomatic();

private:
    // The probe's mode pulse is a hold with its own target rule: it reuses the preflight, the
    // samples and the restore, so they are written once.
    friend class ExperimentalFanTargetProbe;

    // The fan's state as read before the first write.
    struct Preflight {
        double minimum = 0;
        double maximum = 0;
        double current = 0;
        SMCValue previousTarget;
        SMCValue previousMode;
    };

    std::optional<Preflight> preflight(std::string& reason);
    enum class ManualWrite { written, modeFailed, targetFailed };
    // Writes manual mode, then the target (only after the mode write succeeded), appending both
    // write results; the caller decides how to hand the fan back on a failure.
    ManualWrite writeManualModeAndTarget(const Preflight& facts, double applied,
                                         std::vector<std::string>& lines);
    // What a hold and a renewal print before their first write: the range and the fan's state
    // as read, the request and the clamped target, then the operation's length line.
    static std::vector<std::string> writeAttemptLines(std::string_view action,
                                                      const Preflight& facts, double requested,
                                                      double applied, std::string lengthLine);
    // Writes the target read before a hold back, then mode 0 (both are attempted); true when both
    // writes succeeded.
    bool restoreAutomatic(const SMCValue& previousTarget, const SMCValue& previousMode,
                          std::vector<std::string>& lines);
    // Three samples a second apart of the mode bytes, target and actual speed.
    void appendPostRestoreSamples(std::vector<std::string>& lines);
    // The mode bytes, target and actual speed, each line named prefix + index + what.
    // Returns the actual speed it read.
    std::optional<double> appendSample(std::vector<std::string>& lines, const std::string& prefix,
                                       long long index);
    std::optional<double> speed(std::string_view key);

    SMCProbeClient& client_;
    Sleeper sleeper_;
};

} // namespace aerivo
