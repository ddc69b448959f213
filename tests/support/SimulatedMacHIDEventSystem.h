#pragma once

#include "platform/services/HIDEventSystem.h"
#include "sim/model/SimulatedMac.h"

namespace aerivo::testing {

// The HID event system of an in-process simulated Mac: its temperature services, their
// "Product" property and the temperature event (type 15, field 0xF0000). The machine must
// outlive it.
class SimulatedMacHIDEventSystem final : public HIDEventSystem {
public:
    explicit SimulatedMacHIDEventSystem(const SimulatedMac& machine) : machine_(machine) {}

    std::optional<std::vector<HIDServiceHandle>> copyServices(std::int64_t usagePage,
                                                              std::int64_t usage) override;
    std::optional<std::string> copyStringProperty(HIDServiceHandle service,
                                                  std::string_view key) override;
    std::optional<double> copyEventFloatValue(HIDServiceHandle service, std::int64_t eventType,
                                              std::int64_t field) override;

private:
    const SimulatedMac& machine_;
};

} // namespace aerivo::testing
