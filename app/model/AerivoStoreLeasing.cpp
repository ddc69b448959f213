// AerivoStore: curve leases, the fan-off range and the ways back to system control.

#include "app/l10n/Formatters.h"
#include "app/model/AerivoStore.h"
#include "app/model/GuardedHelperCall.h"

#include <cmath>

namespace aerivo {

namespace {

std::string joinedLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        if (!text.empty()) {
            text += '\n';
        }
        text += line;
    }
    return text;
}

} // namespace

bool AerivoStore::mayResetThroughHelper() const {
    return helperHealth_.isPrivilegedInstallVerified && helperHealth_.hasTrustedProvenance;
}

bool AerivoStore::isCurveEnabled() const {
    return mode_ == FanControlMode::curve && !hardwareCapabilities_.isUnsupported();
}

AerivoStore::HelperCallOutcome AerivoStore::resetThenReadHealth(PrivilegedHelperClient& helper) {
    PrivilegedHelperActionResult result = guardedHelperCall([&] { return helper.resetToSystem(); });
    return {std::move(result), guardedHealthRead(helper)};
}

void AerivoStore::setCurveEnabled(bool enabled) {
    if (!(enabled && !hardwareCapabilities_.isUnsupported())) {
        resetCurveLeaseTracking();
        resetToSystem();
        return;
    }
    const std::uint64_t generation = ++curveSwitchGeneration_;
    runHelperTask(
        HelperActivity::enablingCurve,
        [](PrivilegedHelperClient& helper) { return guardedHealthRead(helper); },
        [this, generation](PrivilegedHelperHealth health) {
            publishHelperHealth(std::move(health));
            // A reset asked for meanwhile, a fan that went away or the quit wins.
            if (generation != curveSwitchGeneration_ || hardwareCapabilities_.isUnsupported() ||
                helperCallsStopped_->load()) {
                return;
            }
            setMode(FanControlMode::curve);
            refreshSnapshot();
            applyCurveTargetLeaseIfNeeded(true);
        });
}

void AerivoStore::resetToSystem() {
    ++curveSwitchGeneration_;
    setMode(FanControlMode::system);
    resetCurveLeaseTracking();
    if (!mayResetThroughHelper()) {
        emit(FanControlEvent::unsentReset(FanControlEvent::ResetReason::resetToSystem));
        refreshSnapshot();
        return;
    }
    runHelperTask(HelperActivity::resettingToSystem, resetThenReadHealth,
                  [this](const HelperCallOutcome& outcome) {
                      setHardwareProbeStatus(outcome.result.message);
                      publishHelperHealth(outcome.health);
                      emit(FanControlEvent::sentReset(FanControlEvent::ResetReason::resetToSystem,
                                                      outcome.result));
                      refreshSnapshot();
                  });
}

void AerivoStore::resetFanControlBeforeTermination() {
    resetCurveLeaseTracking();
    // The app is ending: a lease sent after the reset would hold the fan again until the helper's
    // lease expires, so no more are sent, and a renewal or helper call that has not started is
    // skipped.
    helperCallsStopped_->store(true);
    FanControlEvent event = FanControlEvent::unsentReset(FanControlEvent::ResetReason::termination);
    if (mayResetThroughHelper()) {
        event = FanControlEvent::sentReset(event.resetReason, helperClient_->resetToSystem());
    }
    emit(event);
}

void AerivoStore::applyCurveTargetLease() {
    // The plan is judged on a fresh health read; the hold and the health read after it are a
    // second task, queued while the first one is applied, so the activity never shows idle.
    runHelperTask(
        HelperActivity::testingCurveTarget,
        [](PrivilegedHelperClient& helper) { return guardedHealthRead(helper); },
        [this](PrivilegedHelperHealth health) {
            publishHelperHealth(std::move(health));
            const FanWriteSafetyPlan plan = writeSafetyPlan();
            if (!plan.isWriteCapable()) {
                setHardwareProbeStatus(plan.actionMessage());
                return;
            }
            const double target = activeCurveLeaseTargetRPM();
            runHelperTask(
                HelperActivity::testingCurveTarget,
                [target](PrivilegedHelperClient& helper) {
                    PrivilegedHelperActionResult result = guardedHelperCall([&] {
                        return helper.holdManualTargetLease(target, manualTargetHoldSeconds);
                    });
                    return HelperCallOutcome{std::move(result), guardedHealthRead(helper)};
                },
                [this, target](const HelperCallOutcome& outcome) {
                    finishCurveTargetTest(target, outcome);
                });
        });
}

void AerivoStore::finishCurveTargetTest(double target, const HelperCallOutcome& outcome) {
    const std::vector<std::string> lines = outcome.result.lines();
    setHardwareProbeStatus(joinedLines(lines));
    emit(FanControlEvent::lease(FanControlEvent::Kind::curveTargetTest, target,
                                outcome.result.isSuccess, outcome.result.message, lines));
    publishHelperHealth(outcome.health);
    refreshHardwareCapabilities(false);
    // Re-reading the hardware clears the status; the test's own result is what the user asked
    // to see, so it is shown again on top of the fresh readings.
    setHardwareProbeStatus(joinedLines(lines));
}

double AerivoStore::activeCurveLeaseTargetRPM() const {
    if (effectiveMode() == FanControlMode::safety) {
        return profile_.rpmAxis.maximum;
    }
    return curveTargetRPM();
}

void AerivoStore::applyCurveTargetLeaseIfNeeded(bool force) {
    if (helperCallsStopped_->load()) {
        return;
    }
    // 1.–2. Nothing is ever sent in system mode (not even above the safety limit), nor without a
    //       fan.
    if (mode_ != FanControlMode::curve || hardwareCapabilities_.isUnsupported()) {
        return;
    }
    // 3.
    if (isFanOffRangeActive()) {
        resetFanControlForFanOffRangeIfNeeded(force);
        return;
    }
    // 4. Out of the range: a later entry resets again.
    fanOffRangeResetSent_ = false;
    // 5. A locked plan speaks only when the user acted, not on every tick.
    const FanWriteSafetyPlan plan = writeSafetyPlan();
    if (!plan.isWriteCapable()) {
        if (force) {
            setHardwareProbeStatus(plan.actionMessage());
        }
        return;
    }
    // 6. One request at a time, and none while the helper works for the user: a renewal sent
    //    during a health read would race the reset that read sends.
    if (curveLeaseInFlight_ || isHelperBusy()) {
        return;
    }
    // 7.–8.
    const double target = activeCurveLeaseTargetRPM();
    const Instant now = mainLoop_.now();
    if (!force && lastCurveLeaseRequestAt_ && lastCurveLeaseTargetRPM_) {
        const double elapsed = secondsBetween(now, *lastCurveLeaseRequestAt_).count();
        const double change = std::fabs(target - *lastCurveLeaseTargetRPM_);
        // A wall clock that stepped back counts as the interval having passed: waiting for it to
        // catch up would let the helper's lease run out while the curve is meant to hold.
        const bool intervalPassed = elapsed >= curveLeaseMinimumInterval || elapsed < 0;
        if (!intervalPassed && !(change >= curveLeaseTargetDeltaRPM)) {
            return;
        }
    }
    // 9.
    curveLeaseInFlight_ = true;
    lastCurveLeaseRequestAt_ = now;
    lastCurveLeaseTargetRPM_ = target;
    // 10. The queued work touches no store state: it holds the helper client, the target and the
    //     lifeline, and the outcome reaches the store only while the lifeline lasts.
    curveLeaseQueue_->async([this, helper = helperClient_, lifeline = lifeline_,
                             stopped = helperCallsStopped_, target] {
        if (!lifeline->isAlive()) {
            return;
        }
        if (stopped->load()) {
            lifeline->post([this] { curveLeaseInFlight_ = false; });
            return;
        }
        const PrivilegedHelperActionResult result = guardedHelperCall(
            [&] { return helper->renewCurveTargetLease(target, curveLeaseDurationSeconds); });
        lifeline->post(
            [this, outcome = CurveLeaseOutcome{result.isSuccess, result.lines(), result.message,
                                               target}] { finishCurveTargetLease(outcome); });
    });
}

void AerivoStore::finishCurveTargetLease(const CurveLeaseOutcome& outcome) {
    curveLeaseInFlight_ = false;
    // A result that arrives after the mode changed (a reset, say) only clears the mark.
    if (mode_ == FanControlMode::curve) {
        setHardwareProbeStatus(joinedLines(outcome.lines));
        if (!outcome.isSuccess) {
            // The next attempt waits the full interval instead of retrying on the next tick.
            lastCurveLeaseRequestAt_ = mainLoop_.now();
        }
    }
    emit(FanControlEvent::lease(FanControlEvent::Kind::curveLease, outcome.targetRPM,
                                outcome.isSuccess, outcome.message, outcome.lines));
}

void AerivoStore::resetCurveLeaseTracking() {
    // An outstanding request still completes through finishCurveTargetLease.
    lastCurveLeaseRequestAt_.reset();
    lastCurveLeaseTargetRPM_.reset();
}

void AerivoStore::resetFanControlForFanOffRangeIfNeeded(bool force) {
    // The first request after the range ends goes out at once.
    resetCurveLeaseTracking();
    const bool mayReset = mayResetThroughHelper();
    // Once per stay in the range.
    if (!fanOffRangeResetSent_) {
        fanOffRangeResetSent_ = true;
        if (mayReset) {
            runHelperTask(HelperActivity::resettingToSystem, resetThenReadHealth,
                          [this](const HelperCallOutcome& outcome) {
                              setHardwareProbeStatus(outcome.result.message);
                              emit(FanControlEvent::sentReset(
                                  FanControlEvent::ResetReason::fanOffRange, outcome.result));
                              publishHelperHealth(outcome.health);
                          });
            return;
        }
        emit(FanControlEvent::unsentReset(FanControlEvent::ResetReason::fanOffRange));
    }
    // Without a helper to reset, a user action says why nothing is sent. This is not tied to
    // the once-per-stay latch: every action commits and refreshes first, and that refresh has
    // already set the latch by the time the action's own evaluation gets here.
    if (force && !mayReset) {
        setHardwareProbeStatus(formatted(L10nKey::fanOffRangeActive,
                                         Formatters::temperature(profile_.fanOffThresholdC)));
    }
}

} // namespace aerivo
