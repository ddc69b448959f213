#pragma once

#include "shared/KernelReturn.h"
#include "shared/SMCKeyData.h"
#include "sim/model/SimClientSession.h"
#include "sim/model/SimFanState.h"
#include "sim/model/SimFaultPlan.h"
#include "sim/model/SimHIDSensor.h"
#include "sim/model/SimModelPreset.h"
#include "sim/model/SimRegistryEntry.h"
#include "sim/model/SimSMCKeyTable.h"
#include "sim/model/SimWorkload.h"

#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

struct SimServiceMatches {
    KernReturn result = kIOReturnSuccess;
    std::vector<std::uint32_t> services;

    bool operator==(const SimServiceMatches&) const = default;
};

struct SimOpenResult {
    KernReturn result = kIOReturnSuccess;
    std::uint32_t connection = 0;

    bool operator==(const SimOpenResult&) const = default;
};

// The whole simulated Mac: die heat, workload, fans and the system's own fan control, the SMC
// key table behind its user clients, the I/O registry and the HID temperature services.
//
// Time is virtual: the machine moves only when `advanceTo` is called, in fixed steps of
// `stepSeconds` from time zero, so for a given seed, preset and sequence of (time, call) the
// results are identical however often the caller advances. Calls act on the state of the last
// completed step. Not thread-safe: one owner drives it (the daemon serialises every client).
class SimulatedMac {
public:
    static constexpr double stepSeconds = 0.05;
    static constexpr double ambientC = 24.0;
    // Above this die temperature the system holds every fan under its own control.
    static constexpr double emergencyC = 105.0;
    static constexpr double emergencyClearC = 100.0;
    static constexpr double fanLagSeconds = 1.5;
    static constexpr double fanNoiseRPM = 6.0;

    SimulatedMac(SimModelPreset preset, std::uint64_t seed, SimWorkload workload = {});
    SimulatedMac(const SimulatedMac&) = delete;
    SimulatedMac& operator=(const SimulatedMac&) = delete;

    // Virtual clock, seconds since the machine started. Going backwards does nothing.
    void advanceTo(double seconds);
    double now() const { return static_cast<double>(steps_) * stepSeconds; }

    const SimModelPreset& preset() const { return preset_; }
    std::uint64_t seed() const { return seed_; }
    double dieTemperatureC() const { return dieC_; }
    double powerW() const { return powerW_; }
    const std::vector<SimFanState>& fans() const { return fans_; }
    int emergencyCount() const { return emergencies_; }
    int takeBackCount() const { return takeBacks_; }
    const std::string& lastTakeBack() const { return lastTakeBack_; }

    const SimWorkload& workload() const { return workload_; }
    // Starts a workload now; its script times count from this moment.
    void setWorkload(SimWorkload workload);
    // The system takes every fan back under its own control (mode 0).
    void takeBack(std::string_view reason);

    const SimFaultPlan& faults() const { return faults_; }
    void setFaults(SimFaultPlan faults) { faults_ = std::move(faults); }
    void mergeFaults(const SimFaultPlan& faults) { faults_.merge(faults); }

    // Clients. A privileged session may write SMC keys; every other gets kIOReturnNotPrivileged.
    SimSessionId openSession(std::string name, bool privileged);
    void closeSession(SimSessionId session);
    std::size_t sessionCount() const { return sessions_.size(); }
    // Object handles and connections a session still holds (leak checks).
    std::size_t heldObjectCount(SimSessionId session) const;
    std::size_t openConnectionCount(SimSessionId session) const;

    // IOKit services and user clients, per session.
    std::uint32_t matchingService(SimSessionId session, std::string_view className);
    SimServiceMatches matchingServices(SimSessionId session, std::string_view className);
    std::optional<std::string> stringProperty(SimSessionId session, std::uint32_t object,
                                              std::string_view name) const;
    SimOpenResult openService(SimSessionId session, std::uint32_t service, std::uint32_t type);
    KernReturn callStructMethod(SimSessionId session, std::uint32_t connection,
                                std::uint32_t selector, const SMCKeyData& input,
                                SMCKeyData& output);
    KernReturn closeService(SimSessionId session, std::uint32_t connection);
    KernReturn releaseObject(SimSessionId session, std::uint32_t object);
    // The injected delay every SMC call takes (microseconds); the daemon applies it.
    std::uint32_t callDelayMicroseconds() const { return faults_.callDelayMicroseconds; }

    // The two registry entries the machine model is read from. The device-tree root is the
    // platform-expert service, as on the Mac.
    std::optional<SimRegistryValue> deviceTreeProperty(std::string_view name) const;
    std::optional<SimRegistryValue> platformExpertProperty(std::string_view name) const;

    // HID event system: service identifiers matching (usage page, usage), in service order;
    // a service's "Product" property; its temperature event value (absent: no event).
    std::vector<std::uint32_t> hidServices(std::uint32_t usagePage, std::uint32_t usage) const;
    std::optional<std::string> hidProduct(std::uint32_t service) const;
    std::optional<double> hidTemperature(std::uint32_t service) const;

    // key=value lines: clock, workload, die, each fan and who wrote it last, take-backs, faults.
    std::vector<std::string> statusLines() const;

    const SimSMCKeyTable& keyTable() const { return keys_; }

private:
    void step();
    double systemTargetRPM(const SimFanDesign& design) const;
    double conductanceWPerK() const;
    void buildKeyTable();
    void buildRegistry();
    void buildSensors();
    SimClientSession* session(SimSessionId id);
    const SimClientSession* session(SimSessionId id) const;
    KernReturn openResult(const SimRegistryEntry& entry, std::uint32_t type) const;
    std::vector<std::uint8_t> speedBytes(double rpm) const;
    std::optional<double> speedFromBytes(const std::vector<std::uint8_t>& bytes) const;
    std::uint8_t writeMode(std::size_t fan, const std::vector<std::uint8_t>& bytes);
    std::uint8_t writeTarget(std::size_t fan, const std::vector<std::uint8_t>& bytes);
    double uniformNoise();

    SimModelPreset preset_;
    std::uint64_t seed_;
    std::mt19937_64 random_;
    SimWorkload workload_;
    std::uint64_t workloadStartStep_ = 0;
    std::size_t nextTakeBack_ = 0;
    std::uint64_t steps_ = 0;
    double dieC_ = ambientC;
    double powerW_ = 0;
    bool inEmergency_ = false;
    int emergencies_ = 0;
    int takeBacks_ = 0;
    std::string lastTakeBack_ = "none";
    std::vector<SimFanState> fans_;
    SimFaultPlan faults_;
    SimSMCKeyTable keys_;
    std::vector<SimRegistryEntry> registry_;
    std::vector<SimHIDSensor> sensors_;
    std::map<SimSessionId, SimClientSession> sessions_;
    SimSessionId nextSession_ = 1;
    std::uint32_t nextHandle_ = 0x1003;
    // The session whose SMC call is being executed: its name goes into "last writer".
    const SimClientSession* caller_ = nullptr;
};

} // namespace aerivo
