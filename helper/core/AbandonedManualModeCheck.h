#pragma once

#include "helper/core/FanTargetLeaseExecution.h"
#include "helper/core/SMCProbeClient.h"
#include "helper/core/Sleeper.h"

#include <optional>
#include <string>

namespace aerivo {

// The helper's check when it starts, before it holds any lease: a fan 0 found under manual
// control was left there by a helper that ended without handing it back (it crashed or was
// killed while a lease ran), and nothing would ever return it, since the lease that would have
// lived in that process. It is returned to system control at once (the controller's
// resetAutomatic). A fan under system control, or a mode that cannot be read, is left alone.
class AbandonedManualModeCheck {
public:
    enum class Finding {
        systemControl,  // mode 00: nothing to do
        handedBack,     // manual, and the reset succeeded
        handBackFailed, // manual, and the reset failed (the caller retries)
        modeUnreadable, // F0md missing, unreadable or not one byte: nothing written
        smcUnavailable, // no SMC client
    };

    struct Result {
        Finding finding = Finding::smcUnavailable;
        // The reset's record when one was sent.
        std::optional<FanTargetLeaseExecution> reset;

        bool operator==(const Result&) const = default;
    };

    // `client` may be null (the SMC did not open). The sleeper makes the reset's sample pauses.
    static Result run(SMCProbeClient* client, const Sleeper& sleeper);

    // One line for the helper's log: "helperStartCheck=<finding>".
    static std::string line(const Result& result);
};

} // namespace aerivo
