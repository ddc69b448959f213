#pragma once

#include "helper/core/FanTargetLeaseExecution.h"
#include "helper/core/SMCProbeClient.h"
#include "helper/core/Sleeper.h"
#include "platform/mainloop/SerialQueue.h"
#include "platform/mainloop/WorkItem.h"
#include "shared/AerivoManualTargetLeaseRequest.h"
#include "shared/AerivoManualTargetLeaseResponse.h"
#include "shared/AerivoPrivilegedHelperStatus.h"
#include "shared/AerivoPrivilegedHelperXPC.h"
#include "shared/AerivoPrivilegedHelperXPCProtocol.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace aerivo {

// The contract's two switches (compile-time constants in production; tests turn them off).
struct AerivoPrivilegedHelperXPCSwitches {
    bool connectionEnabled = AerivoPrivilegedHelperXPC::connectionEnabled;
    bool fanWritesEnabled = AerivoPrivilegedHelperXPC::fanWritesEnabled;
};

// The object the helper serves to every admitted connection: status, reset to system control
// and fan target leases, each answered exactly once.
//
// Threads. Status replies and manual holds run on the calling (connection) thread; a hold blocks
// that thread for the hold plus about three seconds, so two holds, or a hold and a renewal, can
// overlap (the SMC driver serialises their calls). Curve renewals, resets and lease expiries run
// one at a time on the lease queue, the only place that reads or writes the lease state (the
// generation counter and the pending expiry), so that state needs no lock.
//
// Lease rule. A successful renewal arms an expiry 5 to 30 seconds ahead that hands the fan back
// to system control; each further successful renewal re-arms it from that moment; a reset
// cancels it before resetting. Every scheduling or cancelling bumps the generation, and an
// expiry acts only under the generation it was armed with, so one that still runs after being
// cancelled does nothing. A pending expiry holds the service weakly.
//
// Hand-back retry. When handing the fan back fails after the helper may have left it manual (the
// expiry's reset, a reset request that disarmed a lease, a renewal or a manual hold whose own
// hand-back failed: exit code 3), the lease queue arms a retry five seconds ahead under the same
// generation rule, unless a lease is armed already (its expiry hands the fan back). A successful
// renewal supersedes the retry; a successful hand-back ends it. So a transient SMC failure never
// leaves the fan in manual mode with nothing left to return it.
class AerivoPrivilegedHelperXPCService final
    : public AerivoPrivilegedHelperXPCProtocol,
      public std::enable_shared_from_this<AerivoPrivilegedHelperXPCService> {
public:
    using Switches = AerivoPrivilegedHelperXPCSwitches;

    static constexpr std::string_view invalidRequestError = "invalid manual target lease request";
    static constexpr std::string_view unsupportedFanIndexError = "unsupported fan index";
    static constexpr std::string_view fanWritesDisabledError = "fan writes disabled";
    static constexpr std::string_view smcConnectionFailedError = "AppleSMC connection failed";
    static constexpr std::string_view leaseFailedError = "manual target lease failed";
    // How long after a failed hand-back the lease queue tries again.
    static constexpr std::int64_t handBackRetrySeconds = 5;

    // The opener is called from the connection threads and the lease queue, possibly at once.
    // The lease queue must outlive the service. The sleeper makes the one-second pauses of the
    // fan operations.
    static std::shared_ptr<AerivoPrivilegedHelperXPCService>
    make(SMCOpener openSMC, SerialQueue& leaseQueue, Sleeper sleeper, Switches switches = {});

    // The helper label followed by ".curve-lease".
    static std::string leaseQueueLabel();

    // min(max(seconds, 1), 10): the length of a manual hold.
    static std::int64_t boundedHoldSeconds(std::int64_t seconds);
    // min(max(seconds, 5), 30): the length of a curve lease.
    static std::int64_t boundedCurveLeaseSeconds(std::int64_t seconds);

    // The execution's own response; otherwise a refusal carrying the request's index and target,
    // resetAccepted unless handing the fan back failed too (exit code 3), and failureReason.
    static AerivoManualTargetLeaseResponse
    leaseResponse(const FanTargetLeaseExecution& execution,
                  const AerivoManualTargetLeaseRequest& request);
    // The text after the first "smcWriteProbeReason=" line, else "manual target lease failed".
    static std::string failureReason(const FanTargetLeaseExecution& execution);

    // The reason a hand-back failed: the execution's reason line, else its first kernel result
    // that is not a success ("ResetModeKernelResult=unsupported(-536870201)"), else
    // "manual target lease failed".
    static std::string handBackFailureText(const FanTargetLeaseExecution& execution);

    // At once, without the SMC: privilege "installed", the write switch, heartbeat "ok", and
    // fanHandBack "failed" with its fanHandBackError while a fan could not be handed back.
    void readStatus(Reply reply) override;
    // On the lease queue: cancels any armed expiry, then hands the fan back to the system. The
    // reply carries fanHandBack as the status does.
    void resetToSystem(Reply reply) override;
    // Checks the request (readable, fan 0, writes enabled), then a curve renewal goes to the
    // lease queue and anything else is a manual hold on the calling thread.
    void holdManualTargetLease(nlohmann::json request, Reply reply) override;

    // Once, when the helper starts serving: on the lease queue, ahead of every request queued
    // after it, a fan 0 left in manual mode by an earlier helper (one that crashed or was killed
    // mid-lease) goes back to system control at once (AbandonedManualModeCheck); a failed
    // hand-back is retried like any other. Nothing happens while writes are switched off or a
    // lease of this service is armed. `log` receives the check's line.
    void checkForAbandonedManualMode(std::function<void(const std::string&)> log = {});

    // Where the service reports what happened to the fan between requests (the system taking it
    // back during a curve lease). Set before the service serves.
    void setEventLog(std::function<void(const std::string&)> log) { eventLog_ = std::move(log); }

    // The event line of a curve renewal that found fan 0 back in system control while its lease
    // was held: macOS took the fan back, and this renewal takes it again.
    static constexpr std::string_view curveLeaseRetakenLine =
        "curveLeaseRetaken=true the system had taken fan 0 back; this renewal holds it again";

private:
    AerivoPrivilegedHelperXPCService(SMCOpener openSMC, SerialQueue& leaseQueue, Sleeper sleeper,
                                     Switches switches);

    bool writesEnabled() const;
    // The opener's client; an opener that throws counts as an SMC that does not open.
    std::unique_ptr<SMCProbeClient> openClient() const;
    void holdManualTarget(const AerivoManualTargetLeaseRequest& request, const Reply& reply);

    // Lease queue only, from here on.
    void renewCurveLease(const AerivoManualTargetLeaseRequest& request, const Reply& reply);
    void scheduleCurveLeaseExpiry(std::int64_t leaseSeconds);
    void cancelCurveLeaseExpiry();
    // Replies; true when the fan was handed back (or there was nothing to hand back).
    bool resetToSystemNow(const Reply& reply);
    void expireCurveLease(std::int64_t generation);
    // Arms the retry unless an expiry is armed already.
    void ensureHandBack();
    // Every hand-back's outcome: a failure is kept (and logged) until one succeeds.
    void noteHandBack(bool handedBack, const std::string& failure = {});
    void addHandBackState(AerivoPrivilegedHelperStatus& status) const;

    SMCOpener openSMC_;
    SerialQueue& leaseQueue_;
    Sleeper sleeper_;
    Switches switches_;
    std::int64_t leaseGeneration_ = 0;
    std::shared_ptr<WorkItem> expiryWorkItem_;
    // An expiry (or retry) is armed and has not run or been cancelled.
    bool expiryArmed_ = false;
    // A curve lease of this service holds fan 0 (its last renewal succeeded, no expiry or reset
    // since).
    bool curveLeaseHeld_ = false;
    std::function<void(const std::string&)> eventLog_;
    // Read by status replies on connection threads, written on the lease queue and by holds.
    mutable std::mutex handBackMutex_;
    std::optional<std::string> handBackFailure_;
};

} // namespace aerivo
