#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace aerivo {

// One HID service of the simulated event system. Temperature services read the die temperature
// shifted by `offsetC` and scaled towards ambient by `coupling` (1 = the die itself); a fixed
// reading ignores the die; a service without an event answers no temperature at all.
struct SimHIDSensor {
    std::uint32_t usagePage = 0xFF00;
    std::uint32_t usage = 5;
    std::optional<std::string> product; // absent: the service has no "Product" property
    bool hasEvent = true;
    double coupling = 1.0;
    double offsetC = 0;
    std::optional<double> fixedC;

    bool operator==(const SimHIDSensor&) const = default;
};

} // namespace aerivo
