#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace aerivo {

// Reads one environment variable; none when it is unset. Injected wherever behaviour depends on
// the environment, so tests never have to change the process's own.
using EnvironmentLookup = std::function<std::optional<std::string>(std::string_view name)>;

// The process's own environment, read afresh on every lookup.
EnvironmentLookup currentProcessEnvironment();

} // namespace aerivo
