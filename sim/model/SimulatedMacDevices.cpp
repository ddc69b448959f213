#include "sim/model/SimulatedMac.h"

#include "shared/SMCKeyCodec.h"
#include "sim/model/SimNoise.h"
#include "sim/model/SimSMCResult.h"

#include <algorithm>
#include <cmath>

namespace aerivo {

namespace {

std::vector<std::uint8_t> dataWithTerminator(const std::string& text) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

constexpr const char* smcClassNames[] = {"AppleSMCKeysEndpoint", "AppleSMC",
                                         "AppleSMCSensorDispatcher"};

} // namespace

// MARK: registry and HID

void SimulatedMac::buildRegistry() {
    SimRegistryEntry platform;
    platform.className = "IOPlatformExpertDevice";
    platform.properties["IOClass"] = std::string("IOPlatformExpertDevice");
    platform.properties["model"] = dataWithTerminator(preset_.identifier);
    platform.properties["product-name"] = dataWithTerminator(preset_.productName);
    platform.properties["IOPlatformSerialNumber"] =
        std::string("SIM") + std::to_string(seed_ % 100000);
    registry_.push_back(std::move(platform));
    for (const char* name : smcClassNames) {
        SimRegistryEntry entry;
        entry.className = name;
        entry.properties["IOClass"] = std::string(name);
        registry_.push_back(std::move(entry));
    }
}

void SimulatedMac::buildSensors() {
    // Per-sensor offsets are fixed for the seed, as a given chip's sensors are.
    std::mt19937_64 offsets(mix(seed_ ^ 0x5E2503ULL));
    auto draw = [&offsets](double low, double high) {
        return low + (high - low) * unitInterval(offsets());
    };
    std::vector<SimHIDSensor> list;
    for (int i = 1; i <= preset_.processorDieSensors; ++i) {
        list.push_back({0xFF00, 5, "PMU tdie" + std::to_string(i), true, 1.0, draw(-1.5, 0.8), {}});
    }
    for (int i = 1; i <= preset_.processorDeviceSensors; ++i) {
        list.push_back({0xFF00, 5, "PMU tdev" + std::to_string(i), true, 1.0, draw(-6, -2), {}});
    }
    list.push_back({0xFF00, 5, "PMU tcal", true, 0, 0, 51.8});
    list.push_back({0xFF00, 5, "NAND CH0 temp", true, 0.45, 0, {}});
    list.push_back({0xFF00, 5, "gas gauge battery", true, 0.2, 5, {}});
    // The oddities a reader has to survive.
    list.push_back({0xFF00, 5, std::nullopt, true, 0.6, 0, {}});
    list.push_back({0xFF00, 5, "PMU tdie0", false, 1.0, 0, {}});
    list.push_back({0xFF00, 5, "PMU tdev0", true, 0, 0, 204.8});
    // Services of other usages, which matching must leave out.
    list.push_back({0xFF08, 3, "PMU vbus", true, 0, 0, 5.0});
    list.push_back({0xFF00, 7, "PMU iin", true, 0, 0, 1.2});
    // The event system lists services in no useful order: interleave the two halves.
    const std::size_t half = (list.size() + 1) / 2;
    for (std::size_t i = 0; i < half; ++i) {
        sensors_.push_back(list[half - 1 - i]);
        if (half + i < list.size()) {
            sensors_.push_back(list[half + i]);
        }
    }
}

std::optional<SimRegistryValue> SimulatedMac::deviceTreeProperty(std::string_view name) const {
    const auto it = registry_.front().properties.find(std::string(name));
    if (it == registry_.front().properties.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::optional<SimRegistryValue> SimulatedMac::platformExpertProperty(std::string_view name) const {
    return deviceTreeProperty(name);
}

std::vector<std::uint32_t> SimulatedMac::hidServices(std::uint32_t usagePage,
                                                     std::uint32_t usage) const {
    std::vector<std::uint32_t> ids;
    for (std::size_t i = 0; i < sensors_.size(); ++i) {
        if (sensors_[i].usagePage == usagePage && sensors_[i].usage == usage) {
            ids.push_back(static_cast<std::uint32_t>(i + 1));
        }
    }
    return ids;
}

std::optional<std::string> SimulatedMac::hidProduct(std::uint32_t service) const {
    if (service == 0 || service > sensors_.size()) {
        return std::nullopt;
    }
    return sensors_[service - 1].product;
}

std::optional<double> SimulatedMac::hidTemperature(std::uint32_t service) const {
    if (service == 0 || service > sensors_.size()) {
        return std::nullopt;
    }
    const SimHIDSensor& sensor = sensors_[service - 1];
    if (!sensor.hasEvent) {
        return std::nullopt;
    }
    if (sensor.fixedC) {
        return *sensor.fixedC;
    }
    const double jitter =
        0.3 * unitInterval(mix(seed_ ^ (std::uint64_t{service} << 40) ^ steps_)) - 0.15;
    return ambientC + sensor.coupling * (dieC_ - ambientC) + sensor.offsetC + jitter;
}

// MARK: sessions and IOKit

SimSessionId SimulatedMac::openSession(std::string name, bool privileged) {
    const SimSessionId id = nextSession_++;
    sessions_[id] = SimClientSession{std::move(name), privileged, {}, {}};
    return id;
}

void SimulatedMac::closeSession(SimSessionId session) {
    sessions_.erase(session);
}

SimClientSession* SimulatedMac::session(SimSessionId id) {
    const auto it = sessions_.find(id);
    return it == sessions_.end() ? nullptr : &it->second;
}

const SimClientSession* SimulatedMac::session(SimSessionId id) const {
    const auto it = sessions_.find(id);
    return it == sessions_.end() ? nullptr : &it->second;
}

std::size_t SimulatedMac::heldObjectCount(SimSessionId id) const {
    const SimClientSession* client = session(id);
    return client == nullptr ? 0 : client->objects.size();
}

std::size_t SimulatedMac::openConnectionCount(SimSessionId id) const {
    const SimClientSession* client = session(id);
    return client == nullptr ? 0 : client->connections.size();
}

std::uint32_t SimulatedMac::matchingService(SimSessionId id, std::string_view className) {
    SimServiceMatches matches = matchingServices(id, className);
    if (matches.services.empty()) {
        return 0;
    }
    // Only the first reference is handed out; drop the others.
    for (std::size_t i = 1; i < matches.services.size(); ++i) {
        releaseObject(id, matches.services[i]);
    }
    return matches.services.front();
}

SimServiceMatches SimulatedMac::matchingServices(SimSessionId id, std::string_view className) {
    SimClientSession* client = session(id);
    if (client == nullptr) {
        return {kIOReturnBadArgument, {}};
    }
    SimServiceMatches matches;
    for (std::size_t i = 0; i < registry_.size(); ++i) {
        if (registry_[i].className == className) {
            const std::uint32_t handle = nextHandle_++;
            client->objects[handle] = i;
            matches.services.push_back(handle);
        }
    }
    return matches;
}

std::optional<std::string> SimulatedMac::stringProperty(SimSessionId id, std::uint32_t object,
                                                        std::string_view name) const {
    const SimClientSession* client = session(id);
    if (client == nullptr) {
        return std::nullopt;
    }
    const auto held = client->objects.find(object);
    if (held == client->objects.end()) {
        return std::nullopt;
    }
    const auto& properties = registry_[held->second].properties;
    const auto it = properties.find(std::string(name));
    if (it == properties.end() || !std::holds_alternative<std::string>(it->second)) {
        return std::nullopt;
    }
    return std::get<std::string>(it->second);
}

KernReturn SimulatedMac::openResult(const SimRegistryEntry& entry, std::uint32_t type) const {
    const auto closed = faults_.closedClasses.find(entry.className);
    if (closed != faults_.closedClasses.end()) {
        return closed->second;
    }
    if (entry.className == "AppleSMCKeysEndpoint") {
        if (type == 0) {
            return preset_.endpointOpens ? kIOReturnSuccess : kIOReturnNotPermitted;
        }
        return kIOReturnBadArgument;
    }
    if (entry.className == "AppleSMC") {
        if (type == 0) {
            return kIOReturnSuccess;
        }
        return type == 1 ? kIOReturnNotPrivileged : kIOReturnBadArgument;
    }
    if (entry.className == "AppleSMCSensorDispatcher") {
        return type <= 1 ? kIOReturnUnsupported : kIOReturnBadArgument;
    }
    return kIOReturnUnsupported;
}

SimOpenResult SimulatedMac::openService(SimSessionId id, std::uint32_t service,
                                        std::uint32_t type) {
    SimClientSession* client = session(id);
    if (client == nullptr) {
        return {kIOReturnBadArgument, 0};
    }
    const auto held = client->objects.find(service);
    if (held == client->objects.end()) {
        return {kIOReturnBadArgument, 0};
    }
    const KernReturn result = openResult(registry_[held->second], type);
    if (result != kIOReturnSuccess) {
        return {result, 0};
    }
    const std::uint32_t connection = nextHandle_++;
    client->connections[connection] = held->second;
    return {kIOReturnSuccess, connection};
}

KernReturn SimulatedMac::callStructMethod(SimSessionId id, std::uint32_t connection,
                                          std::uint32_t selector, const SMCKeyData& input,
                                          SMCKeyData& output) {
    SimClientSession* client = session(id);
    if (client == nullptr || !client->connections.contains(connection)) {
        return kIOReturnBadArgument;
    }
    if (selector != smcStructMethodSelector) {
        return kIOReturnUnsupported;
    }
    const bool isWrite = input.data8 == commandCode(SMCCommand::writeBytes);
    const bool isRead = input.data8 == commandCode(SMCCommand::readKeyInfo) ||
                        input.data8 == commandCode(SMCCommand::readBytes);
    if (isWrite && !client->privileged) {
        return kIOReturnNotPrivileged;
    }
    if (isWrite || isRead) {
        const auto& failures = isWrite ? faults_.writeFailures : faults_.readFailures;
        const auto failure = failures.find(fourCharacterString(input.key));
        if (failure != failures.end()) {
            if (failure->second.kernelResult != kIOReturnSuccess) {
                return failure->second.kernelResult;
            }
            output = SMCKeyData{};
            output.key = input.key;
            output.data8 = input.data8;
            output.result = failure->second.smcResult;
            return kIOReturnSuccess;
        }
    }
    caller_ = client;
    output = keys_.execute(input);
    caller_ = nullptr;
    return kIOReturnSuccess;
}

KernReturn SimulatedMac::closeService(SimSessionId id, std::uint32_t connection) {
    SimClientSession* client = session(id);
    if (client == nullptr || client->connections.erase(connection) == 0) {
        return kIOReturnBadArgument;
    }
    return kIOReturnSuccess;
}

KernReturn SimulatedMac::releaseObject(SimSessionId id, std::uint32_t object) {
    SimClientSession* client = session(id);
    if (client == nullptr || client->objects.erase(object) == 0) {
        return kIOReturnBadArgument;
    }
    return kIOReturnSuccess;
}

} // namespace aerivo
