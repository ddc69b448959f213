#pragma once

#include "app/model/AerivoPreferences.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// "--temperature-sensor LABEL": the sensor the curve follows, by the name the telemetry shows
// ("--print-hardware --temperature-debug" lists them), saved in the settings so every later run
// follows it too; "--temperature-sensor auto" returns to the automatic priority
// (HIDTemperatureTelemetryClient).
struct TemperatureSensorChoice {
    static constexpr std::string_view flag = "--temperature-sensor";
    static constexpr std::string_view automatic = "auto";

    // The sensor to follow now (the saved choice, after the flag's); `line` says what the flag
    // did ("temperatureSensorChoice=<name>|auto"); `error` is set instead when the flag has no
    // value or the value cannot be saved, and then nothing is saved.
    std::optional<std::string> sensor;
    std::optional<std::string> line;
    std::optional<std::string> error;

    static TemperatureSensorChoice apply(const std::vector<std::string>& arguments,
                                         const AerivoPreferences& preferences);
};

} // namespace aerivo
