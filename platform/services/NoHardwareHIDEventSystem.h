#pragma once

#include "platform/services/HIDEventSystem.h"

namespace aerivo {

// A machine without the HID event system: no event-system client can be created, so there is
// no service list, and no service answers.
class NoHardwareHIDEventSystem final : public HIDEventSystem {
public:
    std::optional<std::vector<HIDServiceHandle>> copyServices(std::int64_t, std::int64_t) override {
        return std::nullopt;
    }
    std::optional<std::string> copyStringProperty(HIDServiceHandle, std::string_view) override {
        return std::nullopt;
    }
    std::optional<double> copyEventFloatValue(HIDServiceHandle, std::int64_t,
                                              std::int64_t) override {
        return std::nullopt;
    }
};

} // namespace aerivo
