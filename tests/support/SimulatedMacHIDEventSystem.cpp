#include "tests/support/SimulatedMacHIDEventSystem.h"

namespace aerivo::testing {

std::optional<std::vector<HIDServiceHandle>>
SimulatedMacHIDEventSystem::copyServices(std::int64_t usagePage, std::int64_t usage) {
    std::vector<HIDServiceHandle> services;
    if (usagePage < 0 || usagePage > UINT32_MAX || usage < 0 || usage > UINT32_MAX) {
        return services;
    }
    for (const std::uint32_t id : machine_.hidServices(static_cast<std::uint32_t>(usagePage),
                                                       static_cast<std::uint32_t>(usage))) {
        services.push_back(id);
    }
    return services;
}

std::optional<std::string> SimulatedMacHIDEventSystem::copyStringProperty(HIDServiceHandle service,
                                                                          std::string_view key) {
    if (key != "Product" || service > UINT32_MAX) {
        return std::nullopt;
    }
    return machine_.hidProduct(static_cast<std::uint32_t>(service));
}

std::optional<double> SimulatedMacHIDEventSystem::copyEventFloatValue(HIDServiceHandle service,
                                                                      std::int64_t eventType,
                                                                      std::int64_t field) {
    if (eventType != 15 || field != 0xF0000 || service > UINT32_MAX) {
        return std::nullopt;
    }
    return machine_.hidTemperature(static_cast<std::uint32_t>(service));
}

} // namespace aerivo::testing
