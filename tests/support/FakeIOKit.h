#pragma once

#include "platform/services/IOKitPort.h"
#include "shared/SMCKeyData.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace aerivo::testing {

// One SMC key of the fake's table and how each command on it answers. The information command
// reports `reportedSize` when set (so a test can claim 40 bytes), else the byte count.
struct FakeSMCKey {
    std::string dataType;
    std::vector<std::uint8_t> bytes;
    std::optional<std::uint32_t> reportedSize;
    KernReturn infoKernel = kIOReturnSuccess;
    std::uint8_t infoResult = 0;
    KernReturn readKernel = kIOReturnSuccess;
    std::uint8_t readResult = 0;
    KernReturn writeKernel = kIOReturnSuccess;
    std::uint8_t writeResult = 0;
};

enum class FakeIOKitCallKind {
    matchingService,
    matchingServices,
    stringProperty,
    openService,
    callStructMethod,
    closeService,
    releaseObject,
    registryProperty,
    registryStringProperty,
};

// One logged call: the handle it was about (service, connection or object), the class or
// property name, the user-client type or selector, and for struct-method calls the input record.
struct FakeIOKitCall {
    FakeIOKitCallKind kind{};
    std::uint32_t handle = 0;
    std::string name;
    std::uint32_t number = 0;
    std::optional<SMCKeyData> input;
    KernReturn result = kIOReturnSuccess;
};

// A scripted IOKit: services of named classes that open or fail per user-client type, an SMC key
// table answering the four commands with chosen kernel codes and SMC result bytes, registry
// properties, and a log of every call. Keys missing from the table answer SMC result 132, as the
// SMC does for an unknown key. Writes that succeed change the table.
class FakeIOKit final : public IOKitPort {
public:
    static constexpr std::uint8_t unknownKeyResult = 132;

    // A service of the given class whose IOClass property is the class name, or the given
    // value (nullopt: no such property).
    IOObjectHandle addService(const std::string& className);
    IOObjectHandle addService(const std::string& className, std::optional<std::string> ioClass);
    // Opening the service with this user-client type answers the code (default: success).
    void setOpenResult(IOObjectHandle service, std::uint32_t type, KernReturn code);
    // Opening with any type not set explicitly answers this code.
    void setDefaultOpenResult(IOObjectHandle service, KernReturn code);
    // matchingServices of the class fails with this code.
    void failMatching(const std::string& className, KernReturn code);

    // The key's entry, made empty (unknown type, no bytes) on first use.
    FakeSMCKey& key(const std::string& name);
    void setKey(const std::string& name, std::string dataType, std::vector<std::uint8_t> bytes);
    void removeKey(const std::string& name);
    // The codes readKeyAtIndex answers, by index; defaults to the table's keys in the order
    // they were added.
    void setIndexedKeyCodes(std::vector<std::uint32_t> codes);

    void setRegistryProperty(RegistryEntry entry, const std::string& name,
                             std::vector<std::uint8_t> bytes);
    void setRegistryStringProperty(RegistryEntry entry, const std::string& name, std::string text);

    const std::vector<FakeIOKitCall>& calls() const { return calls_; }
    std::vector<FakeIOKitCall> calls(FakeIOKitCallKind kind) const;
    // Input records of every struct-method call carrying the given SMC command.
    std::vector<SMCKeyData> smcInputs(SMCCommand command) const;
    std::size_t openConnectionCount() const { return openConnections_.size(); }
    bool isReleased(IOObjectHandle object) const { return released_.contains(object); }
    // Services handed out by a match and not released yet.
    std::size_t unreleasedServiceCount() const;

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
    struct Service {
        IOObjectHandle handle = 0;
        std::string className;
        std::optional<std::string> ioClass;
        std::map<std::uint32_t, KernReturn> openResults;
        KernReturn defaultOpenResult = kIOReturnSuccess;
    };

    const Service* service(IOObjectHandle handle) const;
    std::string serviceClassName(IOObjectHandle handle) const;
    SMCKeyData answer(const SMCKeyData& input);
    void log(FakeIOKitCall call) { calls_.push_back(std::move(call)); }

    std::vector<Service> services_;
    std::map<std::string, KernReturn> failingMatches_;
    std::map<std::string, FakeSMCKey> keys_;
    std::vector<std::string> keyOrder_;
    std::optional<std::vector<std::uint32_t>> indexedCodes_;
    std::map<std::pair<RegistryEntry, std::string>, std::vector<std::uint8_t>> registryData_;
    std::map<std::pair<RegistryEntry, std::string>, std::string> registryStrings_;
    std::vector<FakeIOKitCall> calls_;
    std::set<IOConnectHandle> openConnections_;
    std::multiset<IOObjectHandle> handedOut_;
    std::set<IOObjectHandle> released_;
    IOObjectHandle nextObject_ = 0x100;
    IOConnectHandle nextConnection_ = 0x1000;
};

} // namespace aerivo::testing
