#include "sim/model/SimWorkload.h"

#include <charconv>
#include <cmath>
#include <numbers>

namespace aerivo {

namespace {

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::optional<double> parseNumber(std::string_view text) {
    double value = 0;
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<SimWorkload> SimWorkload::named(std::string_view name) {
    SimWorkload workload;
    if (name == "idle") {
        workload.kind_ = Kind::idle;
    } else if (name == "load") {
        workload.kind_ = Kind::load;
    } else if (name == "sine") {
        workload.kind_ = Kind::sine;
    } else if (name == "steps") {
        workload.kind_ = Kind::steps;
    } else {
        return std::nullopt;
    }
    return workload;
}

std::variant<SimWorkload, std::string> SimWorkload::parseScript(std::string_view text,
                                                                std::string label) {
    SimWorkload workload;
    workload.kind_ = Kind::script;
    workload.label_ = std::move(label);
    double lastTime = 0;
    int lineNumber = 0;
    while (!text.empty()) {
        const auto newline = text.find('\n');
        const std::string_view raw = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
        ++lineNumber;
        const std::string_view line = trimmed(raw);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const auto where = "line " + std::to_string(lineNumber) + ": ";
        const auto gap = line.find_first_of(" \t");
        if (gap == std::string_view::npos) {
            return where + "expected \"<seconds> <watts>\" or \"<seconds> take-back\"";
        }
        const auto time = parseNumber(line.substr(0, gap));
        const std::string_view what = trimmed(line.substr(gap));
        if (!time || *time < 0) {
            return where + "time must be a number of seconds, 0 or more";
        }
        if (*time < lastTime) {
            return where + "times must not decrease";
        }
        lastTime = *time;
        if (what == "take-back") {
            workload.takeBacks_.push_back(*time);
            continue;
        }
        const auto power = parseNumber(what);
        if (!power || *power < 0 || *power > 500) {
            return where + "power must be a number of watts from 0 to 500";
        }
        workload.levels_.push_back(SimPowerLevel{*time, *power});
    }
    if (workload.levels_.empty() && workload.takeBacks_.empty()) {
        return std::string("the script has no entries");
    }
    return workload;
}

std::string SimWorkload::name() const {
    switch (kind_) {
    case Kind::idle:
        return "idle";
    case Kind::load:
        return "load";
    case Kind::sine:
        return "sine";
    case Kind::steps:
        return "steps";
    case Kind::script:
        return "script:" + label_;
    }
    return "idle";
}

double SimWorkload::powerAt(double elapsedSeconds, double idlePowerW, double loadPowerW) const {
    const double span = loadPowerW - idlePowerW;
    switch (kind_) {
    case Kind::idle:
        return idlePowerW;
    case Kind::load:
        return loadPowerW;
    case Kind::sine: {
        const double phase = 2 * std::numbers::pi * elapsedSeconds / sinePeriodSeconds;
        return idlePowerW + span * 0.5 * (1 - std::cos(phase));
    }
    case Kind::steps: {
        static constexpr double fractions[] = {0.0, 0.4, 0.7, 1.0};
        const auto step = static_cast<long long>(std::floor(elapsedSeconds / stepSeconds));
        return idlePowerW + span * fractions[static_cast<std::size_t>(std::max(0LL, step) % 4)];
    }
    case Kind::script: {
        // Before the first level the machine idles.
        double power = idlePowerW;
        for (const SimPowerLevel& level : levels_) {
            if (level.atSeconds > elapsedSeconds) {
                break;
            }
            power = level.powerW;
        }
        return power;
    }
    }
    return idlePowerW;
}

} // namespace aerivo
