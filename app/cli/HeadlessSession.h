#pragma once

#include "app/cli/CommandLineActions.h"
#include "app/model/AerivoPreferences.h"
#include "app/model/AerivoStore.h"
#include "app/model/FanHardwareController.h"
#include "platform/MainLoop.h"
#include "platform/SerialQueue.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace aerivo {

// The application without a window: the store built as at start-up, its refresh loop on the
// given main loop, and one line per refresh on the output. For machines without a display and
// for watching the control loop from a terminal.
class HeadlessSession {
public:
    // Builds the store: the saved profile, or the balanced profile fitted to the hardware's
    // speed range when none was saved; system mode; helper client, login item and update
    // checker are the store's "unavailable" stand-ins. The store's first refresh (during its
    // construction) is line 1. After `refreshLimit` lines (none: no limit) `finished` is called
    // once and nothing more is printed.
    HeadlessSession(MainLoop& mainLoop, std::shared_ptr<FanHardwareController> controller,
                    std::optional<AerivoPreferences> preferences, OutputSink output,
                    std::optional<std::int64_t> refreshLimit, std::function<void()> finished,
                    std::unique_ptr<SerialQueue> curveLeaseQueue = nullptr);

    HeadlessSession(const HeadlessSession&) = delete;
    HeadlessSession& operator=(const HeadlessSession&) = delete;

    const AerivoStore& store() const { return *store_; }
    std::int64_t refreshCount() const { return refreshCount_; }
    bool isFinished() const { return finished_ == nullptr && refreshLimit_.has_value(); }

    // "refresh=<n> time=<UTC ISO 8601> temperatureC=<one decimal> source=<text> live=<flag>
    // actualRPM=<whole> targetRPM=<whole> mode=<effective mode>".
    static std::string refreshLine(std::int64_t refresh, const AerivoStore& store);
    // UTC, milliseconds: "2026-12-08T01:30:00.250Z".
    static std::string utcTimestamp(std::chrono::system_clock::time_point time);

    // The value of "--refreshes": nothing when absent; an error text when present but not a
    // whole number of at least 1.
    struct RefreshLimitArgument {
        std::optional<std::int64_t> limit;
        std::optional<std::string> error;
    };
    static RefreshLimitArgument refreshLimitArgument(const std::vector<std::string>& arguments);

private:
    void emitRefresh();

    OutputSink output_;
    std::optional<std::int64_t> refreshLimit_;
    std::function<void()> finished_;
    std::int64_t refreshCount_ = 0;
    std::unique_ptr<AerivoStore> store_;
    AerivoStoreObservation observation_;
};

} // namespace aerivo
