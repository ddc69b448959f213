#include "platform/services/NoHardwareIOKit.h"

namespace aerivo {

IOObjectHandle NoHardwareIOKit::matchingService(std::string_view) {
    return 0;
}

IOServiceMatches NoHardwareIOKit::matchingServices(std::string_view) {
    // IOServiceGetMatchingServices succeeds with an empty iterator when nothing matches.
    return IOServiceMatches{kIOReturnSuccess, {}};
}

std::optional<std::string> NoHardwareIOKit::stringProperty(IOObjectHandle, std::string_view) {
    return std::nullopt;
}

IOServiceOpenResult NoHardwareIOKit::openService(IOObjectHandle, std::uint32_t) {
    return IOServiceOpenResult{kIOReturnNoDevice, 0};
}

KernReturn NoHardwareIOKit::callStructMethod(IOConnectHandle, std::uint32_t,
                                             const IOStructMethodRecord&, IOStructMethodRecord&) {
    return kIOReturnNoDevice;
}

KernReturn NoHardwareIOKit::closeService(IOConnectHandle) {
    return kIOReturnBadArgument;
}

KernReturn NoHardwareIOKit::releaseObject(IOObjectHandle) {
    return kIOReturnBadArgument;
}

std::optional<std::vector<std::uint8_t>> NoHardwareIOKit::registryProperty(RegistryEntry,
                                                                           std::string_view) {
    return std::nullopt;
}

std::optional<std::string> NoHardwareIOKit::registryStringProperty(RegistryEntry,
                                                                   std::string_view) {
    return std::nullopt;
}

} // namespace aerivo
