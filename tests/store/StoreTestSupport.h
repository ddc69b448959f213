#pragma once

#include "app/model/AerivoStore.h"
#include "platform/InMemoryUserDefaults.h"
#include "tests/support/FakeFanHardwareController.h"
#include "tests/support/FakeLoginItemController.h"
#include "tests/support/FakePrivilegedHelperClient.h"
#include "tests/support/ManualMainLoop.h"
#include "tests/support/ManualSerialQueue.h"

#include <memory>

namespace aerivo {

// A store on the manual loop with fake collaborators, all reachable by the test.
struct StoreHarness {
    ManualMainLoop loop;
    std::shared_ptr<FakeFanHardwareController> controller =
        std::make_shared<FakeFanHardwareController>();
    std::shared_ptr<FakePrivilegedHelperClient> helper =
        std::make_shared<FakePrivilegedHelperClient>();
    std::shared_ptr<FakeLoginItemController> loginItem =
        std::make_shared<FakeLoginItemController>();
    std::shared_ptr<InMemoryUserDefaults> defaults = std::make_shared<InMemoryUserDefaults>();

    StoreHarness() {
        controller->clock = [this] { return loop.now(); };
    }

    AerivoStoreCollaborators collaborators() {
        return AerivoStoreCollaborators{controller, helper, loginItem, nullptr};
    }
    std::unique_ptr<SerialQueue> queue() {
        return std::make_unique<ManualSerialQueue>(loop, AerivoStore::curveLeaseQueueLabel());
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
                                             std::move(profile), start, mode, applyRange, queue());
    }
};

inline MainLoop::Instant secondsAfter(MainLoop::Instant origin, double seconds) {
    return origin + std::chrono::duration_cast<MainLoop::Instant::duration>(
                        std::chrono::duration<double>(seconds));
}

} // namespace aerivo
