#include "sim/model/SimulatedMac.h"

#include "shared/SMCKeyCodec.h"
#include "sim/model/SimSMCResult.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>

namespace aerivo {

namespace {

std::vector<std::uint8_t> floatBytes(double value) {
    const auto bits = std::bit_cast<std::uint32_t>(static_cast<float>(value));
    return {static_cast<std::uint8_t>(bits & 0xFF), static_cast<std::uint8_t>((bits >> 8) & 0xFF),
            static_cast<std::uint8_t>((bits >> 16) & 0xFF),
            static_cast<std::uint8_t>((bits >> 24) & 0xFF)};
}

std::vector<std::uint8_t> be16(std::uint16_t value) {
    return {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value & 0xFF)};
}

std::vector<std::uint8_t> be32(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>((value >> 16) & 0xFF),
            static_cast<std::uint8_t>((value >> 8) & 0xFF),
            static_cast<std::uint8_t>(value & 0xFF)};
}

std::vector<std::uint8_t> dataWithTerminator(const std::string& text) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

// A well-mixed 64-bit value of the inputs (splitmix64 finaliser): noise that depends only on
// the seed and the step, so reading a sensor never disturbs the machine.
std::uint64_t mix(std::uint64_t value) {
    value += 0x9E3779B97F4A7C15ULL;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ULL;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBULL;
    return value ^ (value >> 31);
}

double unitInterval(std::uint64_t bits) {
    return static_cast<double>(bits >> 11) * 0x1.0p-53;
}

std::string fixed(double value, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

std::string fanKey(std::size_t fan, const char* suffix) {
    return "F" + std::to_string(fan) + suffix;
}

constexpr const char* smcClassNames[] = {"AppleSMCKeysEndpoint", "AppleSMC",
                                         "AppleSMCSensorDispatcher"};

} // namespace

SimulatedMac::SimulatedMac(SimModelPreset preset, std::uint64_t seed, SimWorkload workload)
    : preset_(std::move(preset)), seed_(seed), random_(seed), workload_(std::move(workload)) {
    for (const SimFanSpec& spec : preset_.fans) {
        SimFanState fan;
        fan.spec = spec;
        fan.target = spec.minimumRPM;
        fan.actual = spec.minimumRPM;
        fans_.push_back(fan);
    }
    // Start at the idle steady state for the fans at their minimum speed.
    dieC_ = ambientC + preset_.idlePowerW / conductanceWPerK();
    powerW_ = workload_.powerAt(0, preset_.idlePowerW, preset_.loadPowerW);
    buildKeyTable();
    buildRegistry();
    buildSensors();
}

// MARK: physics

double SimulatedMac::systemTargetRPM(const SimFanSpec& spec) const {
    const double span = spec.systemCurveHighC - spec.systemCurveLowC;
    const double fraction = span > 0 ? std::clamp((dieC_ - spec.systemCurveLowC) / span, 0.0, 1.0)
                                     : (dieC_ >= spec.systemCurveHighC ? 1.0 : 0.0);
    return spec.minimumRPM + fraction * (spec.maximumRPM - spec.minimumRPM);
}

double SimulatedMac::conductanceWPerK() const {
    double conductance = preset_.passiveConductanceWPerK;
    if (!fans_.empty()) {
        const double perFan = preset_.fanConductanceWPerK / static_cast<double>(fans_.size());
        for (const SimFanState& fan : fans_) {
            if (fan.spec.maximumRPM > 0) {
                conductance += perFan * std::max(0.0, fan.actual) / fan.spec.maximumRPM;
            }
        }
    }
    return conductance;
}

double SimulatedMac::uniformNoise() {
    return 2 * unitInterval(random_()) - 1;
}

void SimulatedMac::advanceTo(double seconds) {
    if (!std::isfinite(seconds)) {
        return;
    }
    // Steps are counted, not summed, so the clock never drifts. A century is far enough.
    seconds = std::min(seconds, 100.0 * 365 * 24 * 3600);
    const auto targetSteps =
        static_cast<std::uint64_t>(std::max(0.0, seconds) / stepSeconds + 1e-9);
    while (steps_ < targetSteps) {
        step();
    }
}

void SimulatedMac::step() {
    ++steps_;
    const double elapsed = static_cast<double>(steps_ - workloadStartStep_) * stepSeconds;
    powerW_ = workload_.powerAt(elapsed, preset_.idlePowerW, preset_.loadPowerW);

    const auto& takeBackTimes = workload_.takeBackTimes();
    while (nextTakeBack_ < takeBackTimes.size() && takeBackTimes[nextTakeBack_] <= elapsed) {
        ++nextTakeBack_;
        takeBack("scripted");
    }

    dieC_ += stepSeconds * (powerW_ - conductanceWPerK() * (dieC_ - ambientC)) /
             preset_.heatCapacityJPerK;
    if (dieC_ > emergencyC) {
        if (!inEmergency_) {
            inEmergency_ = true;
            ++emergencies_;
            takeBack("thermal emergency");
        }
        // While the die is this hot the system keeps every fan under its own control.
        for (SimFanState& fan : fans_) {
            fan.mode = 0;
        }
    } else if (dieC_ < emergencyClearC) {
        inEmergency_ = false;
    }

    const double follow = 1 - std::exp(-stepSeconds / fanLagSeconds);
    for (SimFanState& fan : fans_) {
        double goal = 0;
        if (fan.mode == 0) {
            fan.target = systemTargetRPM(fan.spec);
            goal = fan.target;
        } else {
            goal = std::clamp(fan.target, fan.spec.minimumRPM, fan.spec.maximumRPM);
        }
        fan.actual += (goal - fan.actual) * follow;
        fan.noise = fanNoiseRPM * uniformNoise();
    }
}

void SimulatedMac::setWorkload(SimWorkload workload) {
    workload_ = std::move(workload);
    workloadStartStep_ = steps_;
    nextTakeBack_ = 0;
    powerW_ = workload_.powerAt(0, preset_.idlePowerW, preset_.loadPowerW);
}

void SimulatedMac::takeBack(std::string_view reason) {
    ++takeBacks_;
    lastTakeBack_ = std::string(reason) + " at " + fixed(now(), 2) + "s";
    for (SimFanState& fan : fans_) {
        fan.mode = 0;
    }
}

// MARK: SMC keys

std::vector<std::uint8_t> SimulatedMac::speedBytes(double rpm) const {
    if (preset_.speedEncoding == SimSpeedEncoding::fpe2) {
        const double raw = std::clamp(std::round(rpm * 4), 0.0, 65535.0);
        return be16(static_cast<std::uint16_t>(raw));
    }
    return floatBytes(rpm);
}

std::optional<double> SimulatedMac::speedFromBytes(const std::vector<std::uint8_t>& bytes) const {
    double rpm = 0;
    if (preset_.speedEncoding == SimSpeedEncoding::fpe2) {
        if (bytes.size() != 2) {
            return std::nullopt;
        }
        rpm = ((bytes[0] << 8) | bytes[1]) / 4.0;
    } else {
        if (bytes.size() != 4) {
            return std::nullopt;
        }
        const std::uint32_t bits = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                                   (static_cast<std::uint32_t>(bytes[3]) << 24);
        rpm = std::bit_cast<float>(bits);
    }
    if (!std::isfinite(rpm) || rpm < 0) {
        return std::nullopt;
    }
    return rpm;
}

std::uint8_t SimulatedMac::writeMode(std::size_t fan, const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() != 1 || bytes[0] > 1) {
        return SimSMCResult::badArgument;
    }
    fans_[fan].mode = bytes[0];
    fans_[fan].lastWriter = caller_ != nullptr ? caller_->name : "unknown";
    fans_[fan].lastWriteSeconds = now();
    return SimSMCResult::success;
}

std::uint8_t SimulatedMac::writeTarget(std::size_t fan, const std::vector<std::uint8_t>& bytes) {
    const auto rpm = speedFromBytes(bytes);
    if (!rpm) {
        return SimSMCResult::badArgument;
    }
    fans_[fan].target = *rpm;
    fans_[fan].lastWriter = caller_ != nullptr ? caller_->name : "unknown";
    fans_[fan].lastWriteSeconds = now();
    return SimSMCResult::success;
}

void SimulatedMac::buildKeyTable() {
    const std::string speedType = preset_.speedEncoding == SimSpeedEncoding::fpe2 ? "fpe2" : "flt ";
    const std::uint32_t speedSize = preset_.speedEncoding == SimSpeedEncoding::fpe2 ? 2 : 4;
    auto readOnly = [this](std::string name, std::string type, std::uint32_t size,
                           std::function<std::vector<std::uint8_t>()> read) {
        keys_.add(SimSMCKey{std::move(name), std::move(type), size, std::move(read), {}});
    };
    auto temperature = [&](std::string name, double coupling, double offset) {
        readOnly(std::move(name), "flt ", 4, [this, coupling, offset] {
            return floatBytes(ambientC + coupling * (dieC_ - ambientC) + offset);
        });
    };

    readOnly("#KEY", "ui32", 4, [this] { return be32(static_cast<std::uint32_t>(keys_.size())); });
    readOnly("FNum", "ui8 ", 1,
             [this] { return std::vector<std::uint8_t>{static_cast<std::uint8_t>(fans_.size())}; });
    for (std::size_t i = 0; i < fans_.size(); ++i) {
        readOnly(fanKey(i, "Ac"), speedType, speedSize,
                 [this, i] { return speedBytes(fans_[i].measuredRPM()); });
        keys_.add(SimSMCKey{
            fanKey(i, "Tg"), speedType, speedSize,
            [this, i] { return speedBytes(fans_[i].target); },
            [this, i](const std::vector<std::uint8_t>& bytes) { return writeTarget(i, bytes); }});
        if (preset_.hasRangeKeys) {
            readOnly(fanKey(i, "Mn"), speedType, speedSize,
                     [this, i] { return speedBytes(fans_[i].spec.minimumRPM); });
            readOnly(fanKey(i, "Mx"), speedType, speedSize,
                     [this, i] { return speedBytes(fans_[i].spec.maximumRPM); });
        }
        keys_.add(SimSMCKey{
            fanKey(i, "md"), "ui8 ", 1,
            [this, i] { return std::vector<std::uint8_t>{fans_[i].mode}; },
            [this, i](const std::vector<std::uint8_t>& bytes) { return writeMode(i, bytes); }});
        readOnly(fanKey(i, "Md"), "ui8 ", 1,
                 [this, i] { return std::vector<std::uint8_t>{fans_[i].mode}; });
        readOnly(fanKey(i, "Sf"), speedType, speedSize,
                 [this, i] { return speedBytes(fans_[i].spec.minimumRPM); });
    }
    if (!fans_.empty()) {
        readOnly("FS! ", "ui16", 2, [this] {
            std::uint16_t forced = 0;
            for (std::size_t i = 0; i < fans_.size() && i < 16; ++i) {
                if (fans_[i].mode != 0) {
                    forced = static_cast<std::uint16_t>(forced | (1U << i));
                }
            }
            return be16(forced);
        });
    }

    // Processor cores, GPU, memory and the enclosure.
    const char* cores[] = {"Tp01", "Tp05", "Tp09", "Tp0D", "Tp0H", "Tp0L", "Tp0P", "Tp0T"};
    for (int i = 0; i < 8; ++i) {
        temperature(cores[i], 1.0, -0.8 + 0.2 * i);
    }
    temperature("Tg05", 0.85, 0);
    temperature("Tg0D", 0.82, 0);
    temperature("Tm02", 0.7, 0);
    temperature("TB0T", 0.2, 5);
    temperature("TB1T", 0.2, 4.6);
    temperature("TB2T", 0.2, 4.9);
    temperature("TW0P", 0.4, 0);
    temperature("Ts0P", 0.3, 0);
    temperature("Ts1P", 0.3, 0.4);
    temperature("TH0x", 0.45, 0);
    temperature("TaLP", 0.25, 0);
    temperature("TaRF", 0.25, 0.3);
    temperature("TCHP", 0.3, 2);
    // Power rails.
    readOnly("PSTR", "flt ", 4, [this] { return floatBytes(powerW_ + 3); });
    readOnly("PCPT", "flt ", 4, [this] { return floatBytes(powerW_ * 0.8); });
    readOnly("PGTR", "flt ", 4, [this] { return floatBytes(powerW_ * 0.15); });
    readOnly("PDTR", "flt ", 4, [this] { return floatBytes(powerW_ + 5); });
    readOnly("PPBR", "flt ", 4, [] { return floatBytes(0); });
    readOnly("VD0R", "flt ", 4, [] { return floatBytes(20.1); });
    readOnly("ID0R", "flt ", 4, [this] { return floatBytes((powerW_ + 5) / 20.1); });
    // Battery (on external power, full).
    readOnly("B0AC", "si16", 2, [] { return be16(0); });
    readOnly("B0AV", "ui16", 2, [] { return be16(12950); });
    readOnly("B0FC", "ui16", 2, [] { return be16(4520); });
    readOnly("B0RM", "ui16", 2, [] { return be16(4113); });
    readOnly("B0CT", "ui16", 2, [] { return be16(127); });
    readOnly("BRSC", "ui16", 2, [] { return be16(91); });
    readOnly("BNum", "ui8 ", 1, [] { return std::vector<std::uint8_t>{1}; });
    // Adapter, lid and platform.
    readOnly("AC-W", "si8 ", 1, [] { return std::vector<std::uint8_t>{96}; });
    readOnly("MSLD", "ui8 ", 1, [] { return std::vector<std::uint8_t>{0}; });
    readOnly("RPlt", "ch8*", 8,
             [] { return std::vector<std::uint8_t>{'j', '4', '1', '6', 'c', 0, 0, 0}; });
}

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

// MARK: status

std::vector<std::string> SimulatedMac::statusLines() const {
    std::vector<std::string> lines;
    lines.push_back("model=" + preset_.name);
    lines.push_back("identifier=" + preset_.identifier);
    lines.push_back("seed=" + std::to_string(seed_));
    lines.push_back("elapsedSeconds=" + fixed(now(), 2));
    lines.push_back("workload=" + workload_.name());
    lines.push_back("powerW=" + fixed(powerW_, 2));
    lines.push_back("dieC=" + fixed(dieC_, 2));
    lines.push_back("fanCount=" + std::to_string(fans_.size()));
    for (std::size_t i = 0; i < fans_.size(); ++i) {
        const SimFanState& fan = fans_[i];
        const std::string prefix = "fan" + std::to_string(i);
        lines.push_back(prefix + "Mode=" + std::to_string(fan.mode) +
                        (fan.mode == 0 ? " (system)" : " (manual)"));
        lines.push_back(prefix + "TargetRPM=" + fixed(fan.target, 0));
        lines.push_back(prefix + "ActualRPM=" + fixed(fan.measuredRPM(), 0));
        lines.push_back(prefix + "RangeRPM=" + fixed(fan.spec.minimumRPM, 0) + "-" +
                        fixed(fan.spec.maximumRPM, 0));
        lines.push_back(
            prefix + "LastWriter=" + fan.lastWriter +
            (fan.lastWriter == "none" ? "" : " at " + fixed(fan.lastWriteSeconds, 2) + "s"));
    }
    lines.push_back("emergencies=" + std::to_string(emergencies_));
    lines.push_back("takeBacks=" + std::to_string(takeBacks_));
    lines.push_back("lastTakeBack=" + lastTakeBack_);
    lines.push_back("clients=" + std::to_string(sessions_.size()));
    for (const std::string& line : faults_.describe()) {
        lines.push_back(line);
    }
    return lines;
}

} // namespace aerivo
