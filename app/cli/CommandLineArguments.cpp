#include "app/cli/CommandLineArguments.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace aerivo {

EnvironmentLookup processEnvironment() {
    return [](std::string_view name) -> std::optional<std::string> {
        const char* value = std::getenv(std::string(name).c_str());
        if (value == nullptr) {
            return std::nullopt;
        }
        return std::string(value);
    };
}

std::optional<std::string> valueArgument(std::string_view name,
                                         const std::vector<std::string>& arguments) {
    const auto found = std::find(arguments.begin(), arguments.end(), name);
    if (found == arguments.end() || std::next(found) == arguments.end()) {
        return std::nullopt;
    }
    return *std::next(found);
}

namespace {

// from_chars takes no leading '+', which the decimal conversions accept.
std::string_view withoutPlus(std::string_view text) {
    if (text.size() > 1 && text.front() == '+' && text[1] != '-' && text[1] != '+') {
        text.remove_prefix(1);
    }
    return text;
}

} // namespace

std::optional<std::int64_t> parseInteger(std::string_view text) {
    text = withoutPlus(text);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> parseDouble(std::string_view text) {
    text = withoutPlus(text);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> doubleArgument(std::string_view name,
                                     const std::vector<std::string>& arguments) {
    const auto value = valueArgument(name, arguments);
    return value ? parseDouble(*value) : std::nullopt;
}

std::optional<std::int64_t> intArgument(std::string_view name,
                                        const std::vector<std::string>& arguments) {
    const auto value = valueArgument(name, arguments);
    return value ? parseInteger(*value) : std::nullopt;
}

namespace {

std::optional<double> doubleSetting(std::string_view flag, std::string_view variable,
                                    const std::vector<std::string>& arguments,
                                    const EnvironmentLookup& environment) {
    if (const auto value = doubleArgument(flag, arguments)) {
        return value;
    }
    const auto text = environment(variable);
    return text ? parseDouble(*text) : std::nullopt;
}

} // namespace

std::optional<double> requestedTargetRPM(const std::vector<std::string>& arguments,
                                         std::optional<double> currentRPM,
                                         const EnvironmentLookup& environment) {
    const auto explicitTarget =
        doubleSetting("--target-rpm", "AERIVO_SMC_TARGET_RPM", arguments, environment);
    const auto delta =
        doubleSetting("--target-delta", "AERIVO_SMC_TARGET_DELTA", arguments, environment);
    if (explicitTarget && delta) {
        return std::nullopt;
    }
    if (explicitTarget) {
        return explicitTarget;
    }
    if (!currentRPM || !std::isfinite(*currentRPM)) {
        return std::nullopt;
    }
    return *currentRPM + delta.value_or(300.0);
}

std::int64_t integerSetting(std::string_view flag, std::string_view variable, std::int64_t fallback,
                            const std::vector<std::string>& arguments,
                            const EnvironmentLookup& environment) {
    if (const auto value = intArgument(flag, arguments)) {
        return *value;
    }
    if (const auto text = environment(variable)) {
        if (const auto value = parseInteger(*text)) {
            return *value;
        }
    }
    return fallback;
}

} // namespace aerivo
