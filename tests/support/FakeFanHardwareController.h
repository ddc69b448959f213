#pragma once

#include "app/model/FanHardwareController.h"

#include <functional>
#include <vector>

namespace aerivo {

// A scripted fan controller: capabilities as set, snapshots from `nextSnapshot` (by default a
// live 50 °C reading stamped with `clock`), and a record of every call.
class FakeFanHardwareController final : public FanHardwareController {
public:
    struct SnapshotCall {
        FanControlMode mode;
        ThermalSnapshot previous;
    };

    FanHardwareCapabilities capabilities = FanHardwareCapabilities::unavailable();
    std::function<std::chrono::system_clock::time_point()> clock = [] {
        return std::chrono::system_clock::now();
    };
    // Temperature and liveness of the next readings; the time comes from `clock`.
    double temperatureC = 50.0;
    bool isLive = true;
    // When set, replaces the reading above entirely.
    std::function<ThermalSnapshot()> nextSnapshot;

    int capabilityReads = 0;
    std::vector<SnapshotCall> snapshotCalls;

    FanHardwareCapabilities readCapabilities() override {
        ++capabilityReads;
        return capabilities;
    }

    ThermalSnapshot readSnapshot(const AerivoProfile& profile, FanControlMode mode,
                                 const ThermalSnapshot& previous) override {
        snapshotCalls.push_back(SnapshotCall{mode, previous});
        if (nextSnapshot) {
            return nextSnapshot();
        }
        const double target = profile.targetRPM(temperatureC);
        return ThermalSnapshot{temperatureC, target, target, isLive ? "PMU tdie1" : "Fallback",
                               isLive,       clock()};
    }
};

} // namespace aerivo
