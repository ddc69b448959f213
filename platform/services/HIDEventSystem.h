#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// A HID service of the event system (IOHIDServiceClientRef), valid for the life of the backend.
using HIDServiceHandle = std::uint64_t;

// The door to the IOHID event system's sensor services, as the temperature reader uses it:
// IOHIDEventSystemClientCreate + IOHIDEventSystemClientSetMatching({"PrimaryUsagePage": page,
// "PrimaryUsage": usage}) + IOHIDEventSystemClientCopyServices, then per service
// IOHIDServiceClientCopyProperty and IOHIDServiceClientCopyEvent + IOHIDEventGetFloatValue.
// Backends release every object they obtain before a call returns. Calls never throw. Backends:
// the simulated Mac over its device socket, a scripted fake for tests.
class HIDEventSystem {
public:
    HIDEventSystem() = default;
    HIDEventSystem(const HIDEventSystem&) = delete;
    HIDEventSystem& operator=(const HIDEventSystem&) = delete;
    virtual ~HIDEventSystem() = default;

    // The services matching the usage pair, in the event system's own order. Nothing when no
    // event-system client can be created or it gives no service list; an empty list when it
    // gives an empty one.
    virtual std::optional<std::vector<HIDServiceHandle>> copyServices(std::int64_t usagePage,
                                                                      std::int64_t usage) = 0;
    // The service's property of that name when it is a string ("Product"); nothing when the
    // property is missing or of another type.
    virtual std::optional<std::string> copyStringProperty(HIDServiceHandle service,
                                                          std::string_view key) = 0;
    // The float value of `field` of the service's current event of `eventType` (temperature:
    // type 15, field 0xF0000). Nothing when the service has no such event; otherwise the value
    // as the service reports it, which may be out of any sensible range or not finite.
    virtual std::optional<double>
    copyEventFloatValue(HIDServiceHandle service, std::int64_t eventType, std::int64_t field) = 0;
};

} // namespace aerivo
