#include "tools/soak/SoakSchedule.h"

#include <algorithm>
#include <array>
#include <random>

namespace aerivo::soak {

namespace {

constexpr double warmUpSeconds = 2;
constexpr double quietEndSeconds = 8;
constexpr double helperKillShare = 0.6;
constexpr std::array workloads{"idle", "load", "sine", "steps"};
constexpr std::array kinds{SoakEventKind::workload, SoakEventKind::takeBack,
                           SoakEventKind::killHelper, SoakEventKind::killApp, SoakEventKind::burst};

} // namespace

std::string_view rawValue(SoakEventKind kind) {
    switch (kind) {
    case SoakEventKind::workload:
        return "workload";
    case SoakEventKind::takeBack:
        return "takeBack";
    case SoakEventKind::killHelper:
        return "killHelper";
    case SoakEventKind::killApp:
        return "killApp";
    case SoakEventKind::burst:
        return "burst";
    }
    return "unknown";
}

std::vector<SoakEvent> makeSoakSchedule(std::uint64_t seed, double durationSeconds) {
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> gap(2.0, 6.0);
    std::uniform_real_distribution<double> appDown(1.0, 20.0);
    std::uniform_int_distribution<std::size_t> anyKind(0, kinds.size() - 1);
    std::uniform_int_distribution<std::size_t> anyWorkload(0, workloads.size() - 1);

    std::array<SoakEventKind, kinds.size()> firstRound = kinds;
    std::shuffle(firstRound.begin(), firstRound.end(), random);

    std::vector<SoakEvent> events;
    const double end = durationSeconds - quietEndSeconds;
    for (double at = warmUpSeconds; at < end; at += gap(random)) {
        SoakEvent event;
        event.atSeconds = at;
        event.kind =
            events.size() < firstRound.size() ? firstRound[events.size()] : kinds[anyKind(random)];
        if (event.kind == SoakEventKind::killHelper && events.size() >= firstRound.size() &&
            at > durationSeconds * helperKillShare) {
            event.kind = SoakEventKind::takeBack;
        }
        if (event.kind == SoakEventKind::workload) {
            event.workload = workloads[anyWorkload(random)];
        }
        if (event.kind == SoakEventKind::killApp) {
            event.appDownSeconds = appDown(random);
        }
        events.push_back(std::move(event));
    }
    return events;
}

} // namespace aerivo::soak
