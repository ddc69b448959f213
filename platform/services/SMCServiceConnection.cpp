#include "platform/services/SMCServiceConnection.h"

namespace aerivo {

std::optional<SMCServiceConnection> openSMCService(IOKitPort& port) {
    for (const std::string_view className : smcServiceClassNames) {
        const IOObjectHandle service = port.matchingService(className);
        if (service == 0) {
            continue;
        }
        const IOServiceOpenResult opened = port.openService(service, smcUserClientType);
        port.releaseObject(service);
        if (opened.result == kIOReturnSuccess) {
            return SMCServiceConnection{opened.connection, std::string(className)};
        }
    }
    return std::nullopt;
}

} // namespace aerivo
