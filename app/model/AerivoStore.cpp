#include "app/model/AerivoStore.h"

#include "app/model/GuardedHelperCall.h"
#include "platform/mainloop/DetachedTask.h"
#include "platform/mainloop/WorkerSerialQueue.h"
#include "platform/posix/ProcessImage.h"

#include <stdexcept>

namespace aerivo {

namespace {

// Stand-ins for collaborators the caller did not give: they report "not available" and refuse.
class UnavailablePrivilegedHelperClient final : public PrivilegedHelperClient {
public:
    PrivilegedHelperHealth readHealth() override { return PrivilegedHelperHealth::unavailable(); }
};

class UnavailableLoginItemController final : public LoginItemControlling {
public:
    LoginItemStatus status() const override { return LoginItemStatus::disabled; }
    void setEnabled(bool) override {
        throw std::runtime_error("Login item control is unavailable.");
    }
};

class UnavailableUpdateChecker final : public AppUpdateChecking {
public:
    AppUpdateCheckResult checkForUpdates() override {
        return AppUpdateCheckResult{AppUpdateCheckResult::Status::unavailable, AERIVO_VERSION,
                                    std::nullopt, std::nullopt,
                                    "No update check URL is configured."};
    }
};

std::shared_ptr<FanHardwareController>
requireController(std::shared_ptr<FanHardwareController> controller) {
    if (!controller) {
        throw std::invalid_argument("AerivoStore needs a fan hardware controller");
    }
    return controller;
}

} // namespace

std::string AerivoStore::curveLeaseQueueLabel() {
    return std::string(AERIVO_BUNDLE_IDENTIFIER) + ".curve-lease";
}

std::string AerivoStore::helperQueueLabel() {
    return std::string(AERIVO_BUNDLE_IDENTIFIER) + ".helper";
}

AerivoStore::AerivoStore(MainLoop& mainLoop, AerivoStoreCollaborators collaborators,
                         std::optional<AerivoPreferences> preferences, AerivoProfile profile,
                         ThermalSnapshot snapshot, FanControlMode mode,
                         bool applyHardwareRangeToInitialProfile,
                         std::shared_ptr<SerialQueue> curveLeaseQueue)
    : mainLoop_(mainLoop), controller_(requireController(std::move(collaborators.controller))),
      helperClient_(collaborators.helperClient
                        ? std::move(collaborators.helperClient)
                        : std::make_shared<UnavailablePrivilegedHelperClient>()),
      loginItemController_(collaborators.loginItemController
                               ? std::move(collaborators.loginItemController)
                               : std::make_shared<UnavailableLoginItemController>()),
      updateChecker_(collaborators.updateChecker ? std::move(collaborators.updateChecker)
                                                 : std::make_shared<UnavailableUpdateChecker>()),
      preferences_(std::move(preferences)),
      curveLeaseQueue_(curveLeaseQueue
                           ? std::move(curveLeaseQueue)
                           : std::make_shared<WorkerSerialQueue>(curveLeaseQueueLabel())),
      helperQueue_(std::move(collaborators.helperQueue)),
      startBackgroundTask_(
          collaborators.startBackgroundTask
              ? std::move(collaborators.startBackgroundTask)
              : AerivoStoreCollaborators::BackgroundTaskStarter(startDetachedTask)),
      executablePath_(collaborators.executablePath
                          ? std::move(collaborators.executablePath)
                          : AerivoStoreCollaborators::ExecutablePathReader(currentExecutablePath)),
      processRunner_(collaborators.processRunner ? std::move(collaborators.processRunner)
                                                 : std::make_shared<PosixProcessRunner>()),
      systemPaths_(collaborators.systemPaths ? std::move(*collaborators.systemPaths)
                                             : SystemPaths::fromEnvironment()),
      lifeline_(MainLoopLifeline::make(mainLoop)) {
    // 1. The status fields, the queue, the constants and the tracking fields have their initial
    //    values and the collaborators are stored (above and in the declarations).

    // 2.–3. The hardware speed range, when known, becomes the profile's speed axis. Not saved.
    FanHardwareCapabilities capabilities = controller_->readCapabilities();
    if (applyHardwareRangeToInitialProfile && capabilities.minimumRPM && capabilities.maximumRPM) {
        profile.applyHardwareRPMAxis(*capabilities.minimumRPM, *capabilities.maximumRPM);
    }
    profile_ = std::move(profile);

    // 4.
    snapshot_ = std::move(snapshot);
    thermalSamples_.clear();
    thermalHistoryWindow_ = ThermalHistoryWindow::thirtyMinutes;

    // 5. No fan: the curve is refused from the start.
    mode_ = capabilities.isUnsupported() ? FanControlMode::system : mode;

    // 6. With a helper queue the health read (a reset, for a trusted helper, that takes
    //    seconds) goes there; until it is in, the health is the unavailable one and the write
    //    plan stays locked, so no lease goes out before the read, as before.
    hardwareCapabilities_ = std::move(capabilities);
    if (helperQueue_) {
        helperHealth_ = PrivilegedHelperHealth::unavailable();
        runHelperTask(
            HelperActivity::checkingHelper,
            [](PrivilegedHelperClient& helper) { return guardedHealthRead(helper); },
            [this](PrivilegedHelperHealth health) {
                publishHelperHealth(std::move(health));
                applyCurveTargetLeaseIfNeeded(false);
            });
    } else {
        helperHealth_ = guardedHealthRead(*helperClient_);
    }
    launchAtLoginStatus_ = loginItemController_->status();
    launchAtLoginErrorMessage_.reset();

    // 7. Loading is not a change: nothing is saved here.
    language_ = preferences_ ? preferences_->loadLanguage() : AppLanguage::english;

    // 8.
    refreshSnapshot();

    // 9. The timer handle is owned here, so dropping the store stops the ticks.
    timer_ = mainLoop_.scheduleRepeating(MainLoop::Seconds(snapshotRefreshInterval),
                                         [this] { refreshSnapshot(); });
}

AerivoStore::~AerivoStore() {
    // Stop the ticks before anything else goes; then nothing queued elsewhere reaches the store.
    timer_.reset();
    lifeline_->end();
    if (curveLeaseInFlight_ && curveLeaseQueue_) {
        // Destroying a worker queue waits for its running item, here a renewal that may block in
        // the helper client for its whole time-out. Whoever drops the last reference does that
        // wait, so it is dropped on a background task instead of the main loop.
        startBackgroundTask_([queue = std::move(curveLeaseQueue_)]() mutable { queue.reset(); });
    }
    if (!helperActivities_.empty() && helperQueue_) {
        // The same for a helper call (up to the 20 s of a manual hold's time-out).
        startBackgroundTask_([queue = std::move(helperQueue_)]() mutable { queue.reset(); });
    }
}

void AerivoStore::setThermalHistoryWindow(ThermalHistoryWindow window) {
    publish(thermalHistoryWindow_, window, AerivoStoreProperty::thermalHistoryWindow);
}

void AerivoStore::setLanguage(AppLanguage language) {
    publish(language_, language, AerivoStoreProperty::language);
    if (preferences_) {
        // A refused save keeps the previous stored value; the choice still holds for this run.
        preferences_->saveLanguage(language_);
    }
}

FanControlMode AerivoStore::effectiveMode() const {
    if (!(snapshot_.temperatureC < profile_.safetyLimitC)) {
        return FanControlMode::safety;
    }
    if (isFanOffRangeActive()) {
        return FanControlMode::system;
    }
    return mode_;
}

bool AerivoStore::isFanOffRangeActive() const {
    return mode_ == FanControlMode::curve && snapshot_.temperatureC < profile_.safetyLimitC &&
           profile_.isInFanOffRange(snapshot_.temperatureC);
}

double AerivoStore::curveTargetRPM() const {
    return profile_.targetRPM(snapshot_.temperatureC);
}

ThermalSampleSlice AerivoStore::visibleThermalSamples() const {
    return thermalSamples(thermalHistoryWindow_, snapshot_.updatedAt);
}

ThermalSampleSlice AerivoStore::thermalSamples(ThermalHistoryWindow window, Instant now) const {
    return thermalSamples_.between(instantBefore(now, duration(window)), now);
}

void AerivoStore::refreshSnapshot() {
    // The mode passed down is the one in force for the previous snapshot.
    ThermalSnapshot next = controller_->readSnapshot(profile_, effectiveMode(), snapshot_);
    publish(snapshot_, std::move(next), AerivoStoreProperty::snapshot);
    recordThermalSample(snapshot_);
    applyCurveTargetLeaseIfNeeded(false);
}

void AerivoStore::refreshHelperHealth() {
    runHelperTask(
        HelperActivity::checkingHelper,
        [](PrivilegedHelperClient& helper) { return guardedHealthRead(helper); },
        [this](PrivilegedHelperHealth health) { publishHelperHealth(std::move(health)); });
}

void AerivoStore::publishHelperHealth(PrivilegedHelperHealth health) {
    publish(helperHealth_, std::move(health), AerivoStoreProperty::helperHealth);
}

void AerivoStore::beginHelperActivity(HelperActivity activity) {
    helperActivities_.push_back(activity);
    if (helperActivities_.size() == 1) {
        notify(AerivoStoreProperty::helperActivity);
    }
}

void AerivoStore::finishHelperTask(const std::function<void()>& apply) {
    const HelperActivity before = helperActivity();
    if (!helperActivities_.empty()) {
        helperActivities_.pop_front();
    }
    apply();
    if (helperActivity() != before) {
        notify(AerivoStoreProperty::helperActivity);
    }
}

AerivoStoreObservation AerivoStore::observe(AerivoStoreObservers::Observer observer) {
    const auto id = observers_->add(std::move(observer));
    return AerivoStoreObservation(observers_, id);
}

void AerivoStore::recordThermalSample(const ThermalSnapshot& snapshot) {
    if (!snapshot.hasLiveTemperatureTelemetry) {
        return;
    }
    // A clock that went backwards also gives a negative gap here, so the history stays in time
    // order: nothing is recorded until time passes the last sample again.
    if (lastThermalSampleAt_ && secondsBetween(snapshot.updatedAt, *lastThermalSampleAt_).count() <
                                    thermalHistoryMinimumInterval) {
        return;
    }
    thermalSamples_.append(ThermalSample(snapshot));
    trimThermalHistory(snapshot.updatedAt);
    lastThermalSampleAt_ = snapshot.updatedAt;
    // Append and trim are one change to the history.
    notify(AerivoStoreProperty::thermalSamples);
}

void AerivoStore::trimThermalHistory(Instant now) {
    const Instant cutoff = instantBefore(now, MainLoop::Seconds(thermalHistoryRetentionSeconds));
    // Samples are in time order, so the expired ones are exactly a prefix; scanning it from the
    // front costs one look at the first kept sample plus one per removed sample.
    thermalSamples_.removeRecordedBefore(cutoff);
    // The ring holds at most the limit (a full ring drops its oldest sample on append), which is
    // the same as appending and then removing from the front down to the limit.
    if (thermalSamples_.size() > thermalHistoryLimit) {
        thermalSamples_.removeFirst(thermalSamples_.size() - thermalHistoryLimit);
    }
}

void AerivoStore::setFanControlEventHandler(std::function<void(const FanControlEvent&)> handler) {
    fanControlEventHandler_ = std::move(handler);
}

void AerivoStore::emit(const FanControlEvent& event) const {
    if (fanControlEventHandler_) {
        fanControlEventHandler_(event);
    }
}

void AerivoStore::setMode(FanControlMode mode) {
    publish(mode_, mode, AerivoStoreProperty::mode);
}

void AerivoStore::setHardwareProbeStatus(std::optional<std::string> status) {
    publish(hardwareProbeStatus_, std::move(status), AerivoStoreProperty::hardwareProbeStatus);
}

void AerivoStore::setHardwareCapabilities(FanHardwareCapabilities capabilities) {
    publish(hardwareCapabilities_, std::move(capabilities),
            AerivoStoreProperty::hardwareCapabilities);
}

} // namespace aerivo
