#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// Reads one environment variable; absent when unset. Injected so tests give their own.
using EnvironmentLookup = std::function<std::optional<std::string>(std::string_view name)>;
EnvironmentLookup processEnvironment();

// The helpers below take the whole argument list, program path included.

// The element right after the first one equal to `name`; absent when the name is missing or last.
std::optional<std::string> valueArgument(std::string_view name,
                                         const std::vector<std::string>& arguments);

// A whole decimal number, optionally signed; anything else (spaces, fractions, overflow) is none.
std::optional<std::int64_t> parseInteger(std::string_view text);
// A decimal floating-point number over the whole text, optionally signed. Infinities and NaN
// count as "not a number": no speed or length on the command line may be non-finite.
std::optional<double> parseDouble(std::string_view text);

std::optional<double> doubleArgument(std::string_view name,
                                     const std::vector<std::string>& arguments);
std::optional<std::int64_t> intArgument(std::string_view name,
                                        const std::vector<std::string>& arguments);

// The target for the lease actions: "--target-rpm" (or AERIVO_SMC_TARGET_RPM) exclusive with
// "--target-delta" (or AERIVO_SMC_TARGET_DELTA) added to the live speed, 300 rpm above it when
// neither is given. Not clamped or rounded: the helper bounds it.
std::optional<double> requestedTargetRPM(const std::vector<std::string>& arguments,
                                         std::optional<double> currentRPM,
                                         const EnvironmentLookup& environment);

// A flag's integer value, else the environment variable's, else the default.
std::int64_t integerSetting(std::string_view flag, std::string_view variable, std::int64_t fallback,
                            const std::vector<std::string>& arguments,
                            const EnvironmentLookup& environment);

} // namespace aerivo
