#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace aerivo {

// A registry property: text (CFString), bytes (CFData) or a number (CFNumber).
using SimRegistryValue = std::variant<std::string, std::vector<std::uint8_t>, std::int64_t>;

// One entry of the simulated I/O registry: the class it matches as and its properties
// ("IOClass" among them).
struct SimRegistryEntry {
    std::string className;
    std::map<std::string, SimRegistryValue> properties;

    bool operator==(const SimRegistryEntry&) const = default;
};

} // namespace aerivo
