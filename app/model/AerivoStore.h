#pragma once

#include "app/distribution/AppUpdateCheckResult.h"
#include "app/distribution/LoginItemStatus.h"
#include "app/hardware/AdminHardwareProbe.h"
#include "app/hardware/FanHardwareCapabilities.h"
#include "app/helperclient/FanWriteSafetyPlan.h"
#include "app/helperclient/PrivilegedHelperHealth.h"
#include "app/l10n/AppLanguage.h"
#include "app/l10n/L10n.h"
#include "app/l10n/L10nKey.h"
#include "app/model/AerivoPreferences.h"
#include "app/model/AerivoProfile.h"
#include "app/model/AerivoStoreObservation.h"
#include "app/model/AerivoStoreProperty.h"
#include "app/model/AppUpdateChecking.h"
#include "app/model/CurvePreset.h"
#include "app/model/FanControlEvent.h"
#include "app/model/FanControlMode.h"
#include "app/model/FanHardwareController.h"
#include "app/model/HelperActivity.h"
#include "app/model/LoginItemControlling.h"
#include "app/model/PrivilegedHelperClient.h"
#include "app/telemetry/InstantArithmetic.h"
#include "app/telemetry/ThermalHistory.h"
#include "app/telemetry/ThermalHistoryWindow.h"
#include "app/telemetry/ThermalSampleSlice.h"
#include "app/telemetry/ThermalSnapshot.h"
#include "platform/mainloop/MainLoop.h"
#include "platform/mainloop/MainLoopLifeline.h"
#include "platform/mainloop/SerialQueue.h"
#include "platform/posix/ProcessRunner.h"
#include "platform/posix/SystemPaths.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// The four collaborators the store talks to, and the means it uses to work off the main loop.
// Only the controller is required; a missing helper client reports the helper unavailable and
// refuses every action, a missing login-item controller reports disabled and refuses changes, a
// missing update checker reports the check unavailable.
struct AerivoStoreCollaborators {
    using BackgroundTaskStarter = std::function<void(std::function<void()>)>;
    using ExecutablePathReader = std::function<std::optional<std::string>()>;

    std::shared_ptr<FanHardwareController> controller;
    std::shared_ptr<PrivilegedHelperClient> helperClient;
    std::shared_ptr<LoginItemControlling> loginItemController;
    std::shared_ptr<AppUpdateChecking> updateChecker;
    // Runs the administrator probe and the update check away from the main loop; the task owns
    // everything it needs and hands its result back through the main loop. Default:
    // startDetachedTask (a thread nobody waits for).
    BackgroundTaskStarter startBackgroundTask = {};
    // The running app's executable, which the administrator probe starts again with
    // administrator rights. Default: currentExecutablePath().
    ExecutablePathReader executablePath = {};
    // Runs the administrator probe's child process. Default: a PosixProcessRunner.
    std::shared_ptr<ProcessRunner> processRunner = {};
    // Where the system programs are. Default: SystemPaths::fromEnvironment().
    std::optional<SystemPaths> systemPaths = std::nullopt;
    // Runs the helper calls that take seconds (health reads with their reset, the install,
    // resets, the five-second test) one at a time in the order the store asked for them; their
    // results are applied on the main loop. The menu-bar app passes a worker queue so its event
    // loop never waits for the helper. Null: they run at once on the calling thread, which
    // suits the headless session and the command line (no window to keep responsive).
    std::shared_ptr<SerialQueue> helperQueue = {};
};

// The application's single model object. It owns the curve profile, the latest snapshot, the
// sample history and the selected mode, and drives everything from one repeating timer on the
// main loop: every two seconds it reads a snapshot, records a history sample when the reading is
// live, and runs the curve-lease step.
//
// In curve mode the store never writes the fan itself: it asks the privileged helper for short
// leases on the curve's target (renewed from the curve-lease queue, results back on the main
// loop), hands the fan back to macOS in the fan-off range, on a reset and when the app ends.
//
// Confined to the main loop's thread: every member is called there, observers are notified there
// after each change of a published property, and the timer fires there. The timer is cancelled
// when the store is destroyed, so the store never has to outlive it. The main loop must outlive
// the store. Work that runs elsewhere (a curve renewal, the administrator probe, the update check)
// reaches the store only through a lifeline that the destructor ends, so a result that arrives
// after the store is gone is dropped; the destructor never waits for such work.
class AerivoStore {
public:
    static constexpr int curveLeaseDurationSeconds = 15;
    static constexpr double curveLeaseMinimumInterval = 5.0;
    static constexpr double curveLeaseTargetDeltaRPM = 75.0;
    static constexpr int manualTargetHoldSeconds = 5;
    static constexpr double snapshotRefreshInterval = 2.0;
    static constexpr std::size_t thermalHistoryLimit = 43200;
    static constexpr double thermalHistoryMinimumInterval = 1.5;
    // The longest history window, twenty-four hours.
    static constexpr double thermalHistoryRetentionSeconds = 86400.0;

    // The curve-lease queue's label: the bundle identifier followed by ".curve-lease".
    static std::string curveLeaseQueueLabel();
    // The helper queue's label: the bundle identifier followed by ".helper".
    static std::string helperQueueLabel();

    // The icons of the helper install action (symbol names).
    static constexpr std::string_view helperVerifiedIcon = "checkmark.shield";
    static constexpr std::string_view helperInstallIcon = "key";

    // Builds the store, reads capabilities, helper health and login-item status, refreshes once
    // and starts the timer. Throws std::invalid_argument when `collaborators.controller` is null.
    // Without `curveLeaseQueue` the store makes its own worker queue. The queue is shared so a
    // caller may keep it beyond the store (the store never waits for it, see the destructor).
    AerivoStore(MainLoop& mainLoop, AerivoStoreCollaborators collaborators,
                std::optional<AerivoPreferences> preferences,
                AerivoProfile profile = AerivoProfile::balanced(),
                ThermalSnapshot snapshot = ThermalSnapshot::initial(),
                FanControlMode mode = FanControlMode::system,
                bool applyHardwareRangeToInitialProfile = true,
                std::shared_ptr<SerialQueue> curveLeaseQueue = nullptr);
    // Stops the timer and ends the lifeline, so nothing queued elsewhere reaches the store any
    // more. When a renewal is still running on the curve-lease queue (blocked in the helper client
    // for up to its five-second time-out), the queue's last reference goes to a background task,
    // because destroying a worker queue waits for its running item; the main loop goes on at once.
    ~AerivoStore();

    AerivoStore(const AerivoStore&) = delete;
    AerivoStore& operator=(const AerivoStore&) = delete;

    // Published properties.
    const AerivoProfile& profile() const { return profile_; }
    const ThermalSnapshot& snapshot() const { return snapshot_; }
    // Oldest first, at most 43200 samples and 24 hours.
    const ThermalHistory& thermalSamples() const { return thermalSamples_; }
    ThermalHistoryWindow thermalHistoryWindow() const { return thermalHistoryWindow_; }
    FanControlMode mode() const { return mode_; }
    const FanHardwareCapabilities& hardwareCapabilities() const { return hardwareCapabilities_; }
    const std::optional<std::string>& hardwareProbeStatus() const { return hardwareProbeStatus_; }
    const PrivilegedHelperHealth& helperHealth() const { return helperHealth_; }
    LoginItemStatus launchAtLoginStatus() const { return launchAtLoginStatus_; }
    const std::optional<std::string>& launchAtLoginErrorMessage() const {
        return launchAtLoginErrorMessage_;
    }
    bool isCheckingForUpdates() const { return isCheckingForUpdates_; }
    const std::optional<AppUpdateCheckResult>& updateCheckResult() const {
        return updateCheckResult_;
    }
    AppLanguage language() const { return language_; }
    // What the helper queue is doing for the user now (the oldest unfinished request); none
    // when nothing is waiting for the helper.
    HelperActivity helperActivity() const {
        return helperActivities_.empty() ? HelperActivity::none : helperActivities_.front();
    }
    bool isHelperBusy() const { return !helperActivities_.empty(); }

    void setThermalHistoryWindow(ThermalHistoryWindow window);
    // Publishes the language and, when there are preferences, saves it.
    void setLanguage(AppLanguage language);

    // Derived values.
    // safety at or above the safety limit (or for a temperature that is not a number); system
    // while the fan-off range pauses the curve; otherwise the selected mode.
    FanControlMode effectiveMode() const;
    // Curve mode, below the safety limit, at or below an enabled fan-off threshold.
    bool isFanOffRangeActive() const;
    // The curve at the current temperature, without fan-off or safety adjustment.
    double curveTargetRPM() const;
    // The selected window's samples, ending at the snapshot's time.
    ThermalSampleSlice visibleThermalSamples() const;
    // Samples with now − duration ≤ recordedAt ≤ now, in stored order, without copying.
    ThermalSampleSlice thermalSamples(ThermalHistoryWindow window, Instant now) const;

    // One refresh step: read a snapshot (for the effective mode of the previous one), publish it,
    // record a sample, run the curve-lease step.
    void refreshSnapshot();
    // helperHealth = the helper client's readHealth(), read on the helper queue. Note that a
    // health read of an installed, trusted helper also sends a reset, handing the fan back to the
    // system.
    void refreshHelperHealth();

    // Subscribes to change notifications; dropping the result unsubscribes.
    [[nodiscard]] AerivoStoreObservation observe(AerivoStoreObservers::Observer observer);
    // The one listener for lease outcomes, curve target tests and resets (null: none).
    void setFanControlEventHandler(std::function<void(const FanControlEvent&)> handler);

    // --- Curve leases, the fan-off range and reset ---

    // Curve mode on a Mac that has a fan.
    bool isCurveEnabled() const;
    // Off: forget the lease tracking and reset to the system. On: read the helper's health; once
    // it is in, select curve mode, refresh and evaluate a lease with force (a locked write plan
    // then shows its action message), unless a reset was asked for meanwhile. On a Mac without a
    // fan, turning it on resets instead.
    void setCurveEnabled(bool enabled);
    // Selects system mode and forgets the lease tracking at once; sends a reset to a verified,
    // trusted helper, then shows its message, reads the health and refreshes.
    void resetToSystem();
    // "Test Curve Target for 5s": holds the current lease target for five seconds through the
    // helper, in any mode, once the write plan allows writes; then re-reads health and hardware.
    void applyCurveTargetLease();
    // For the app's quit: forgets the lease tracking and sends a reset to a verified, trusted
    // helper on the calling thread, ignoring its result. The mode stays; nothing is refreshed.
    // From then on the store asks nothing more of the helper (the app is ending): a renewal or a
    // helper call queued but not started is skipped.
    void resetFanControlBeforeTermination();
    // A renewal has been sent and its result has not come back yet.
    bool isCurveLeaseInFlight() const { return curveLeaseInFlight_; }

    // --- Profile actions: each edits the profile, saves it, refreshes ---

    void updatePoint(const Uuid& id, double temperatureC, double rpm);
    void addPoint();
    void removePoint();
    void updateTemperatureAxis(std::optional<double> minimum, std::optional<double> maximum);
    void updateRPMAxis(std::optional<double> minimum, std::optional<double> maximum);
    void updateFanOffThresholdEnabled(bool enabled);
    void updateFanOffThreshold(double value);
    // Clamped into the temperature axis; the fan-off threshold is pulled back under it. A value
    // that is not a number leaves the limit as it is.
    void updateSafetyLimit(double value);
    // The preset's profile, fitted to the detected speed range when there is one.
    void setPreset(CurvePreset preset);
    // The detected speed range becomes the speed axis (nothing happens without both ends).
    void applyDetectedHardwareRange();
    // A binding wrote the profile directly: publishes it without saving.
    void setProfile(AerivoProfile profile);
    // After such writes: saves, refreshes and evaluates a lease with force.
    void curveProfileDidChange();
    std::optional<AerivoPointEditingBounds> editingBounds(const Uuid& id) const;

    // --- Other actions ---

    // Reads the capabilities again ("Detect Again" passes false).
    void refreshHardwareCapabilities(bool applyToAxis);
    // "Read-only Admin Detect": runs this app's hardware probe with administrator approval on a
    // background task (the main loop goes on while the approval prompt is open) and applies the
    // parsed capabilities when it ends. Repeated probes are not guarded; each sets its own status.
    void refreshHardwareCapabilitiesAsAdmin(bool applyToAxis);
    // Installs on the helper queue (the system's authorization prompt may stay open for long),
    // then shows the result and reads the health.
    void installPrivilegedHelper();
    void showWriteRequirements();
    void refreshLaunchAtLoginStatus();
    void setLaunchAtLoginEnabled(bool enabled);
    // One check at a time, on a background task; the result is published on the main loop.
    void checkForUpdates();

    // --- Texts in the current language, derived values and flags ---

    std::string text(L10nKey key) const { return L10n::text(key, language_); }
    template <typename... Arguments>
    std::string formatted(L10nKey key, const Arguments&... arguments) const {
        return L10n::format(key, language_, arguments...);
    }

    // Recomputed on every read from the capabilities, the snapshot and the helper's health.
    FanWriteSafetyPlan writeSafetyPlan() const;

    bool launchAtLoginEnabled() const;
    std::optional<std::string> launchAtLoginStatusText() const;
    std::optional<std::string> updateStatusText() const;
    std::optional<std::string> updateReleaseURL() const;
    std::string effectiveModeTitle() const;
    std::string effectiveModeDetail() const;
    double curveTargetPercent() const;
    double curveRPMDelta() const;
    std::string curveEffectLabel() const;
    std::string hardwareRangeText() const;
    std::string hardwareDetailText() const;
    std::string fanReadingTitle() const;
    std::string fanReadingValueText() const;
    std::string fanReadingDetailText() const;
    std::string temperatureReadingTitle() const;
    std::string temperatureDetailText() const;
    std::string menuTemperatureLabel() const;
    std::string curveTargetValueText() const;
    std::string activeTargetValueText() const;
    std::string menuRPMLabel() const;
    std::string menuBarStatusText() const;
    std::optional<double> currentFanPercent() const;
    std::string menuFanValueText() const;
    std::string helperInstallActionTitle() const;
    std::string_view helperInstallActionIcon() const;
    std::string writeReadinessTitle() const;
    std::string writeReadinessValueText() const;
    std::string writeReadinessDetailText() const;

    bool shouldShowHardwareDetectionActions() const;
    bool shouldShowAdminHardwareDetectionAction() const;
    bool shouldShowUseHardwareRangeAction() const;
    bool shouldShowHelperInstallAction() const;
    bool shouldShowResetToSystemAction() const;
    bool shouldShowCurveTargetTestAction() const;
    bool shouldShowWriteRequirementsAction() const;
    bool shouldShowWriteActions() const;

    // Collaborators, for the actions and the command line.
    FanHardwareController& controller() const { return *controller_; }
    PrivilegedHelperClient& helperClient() const { return *helperClient_; }
    const std::optional<AerivoPreferences>& preferences() const { return preferences_; }
    MainLoop& mainLoop() const { return mainLoop_; }
    SerialQueue& curveLeaseQueue() const { return *curveLeaseQueue_; }

private:
    // A lease result carried from the curve-lease queue back to the main loop.
    struct CurveLeaseOutcome {
        bool isSuccess = false;
        std::vector<std::string> lines;
        std::string message;
        double targetRPM = 0;
    };

    // A helper call followed by the health read that shows its effect.
    struct HelperCallOutcome {
        PrivilegedHelperActionResult result;
        PrivilegedHelperHealth health;
    };

    void notify(AerivoStoreProperty property) const { observers_->notify(property); }
    template <typename Value>
    void publish(Value& field, Value value, AerivoStoreProperty property) {
        field = std::move(value);
        notify(property);
    }

    void recordThermalSample(const ThermalSnapshot& snapshot);
    void trimThermalHistory(Instant now);

    // The curve-lease step, run at the end of every refresh (force false) and after user actions
    // (force true, which ignores the interval and delta rules and shows a locked plan's message).
    void applyCurveTargetLeaseIfNeeded(bool force);
    // The speed axis maximum at or above the safety limit, else the curve's target.
    double activeCurveLeaseTargetRPM() const;
    void finishCurveTargetLease(const CurveLeaseOutcome& outcome);
    void resetCurveLeaseTracking();
    void resetFanControlForFanOffRangeIfNeeded(bool force);
    // Resets are sent only to a helper whose install is verified and whose provenance is trusted.
    bool mayResetThroughHelper() const;
    void emit(const FanControlEvent& event) const;

    // Runs `work(helperClient)` on the helper queue and `finish(result)` on the main loop, with
    // `activity` shown meanwhile; without a queue, both at once (never busy). Work queued after the
    // quit reset is skipped. `work` must not throw (the helper calls go through guarded wrappers).
    template <typename Work, typename Finish>
    void runHelperTask(HelperActivity activity, Work work, Finish finish) {
        if (!helperQueue_) {
            finish(work(*helperClient_));
            return;
        }
        beginHelperActivity(activity);
        helperQueue_->async([this, helper = helperClient_, lifeline = lifeline_,
                             stopped = helperCallsStopped_, work = std::move(work),
                             finish = std::move(finish)] {
            if (!lifeline->isAlive()) {
                return;
            }
            if (stopped->load()) {
                lifeline->post([this] { finishHelperTask([] {}); });
                return;
            }
            auto result = work(*helper);
            lifeline->post([this, finish, result = std::move(result)] {
                finishHelperTask([&] { finish(result); });
            });
        });
    }
    void beginHelperActivity(HelperActivity activity);
    // Ends the oldest activity and runs `apply`; observers hear of the activity once, after
    // `apply`, so a step that queues the next one (the five-second test) never shows idle.
    void finishHelperTask(const std::function<void()>& apply);
    void publishHelperHealth(PrivilegedHelperHealth health);
    // Runs on the helper queue: a reset, then the health read that shows its effect.
    static HelperCallOutcome resetThenReadHealth(PrivilegedHelperClient& helper);
    void finishCurveTargetTest(double target, const HelperCallOutcome& outcome);

    void setMode(FanControlMode mode);
    void setHardwareProbeStatus(std::optional<std::string> status);
    void setHardwareCapabilities(FanHardwareCapabilities capabilities);
    // Applies `edit` to the profile, publishes it and commits.
    template <typename Edit> void editProfile(Edit&& edit) {
        edit(profile_);
        notify(AerivoStoreProperty::profile);
        commitProfileChange();
    }
    void commitProfileChange();
    // Saves the profile when there are preferences; a refused save shows why.
    void persistProfile();
    void finishAdminHardwareProbe(const AdminHardwareProbeResult& result, bool applyToAxis);

    MainLoop& mainLoop_;
    std::shared_ptr<AerivoStoreObservers> observers_ = std::make_shared<AerivoStoreObservers>();

    // Published.
    AerivoProfile profile_;
    ThermalSnapshot snapshot_;
    ThermalHistory thermalSamples_{thermalHistoryLimit};
    ThermalHistoryWindow thermalHistoryWindow_ = ThermalHistoryWindow::thirtyMinutes;
    FanControlMode mode_ = FanControlMode::system;
    FanHardwareCapabilities hardwareCapabilities_;
    std::optional<std::string> hardwareProbeStatus_;
    PrivilegedHelperHealth helperHealth_;
    LoginItemStatus launchAtLoginStatus_ = LoginItemStatus::disabled;
    std::optional<std::string> launchAtLoginErrorMessage_;
    bool isCheckingForUpdates_ = false;
    std::optional<AppUpdateCheckResult> updateCheckResult_;
    AppLanguage language_ = AppLanguage::english;

    // Private state.
    std::shared_ptr<FanHardwareController> controller_;
    std::shared_ptr<PrivilegedHelperClient> helperClient_;
    std::shared_ptr<LoginItemControlling> loginItemController_;
    std::shared_ptr<AppUpdateChecking> updateChecker_;
    std::optional<AerivoPreferences> preferences_;
    std::shared_ptr<SerialQueue> curveLeaseQueue_;
    std::shared_ptr<SerialQueue> helperQueue_;
    AerivoStoreCollaborators::BackgroundTaskStarter startBackgroundTask_;
    AerivoStoreCollaborators::ExecutablePathReader executablePath_;
    std::shared_ptr<ProcessRunner> processRunner_;
    SystemPaths systemPaths_;
    std::shared_ptr<MainLoopLifeline> lifeline_;
    // Set by the quit reset; read by queued renewals and helper calls before they start.
    std::shared_ptr<std::atomic<bool>> helperCallsStopped_ =
        std::make_shared<std::atomic<bool>>(false);
    // Oldest first: one entry per helper task queued and not yet applied.
    std::deque<HelperActivity> helperActivities_;
    // Bumped by every turn of the curve switch and every reset, so a curve switch-on whose
    // health read comes back after a later reset does not undo that reset.
    std::uint64_t curveSwitchGeneration_ = 0;
    std::function<void(const FanControlEvent&)> fanControlEventHandler_;
    std::unique_ptr<RepeatingTimer> timer_;
    bool curveLeaseInFlight_ = false;
    std::optional<Instant> lastCurveLeaseRequestAt_;
    std::optional<double> lastCurveLeaseTargetRPM_;
    std::optional<Instant> lastThermalSampleAt_;
    bool fanOffRangeResetSent_ = false;
};

} // namespace aerivo
