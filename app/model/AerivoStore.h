#pragma once

#include "app/distribution/AppUpdateCheckResult.h"
#include "app/distribution/LoginItemStatus.h"
#include "app/hardware/FanHardwareCapabilities.h"
#include "app/helperclient/PrivilegedHelperHealth.h"
#include "app/l10n/AppLanguage.h"
#include "app/model/AerivoPreferences.h"
#include "app/model/AerivoProfile.h"
#include "app/model/AerivoStoreObservation.h"
#include "app/model/AerivoStoreProperty.h"
#include "app/model/AppUpdateChecking.h"
#include "app/model/FanControlMode.h"
#include "app/model/FanHardwareController.h"
#include "app/model/LoginItemControlling.h"
#include "app/model/PrivilegedHelperClient.h"
#include "app/telemetry/InstantArithmetic.h"
#include "app/telemetry/ThermalHistory.h"
#include "app/telemetry/ThermalHistoryWindow.h"
#include "app/telemetry/ThermalSampleSlice.h"
#include "app/telemetry/ThermalSnapshot.h"
#include "platform/MainLoop.h"
#include "platform/SerialQueue.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace aerivo {

// The four collaborators the store talks to. Only the controller is required; a missing helper
// client reports the helper unavailable and refuses every action, a missing login-item controller
// reports disabled and refuses changes, a missing update checker reports the check unavailable.
struct AerivoStoreCollaborators {
    std::shared_ptr<FanHardwareController> controller;
    std::shared_ptr<PrivilegedHelperClient> helperClient;
    std::shared_ptr<LoginItemControlling> loginItemController;
    std::shared_ptr<AppUpdateChecking> updateChecker;
};

// The application's single model object. It owns the curve profile, the latest snapshot, the
// sample history and the selected mode, and drives everything from one repeating timer on the
// main loop: every two seconds it reads a snapshot, records a history sample when the reading is
// live, and runs the curve-lease step.
//
// Confined to the main loop's thread: every member is called there, observers are notified there
// after each change of a published property, and the timer fires there. The timer is cancelled
// when the store is destroyed, so the store never has to outlive it. The main loop must outlive
// the store.
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

    // Builds the store, reads capabilities, helper health and login-item status, refreshes once
    // and starts the timer. Throws std::invalid_argument when `collaborators.controller` is null.
    // Without `curveLeaseQueue` the store makes its own worker queue.
    AerivoStore(MainLoop& mainLoop, AerivoStoreCollaborators collaborators,
                std::optional<AerivoPreferences> preferences,
                AerivoProfile profile = AerivoProfile::balanced(),
                ThermalSnapshot snapshot = ThermalSnapshot::initial(),
                FanControlMode mode = FanControlMode::system,
                bool applyHardwareRangeToInitialProfile = true,
                std::unique_ptr<SerialQueue> curveLeaseQueue = nullptr);
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
    // helperHealth = the helper client's readHealth(). Note that a health read of an installed,
    // trusted helper also sends a reset, handing the fan back to the system.
    void refreshHelperHealth();

    // Subscribes to change notifications; dropping the result unsubscribes.
    [[nodiscard]] AerivoStoreObservation observe(AerivoStoreObservers::Observer observer);

    // Collaborators, for the actions and the command line.
    FanHardwareController& controller() const { return *controller_; }
    PrivilegedHelperClient& helperClient() const { return *helperClient_; }
    const std::optional<AerivoPreferences>& preferences() const { return preferences_; }
    MainLoop& mainLoop() const { return mainLoop_; }
    SerialQueue& curveLeaseQueue() const { return *curveLeaseQueue_; }

private:
    void notify(AerivoStoreProperty property) const { observers_->notify(property); }
    template <typename Value>
    void publish(Value& field, Value value, AerivoStoreProperty property) {
        field = std::move(value);
        notify(property);
    }

    void recordThermalSample(const ThermalSnapshot& snapshot);
    void trimThermalHistory(Instant now);
    // The curve-lease step, run at the end of every refresh: decides whether the helper is asked
    // to hold a new curve target. Curve-lease driving is not built yet; this is where it goes.
    void applyCurveTargetLeaseIfNeeded(bool force);

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
    std::unique_ptr<SerialQueue> curveLeaseQueue_;
    std::unique_ptr<RepeatingTimer> timer_;
    bool curveLeaseInFlight_ = false;
    std::optional<Instant> lastCurveLeaseRequestAt_;
    std::optional<double> lastCurveLeaseTargetRPM_;
    std::optional<Instant> lastThermalSampleAt_;
    bool fanOffRangeResetSent_ = false;
};

} // namespace aerivo
