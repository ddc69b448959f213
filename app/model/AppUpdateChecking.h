#pragma once

#include "app/distribution/AppUpdateCheckResult.h"

namespace aerivo {

// The store's door to the update check.
class AppUpdateChecking {
public:
    virtual ~AppUpdateChecking() = default;

    // Blocks while the metadata loads, so the store calls it off the main thread. Never throws:
    // failures come back as a result with status failed or unavailable.
    virtual AppUpdateCheckResult checkForUpdates() = 0;
};

} // namespace aerivo
