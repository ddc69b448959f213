#include "app/cli/HeadlessSession.h"

#include "app/hardware/HardwareProbeLines.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace aerivo {

namespace {

std::unique_ptr<AerivoStore> makeStore(MainLoop& mainLoop, AerivoStoreCollaborators collaborators,
                                       std::optional<AerivoPreferences> preferences,
                                       std::shared_ptr<SerialQueue> curveLeaseQueue) {
    std::optional<AerivoProfile> saved = preferences ? preferences->loadProfile() : std::nullopt;
    const bool applyHardwareRange = !saved.has_value();
    AerivoProfile profile = saved ? std::move(*saved) : AerivoProfile::balanced();
    return std::make_unique<AerivoStore>(mainLoop, std::move(collaborators), std::move(preferences),
                                         std::move(profile), ThermalSnapshot::initial(),
                                         FanControlMode::system, applyHardwareRange,
                                         std::move(curveLeaseQueue));
}

std::string oneDecimal(double value) {
    if (!std::isfinite(value)) {
        return "nil";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

} // namespace

HeadlessSession::HeadlessSession(MainLoop& mainLoop, AerivoStoreCollaborators collaborators,
                                 std::optional<AerivoPreferences> preferences, OutputSink output,
                                 Options options, std::function<void()> finished,
                                 std::shared_ptr<SerialQueue> curveLeaseQueue)
    : lifeline_(MainLoopLifeline::make(mainLoop)),
      output_(output ? std::move(output) : OutputSink([](const std::string&) {})),
      refreshLimit_(options.refreshLimit), finished_(finished ? std::move(finished) : [] {}),
      store_(makeStore(mainLoop, std::move(collaborators), std::move(preferences),
                       std::move(curveLeaseQueue))) {
    // The construction's own refresh, lease decision included, has happened: it is line 1.
    emitRefresh();
    observation_ = store_->observe([this](AerivoStoreProperty property) {
        // The snapshot is published before the refresh decides on a lease, so the line waits
        // for the end of the loop's turn.
        if (property == AerivoStoreProperty::snapshot && !refreshLinePending_) {
            refreshLinePending_ = true;
            lifeline_->post([this] {
                refreshLinePending_ = false;
                emitRefresh();
            });
        }
    });
    store_->setFanControlEventHandler([this](const FanControlEvent& event) { emitEvent(event); });
    if (options.mode == FanControlMode::curve) {
        store_->setCurveEnabled(true);
        if (const std::optional<std::string>& status = store_->hardwareProbeStatus()) {
            // After the refresh line of the same turn.
            lifeline_->post([this, line = "status=" + singleLine(*status)] { output_(line); });
        }
    }
}

HeadlessSession::~HeadlessSession() {
    lifeline_->end();
}

void HeadlessSession::end() {
    if (ended_) {
        return;
    }
    ended_ = true;
    store_->resetFanControlBeforeTermination();
}

void HeadlessSession::emitEvent(const FanControlEvent& event) {
    if (event.kind == FanControlEvent::Kind::curveLease) {
        ++leaseCount_;
    }
    output_(eventLine(leaseCount_, event, store_->mainLoop().now()));
}

std::string HeadlessSession::eventLine(std::int64_t lease, const FanControlEvent& event,
                                       MainLoop::Instant time) {
    const std::string stamp = " time=" + utcTimestamp(time);
    const std::string outcome =
        " success=" + booleanText(event.isSuccess) + " message=" + singleLine(event.message);
    const std::string target = " targetRPM=" + probeValue(event.targetRPM);
    switch (event.kind) {
    case FanControlEvent::Kind::curveLease:
        return "lease=" + std::to_string(lease) + stamp + target + outcome;
    case FanControlEvent::Kind::curveTargetTest:
        return "test" + stamp + target + outcome;
    case FanControlEvent::Kind::reset:
        break;
    }
    return "reset=" + std::string(rawValue(event.resetReason)) + stamp +
           " sent=" + booleanText(event.wasSent) + (event.wasSent ? outcome : std::string());
}

void HeadlessSession::emitRefresh() {
    if (!finished_) {
        return;
    }
    ++refreshCount_;
    output_(refreshLine(refreshCount_, *store_));
    if (refreshLimit_ && refreshCount_ >= *refreshLimit_) {
        // Cleared at once, so a loop that keeps ticking prints nothing more; called at the end of
        // the loop's turn, after the lines this turn still writes.
        std::function<void()> finished = std::move(finished_);
        finished_ = nullptr;
        lifeline_->post(std::move(finished));
    }
}

std::string HeadlessSession::refreshLine(std::int64_t refresh, const AerivoStore& store) {
    const ThermalSnapshot& snapshot = store.snapshot();
    return "refresh=" + std::to_string(refresh) + " time=" + utcTimestamp(snapshot.updatedAt) +
           " temperatureC=" + oneDecimal(snapshot.temperatureC) +
           " source=" + singleLine(snapshot.temperatureSource) +
           " live=" + booleanText(snapshot.hasLiveTemperatureTelemetry) +
           " actualRPM=" + probeValue(snapshot.actualRPM) +
           " targetRPM=" + probeValue(snapshot.targetRPM) +
           " mode=" + std::string(rawValue(store.effectiveMode())) +
           " modeTitle=" + singleLine(store.effectiveModeTitle()) +
           " curveTargetRPM=" + probeValue(store.curveTargetRPM()) +
           " writePlan=" + std::string(rawValue(store.writeSafetyPlan().status)) +
           " leaseInFlight=" + booleanText(store.isCurveLeaseInFlight());
}

std::string HeadlessSession::utcTimestamp(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto milliseconds = floor<std::chrono::milliseconds>(time);
    const auto day = floor<days>(milliseconds);
    const year_month_day date(day);
    const hh_mm_ss clock(milliseconds - day);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02lld:%02lld:%02lld.%03lldZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<long long>(clock.hours().count()),
                  static_cast<long long>(clock.minutes().count()),
                  static_cast<long long>(clock.seconds().count()),
                  static_cast<long long>(clock.subseconds().count()));
    return text;
}

HeadlessSession::RefreshLimitArgument
HeadlessSession::refreshLimitArgument(const std::vector<std::string>& arguments) {
    if (std::find(arguments.begin(), arguments.end(), "--refreshes") == arguments.end()) {
        return {};
    }
    const auto value = intArgument("--refreshes", arguments);
    if (!value || *value < 1) {
        return {std::nullopt, "--refreshes needs a whole number of at least 1"};
    }
    return {value, std::nullopt};
}

HeadlessSession::Arguments
HeadlessSession::parseArguments(const std::vector<std::string>& arguments) {
    Arguments parsed;
    const RefreshLimitArgument limit = refreshLimitArgument(arguments);
    if (limit.error) {
        parsed.error = limit.error;
        return parsed;
    }
    parsed.options.refreshLimit = limit.limit;

    const bool curveFlag =
        std::find(arguments.begin(), arguments.end(), "--curve") != arguments.end();
    if (std::find(arguments.begin(), arguments.end(), "--mode") != arguments.end()) {
        const std::optional<std::string> value = valueArgument("--mode", arguments);
        if (value == "system") {
            parsed.options.mode = FanControlMode::system;
        } else if (value == "curve") {
            parsed.options.mode = FanControlMode::curve;
        } else {
            parsed.error = "--mode needs system or curve";
            return parsed;
        }
        if (curveFlag && parsed.options.mode != FanControlMode::curve) {
            parsed.error = "--curve and --mode system contradict each other";
            return parsed;
        }
    } else if (curveFlag) {
        parsed.options.mode = FanControlMode::curve;
    }
    return parsed;
}

} // namespace aerivo
