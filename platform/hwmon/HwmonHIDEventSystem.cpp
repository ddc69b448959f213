#include "platform/hwmon/HwmonHIDEventSystem.h"

#include "platform/hwmon/HwmonAttribute.h"

namespace aerivo {

HwmonHIDEventSystem::HwmonHIDEventSystem(const std::filesystem::path& root)
    : sensors_(HwmonDevice::temperatureSensors(root)) {}

const HwmonTemperatureSensor* HwmonHIDEventSystem::find(HIDServiceHandle service) const {
    if (service == 0 || service > sensors_.size()) {
        return nullptr;
    }
    return &sensors_[service - 1];
}

std::optional<std::vector<HIDServiceHandle>>
HwmonHIDEventSystem::copyServices(std::int64_t usagePage, std::int64_t usage) {
    std::vector<HIDServiceHandle> services;
    if (usagePage == temperatureUsagePage && usage == temperatureUsage) {
        for (HIDServiceHandle handle = 1; handle <= sensors_.size(); ++handle) {
            services.push_back(handle);
        }
    }
    return services;
}

std::optional<std::string> HwmonHIDEventSystem::copyStringProperty(HIDServiceHandle service,
                                                                   std::string_view key) {
    const HwmonTemperatureSensor* sensor = find(service);
    if (sensor == nullptr || key != "Product") {
        return std::nullopt;
    }
    return sensor->product;
}

std::optional<double> HwmonHIDEventSystem::copyEventFloatValue(HIDServiceHandle service,
                                                               std::int64_t eventType,
                                                               std::int64_t field) {
    const HwmonTemperatureSensor* sensor = find(service);
    if (sensor == nullptr || eventType != temperatureEventType || field != temperatureEventField) {
        return std::nullopt;
    }
    const auto millidegrees = HwmonAttribute::readInteger(sensor->input);
    if (!millidegrees) {
        return std::nullopt;
    }
    return static_cast<double>(*millidegrees) / 1000.0;
}

} // namespace aerivo
