#pragma once

#include <sys/types.h>

#include <optional>

namespace aerivo::soak {

// What a running process holds, as /proc shows it.
struct ProcessFootprint {
    int threads = 0;
    int descriptors = 0;
    long residentKB = 0;

    bool operator==(const ProcessFootprint&) const = default;
};

// Nothing when the process is gone.
std::optional<ProcessFootprint> readFootprint(pid_t pid);

// The process at rest: ten readings 100 ms apart, keeping the one with the fewest threads (a
// request in flight has a connection thread and a descriptor of its own). Nothing when the
// process ended meanwhile.
std::optional<ProcessFootprint> restingFootprint(pid_t pid);

} // namespace aerivo::soak
