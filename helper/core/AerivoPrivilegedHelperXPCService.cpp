#include "helper/core/AerivoPrivilegedHelperXPCService.h"

#include "helper/core/AbandonedManualModeCheck.h"
#include "helper/core/FanTargetLeaseController.h"
#include "helper/core/SMCWriteProbeText.h"
#include "shared/AerivoPrivilegedHelperStatus.h"

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <string_view>
#include <utility>

namespace aerivo {

namespace {

constexpr std::string_view reasonLinePrefix = "smcWriteProbeReason=";

void replyRejection(const AerivoPrivilegedHelperXPCProtocol::Reply& reply, std::int64_t fanIndex,
                    std::string_view error) {
    reply(AerivoManualTargetLeaseResponse::rejection(fanIndex, std::string(error)).dictionary());
}

} // namespace

std::shared_ptr<AerivoPrivilegedHelperXPCService>
AerivoPrivilegedHelperXPCService::make(SMCOpener openSMC, SerialQueue& leaseQueue, Sleeper sleeper,
                                       Switches switches) {
    if (!openSMC || !sleeper) {
        throw std::invalid_argument("the helper service needs an SMC opener and a sleeper");
    }
    // The constructor is private so that every service is owned by a shared_ptr, which the
    // expiry's weak reference relies on.
    return std::shared_ptr<AerivoPrivilegedHelperXPCService>(new AerivoPrivilegedHelperXPCService(
        std::move(openSMC), leaseQueue, std::move(sleeper), switches));
}

AerivoPrivilegedHelperXPCService::AerivoPrivilegedHelperXPCService(SMCOpener openSMC,
                                                                   SerialQueue& leaseQueue,
                                                                   Sleeper sleeper,
                                                                   Switches switches)
    : openSMC_(std::move(openSMC)), leaseQueue_(leaseQueue), sleeper_(std::move(sleeper)),
      switches_(switches) {}

std::string AerivoPrivilegedHelperXPCService::leaseQueueLabel() {
    return std::string(AerivoPrivilegedHelperXPC::serviceName) + ".curve-lease";
}

std::int64_t AerivoPrivilegedHelperXPCService::boundedHoldSeconds(std::int64_t seconds) {
    return std::clamp<std::int64_t>(seconds, 1, 10);
}

std::int64_t AerivoPrivilegedHelperXPCService::boundedCurveLeaseSeconds(std::int64_t seconds) {
    return std::clamp<std::int64_t>(seconds, 5, 30);
}

std::string
AerivoPrivilegedHelperXPCService::failureReason(const FanTargetLeaseExecution& execution) {
    for (const std::string& line : execution.lines) {
        if (line.starts_with(reasonLinePrefix)) {
            return line.substr(reasonLinePrefix.size());
        }
    }
    return std::string(leaseFailedError);
}

AerivoManualTargetLeaseResponse
AerivoPrivilegedHelperXPCService::leaseResponse(const FanTargetLeaseExecution& execution,
                                                const AerivoManualTargetLeaseRequest& request) {
    if (execution.response) {
        return *execution.response;
    }
    AerivoManualTargetLeaseResponse response;
    response.accepted = false;
    response.targetReached = false;
    response.resetAccepted = execution.exitCode != FanTargetLeaseExecution::restoreFailed;
    response.fanIndex = request.fanIndex;
    response.requestedTargetRPM = request.targetRPM;
    response.error = failureReason(execution);
    return response;
}

std::string
AerivoPrivilegedHelperXPCService::handBackFailureText(const FanTargetLeaseExecution& execution) {
    const std::string reason = failureReason(execution);
    if (reason != leaseFailedError) {
        return reason;
    }
    constexpr std::string_view prefix = "smcWriteProbe";
    constexpr std::string_view kernelResult = "KernelResult=";
    for (const std::string& line : execution.lines) {
        const std::size_t at = line.find(kernelResult);
        if (at != std::string::npos && line.substr(at + kernelResult.size()) != "success") {
            return line.starts_with(prefix) ? line.substr(prefix.size()) : line;
        }
    }
    return reason;
}

void AerivoPrivilegedHelperXPCService::noteHandBack(bool handedBack, const std::string& failure) {
    {
        std::lock_guard lock(handBackMutex_);
        if (handedBack) {
            handBackFailure_.reset();
        } else {
            handBackFailure_ = failure;
        }
    }
    if (!handedBack && eventLog_) {
        eventLog_("fanHandBack=failed fan 0 may still be under manual control: " + failure);
    }
}

void AerivoPrivilegedHelperXPCService::addHandBackState(
    AerivoPrivilegedHelperStatus& status) const {
    std::lock_guard lock(handBackMutex_);
    if (handBackFailure_) {
        status.fanHandBack = "failed";
        status.fanHandBackError = *handBackFailure_;
    }
}

bool AerivoPrivilegedHelperXPCService::writesEnabled() const {
    return switches_.connectionEnabled && switches_.fanWritesEnabled;
}

std::unique_ptr<SMCProbeClient> AerivoPrivilegedHelperXPCService::openClient() const {
    try {
        return openSMC_();
    } catch (const std::exception&) {
        return nullptr;
    }
}

void AerivoPrivilegedHelperXPCService::readStatus(Reply reply) {
    AerivoPrivilegedHelperStatus status = AerivoPrivilegedHelperStatus::status();
    status.privilege = "installed";
    status.fanWrites = writesEnabled() ? "enabled" : "disabled";
    addHandBackState(status);
    reply(status.dictionary());
}

void AerivoPrivilegedHelperXPCService::resetToSystem(Reply reply) {
    leaseQueue_.async([self = shared_from_this(), reply = std::move(reply)] {
        const bool leaseWasArmed = self->expiryArmed_;
        self->cancelCurveLeaseExpiry();
        if (!self->resetToSystemNow(reply) && leaseWasArmed) {
            // The lease that would have handed the fan back is gone: keep trying.
            self->scheduleCurveLeaseExpiry(handBackRetrySeconds);
        }
    });
}

void AerivoPrivilegedHelperXPCService::holdManualTargetLease(nlohmann::json dictionary,
                                                             Reply reply) {
    const std::optional<AerivoManualTargetLeaseRequest> request =
        AerivoManualTargetLeaseRequest::fromDictionary(dictionary);
    if (!request) {
        replyRejection(reply, 0, invalidRequestError);
        return;
    }
    if (request->fanIndex != 0) {
        replyRejection(reply, request->fanIndex, unsupportedFanIndexError);
        return;
    }
    if (!writesEnabled()) {
        replyRejection(reply, request->fanIndex, fanWritesDisabledError);
        return;
    }
    if (request->isCurveRenewal()) {
        leaseQueue_.async([self = shared_from_this(), request = *request,
                           reply = std::move(reply)] { self->renewCurveLease(request, reply); });
        return;
    }
    holdManualTarget(*request, reply);
}

void AerivoPrivilegedHelperXPCService::checkForAbandonedManualMode(
    std::function<void(const std::string&)> log) {
    leaseQueue_.async([self = shared_from_this(), log = std::move(log)] {
        if (!self->writesEnabled() || self->expiryArmed_) {
            return;
        }
        const std::unique_ptr<SMCProbeClient> client = self->openClient();
        const AbandonedManualModeCheck::Result result =
            AbandonedManualModeCheck::run(client.get(), self->sleeper_);
        if (result.finding == AbandonedManualModeCheck::Finding::handBackFailed) {
            self->noteHandBack(false, handBackFailureText(*result.reset));
            self->ensureHandBack();
        } else if (result.finding == AbandonedManualModeCheck::Finding::handedBack) {
            self->noteHandBack(true);
        }
        if (log) {
            log(AbandonedManualModeCheck::line(result));
        }
    });
}

void AerivoPrivilegedHelperXPCService::holdManualTarget(
    const AerivoManualTargetLeaseRequest& request, const Reply& reply) {
    // Runs on the caller's thread and never touches the lease state.
    const std::unique_ptr<SMCProbeClient> client = openClient();
    if (!client) {
        replyRejection(reply, request.fanIndex, smcConnectionFailedError);
        return;
    }
    FanTargetLeaseController controller(*client, sleeper_);
    const FanTargetLeaseExecution execution = controller.holdManualTarget(
        request.targetRPM, std::nullopt, static_cast<int>(boundedHoldSeconds(request.holdSeconds)));
    if (execution.exitCode == FanTargetLeaseExecution::restoreFailed) {
        // The hold could not hand the fan back; the lease queue owns retrying that.
        noteHandBack(false, handBackFailureText(execution));
        leaseQueue_.async([self = shared_from_this()] { self->ensureHandBack(); });
    }
    reply(leaseResponse(execution, request).dictionary());
}

void AerivoPrivilegedHelperXPCService::renewCurveLease(
    const AerivoManualTargetLeaseRequest& request, const Reply& reply) {
    const std::unique_ptr<SMCProbeClient> client = openClient();
    if (!client) {
        replyRejection(reply, request.fanIndex, smcConnectionFailedError);
        return;
    }
    const std::int64_t lease = boundedCurveLeaseSeconds(request.holdSeconds);
    FanTargetLeaseController controller(*client, sleeper_);
    const FanTargetLeaseExecution execution =
        controller.renewManualTarget(request.targetRPM, std::nullopt, static_cast<int>(lease));
    // A failed renewal leaves an earlier expiry armed as it was.
    if (execution.exitCode == FanTargetLeaseExecution::success) {
        // Mode byte 0 under a lease we hold: the system took the fan back in between.
        const std::string systemMode =
            SMCWriteProbeText::line("BeforeModeBytes", SMCWriteProbeText::bytes({0}));
        if (curveLeaseHeld_ && eventLog_ &&
            std::find(execution.lines.begin(), execution.lines.end(), systemMode) !=
                execution.lines.end()) {
            eventLog_(std::string(curveLeaseRetakenLine));
        }
        scheduleCurveLeaseExpiry(lease);
        curveLeaseHeld_ = true;
    } else if (execution.exitCode == FanTargetLeaseExecution::restoreFailed) {
        noteHandBack(false, handBackFailureText(execution));
        ensureHandBack();
    }
    reply(leaseResponse(execution, request).dictionary());
}

void AerivoPrivilegedHelperXPCService::scheduleCurveLeaseExpiry(std::int64_t leaseSeconds) {
    const std::int64_t generation = ++leaseGeneration_;
    if (expiryWorkItem_) {
        expiryWorkItem_->cancel();
    }
    expiryWorkItem_ = std::make_shared<WorkItem>([weakService = weak_from_this(), generation] {
        if (const auto service = weakService.lock()) {
            service->expireCurveLease(generation);
        }
    });
    expiryArmed_ = true;
    leaseQueue_.asyncAfter(SerialQueue::Seconds(static_cast<double>(leaseSeconds)),
                           expiryWorkItem_);
}

void AerivoPrivilegedHelperXPCService::ensureHandBack() {
    if (!expiryArmed_) {
        scheduleCurveLeaseExpiry(handBackRetrySeconds);
    }
}

void AerivoPrivilegedHelperXPCService::cancelCurveLeaseExpiry() {
    ++leaseGeneration_;
    if (expiryWorkItem_) {
        expiryWorkItem_->cancel();
    }
    expiryWorkItem_.reset();
    expiryArmed_ = false;
    curveLeaseHeld_ = false;
}

void AerivoPrivilegedHelperXPCService::expireCurveLease(std::int64_t generation) {
    // A newer renewal or a reset came after this expiry was armed: the lease is not ours.
    if (leaseGeneration_ != generation) {
        return;
    }
    expiryArmed_ = false;
    curveLeaseHeld_ = false;
    const std::unique_ptr<SMCProbeClient> client = openClient();
    if (!client) {
        noteHandBack(false, std::string(smcConnectionFailedError));
        scheduleCurveLeaseExpiry(handBackRetrySeconds);
        return;
    }
    const FanTargetLeaseExecution reset =
        FanTargetLeaseController(*client, sleeper_).resetAutomatic();
    const bool handedBack = reset.exitCode == FanTargetLeaseExecution::success;
    noteHandBack(handedBack, handedBack ? std::string() : handBackFailureText(reset));
    if (!handedBack) {
        scheduleCurveLeaseExpiry(handBackRetrySeconds);
    }
}

bool AerivoPrivilegedHelperXPCService::resetToSystemNow(const Reply& reply) {
    if (!writesEnabled()) {
        reply(AerivoPrivilegedHelperStatus::resetAccepted().dictionary());
        return true;
    }
    AerivoPrivilegedHelperStatus status;
    const std::unique_ptr<SMCProbeClient> client = openClient();
    if (!client) {
        status.error = std::string(smcConnectionFailedError);
        noteHandBack(false, *status.error);
        addHandBackState(status);
        reply(status.dictionary());
        return false;
    }
    const FanTargetLeaseExecution execution =
        FanTargetLeaseController(*client, sleeper_).resetAutomatic();
    const bool handedBack = execution.exitCode == FanTargetLeaseExecution::success;
    if (handedBack) {
        status.resetToSystem = "accepted";
    } else {
        status.resetToSystem = "failed";
        status.error = failureReason(execution);
    }
    // The reply's error keeps the contract's wording; the hand-back state names the kernel's.
    noteHandBack(handedBack, handedBack ? std::string() : handBackFailureText(execution));
    addHandBackState(status);
    reply(status.dictionary());
    return handedBack;
}

} // namespace aerivo
