#include "tests/support/FakeIOKit.h"

#include "shared/SMCKeyCodec.h"

#include <algorithm>

namespace aerivo::testing {

IOObjectHandle FakeIOKit::addService(const std::string& className) {
    return addService(className, className);
}

IOObjectHandle FakeIOKit::addService(const std::string& className,
                                     std::optional<std::string> ioClass) {
    Service added;
    added.handle = nextObject_++;
    added.className = className;
    added.ioClass = std::move(ioClass);
    services_.push_back(std::move(added));
    return services_.back().handle;
}

void FakeIOKit::setOpenResult(IOObjectHandle handle, std::uint32_t type, KernReturn code) {
    for (Service& s : services_) {
        if (s.handle == handle) {
            s.openResults[type] = code;
        }
    }
}

void FakeIOKit::setDefaultOpenResult(IOObjectHandle handle, KernReturn code) {
    for (Service& s : services_) {
        if (s.handle == handle) {
            s.defaultOpenResult = code;
        }
    }
}

void FakeIOKit::failMatching(const std::string& className, KernReturn code) {
    failingMatches_[className] = code;
}

FakeSMCKey& FakeIOKit::key(const std::string& name) {
    auto [it, inserted] = keys_.try_emplace(name);
    if (inserted) {
        keyOrder_.push_back(name);
    }
    return it->second;
}

void FakeIOKit::setKey(const std::string& name, std::string dataType,
                       std::vector<std::uint8_t> bytes) {
    FakeSMCKey& entry = key(name);
    entry.dataType = std::move(dataType);
    entry.bytes = std::move(bytes);
}

void FakeIOKit::removeKey(const std::string& name) {
    keys_.erase(name);
    std::erase(keyOrder_, name);
}

void FakeIOKit::setIndexedKeyCodes(std::vector<std::uint32_t> codes) {
    indexedCodes_ = std::move(codes);
}

void FakeIOKit::setRegistryProperty(RegistryEntry entry, const std::string& name,
                                    std::vector<std::uint8_t> bytes) {
    registryData_[{entry, name}] = std::move(bytes);
}

void FakeIOKit::setRegistryStringProperty(RegistryEntry entry, const std::string& name,
                                          std::string text) {
    registryStrings_[{entry, name}] = std::move(text);
}

std::vector<FakeIOKitCall> FakeIOKit::calls(FakeIOKitCallKind kind) const {
    std::vector<FakeIOKitCall> matching;
    std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(matching),
                 [kind](const FakeIOKitCall& c) { return c.kind == kind; });
    return matching;
}

std::vector<SMCKeyData> FakeIOKit::smcInputs(SMCCommand command) const {
    std::vector<SMCKeyData> inputs;
    for (const FakeIOKitCall& c : calls_) {
        if (c.input && c.input->data8 == commandCode(command)) {
            inputs.push_back(*c.input);
        }
    }
    return inputs;
}

std::size_t FakeIOKit::unreleasedServiceCount() const {
    return handedOut_.size();
}

const FakeIOKit::Service* FakeIOKit::service(IOObjectHandle handle) const {
    const auto it = std::find_if(services_.begin(), services_.end(),
                                 [handle](const Service& s) { return s.handle == handle; });
    return it == services_.end() ? nullptr : &*it;
}

std::string FakeIOKit::serviceClassName(IOObjectHandle handle) const {
    const Service* s = service(handle);
    return s == nullptr ? std::string() : s->className;
}

IOObjectHandle FakeIOKit::matchingService(std::string_view className) {
    IOObjectHandle found = 0;
    for (const Service& s : services_) {
        if (s.className == className) {
            found = s.handle;
            handedOut_.insert(found);
            break;
        }
    }
    log({FakeIOKitCallKind::matchingService, found, std::string(className), 0, std::nullopt,
         found == 0 ? kIOReturnNotFound : kIOReturnSuccess});
    return found;
}

IOServiceMatches FakeIOKit::matchingServices(std::string_view className) {
    IOServiceMatches matches;
    if (const auto failing = failingMatches_.find(std::string(className));
        failing != failingMatches_.end()) {
        matches.result = failing->second;
    } else {
        for (const Service& s : services_) {
            if (s.className == className) {
                matches.services.push_back(s.handle);
                handedOut_.insert(s.handle);
            }
        }
    }
    log({FakeIOKitCallKind::matchingServices, 0, std::string(className), 0, std::nullopt,
         matches.result});
    return matches;
}

std::optional<std::string> FakeIOKit::stringProperty(IOObjectHandle entry, std::string_view name) {
    log({FakeIOKitCallKind::stringProperty, entry, std::string(name), 0, std::nullopt,
         kIOReturnSuccess});
    const Service* s = service(entry);
    if (s == nullptr || name != "IOClass") {
        return std::nullopt;
    }
    return s->ioClass;
}

IOServiceOpenResult FakeIOKit::openService(IOObjectHandle handle, std::uint32_t type) {
    IOServiceOpenResult opened{kIOReturnBadArgument, 0};
    if (const Service* s = service(handle)) {
        const auto it = s->openResults.find(type);
        opened.result = it == s->openResults.end() ? s->defaultOpenResult : it->second;
        if (opened.result == kIOReturnSuccess) {
            opened.connection = nextConnection_++;
            openConnections_.insert(opened.connection);
        }
    }
    log({FakeIOKitCallKind::openService, handle, serviceClassName(handle), type, std::nullopt,
         opened.result});
    return opened;
}

KernReturn FakeIOKit::callStructMethod(IOConnectHandle connection, std::uint32_t selector,
                                       const IOStructMethodRecord& input,
                                       IOStructMethodRecord& output) {
    const SMCKeyData record = SMCKeyData::fromImage(input);
    KernReturn result = kIOReturnSuccess;
    if (!openConnections_.contains(connection)) {
        result = kIOReturnNotOpen;
    } else if (selector != smcStructMethodSelector) {
        result = kIOReturnBadArgument;
    }
    SMCKeyData reply;
    if (result == kIOReturnSuccess) {
        const auto known = keys_.find(fourCharacterString(record.key));
        if (known != keys_.end()) {
            const FakeSMCKey& k = known->second;
            if (record.data8 == commandCode(SMCCommand::readKeyInfo)) {
                result = k.infoKernel;
            } else if (record.data8 == commandCode(SMCCommand::readBytes)) {
                result = k.readKernel;
            } else if (record.data8 == commandCode(SMCCommand::writeBytes)) {
                result = k.writeKernel;
            }
        }
        if (result == kIOReturnSuccess) {
            reply = answer(record);
            output = reply.image();
        }
    }
    log({FakeIOKitCallKind::callStructMethod, connection, {}, selector, record, result});
    return result;
}

SMCKeyData FakeIOKit::answer(const SMCKeyData& input) {
    SMCKeyData reply;
    reply.key = input.key;
    reply.data8 = input.data8;
    if (input.data8 == commandCode(SMCCommand::readKeyAtIndex)) {
        std::vector<std::uint32_t> codes;
        if (indexedCodes_) {
            codes = *indexedCodes_;
        } else {
            for (const std::string& name : keyOrder_) {
                codes.push_back(smcKeyCode(name));
            }
        }
        if (input.data32 < codes.size()) {
            reply.key = codes[input.data32];
        } else {
            reply.key = 0;
            reply.result = unknownKeyResult;
        }
        return reply;
    }
    const auto known = keys_.find(fourCharacterString(input.key));
    if (known == keys_.end()) {
        reply.result = unknownKeyResult;
        return reply;
    }
    FakeSMCKey& k = known->second;
    if (input.data8 == commandCode(SMCCommand::readKeyInfo)) {
        reply.result = k.infoResult;
        reply.keyInfo.dataSize =
            k.reportedSize.value_or(static_cast<std::uint32_t>(k.bytes.size()));
        reply.keyInfo.dataType = smcKeyCode(k.dataType);
    } else if (input.data8 == commandCode(SMCCommand::readBytes)) {
        reply.result = k.readResult;
        std::copy_n(k.bytes.begin(), std::min(k.bytes.size(), reply.bytes.size()),
                    reply.bytes.begin());
    } else if (input.data8 == commandCode(SMCCommand::writeBytes)) {
        reply.result = k.writeResult;
        if (reply.result == 0) {
            const std::size_t count =
                std::min<std::size_t>(input.keyInfo.dataSize, input.bytes.size());
            k.bytes.assign(input.bytes.begin(),
                           input.bytes.begin() + static_cast<std::ptrdiff_t>(count));
        }
    } else {
        reply.result = unknownKeyResult;
    }
    return reply;
}

KernReturn FakeIOKit::closeService(IOConnectHandle connection) {
    const KernReturn result =
        openConnections_.erase(connection) == 1 ? kIOReturnSuccess : kIOReturnBadArgument;
    log({FakeIOKitCallKind::closeService, connection, {}, 0, std::nullopt, result});
    return result;
}

KernReturn FakeIOKit::releaseObject(IOObjectHandle object) {
    KernReturn result = kIOReturnBadArgument;
    if (const auto it = handedOut_.find(object); it != handedOut_.end()) {
        handedOut_.erase(it);
        released_.insert(object);
        result = kIOReturnSuccess;
    }
    log({FakeIOKitCallKind::releaseObject, object, {}, 0, std::nullopt, result});
    return result;
}

std::optional<std::vector<std::uint8_t>> FakeIOKit::registryProperty(RegistryEntry entry,
                                                                     std::string_view name) {
    log({FakeIOKitCallKind::registryProperty, 0, std::string(name), 0, std::nullopt,
         kIOReturnSuccess});
    const auto it = registryData_.find({entry, std::string(name)});
    if (it == registryData_.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::optional<std::string> FakeIOKit::registryStringProperty(RegistryEntry entry,
                                                             std::string_view name) {
    log({FakeIOKitCallKind::registryStringProperty, 0, std::string(name), 0, std::nullopt,
         kIOReturnSuccess});
    const auto it = registryStrings_.find({entry, std::string(name)});
    if (it == registryStrings_.end()) {
        return std::nullopt;
    }
    return it->second;
}

} // namespace aerivo::testing
