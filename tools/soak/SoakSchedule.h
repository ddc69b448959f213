#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo::soak {

// What the soak does to the running system at one moment.
enum class SoakEventKind {
    workload,   // the simulated machine switches to another workload
    takeBack,   // macOS takes fan 0 back to system control
    killHelper, // SIGKILL to the helper; the next connection starts a fresh one
    killApp,    // SIGKILL to the app; it is started again after `appDownSeconds`
    burst,      // a burst of unsigned clients, each refused by the helper
};

std::string_view rawValue(SoakEventKind kind);

struct SoakEvent {
    double atSeconds = 0;
    SoakEventKind kind = SoakEventKind::workload;
    std::string workload;      // workload events only
    double appDownSeconds = 0; // app kills only

    bool operator==(const SoakEvent&) const = default;
};

// The seeded plan of a soak of `durationSeconds`: events from 2 s in until 8 s before
// the end (the quiet end lets idle connections drain before the last measurement), 2 to 6 s
// apart. The first five are one of each kind in a seeded order, so even a short run meets every
// kind. Later helper kills stop after the first 60% of the run (they become take-backs), so that
// the helper measured at the end has lived through many renewals and bursts. The same seed always
// gives the same plan.
std::vector<SoakEvent> makeSoakSchedule(std::uint64_t seed, double durationSeconds);

} // namespace aerivo::soak
