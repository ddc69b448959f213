#include "tests/support/SMCWriteFaults.h"

#include "shared/SMCKeyCodec.h"
#include "shared/SMCKeyData.h"

#include <optional>

namespace aerivo::testing {

void SMCWriteFaults::script(const std::string& key, std::deque<SMCWriteOutcome> outcomes) {
    scripted_[key] = std::move(outcomes);
}

void SMCWriteFaults::failAlways(const std::string& key, SMCWriteOutcome outcome) {
    always_[key] = outcome;
}

IOObjectHandle SMCWriteFaults::matchingService(std::string_view className) {
    return backend_.matchingService(className);
}

IOServiceMatches SMCWriteFaults::matchingServices(std::string_view className) {
    return backend_.matchingServices(className);
}

std::optional<std::string> SMCWriteFaults::stringProperty(IOObjectHandle entry,
                                                          std::string_view name) {
    return backend_.stringProperty(entry, name);
}

IOServiceOpenResult SMCWriteFaults::openService(IOObjectHandle service, std::uint32_t type) {
    return backend_.openService(service, type);
}

KernReturn SMCWriteFaults::callStructMethod(IOConnectHandle connection, std::uint32_t selector,
                                            const IOStructMethodRecord& input,
                                            IOStructMethodRecord& output) {
    const SMCKeyData record = SMCKeyData::fromImage(input);
    if (record.data8 == commandCode(SMCCommand::writeBytes)) {
        const std::string key = fourCharacterString(record.key);
        std::optional<SMCWriteOutcome> outcome;
        if (const auto always = always_.find(key); always != always_.end()) {
            outcome = always->second;
        } else if (auto queued = scripted_.find(key);
                   queued != scripted_.end() && !queued->second.empty()) {
            outcome = queued->second.front();
            queued->second.pop_front();
        }
        if (outcome && (outcome->kernelResult != kIOReturnSuccess || outcome->smcResult != 0)) {
            ++failedWrites_;
            if (outcome->kernelResult == kIOReturnSuccess) {
                SMCKeyData reply;
                reply.key = record.key;
                reply.result = outcome->smcResult;
                output = reply.image();
            }
            if (afterFailedWrite_) {
                afterFailedWrite_(key);
            }
            return outcome->kernelResult;
        }
        ++passedWrites_;
        const KernReturn result = backend_.callStructMethod(connection, selector, input, output);
        if (afterWrite_) {
            afterWrite_(key);
        }
        return result;
    }
    return backend_.callStructMethod(connection, selector, input, output);
}

KernReturn SMCWriteFaults::closeService(IOConnectHandle connection) {
    return backend_.closeService(connection);
}

KernReturn SMCWriteFaults::releaseObject(IOObjectHandle object) {
    return backend_.releaseObject(object);
}

std::optional<std::vector<std::uint8_t>> SMCWriteFaults::registryProperty(RegistryEntry entry,
                                                                          std::string_view name) {
    return backend_.registryProperty(entry, name);
}

std::optional<std::string> SMCWriteFaults::registryStringProperty(RegistryEntry entry,
                                                                  std::string_view name) {
    return backend_.registryStringProperty(entry, name);
}

} // namespace aerivo::testing
