#pragma once

#include "platform/hwmon/HwmonDevice.h"
#include "platform/services/HIDEventSystem.h"

#include <filesystem>
#include <vector>

namespace aerivo {

// The HID temperature services of a Mac running Linux: every hwmon temperature sensor (of every
// device, found once, at construction) is one service under the temperature usage pair (page
// 0xFF00, usage 5), in hwmon order. "Product" is the sensor's label made safe (or "<chip>
// temp<X>" without one); the temperature event (type 15, field 0xF0000) is tempX_input read
// afresh, millidegrees turned into degrees. An unreadable or non-numeric value gives no event;
// a value out of any sensible range is passed on as read, for the reader to discard. Other usage
// pairs match nothing. Handles are the sensors' positions from 1.
class HwmonHIDEventSystem final : public HIDEventSystem {
public:
    static constexpr std::int64_t temperatureUsagePage = 0xFF00;
    static constexpr std::int64_t temperatureUsage = 5;
    static constexpr std::int64_t temperatureEventType = 15;
    static constexpr std::int64_t temperatureEventField = 0xF0000;

    explicit HwmonHIDEventSystem(const std::filesystem::path& root);

    std::optional<std::vector<HIDServiceHandle>> copyServices(std::int64_t usagePage,
                                                              std::int64_t usage) override;
    std::optional<std::string> copyStringProperty(HIDServiceHandle service,
                                                  std::string_view key) override;
    std::optional<double> copyEventFloatValue(HIDServiceHandle service, std::int64_t eventType,
                                              std::int64_t field) override;

    const std::vector<HwmonTemperatureSensor>& sensors() const { return sensors_; }

private:
    const HwmonTemperatureSensor* find(HIDServiceHandle service) const;

    std::vector<HwmonTemperatureSensor> sensors_;
};

} // namespace aerivo
