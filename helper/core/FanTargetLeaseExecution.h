#pragma once

#include "shared/AerivoManualTargetLeaseResponse.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace aerivo {

// What one fan operation did: every diagnostic line in the order produced ("smcWriteProbe..."
// key=value), the lease response when the operation got as far as a successful target write,
// and the exit code.
struct FanTargetLeaseExecution {
    // The operation succeeded.
    static constexpr std::int32_t success = 0;
    // It failed; the fan was left as it was or handed back to system control.
    static constexpr std::int32_t failed = 2;
    // It failed and handing the fan back to system control failed too.
    static constexpr std::int32_t restoreFailed = 3;

    std::vector<std::string> lines;
    std::optional<AerivoManualTargetLeaseResponse> response;
    std::int32_t exitCode = failed;

    bool operator==(const FanTargetLeaseExecution&) const = default;
};

} // namespace aerivo
