#include "tests/support/SimulatedMacIOKit.h"

#include <variant>

namespace aerivo::testing {

SimulatedMacIOKit::SimulatedMacIOKit(SimulatedMac& machine, std::string name, bool privileged)
    : machine_(machine), session_(machine.openSession(std::move(name), privileged)) {}

SimulatedMacIOKit::~SimulatedMacIOKit() {
    machine_.closeSession(session_);
}

IOObjectHandle SimulatedMacIOKit::matchingService(std::string_view className) {
    return machine_.matchingService(session_, className);
}

IOServiceMatches SimulatedMacIOKit::matchingServices(std::string_view className) {
    const SimServiceMatches matches = machine_.matchingServices(session_, className);
    return {matches.result, matches.services};
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
    SMCKeyData answer = SMCKeyData::fromImage(output);
    const KernReturn result = machine_.callStructMethod(session_, connection, selector,
                                                        SMCKeyData::fromImage(input), answer);
    output = answer.image();
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
    const std::optional<SimRegistryValue> value = property(entry, name);
    if (value && std::holds_alternative<std::vector<std::uint8_t>>(*value)) {
        return std::get<std::vector<std::uint8_t>>(*value);
    }
    return std::nullopt;
}

std::optional<std::string> SimulatedMacIOKit::registryStringProperty(RegistryEntry entry,
                                                                     std::string_view name) {
    const std::optional<SimRegistryValue> value = property(entry, name);
    if (value && std::holds_alternative<std::string>(*value)) {
        return std::get<std::string>(*value);
    }
    return std::nullopt;
}

} // namespace aerivo::testing
