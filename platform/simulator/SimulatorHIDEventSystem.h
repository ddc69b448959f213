#pragma once

#include "platform/services/HIDEventSystem.h"
#include "platform/simulator/SimulatorConnection.h"

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

namespace aerivo {

// The HID event system of the simulated Mac, over this process's one connection to its device
// socket. The simulator's services carry one string property, "Product", and one event, the
// temperature (type 15, field 0xF0000). An unreachable simulator gives no service list, as a
// system without the event system would.
//
// A service list is copied in one round trip together with every listed service's product and
// temperature event, as the machine had them at that instant (a reading of all sensors costs one
// socket call, not two per sensor). Each listed service's first event request after the copy is
// answered from it; any later request asks the simulator afresh, so a held handle never reads a
// stale value twice. A simulator that does not know the combined call is asked call by call.
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
    struct CopiedService {
        std::optional<std::string> product;
        std::optional<double> temperature;
        bool temperatureTaken = false;
    };

    std::optional<std::vector<HIDServiceHandle>> copyServicesOneByOne(std::uint32_t usagePage,
                                                                      std::uint32_t usage);

    std::shared_ptr<SimulatorConnection> connection_;
    std::mutex mutex_;
    std::map<HIDServiceHandle, CopiedService> copied_;
    bool combinedCallRefused_ = false;
};

} // namespace aerivo
