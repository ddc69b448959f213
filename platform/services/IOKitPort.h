#pragma once

#include "shared/KernelReturn.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// Handles are plain integers, as on the Mac: io_object_t / io_service_t for registry entries and
// services, io_connect_t for an open user client. 0 always means "none".
using IOObjectHandle = std::uint32_t;
using IOConnectHandle = std::uint32_t;

// The memory image handed to and received from a struct method: always 80 bytes each way for
// SMC traffic (the SMC call record).
inline constexpr std::size_t ioStructMethodRecordSize = 80;
using IOStructMethodRecord = std::array<std::uint8_t, ioStructMethodRecordSize>;

// The two registry entries whose properties the product reads (the machine model).
enum class RegistryEntry {
    deviceTreeRoot, // IORegistryEntryFromPath(kIOMainPortDefault, "IODeviceTree:/")
    platformExpert, // the first IOPlatformExpertDevice service
};

// IOServiceGetMatchingServices: the kernel code and, on success, every matching service in
// registry order. The caller releases each service it receives; the iterator itself is the
// backend's business.
struct IOServiceMatches {
    KernReturn result = kIOReturnSuccess;
    std::vector<IOObjectHandle> services;

    bool operator==(const IOServiceMatches&) const = default;
};

// IOServiceOpen: the kernel code and, when it is kIOReturnSuccess, the open connection.
struct IOServiceOpenResult {
    KernReturn result = kIOReturnSuccess;
    IOConnectHandle connection = 0;

    bool operator==(const IOServiceOpenResult&) const = default;
};

// The door to IOKit services, user clients and the I/O registry. Backends: the simulated Mac
// over its device socket, a scripted fake for tests. Calls never throw: every failure is a
// kernel code or an absent value. A backend is used from one thread at a time per instance.
class IOKitPort {
public:
    IOKitPort() = default;
    IOKitPort(const IOKitPort&) = delete;
    IOKitPort& operator=(const IOKitPort&) = delete;
    virtual ~IOKitPort() = default;

    // IOServiceGetMatchingService(IOServiceMatching(className)): the first match, 0 for none.
    virtual IOObjectHandle matchingService(std::string_view className) = 0;
    // IOServiceGetMatchingServices(IOServiceMatching(className)).
    virtual IOServiceMatches matchingServices(std::string_view className) = 0;
    // IORegistryEntryCreateCFProperty(entry, name) when the property is a string ("IOClass").
    virtual std::optional<std::string> stringProperty(IOObjectHandle entry,
                                                      std::string_view name) = 0;

    // IOServiceOpen(service, mach_task_self(), type, &connection): a user client of the given
    // type, owned by this process.
    virtual IOServiceOpenResult openService(IOObjectHandle service, std::uint32_t type) = 0;
    // IOConnectCallStructMethod(connection, selector, &input, 80, &output, &80). The output is
    // the driver's answer; it is left as the backend found it when the call fails.
    virtual KernReturn callStructMethod(IOConnectHandle connection, std::uint32_t selector,
                                        const IOStructMethodRecord& input,
                                        IOStructMethodRecord& output) = 0;
    // IOServiceClose.
    virtual KernReturn closeService(IOConnectHandle connection) = 0;
    // IOObjectRelease of a service (or any other object handle this port gave out).
    virtual KernReturn releaseObject(IOObjectHandle object) = 0;

    // IORegistryEntryCreateCFProperty on one of the two fixed entries: the property's bytes when
    // it is data (CFData, e.g. "model", NUL included as stored), or its text when it is a string.
    // Absent when the entry or the property is missing or of the other kind.
    virtual std::optional<std::vector<std::uint8_t>> registryProperty(RegistryEntry entry,
                                                                      std::string_view name) = 0;
    virtual std::optional<std::string> registryStringProperty(RegistryEntry entry,
                                                              std::string_view name) = 0;
};

} // namespace aerivo
