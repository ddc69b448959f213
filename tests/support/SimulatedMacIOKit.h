#pragma once

#include "platform/HIDEventSystem.h"
#include "platform/IOKitPort.h"
#include "sim/model/SimulatedMac.h"

#include <string>

namespace aerivo::testing {

// The IOKit of an in-process simulated Mac: one client session of the machine, privileged or
// not, behind the IOKitPort interface, so product code runs against the simulator's SMC and
// registry without a socket. The machine must outlive the port; the session closes with it.
class SimulatedMacIOKit final : public IOKitPort {
public:
    SimulatedMacIOKit(SimulatedMac& machine, std::string clientName, bool privileged);
    ~SimulatedMacIOKit() override;

    SimSessionId session() const { return session_; }

    IOObjectHandle matchingService(std::string_view className) override;
    IOServiceMatches matchingServices(std::string_view className) override;
    std::optional<std::string> stringProperty(IOObjectHandle entry, std::string_view name) override;
    IOServiceOpenResult openService(IOObjectHandle service, std::uint32_t type) override;
    KernReturn callStructMethod(IOConnectHandle connection, std::uint32_t selector,
                                const IOStructMethodRecord& input,
                                IOStructMethodRecord& output) override;
    KernReturn closeService(IOConnectHandle connection) override;
    KernReturn releaseObject(IOObjectHandle object) override;
    std::optional<std::vector<std::uint8_t>> registryProperty(RegistryEntry entry,
                                                              std::string_view name) override;
    std::optional<std::string> registryStringProperty(RegistryEntry entry,
                                                      std::string_view name) override;

private:
    std::optional<SimRegistryValue> property(RegistryEntry entry, std::string_view name) const;

    SimulatedMac& machine_;
    SimSessionId session_;
};

// The HID event system of an in-process simulated Mac.
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
