#pragma once

#include "app/cli/CommandLineActions.h"
#include "app/model/AerivoPreferences.h"
#include "app/model/AerivoStore.h"
#include "app/model/FanControlEvent.h"
#include "app/model/FanControlMode.h"
#include "platform/mainloop/MainLoop.h"
#include "platform/mainloop/MainLoopLifeline.h"
#include "platform/mainloop/SerialQueue.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace aerivo {

// The application without a window: the store built as at start-up, its refresh loop on the
// given main loop, one line per refresh on the output, and one line per lease outcome and per
// hand-back to the system. For machines without a display and for watching the control loop
// drive the fan from a terminal.
class HeadlessSession {
public:
    struct Options {
        // After this many refresh lines `finished` is called once, from the main loop at the end
        // of that turn (run the loop to see it); none: no limit.
        std::optional<std::int64_t> refreshLimit;
        // curve: the curve is turned on after the store is built, as the curve toggle does.
        FanControlMode mode = FanControlMode::system;
    };

    // Builds the store: the saved profile, or the balanced profile fitted to the hardware's speed
    // range when none was saved; system mode. The collaborators go to the store unchanged, so a
    // null helper client, login item or update checker is the store's "unavailable" stand-in.
    // The store's first refresh (during its construction) is line 1. In curve mode the curve is
    // then turned on (a refresh line of its own, and a "status=" line with what the store says,
    // such as a locked write plan's missing requirements).
    //
    // A refresh line is written once the main loop has finished the turn that refreshed, so it
    // shows the lease decision of that refresh too; several refreshes in one turn give one line.
    HeadlessSession(MainLoop& mainLoop, AerivoStoreCollaborators collaborators,
                    std::optional<AerivoPreferences> preferences, OutputSink output,
                    Options options, std::function<void()> finished,
                    std::shared_ptr<SerialQueue> curveLeaseQueue = nullptr);

    ~HeadlessSession();

    HeadlessSession(const HeadlessSession&) = delete;
    HeadlessSession& operator=(const HeadlessSession&) = delete;

    const AerivoStore& store() const { return *store_; }
    AerivoStore& store() { return *store_; }
    std::int64_t refreshCount() const { return refreshCount_; }
    bool isFinished() const { return finished_ == nullptr && refreshLimit_.has_value(); }

    // What the app's quit does, once: resets fan control to the system through the helper (when
    // it may) and prints the reset line. Call it before the main loop and the session go.
    void end();

    // "refresh=<n> time=<UTC ISO 8601> temperatureC=<one decimal> source=<text> live=<flag>
    // actualRPM=<whole> targetRPM=<whole> mode=<effective mode> modeTitle=<effective mode title>
    // curveTargetRPM=<whole> writePlan=<write plan status> leaseInFlight=<flag>".
    static std::string refreshLine(std::int64_t refresh, const AerivoStore& store);
    // "lease=<n> time=<…> targetRPM=<whole> success=<flag> message=<text>" for a curve lease,
    // "test time=<…> targetRPM=… success=… message=…" for the curve target test, and
    // "reset=<reason> time=<…> sent=<flag>" with " success=<flag> message=<text>" when a reset
    // went to the helper.
    static std::string eventLine(std::int64_t lease, const FanControlEvent& event,
                                 MainLoop::Instant time);
    // UTC, milliseconds: "2026-12-08T01:30:00.250Z".
    static std::string utcTimestamp(std::chrono::system_clock::time_point time);

    // The value of "--refreshes": nothing when absent; an error text when present but not a
    // whole number of at least 1.
    struct RefreshLimitArgument {
        std::optional<std::int64_t> limit;
        std::optional<std::string> error;
    };
    static RefreshLimitArgument refreshLimitArgument(const std::vector<std::string>& arguments);

    // "--refreshes N", "--curve" and "--mode system|curve" ("--curve" is "--mode curve"; the two
    // must not disagree). An error text for any bad value.
    struct Arguments {
        Options options;
        std::optional<std::string> error;
    };
    static Arguments parseArguments(const std::vector<std::string>& arguments);

private:
    void emitRefresh();
    void emitEvent(const FanControlEvent& event);

    std::shared_ptr<MainLoopLifeline> lifeline_;
    OutputSink output_;
    std::optional<std::int64_t> refreshLimit_;
    std::function<void()> finished_;
    std::int64_t refreshCount_ = 0;
    std::int64_t leaseCount_ = 0;
    bool ended_ = false;
    bool refreshLinePending_ = false;
    std::unique_ptr<AerivoStore> store_;
    AerivoStoreObservation observation_;
};

} // namespace aerivo
