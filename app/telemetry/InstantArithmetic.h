#pragma once

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>

namespace aerivo {

using Instant = std::chrono::system_clock::time_point;
using Seconds = std::chrono::duration<double>;

// Instant arithmetic in the clock's own integer ticks, so boundaries such as "exactly 300 s
// earlier" compare exactly, saturating at the clock's range instead of overflowing.

// `instant` moved back by `seconds` (NaN counts as zero), clamped to the clock's range.
inline Instant instantBefore(Instant instant, Seconds seconds) {
    using Ticks = Instant::duration;
    const double ticks = std::chrono::duration<double, Ticks::period>(seconds).count();
    if (std::isnan(ticks) || ticks == 0.0) {
        return instant;
    }
    const auto current = instant.time_since_epoch().count();
    const double lowest = static_cast<double>(std::numeric_limits<Ticks::rep>::min());
    const double highest = static_cast<double>(std::numeric_limits<Ticks::rep>::max());
    const double moved = static_cast<double>(current) - ticks;
    if (moved <= lowest) {
        return Instant::min();
    }
    if (moved >= highest) {
        return Instant::max();
    }
    // Whole-tick offsets go through integer arithmetic so they stay exact at any epoch offset.
    const double rounded = std::round(ticks);
    if (std::fabs(rounded) < 9.0e15) {
        const auto offset = static_cast<Ticks::rep>(rounded);
        Ticks::rep result = 0;
        if (!__builtin_sub_overflow(current, offset, &result)) {
            return Instant(Ticks(result));
        }
    }
    return Instant(Ticks(static_cast<Ticks::rep>(moved)));
}

// later − earlier in seconds; exact for gaps up to about 100 days, never overflowing.
inline Seconds secondsBetween(Instant later, Instant earlier) {
    Instant::duration::rep difference = 0;
    if (!__builtin_sub_overflow(later.time_since_epoch().count(),
                                earlier.time_since_epoch().count(), &difference)) {
        return Seconds(Instant::duration(difference));
    }
    return Seconds(later.time_since_epoch()) - Seconds(earlier.time_since_epoch());
}

} // namespace aerivo
