#include "tests/support/SimulatedMacIOKit.h"

namespace aerivo::testing {

SimulatedMacIOKit::SimulatedMacIOKit(SimulatedMac& machine, std::string clientName, bool privileged)
    : machine_(machine), session_(machine.openSession(std::move(clientName), privileged)) {}

SimulatedMacIOKit::~SimulatedMacIOKit() {
    machine_.closeSession(session_);
}

IOObjectHandle SimulatedMacIOKit::matchingService(std::string_view className) {
    return machine_.matchingService(session_, className);
}

IOServiceMatches SimulatedMacIOKit::matchingServices(std::string_view className) {
    SimServiceMatches matches = machine_.matchingServices(session_, className);
    return {matches.result, std::move(matches.services)};
}

std::optional<std::string> SimulatedMacIOKit::stringProperty(IOObjectHandle entry,
                                                             std::string_view name) {
    return machine_.stringProperty(session_, entry, name);
}

IOServiceOpenResult SimulatedMacIOKit::openService(IOObjectHandle service, std::uint32_t type) {
    const SimOpenResult opened = machine_.openService(session_, service, type);
    return {opened.result, opened.connection};
}

KernReturn SimulatedMacIOKit::callStructMethod(IOConnectHandle connection, std::uint32_t selector,
                                               const IOStructMethodRecord& input,
                                               IOStructMethodRecord& output) {
    SMCKeyData answer;
    const KernReturn result = machine_.callStructMethod(session_, connection, selector,
                                                        SMCKeyData::fromImage(input), answer);
    if (result == kIOReturnSuccess) {
        output = answer.image();
    }
    return result;
}

KernReturn SimulatedMacIOKit::closeService(IOConnectHandle connection) {
    return machine_.closeService(session_, connection);
}

KernReturn SimulatedMacIOKit::releaseObject(IOObjectHandle object) {
    return machine_.releaseObject(session_, object);
}

std::optional<SimRegistryValue> SimulatedMacIOKit::property(RegistryEntry entry,
                                                            std::string_view name) const {
    return entry == RegistryEntry::deviceTreeRoot ? machine_.deviceTreeProperty(name)
                                                  : machine_.platformExpertProperty(name);
}

std::optional<std::vector<std::uint8_t>>
SimulatedMacIOKit::registryProperty(RegistryEntry entry, std::string_view name) {
    auto value = property(entry, name);
    if (!value || !std::holds_alternative<std::vector<std::uint8_t>>(*value)) {
        return std::nullopt;
    }
    return std::get<std::vector<std::uint8_t>>(*value);
}

std::optional<std::string> SimulatedMacIOKit::registryStringProperty(RegistryEntry entry,
                                                                     std::string_view name) {
    auto value = property(entry, name);
    if (!value || !std::holds_alternative<std::string>(*value)) {
        return std::nullopt;
    }
    return std::get<std::string>(*value);
}

std::optional<std::vector<HIDServiceHandle>>
SimulatedMacHIDEventSystem::copyServices(std::int64_t usagePage, std::int64_t usage) {
    std::vector<HIDServiceHandle> services;
    if (usagePage < 0 || usagePage > UINT32_MAX || usage < 0 || usage > UINT32_MAX) {
        return services;
    }
    for (const std::uint32_t id : machine_.hidServices(static_cast<std::uint32_t>(usagePage),
                                                       static_cast<std::uint32_t>(usage))) {
        services.push_back(id);
    }
    return services;
}

std::optional<std::string> SimulatedMacHIDEventSystem::copyStringProperty(HIDServiceHandle service,
                                                                          std::string_view key) {
    if (key != "Product" || service > UINT32_MAX) {
        return std::nullopt;
    }
    return machine_.hidProduct(static_cast<std::uint32_t>(service));
}

std::optional<double> SimulatedMacHIDEventSystem::copyEventFloatValue(HIDServiceHandle service,
                                                                      std::int64_t eventType,
                                                                      std::int64_t field) {
    if (eventType != 15 || field != 0xF0000 || service > UINT32_MAX) {
        return std::nullopt;
    }
    return machine_.hidTemperature(static_cast<std::uint32_t>(service));
}

} // namespace aerivo::testing
