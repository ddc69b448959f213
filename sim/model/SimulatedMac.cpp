#include "sim/model/SimulatedMac.h"

#include "sim/model/SimNoise.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace aerivo {

namespace {

std::string fixed(double value, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

} // namespace

SimulatedMac::SimulatedMac(SimModelPreset preset, std::uint64_t seed, SimWorkload workload)
    : preset_(std::move(preset)), seed_(seed), random_(seed), workload_(std::move(workload)) {
    for (const SimFanDesign& design : preset_.fans) {
        SimFanState fan;
        fan.design = design;
        fan.target = design.minimumRPM;
        fan.actual = design.minimumRPM;
        fans_.push_back(fan);
    }
    // Start at the idle steady state for the fans at their minimum speed.
    dieC_ = ambientC + preset_.idlePowerW / conductanceWPerK();
    powerW_ = workload_.powerAt(0, preset_.idlePowerW, preset_.loadPowerW);
    buildKeyTable();
    buildRegistry();
    buildSensors();
}

// MARK: physics

double SimulatedMac::systemTargetRPM(const SimFanDesign& design) const {
    const double span = design.systemCurveHighC - design.systemCurveLowC;
    const double fraction = span > 0 ? std::clamp((dieC_ - design.systemCurveLowC) / span, 0.0, 1.0)
                                     : (dieC_ >= design.systemCurveHighC ? 1.0 : 0.0);
    return design.minimumRPM + fraction * (design.maximumRPM - design.minimumRPM);
}

double SimulatedMac::conductanceWPerK() const {
    double conductance = preset_.passiveConductanceWPerK;
    if (!fans_.empty()) {
        const double perFan = preset_.fanConductanceWPerK / static_cast<double>(fans_.size());
        for (const SimFanState& fan : fans_) {
            if (fan.design.maximumRPM > 0) {
                conductance += perFan * std::max(0.0, fan.actual) / fan.design.maximumRPM;
            }
        }
    }
    return conductance;
}

double SimulatedMac::uniformNoise() {
    return 2 * unitInterval(random_()) - 1;
}

void SimulatedMac::advanceTo(double seconds) {
    if (!std::isfinite(seconds)) {
        return;
    }
    // Steps are counted, not summed, so the clock never drifts. A century is far enough.
    seconds = std::min(seconds, 100.0 * 365 * 24 * 3600);
    const auto targetSteps =
        static_cast<std::uint64_t>(std::max(0.0, seconds) / stepSeconds + 1e-9);
    while (steps_ < targetSteps) {
        step();
    }
}

void SimulatedMac::step() {
    ++steps_;
    const double elapsed = static_cast<double>(steps_ - workloadStartStep_) * stepSeconds;
    powerW_ = workload_.powerAt(elapsed, preset_.idlePowerW, preset_.loadPowerW);

    const auto& takeBackTimes = workload_.takeBackTimes();
    while (nextTakeBack_ < takeBackTimes.size() && takeBackTimes[nextTakeBack_] <= elapsed) {
        ++nextTakeBack_;
        takeBack("scripted");
    }

    dieC_ += stepSeconds * (powerW_ - conductanceWPerK() * (dieC_ - ambientC)) /
             preset_.heatCapacityJPerK;
    if (dieC_ > emergencyC) {
        if (!inEmergency_) {
            inEmergency_ = true;
            ++emergencies_;
            takeBack("thermal emergency");
        }
        // While the die is this hot the system keeps every fan under its own control.
        for (SimFanState& fan : fans_) {
            fan.mode = 0;
        }
    } else if (dieC_ < emergencyClearC) {
        inEmergency_ = false;
    }

    const double follow = 1 - std::exp(-stepSeconds / fanLagSeconds);
    for (SimFanState& fan : fans_) {
        double goal = 0;
        if (fan.mode == 0) {
            fan.target = systemTargetRPM(fan.design);
            goal = fan.target;
        } else {
            goal = std::clamp(fan.target, fan.design.minimumRPM, fan.design.maximumRPM);
        }
        fan.actual += (goal - fan.actual) * follow;
        fan.noise = fanNoiseRPM * uniformNoise();
    }
}

void SimulatedMac::setWorkload(SimWorkload workload) {
    workload_ = std::move(workload);
    workloadStartStep_ = steps_;
    nextTakeBack_ = 0;
    powerW_ = workload_.powerAt(0, preset_.idlePowerW, preset_.loadPowerW);
}

void SimulatedMac::takeBack(std::string_view reason) {
    ++takeBacks_;
    lastTakeBack_ = std::string(reason) + " at " + fixed(now(), 2) + "s";
    for (SimFanState& fan : fans_) {
        fan.mode = 0;
    }
}

// MARK: status

std::vector<std::string> SimulatedMac::statusLines() const {
    std::vector<std::string> lines;
    lines.push_back("model=" + preset_.name);
    lines.push_back("identifier=" + preset_.identifier);
    lines.push_back("seed=" + std::to_string(seed_));
    lines.push_back("elapsedSeconds=" + fixed(now(), 2));
    lines.push_back("workload=" + workload_.name());
    lines.push_back("powerW=" + fixed(powerW_, 2));
    lines.push_back("dieC=" + fixed(dieC_, 2));
    lines.push_back("fanCount=" + std::to_string(fans_.size()));
    for (std::size_t i = 0; i < fans_.size(); ++i) {
        const SimFanState& fan = fans_[i];
        const std::string prefix = "fan" + std::to_string(i);
        lines.push_back(prefix + "Mode=" + std::to_string(fan.mode) +
                        (fan.mode == 0 ? " (system)" : " (manual)"));
        lines.push_back(prefix + "TargetRPM=" + fixed(fan.target, 0));
        lines.push_back(prefix + "ActualRPM=" + fixed(fan.measuredRPM(), 0));
        lines.push_back(prefix + "RangeRPM=" + fixed(fan.design.minimumRPM, 0) + "-" +
                        fixed(fan.design.maximumRPM, 0));
        lines.push_back(
            prefix + "LastWriter=" + fan.lastWriter +
            (fan.lastWriter == "none" ? "" : " at " + fixed(fan.lastWriteSeconds, 2) + "s"));
    }
    lines.push_back("emergencies=" + std::to_string(emergencies_));
    lines.push_back("takeBacks=" + std::to_string(takeBacks_));
    lines.push_back("lastTakeBack=" + lastTakeBack_);
    lines.push_back("clients=" + std::to_string(sessions_.size()));
    for (const std::string& line : faults_.describe()) {
        lines.push_back(line);
    }
    return lines;
}

} // namespace aerivo
