#pragma once

#include "tools/soak/ProcessFootprint.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace aerivo::soak {

struct SoakOptions {
    double durationSeconds = 600;
    std::uint64_t seed = 1;
    int burstConnections = 1000;
    std::filesystem::path simulatorProgram;
    // AerivoMac inside its signed bundle (the bundle carries the helper it installs).
    std::filesystem::path appProgram;
    // Hears what happens as it happens; nothing by default.
    std::function<void(const std::string& line)> progress;
    // The app's own lines (but its refresh lines) go to the progress too.
    bool verbose = false;
};

struct SoakReport {
    double seconds = 0;
    std::uint64_t seed = 0;
    int renewals = 0;
    int failedRenewals = 0;
    int appResets = 0;
    int helperKills = 0;
    int helperStarts = 0;
    int appKills = 0;
    int appStarts = 0;
    int takeBacks = 0;
    int workloadChanges = 0;
    int bursts = 0;
    long burstConnections = 0;
    long burstClosedByHelper = 0;
    // Fan 0 in manual mode, measured from the write that made it so (the last renewal).
    double longestManualSinceRenewalSeconds = 0;
    // How far the longest such period ran past the lease; 0 when it never did.
    double longestManualPastLeaseSeconds = 0;
    // Periods that ran more than a second past the lease.
    int leaseOverruns = 0;
    // Kills dropped because the other process was not up (and renewing) for ten seconds.
    int skippedKills = 0;
    // Apps started again after thirty seconds without a lease line.
    int appRelaunches = 0;
    // The helper at rest after the warm-up, and the one serving at the end (the same process
    // unless the schedule killed it; then for how long the last one served).
    std::optional<ProcessFootprint> helperAtStart;
    std::optional<ProcessFootprint> helperAtEnd;
    bool endHelperIsTheFirst = false;
    double endHelperSeconds = 0;
    std::string finalFanMode = "unknown";
    // Set-up failures and the like; the soak did not run its course.
    std::vector<std::string> problems;

    // No lease overrun, nothing leaked, the fan in system control after the app quit, every
    // burst connection refused, renewals happened and no problem.
    bool passed() const;
    // key=value lines, one per figure, ending with "result=pass" or "result=fail".
    std::vector<std::string> lines() const;
};

// Resident memory the helper may gain over a soak without counting as a leak: allocator pages
// that stay mapped after a burst of connection threads.
inline constexpr long residentToleranceKB = 1024;

// The simulated Mac, the helper its service manager starts, and the headless app in curve mode,
// put through the seeded schedule for the given time in a fresh system root, then measured and
// taken down.
SoakReport runSoak(const SoakOptions& options);

} // namespace aerivo::soak
