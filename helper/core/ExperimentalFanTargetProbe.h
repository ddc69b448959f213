#pragma once

#include "helper/core/FanTargetLeaseExecution.h"
#include "helper/core/SMCProbeClient.h"
#include "helper/core/Sleeper.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// Reads one environment variable; absent when unset.
using EnvironmentLookup = std::function<std::optional<std::string>(std::string_view name)>;

// The helper's diagnostic command (`AerivoMacHelper --smc-write-probe ...`): a snapshot of the
// fan keys, an optional scan for fan keys, and, only when armed twice over (the environment
// variable and the flag), one write experiment on fan 0. Every outcome is a printed line and an
// exit code; without arming nothing is written whatever else the arguments say.
class ExperimentalFanTargetProbe {
public:
    static constexpr std::string_view armEnvironmentName = "AERIVO_ALLOW_SMC_WRITE_PROBE";
    static constexpr std::string_view armFlag = "--i-understand-this-writes-smc";
    static constexpr std::array<std::string_view, 9> snapshotKeys{
        "FNum", "F0Mn", "F0Mx", "F0Ac", "F0Tg", "F0Md", "F0md", "FS! ", "F0Sf"};
    // The experiments in the order they are chosen: the first present wins.
    static constexpr std::array<std::string_view, 6> experimentFlags{
        "--zero-delta",    "--mode-zero-delta",    "--pulse-up",
        "--mode-pulse-up", "--manual-target-hold", "--reset-automatic"};

    using OutputSink = std::function<void(const std::string& line)>;

    // The sleeper makes the one-second pauses between samples.
    ExperimentalFanTargetProbe(SMCOpener openSMC, Sleeper sleeper, OutputSink output);

    // `arguments` is the whole command line; returns the exit code (0, 2 or 3).
    std::int32_t run(const std::vector<std::string>& arguments,
                     const EnvironmentLookup& environment);

    // The element right after the first one equal to `name`; absent when missing or last.
    static std::optional<std::string> valueArgument(std::string_view name,
                                                    const std::vector<std::string>& arguments);
    // That value as a finite decimal number filling the whole text; otherwise absent.
    static std::optional<double> doubleArgument(std::string_view name,
                                                const std::vector<std::string>& arguments);
    // That value as a 64-bit decimal integer filling the whole text; otherwise absent.
    static std::optional<std::int64_t> intArgument(std::string_view name,
                                                   const std::vector<std::string>& arguments);
    // "--hold-seconds", 5 when absent or unreadable, bounded to 1...10.
    static int holdSeconds(const std::vector<std::string>& arguments);

private:
    void print(const std::vector<std::string>& lines) const;
    void printExecution(const FanTargetLeaseExecution& execution) const;
    std::int32_t scanFanKeys(SMCProbeClient& client) const;
    std::int32_t runExperiment(std::string_view flag, SMCProbeClient& client,
                               const std::vector<std::string>& arguments) const;
    std::int32_t zeroDelta(SMCProbeClient& client, bool modeByte) const;
    std::int32_t pulseUp(SMCProbeClient& client) const;
    std::int32_t modePulseUp(SMCProbeClient& client) const;

    SMCOpener openSMC_;
    Sleeper sleeper_;
    OutputSink output_;
};

} // namespace aerivo
