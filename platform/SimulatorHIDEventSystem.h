#pragma once

#include "platform/HIDEventSystem.h"
#include "platform/SimulatorConnection.h"

#include <filesystem>
#include <memory>

namespace aerivo {

// The HID event system of the simulated Mac, over this process's one connection to its device
// socket. The simulator's services carry one string property, "Product", and one event, the
// temperature (type 15, field 0xF0000). An unreachable simulator gives no service list, as a
// system without the event system would.
class SimulatorHIDEventSystem final : public HIDEventSystem {
public:
    static constexpr std::int64_t temperatureEventType = 15;
    static constexpr std::int64_t temperatureEventField = 0xF0000;

    SimulatorHIDEventSystem();
    explicit SimulatorHIDEventSystem(const std::filesystem::path& systemRoot);

    std::optional<std::vector<HIDServiceHandle>> copyServices(std::int64_t usagePage,
                                                              std::int64_t usage) override;
    std::optional<std::string> copyStringProperty(HIDServiceHandle service,
                                                  std::string_view key) override;
    std::optional<double> copyEventFloatValue(HIDServiceHandle service, std::int64_t eventType,
                                              std::int64_t field) override;

private:
    std::shared_ptr<SimulatorConnection> connection_;
};

} // namespace aerivo
