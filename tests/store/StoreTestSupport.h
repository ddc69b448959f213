#pragma once

#include "app/model/AerivoStore.h"
#include "platform/services/InMemoryUserDefaults.h"
#include "tests/support/FakeFanHardwareController.h"
#include "tests/support/FakeLoginItemController.h"
#include "tests/support/ManualMainLoop.h"
#include "tests/support/ManualSerialQueue.h"
#include "tests/support/ScriptedPrivilegedHelperClient.h"
#include "tests/support/ScriptedProcessRunner.h"
#include "tests/support/ScriptedUpdateChecker.h"

#include <memory>

namespace aerivo {

// A store on the manual loop with fake collaborators, all reachable by the test. Curve renewals
// go to `leaseQueue`, background tasks (administrator probe, update check) to `background`, and,
// once asked for, helper calls to `helperQueue`; all run on the loop's timeline and can be held.
struct StoreHarness {
    ManualMainLoop loop;
    std::shared_ptr<FakeFanHardwareController> controller =
        std::make_shared<FakeFanHardwareController>();
    std::shared_ptr<ScriptedPrivilegedHelperClient> helper =
        std::make_shared<ScriptedPrivilegedHelperClient>();
    std::shared_ptr<FakeLoginItemController> loginItem =
        std::make_shared<FakeLoginItemController>();
    std::shared_ptr<ScriptedUpdateChecker> updateChecker =
        std::make_shared<ScriptedUpdateChecker>();
    std::shared_ptr<testing::ScriptedProcessRunner> processRunner =
        std::make_shared<testing::ScriptedProcessRunner>();
    std::shared_ptr<InMemoryUserDefaults> defaults = std::make_shared<InMemoryUserDefaults>();
    std::shared_ptr<ManualSerialQueue> leaseQueue =
        std::make_shared<ManualSerialQueue>(loop, AerivoStore::curveLeaseQueueLabel());
    std::shared_ptr<ManualSerialQueue> background =
        std::make_shared<ManualSerialQueue>(loop, "background");
    // Null: helper calls run at once, as in the headless session. queueHelperCalls() gives the
    // store the menu-bar app's helper queue, run on the loop's timeline and able to hold.
    std::shared_ptr<ManualSerialQueue> helperQueue;
    std::optional<std::string> executable = "/Applications/Aerivo Mac.app/Contents/MacOS/AerivoMac";
    SystemPaths systemPaths{"/sim-root"};

    StoreHarness() {
        controller->clock = [this] { return loop.now(); };
        helper->clock = [this] { return loop.now(); };
    }

    AerivoStoreCollaborators collaborators() {
        AerivoStoreCollaborators result{controller, helper, loginItem, updateChecker};
        result.startBackgroundTask = [queue = background](std::function<void()> task) {
            queue->async(std::move(task));
        };
        result.executablePath = [this] { return executable; };
        result.processRunner = processRunner;
        result.systemPaths = systemPaths;
        result.helperQueue = helperQueue;
        return result;
    }
    void queueHelperCalls(bool holding = false) {
        helperQueue = std::make_shared<ManualSerialQueue>(loop, AerivoStore::helperQueueLabel());
        helperQueue->setHolding(holding);
    }
    std::unique_ptr<AerivoStore> make(FanControlMode mode = FanControlMode::system,
                                      AerivoProfile profile = AerivoProfile::balanced(),
                                      bool withPreferences = true, bool applyRange = true) {
        std::optional<AerivoPreferences> preferences;
        if (withPreferences) {
            preferences.emplace(defaults);
        }
        ThermalSnapshot start = ThermalSnapshot::initial();
        start.updatedAt = loop.now();
        return std::make_unique<AerivoStore>(loop, collaborators(), std::move(preferences),
                                             std::move(profile), start, mode, applyRange,
                                             leaseQueue);
    }

    // One fan of 1200–6200 rpm (the balanced profile's speed axis) with a live speed.
    static FanHardwareCapabilities oneFan(std::optional<double> currentRPM = 2000.0) {
        return FanHardwareCapabilities(1, 1200.0, 6200.0, currentRPM, "SMC");
    }
    // Everything the write plan asks of the helper.
    static PrivilegedHelperHealth writeCapableHealth() {
        PrivilegedHelperHealth health = PrivilegedHelperHealth::unavailable();
        health.isBundled = true;
        health.isSignatureValid = true;
        health.hasBlessMetadata = true;
        health.isPrivilegedInstallVerified = true;
        health.hasTrustedProvenance = true;
        health.hasHeartbeat = true;
        health.resetCommandAccepted = true;
        health.fanWritesEnabled = true;
        return health;
    }
    // Hardware, telemetry and helper all ready: curve mode leases.
    void makeWriteCapable() {
        controller->capabilities = oneFan();
        helper->health = writeCapableHealth();
    }
};

inline MainLoop::Instant secondsAfter(MainLoop::Instant origin, double seconds) {
    return origin + std::chrono::duration_cast<MainLoop::Instant::duration>(
                        std::chrono::duration<double>(seconds));
}

} // namespace aerivo
