#pragma once

#include "platform/services/HIDEventSystem.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace aerivo::testing {

// One scripted service: its "Product" (absent: no such property) and the temperature event's
// value (absent: the service has no event).
struct FakeHIDService {
    std::optional<std::string> product;
    std::optional<double> value;
};

// A scripted HID event system: services listed in the given order under one usage pair, an
// optional missing service list, and counters of every call so tests can see what was asked.
class FakeHIDEventSystem final : public HIDEventSystem {
public:
    std::vector<FakeHIDService> services;
    // copyServices answers nothing, as when no event-system client can be created.
    bool hasServiceList = true;
    std::int64_t matchingUsagePage = 0xFF00;
    std::int64_t matchingUsage = 5;

    struct EventRequest {
        HIDServiceHandle service = 0;
        std::int64_t eventType = 0;
        std::int64_t field = 0;
        bool operator==(const EventRequest&) const = default;
    };
    std::vector<EventRequest> eventRequests;
    int copyServicesCalls = 0;

    // Appends a service and returns its index.
    std::size_t add(std::optional<std::string> product, std::optional<double> value);

    std::optional<std::vector<HIDServiceHandle>> copyServices(std::int64_t usagePage,
                                                              std::int64_t usage) override;
    std::optional<std::string> copyStringProperty(HIDServiceHandle service,
                                                  std::string_view key) override;
    std::optional<double> copyEventFloatValue(HIDServiceHandle service, std::int64_t eventType,
                                              std::int64_t field) override;

private:
    const FakeHIDService* find(HIDServiceHandle service) const;
};

} // namespace aerivo::testing
