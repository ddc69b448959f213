#pragma once

#include "platform/services/IOKitPort.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace aerivo::testing {

// One scripted answer to an SMC write: the kernel code of the call, and the SMC result byte when
// the kernel accepted it. A zero pair lets the write through to the machine behind.
struct SMCWriteOutcome {
    KernReturn kernelResult = kIOReturnSuccess;
    std::uint8_t smcResult = 0;
};

// Sits in front of any IOKit backend (the scripted fake or the simulated Mac) and answers the
// byte writes of chosen keys with scripted outcomes, one per write in turn, so a test can fail
// "the first target write" while the restore that follows reaches the machine. A failed write
// never reaches the backend. Everything else passes through unchanged.
class SMCWriteFaults final : public IOKitPort {
public:
    explicit SMCWriteFaults(IOKitPort& backend) : backend_(backend) {}

    // The next writes of the key answer these outcomes in order; later writes pass through.
    void script(const std::string& key, std::deque<SMCWriteOutcome> outcomes);
    // Every write of the key fails with this outcome from now on.
    void failAlways(const std::string& key, SMCWriteOutcome outcome);

    // Called with the key after every write that reached the backend (and its answer came back),
    // so a test can change the machine at that moment.
    void afterWrite(std::function<void(const std::string& key)> hook) {
        afterWrite_ = std::move(hook);
    }

    // Called with the key after every write answered by a scripted failure.
    void afterFailedWrite(std::function<void(const std::string& key)> hook) {
        afterFailedWrite_ = std::move(hook);
    }

    // Writes that reached the backend, and writes answered by a scripted failure.
    int passedWrites() const { return passedWrites_; }
    int failedWrites() const { return failedWrites_; }

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
    IOKitPort& backend_;
    std::map<std::string, std::deque<SMCWriteOutcome>> scripted_;
    std::map<std::string, SMCWriteOutcome> always_;
    std::function<void(const std::string&)> afterWrite_;
    std::function<void(const std::string&)> afterFailedWrite_;
    int passedWrites_ = 0;
    int failedWrites_ = 0;
};

} // namespace aerivo::testing
