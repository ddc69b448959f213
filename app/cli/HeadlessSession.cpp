#include "app/cli/HeadlessSession.h"

#include "app/hardware/HardwareProbeLines.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace aerivo {

namespace {

std::unique_ptr<AerivoStore> makeStore(MainLoop& mainLoop,
                                       std::shared_ptr<FanHardwareController> controller,
                                       std::optional<AerivoPreferences> preferences,
                                       std::unique_ptr<SerialQueue> curveLeaseQueue) {
    std::optional<AerivoProfile> saved = preferences ? preferences->loadProfile() : std::nullopt;
    const bool applyHardwareRange = !saved.has_value();
    AerivoProfile profile = saved ? std::move(*saved) : AerivoProfile::balanced();
    return std::make_unique<AerivoStore>(
        mainLoop, AerivoStoreCollaborators{std::move(controller), nullptr, nullptr, nullptr},
        std::move(preferences), std::move(profile), ThermalSnapshot::initial(),
        FanControlMode::system, applyHardwareRange, std::move(curveLeaseQueue));
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

HeadlessSession::HeadlessSession(MainLoop& mainLoop,
                                 std::shared_ptr<FanHardwareController> controller,
                                 std::optional<AerivoPreferences> preferences, OutputSink output,
                                 std::optional<std::int64_t> refreshLimit,
                                 std::function<void()> finished,
                                 std::unique_ptr<SerialQueue> curveLeaseQueue)
    : output_(output ? std::move(output) : OutputSink([](const std::string&) {})),
      refreshLimit_(refreshLimit), finished_(finished ? std::move(finished) : [] {}),
      store_(makeStore(mainLoop, std::move(controller), std::move(preferences),
                       std::move(curveLeaseQueue))) {
    // The construction's own refresh has happened already: it is the first line.
    emitRefresh();
    observation_ = store_->observe([this](AerivoStoreProperty property) {
        if (property == AerivoStoreProperty::snapshot) {
            emitRefresh();
        }
    });
}

void HeadlessSession::emitRefresh() {
    if (!finished_) {
        return;
    }
    ++refreshCount_;
    output_(refreshLine(refreshCount_, *store_));
    if (refreshLimit_ && refreshCount_ >= *refreshLimit_) {
        // Cleared before the call, so a loop that keeps ticking prints nothing more.
        const std::function<void()> finished = std::move(finished_);
        finished_ = nullptr;
        finished();
    }
}

std::string HeadlessSession::refreshLine(std::int64_t refresh, const AerivoStore& store) {
    const ThermalSnapshot& snapshot = store.snapshot();
    return "refresh=" + std::to_string(refresh) + " time=" + utcTimestamp(snapshot.updatedAt) +
           " temperatureC=" + oneDecimal(snapshot.temperatureC) +
           " source=" + singleLine(snapshot.temperatureSource) +
           " live=" + (snapshot.hasLiveTemperatureTelemetry ? "true" : "false") +
           " actualRPM=" + probeValue(snapshot.actualRPM) +
           " targetRPM=" + probeValue(snapshot.targetRPM) +
           " mode=" + std::string(rawValue(store.effectiveMode()));
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

} // namespace aerivo
