#include "tests/support/FakeHIDEventSystem.h"

namespace aerivo::testing {

namespace {

// Handles are offset so that an index mistaken for a handle finds nothing.
constexpr HIDServiceHandle firstHandle = 0x5000;

} // namespace

std::size_t FakeHIDEventSystem::add(std::optional<std::string> product,
                                    std::optional<double> value) {
    services.push_back({std::move(product), value});
    return services.size() - 1;
}

const FakeHIDService* FakeHIDEventSystem::find(HIDServiceHandle service) const {
    if (service < firstHandle || service - firstHandle >= services.size()) {
        return nullptr;
    }
    return &services[service - firstHandle];
}

std::optional<std::vector<HIDServiceHandle>>
FakeHIDEventSystem::copyServices(std::int64_t usagePage, std::int64_t usage) {
    ++copyServicesCalls;
    if (!hasServiceList) {
        return std::nullopt;
    }
    std::vector<HIDServiceHandle> handles;
    if (usagePage == matchingUsagePage && usage == matchingUsage) {
        for (std::size_t i = 0; i < services.size(); ++i) {
            handles.push_back(firstHandle + i);
        }
    }
    return handles;
}

std::optional<std::string> FakeHIDEventSystem::copyStringProperty(HIDServiceHandle service,
                                                                  std::string_view key) {
    const FakeHIDService* found = find(service);
    if (found == nullptr || key != "Product") {
        return std::nullopt;
    }
    return found->product;
}

std::optional<double> FakeHIDEventSystem::copyEventFloatValue(HIDServiceHandle service,
                                                              std::int64_t eventType,
                                                              std::int64_t field) {
    eventRequests.push_back({service, eventType, field});
    const FakeHIDService* found = find(service);
    // Only the temperature event exists, and only its level field.
    if (found == nullptr || eventType != 15 || field != 0xF0000) {
        return std::nullopt;
    }
    return found->value;
}

} // namespace aerivo::testing
