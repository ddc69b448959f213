#pragma once

#include "platform/services/IOKitPort.h"
#include "platform/simulator/SimulatorConnection.h"

#include <filesystem>
#include <memory>

namespace aerivo {

// IOKit answered by the simulated Mac (aerivo-sim-mac) over this process's one connection to
// its device socket. When the simulator cannot be reached every call fails as a machine
// without the driver would: no services, kIOReturnNoDevice, absent properties.
class SimulatorIOKit final : public IOKitPort {
public:
    // The simulator under AERIVO_SYSTEM_ROOT (default "/").
    SimulatorIOKit();
    explicit SimulatorIOKit(const std::filesystem::path& systemRoot);

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
    KernReturn handleCall(SimulatorOp op, std::uint32_t handle);

    std::shared_ptr<SimulatorConnection> connection_;
};

} // namespace aerivo
