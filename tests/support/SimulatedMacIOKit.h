#pragma once

#include "platform/services/IOKitPort.h"
#include "sim/model/SimulatedMac.h"

#include <string>

namespace aerivo::testing {

// An IOKitPort onto an in-process simulated Mac: one client session of the machine, privileged
// (a process in the privileged helper tools folder) or not. Code written against IOKitPort runs
// unchanged against the machine's SMC, registry and physics, with the test owning its virtual
// clock. The session, and everything it still holds, closes with the port.
class SimulatedMacIOKit final : public IOKitPort {
public:
    SimulatedMacIOKit(SimulatedMac& machine, std::string name, bool privileged);
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

} // namespace aerivo::testing
