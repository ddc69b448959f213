#pragma once

#include "app/model/AppUpdateChecking.h"

#include <atomic>

namespace aerivo {

// An update checker that answers `result` and counts its checks.
class ScriptedUpdateChecker final : public AppUpdateChecking {
public:
    AppUpdateCheckResult result{AppUpdateCheckResult::Status::upToDate, "1.0.0", "1.0.0",
                                std::nullopt, std::nullopt};
    std::atomic<int> checks{0};

    AppUpdateCheckResult checkForUpdates() override {
        ++checks;
        return result;
    }
};

} // namespace aerivo
