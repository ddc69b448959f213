#pragma once

#include "platform/services/IOKitPort.h"

namespace aerivo {

// IOKit of a machine without the SMC driver or any registry entry the product reads: no
// service ever matches, every connection call answers kIOReturnNoDevice and every property is
// absent. Used where no Mac (or simulated Mac) is reachable, so every reader takes its
// documented fallback instead of inventing values.
class NoHardwareIOKit final : public IOKitPort {
public:
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
};

} // namespace aerivo
