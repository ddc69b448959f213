#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace aerivo {

// One step of a workload script: from `atSeconds` on, the die draws `powerW`.
struct SimPowerLevel {
    double atSeconds = 0;
    double powerW = 0;

    bool operator==(const SimPowerLevel&) const = default;
};

// What the simulated machine is doing. Named profiles scale between the model's idle and load
// power; a script gives timed power levels in watts and timed "take back" events, both measured
// from the moment the workload started.
class SimWorkload {
public:
    enum class Kind { idle, load, sine, steps, script };

    // Length of one sine period and of one level of the step profile.
    static constexpr double sinePeriodSeconds = 120;
    static constexpr double stepSeconds = 60;

    SimWorkload() = default;

    // "idle", "load", "sine" or "steps".
    static std::optional<SimWorkload> named(std::string_view name);
    // Script text, one entry per line: "<seconds> <watts>" or "<seconds> take-back"; blank
    // lines and lines starting with '#' are ignored. Seconds must not decrease. The error names
    // the offending line.
    static std::variant<SimWorkload, std::string> parseScript(std::string_view text,
                                                              std::string label = "script");

    Kind kind() const { return kind_; }
    // "idle", "load", "sine", "steps" or "script:<label>".
    std::string name() const;
    // Power drawn `elapsed` seconds after the workload started.
    double powerAt(double elapsedSeconds, double idlePowerW, double loadPowerW) const;
    // Scripted take-back instants (seconds after start), ascending.
    const std::vector<double>& takeBackTimes() const { return takeBacks_; }
    const std::vector<SimPowerLevel>& levels() const { return levels_; }

    bool operator==(const SimWorkload&) const = default;

private:
    Kind kind_ = Kind::idle;
    std::string label_;
    std::vector<SimPowerLevel> levels_;
    std::vector<double> takeBacks_;
};

} // namespace aerivo
